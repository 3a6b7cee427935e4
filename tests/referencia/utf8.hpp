// Reference implementation, frozen: the text helpers of the reader, decoder and encoder as of
// commit 6c15f48, kept unchanged in namespace ponte::referencia with them, so that the reference
// shares no code that the bridge may change. Never optimise or fix it here: it is the yardstick.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ponte::referencia {

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

}  // namespace ponte::referencia
