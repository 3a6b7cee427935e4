#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ponte::texto {

// Well-formed UTF-8 as the Unicode Standard defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF. U+0000 is an ordinary character.
bool utf8_valido(std::string_view bytes);

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
