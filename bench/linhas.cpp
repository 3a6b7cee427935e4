#include "linhas.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace ponte::bench {
namespace {

// A fixed-seed xorshift: deterministic across platforms and standard libraries, unlike the
// distributions of <random>.
class Sorteio {
public:
    std::uint64_t proximo() {
        estado_ ^= estado_ << 13U;
        estado_ ^= estado_ >> 7U;
        estado_ ^= estado_ << 17U;
        return estado_;
    }
    std::size_t ate(std::size_t limite) { return static_cast<std::size_t>(proximo() % limite); }

private:
    std::uint64_t estado_ = 0x9E3779B97F4A7C15ULL;
};

// String pieces: plain runs, each escape, \u forms (a surrogate pair included) and raw UTF-8.
constexpr std::array<std::string_view, 16> pedacos = {
    "Nota fiscal de venda ao consumidor ",
    R"(\n)",
    R"(\t)",
    R"(\")",
    R"(\\)",
    R"(\/)",
    R"(\b\f\r)",
    R"(\u00e9)",
    R"(\ud83d\ude00)",
    "ação ",
    "€ 1.234,56 ",
    "日本語 ",
    "😀",
    "CNPJ 12.345.678/0001-90 ",
    "produto sem descrição longa o bastante para um trecho comprido de texto ",
    R"(\u0041\u00DF)",
};

// Integers stay within 64 bits: one validator compared with the bridge refuses larger ones.
constexpr std::array<std::string_view, 7> numeros_fixos = {
    "0", "-0", "1e-400", "-1.5E-7", "6.02214076e23", "18446744073709551615", "-9223372036854775808"};

constexpr int profundidade_maxima_gerada = 6;

class Gerador {
public:
    explicit Gerador(std::string& saida) : s_(saida) {}

    void valor(int profundidade) {
        const std::size_t tipo = sorteio_.ate(profundidade < profundidade_maxima_gerada ? 10 : 7);
        switch (tipo) {
        case 0:
        case 1:
        case 2: string(); break;
        case 3: inteiro(); break;
        case 4: decimal(); break;
        case 5: s_ += numeros_fixos[sorteio_.ate(numeros_fixos.size())]; break;
        case 6: s_ += std::array<std::string_view, 3>{"true", "false", "null"}[sorteio_.ate(3)]; break;
        case 7:
        case 8: objeto(profundidade + 1); break;
        default: lista(profundidade + 1); break;
        }
    }

private:
    void espacos() {
        // Mostly compact, as hosts write; sometimes the white space JSON allows inside a line.
        if (sorteio_.ate(8) == 0) s_ += std::array<std::string_view, 3>{" ", "\t", "  \r "}[sorteio_.ate(3)];
    }

    void string() {
        s_ += '"';
        const std::size_t quantos = 1 + sorteio_.ate(6);
        for (std::size_t i = 0; i < quantos; ++i) s_ += pedacos[sorteio_.ate(pedacos.size())];
        s_ += '"';
    }

    void inteiro() {
        if (sorteio_.ate(3) == 0) s_ += '-';
        s_ += std::to_string(1 + sorteio_.proximo() % 10'000'000'000ULL);
    }

    void decimal() {
        inteiro();
        s_ += '.';
        s_ += std::to_string(sorteio_.proximo() % 1'000'000ULL);
        if (sorteio_.ate(2) == 0) {
            s_ += std::array<std::string_view, 4>{"e", "E-", "e+", "E"}[sorteio_.ate(4)];
            // Below 290, so that no exponent takes a value past the double range.
            s_ += std::to_string(sorteio_.ate(290));
        }
    }

    void lista(int profundidade) {
        s_ += '[';
        const std::size_t quantos = sorteio_.ate(6);
        for (std::size_t i = 0; i < quantos; ++i) {
            if (i > 0) s_ += ',';
            espacos();
            valor(profundidade);
        }
        s_ += ']';
    }

    void objeto(int profundidade) {
        s_ += '{';
        const std::size_t quantos = sorteio_.ate(6);
        for (std::size_t i = 0; i < quantos; ++i) {
            if (i > 0) s_ += ',';
            espacos();
            s_ += "\"campo_";
            s_ += std::to_string(i);
            s_ += "\":";
            espacos();
            valor(profundidade);
        }
        s_ += '}';
    }

    std::string& s_;
    Sorteio sorteio_;
};

}  // namespace

std::string linha_grande(std::size_t tamanho) {
    constexpr std::string_view abertura = R"({"dados":[)";
    constexpr std::string_view fecho = R"(],"cmd":"versao"})";
    // Room for the largest element, so that the loop never overshoots the size asked for.
    constexpr std::size_t folga = 64 * 1024;
    std::string linha;
    linha.reserve(tamanho + folga);
    linha += abertura;
    Gerador gerador(linha);
    bool primeiro = true;
    while (linha.size() + fecho.size() + folga < tamanho) {
        if (!primeiro) linha += ',';
        primeiro = false;
        gerador.valor(1);
    }
    // Spaces before the closing bracket bring the line to the exact size.
    if (linha.size() + fecho.size() < tamanho) linha.append(tamanho - linha.size() - fecho.size(), ' ');
    linha += fecho;
    return linha;
}

std::string linha_aninhada(int profundidade, std::string_view variante) {
    const auto listas = static_cast<std::size_t>(profundidade > 1 ? profundidade - 1 : 0);
    std::string linha = R"({"x":)";
    linha.append(listas, '[');
    linha.append(listas, ']');
    if (listas == 0) linha += "0";
    linha += R"(,"cmd":")";
    linha += variante;
    linha += R"("})";
    return linha;
}

std::string linha_aninhada_mista(int profundidade) {
    std::string linha = R"({"x":)";
    std::string fecho;
    for (int nivel = 2; nivel <= profundidade; ++nivel) {
        const bool lista = nivel % 2 == 0;
        linha += lista ? "[" : R"({"a":)";
        fecho.insert(0, 1, lista ? ']' : '}');
    }
    linha += "0";
    linha += fecho;
    linha += R"(,"cmd":"versao"})";
    return linha;
}

}  // namespace ponte::bench
