#include "protocol/notacao.hpp"

#include "protocol/unicode.hpp"
#include "texto/utf8.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ponte::protocolo {
namespace {

constexpr int menor_expoente_plano = -5;
constexpr int maior_expoente_plano = 15;

template <typename Inteiro>
void anexar_inteiro(std::string& destino, Inteiro valor, int base = 10) {
    std::array<char, 24> digitos;  // left unset: to_chars fills it
    auto fim = std::to_chars(digitos.data(), digitos.data() + digitos.size(), valor, base).ptr;
    destino.append(digitos.data(), fim);
}

}  // namespace

void anexar_ponto_flutuante(std::string& destino, double valor) {
    if (std::signbit(valor)) destino += '-';
    if (valor == 0.0) {
        destino += "0.0";
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
        destino += significativos[0];
        if (quantos > 1) {
            destino += '.';
            destino.append(significativos.substr(1));
        }
        destino += expoente < 0 ? "e-" : "e+";
        anexar_inteiro(destino, std::abs(expoente));
        return;
    }
    if (expoente < 0) {
        destino += "0.";
        destino.append(static_cast<std::size_t>(-expoente - 1), '0');
        destino.append(significativos);
        return;
    }
    const auto inteiros = static_cast<std::size_t>(expoente) + 1;
    if (quantos <= inteiros) {
        destino.append(significativos);
        destino.append(inteiros - quantos, '0');
        destino += ".0";
        return;
    }
    destino.append(significativos.substr(0, inteiros));
    destino += '.';
    destino.append(significativos.substr(inteiros));
}

std::string notacao_de_ponto_flutuante(double valor) {
    std::string saida;
    anexar_ponto_flutuante(saida, valor);
    return saida;
}

void anexar_notacao_citada(std::string& destino, std::string_view texto) {
    // The reader only ever hands well-formed text here; anything else is shown leniently
    // rather than misread.
    std::string reparado;
    if (!texto::utf8_valido(texto)) {
        reparado = texto::decodificar_utf8_leniente(texto);
        texto = reparado;
    }
    destino += '"';
    while (!texto.empty()) {
        auto [ponto, comprimento] = texto::primeiro_ponto(texto);
        switch (ponto) {
        case U'"': destino += "\\\""; break;
        case U'\\': destino += "\\\\"; break;
        case U'\t': destino += "\\t"; break;
        case U'\r': destino += "\\r"; break;
        case U'\n': destino += "\\n"; break;
        case U'\0': destino += "\\0"; break;
        default:
            if (escapar_na_notacao(ponto)) {
                destino += "\\u{";
                anexar_inteiro(destino, static_cast<std::uint32_t>(ponto), 16);
                destino += '}';
            } else {
                destino.append(texto.substr(0, comprimento));
            }
        }
        texto.remove_prefix(comprimento);
    }
    destino += '"';
}

}  // namespace ponte::protocolo
