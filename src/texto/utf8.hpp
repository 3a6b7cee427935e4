#pragma once

#include "texto/varredura.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ponte::texto {

namespace detalhe {
bool utf8_valido_em_blocos(std::string_view bytes);
}

// Well-formed UTF-8 as the Unicode Standard defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF. U+0000 is an ordinary character. Inline for the usual line, short and
// ASCII, settled with two words and no call.
inline bool utf8_valido(std::string_view bytes) {
    constexpr std::uint64_t altos = 0x8080808080808080ULL;
    if (bytes.size() <= 16 && detalhe::marcas_em_texto_curto(bytes.data(), bytes.size(), [](std::uint64_t palavra) {
                                  return palavra & altos;
                              }) == 0)
        return true;
    return detalhe::utf8_valido_em_blocos(bytes);
}

// Decodes leniently: every ill-formed sequence becomes U+FFFD, one per maximal subpart.
std::string decodificar_utf8_leniente(std::string_view bytes);

struct PontoDeCodigo {
    char32_t valor;
    std::size_t comprimento;  // bytes taken by the character
};

// The first character of well-formed, non-empty UTF-8 text.
PontoDeCodigo primeiro_ponto(std::string_view utf8_valido);
// The last character of well-formed, non-empty UTF-8 text.
PontoDeCodigo ultimo_ponto(std::string_view utf8_valido);

void anexar_utf8(std::string& destino, char32_t ponto);

}  // namespace ponte::texto
