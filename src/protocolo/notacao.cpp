#include "protocolo/notacao.hpp"

#include "protocolo/unicode.hpp"
#include "texto/utf8.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ponte::protocolo {
namespace {

constexpr int menor_expoente_plano = -5;
constexpr int maior_expoente_plano = 15;

template <typename Inteiro>
void anexar_inteiro(texto::Acumulador& destino, Inteiro valor, int base = 10) {
    constexpr std::size_t maximo = 24;  // 64 bits in base 10, or less in base 16
    char* const inicio = destino.abrir(maximo);
    destino.avancar(static_cast<std::size_t>(std::to_chars(inicio, inicio + maximo, valor, base).ptr - inicio));
}

void anexar_zeros(texto::Acumulador& destino, std::size_t quantos) {
    std::memset(destino.abrir(quantos), '0', quantos);
    destino.avancar(quantos);
}

}  // namespace

void anexar_ponto_flutuante(texto::Acumulador& destino, double valor) {
    if (std::signbit(valor)) destino.anexar('-');
    if (valor == 0.0) {
        destino.anexar("0.0");
        return;
    }

    // Scientific form gives the shortest digits that read back as the same double, closest
    // to the exact value: "d.ddde+XX", at most 17 digits.
    std::array<char, 40> cientifica;  // left unset: to_chars fills it
    auto fim = std::to_chars(cientifica.data(), cientifica.data() + cientifica.size(), std::fabs(valor),
                             std::chars_format::scientific)
                   .ptr;
    const std::string_view forma(cientifica.data(), static_cast<std::size_t>(fim - cientifica.data()));
    const auto posicao_e = forma.find('e');
    std::array<char, 24> digitos;  // left unset: filled below
    std::size_t quantos = 0;
    for (const char c : forma.substr(0, posicao_e))
        if (c != '.') digitos[quantos++] = c;
    const std::string_view significativos(digitos.data(), quantos);
    // The exponent: a sign, then digits.
    int expoente = 0;
    for (const char c : forma.substr(posicao_e + 2)) expoente = expoente * 10 + (c - '0');
    if (forma[posicao_e + 1] == '-') expoente = -expoente;

    if (expoente < menor_expoente_plano || expoente > maior_expoente_plano) {
        destino.anexar(significativos[0]);
        if (quantos > 1) {
            destino.anexar('.');
            destino.anexar(significativos.substr(1));
        }
        destino.anexar(expoente < 0 ? "e-" : "e+");
        anexar_inteiro(destino, std::abs(expoente));
        return;
    }
    if (expoente < 0) {
        destino.anexar("0.");
        anexar_zeros(destino, static_cast<std::size_t>(-expoente - 1));
        destino.anexar(significativos);
        return;
    }
    const auto inteiros = static_cast<std::size_t>(expoente) + 1;
    if (quantos <= inteiros) {
        destino.anexar(significativos);
        anexar_zeros(destino, inteiros - quantos);
        destino.anexar(".0");
        return;
    }
    destino.anexar(significativos.substr(0, inteiros));
    destino.anexar('.');
    destino.anexar(significativos.substr(inteiros));
}

std::string notacao_de_ponto_flutuante(double valor) {
    texto::Acumulador saida;
    anexar_ponto_flutuante(saida, valor);
    return std::string(saida.texto());
}

void anexar_notacao_citada(texto::Acumulador& destino, std::string_view texto) {
    // The reader only ever hands well-formed text here; anything else is shown leniently
    // rather than misread.
    std::string reparado;
    if (!texto::utf8_valido(texto)) {
        reparado = texto::decodificar_utf8_leniente(texto);
        texto = reparado;
    }
    destino.anexar('"');
    while (!texto.empty()) {
        auto [ponto, comprimento] = texto::primeiro_ponto(texto);
        switch (ponto) {
        case U'"': destino.anexar("\\\""); break;
        case U'\\': destino.anexar("\\\\"); break;
        case U'\t': destino.anexar("\\t"); break;
        case U'\r': destino.anexar("\\r"); break;
        case U'\n': destino.anexar("\\n"); break;
        case U'\0': destino.anexar("\\0"); break;
        default:
            if (escapar_na_notacao(ponto)) {
                destino.anexar("\\u{");
                anexar_inteiro(destino, static_cast<std::uint32_t>(ponto), 16);
                destino.anexar('}');
            } else {
                destino.anexar(texto.substr(0, comprimento));
            }
        }
        texto.remove_prefix(comprimento);
    }
    destino.anexar('"');
}

}  // namespace ponte::protocolo
