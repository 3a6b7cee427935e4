// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#include "referencia/notacao.hpp"

#include "protocolo/unicode.hpp"
#include "referencia/utf8.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ponte::referencia {
namespace {

constexpr int menor_expoente_plano = -5;
constexpr int maior_expoente_plano = 15;

void anexar_hexadecimal(std::string& destino, char32_t ponto) {
    std::array<char, 8> digitos{};
    auto fim =
        std::to_chars(digitos.data(), digitos.data() + digitos.size(), static_cast<std::uint32_t>(ponto), 16).ptr;
    destino.append(digitos.data(), fim);
}

}  // namespace

std::string notacao_de_ponto_flutuante(double valor) {
    std::string saida;
    if (std::signbit(valor)) saida += '-';
    if (valor == 0.0) return saida + "0.0";

    // Scientific form gives the shortest digits that read back as the same double, closest
    // to the exact value: "d.ddde+XX".
    std::array<char, 40> cientifica{};
    auto fim = std::to_chars(cientifica.data(), cientifica.data() + cientifica.size(), std::fabs(valor),
                             std::chars_format::scientific)
                   .ptr;
    std::string_view forma(cientifica.data(), static_cast<std::size_t>(fim - cientifica.data()));
    auto posicao_e = forma.find('e');
    std::string digitos;
    for (char c : forma.substr(0, posicao_e))
        if (c != '.') digitos += c;
    int expoente = std::atoi(std::string(forma.substr(posicao_e + 1)).c_str());

    if (expoente < menor_expoente_plano || expoente > maior_expoente_plano) {
        saida += digitos[0];
        if (digitos.size() > 1) {
            saida += '.';
            saida.append(digitos, 1);
        }
        saida += expoente < 0 ? "e-" : "e+";
        saida += std::to_string(std::abs(expoente));
        return saida;
    }
    if (expoente < 0) {
        saida += "0.";
        saida.append(static_cast<std::size_t>(-expoente - 1), '0');
        return saida + digitos;
    }
    auto inteiros = static_cast<std::size_t>(expoente) + 1;
    if (digitos.size() <= inteiros) {
        saida += digitos;
        saida.append(inteiros - digitos.size(), '0');
        return saida + ".0";
    }
    saida.append(digitos, 0, inteiros);
    saida += '.';
    saida.append(digitos, inteiros);
    return saida;
}

std::string notacao_citada(std::string_view texto) {
    // The reader only ever hands well-formed text here; anything else is shown leniently
    // rather than misread.
    std::string reparado;
    if (!utf8_valido(texto)) {
        reparado = decodificar_utf8_leniente(texto);
        texto = reparado;
    }
    std::string saida = "\"";
    while (!texto.empty()) {
        auto [ponto, comprimento] = primeiro_ponto(texto);
        switch (ponto) {
        case U'"': saida += "\\\""; break;
        case U'\\': saida += "\\\\"; break;
        case U'\t': saida += "\\t"; break;
        case U'\r': saida += "\\r"; break;
        case U'\n': saida += "\\n"; break;
        case U'\0': saida += "\\0"; break;
        default:
            if (protocolo::escapar_na_notacao(ponto)) {
                saida += "\\u{";
                anexar_hexadecimal(saida, ponto);
                saida += '}';
            } else {
                saida.append(texto.substr(0, comprimento));
            }
        }
        texto.remove_prefix(comprimento);
    }
    saida += '"';
    return saida;
}

}  // namespace ponte::referencia
