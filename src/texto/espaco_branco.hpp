#pragma once

#include <cstdint>
#include <string_view>

namespace ponte::texto {

// The code points with the Unicode White_Space property (espaco_branco.inc, generated).
bool e_espaco_branco(char32_t ponto);

namespace detalhe {

// An ASCII byte that is not White_Space: the usual first and last byte of a command, which
// settles that end without decoding a character.
constexpr bool ascii_nao_branco(char c) {
    const auto byte = static_cast<unsigned char>(c);
    // The ASCII White_Space characters, 0x09-0x0D and 0x20, one bit each.
    constexpr std::uint64_t brancos = 0x1'0000'3E00ULL;
    return byte < 0x40U ? ((brancos >> byte) & 1U) == 0 : byte < 0x80U;
}

std::string_view aparar_espaco_branco_decodificando(std::string_view utf8_valido);

}  // namespace detalhe

// The view without the White_Space characters at either end of well-formed UTF-8 text. Inline:
// every line pays for the usual case, two byte comparisons, before anything is decoded.
inline std::string_view aparar_espaco_branco(std::string_view utf8_valido) {
    if (!utf8_valido.empty() && detalhe::ascii_nao_branco(utf8_valido.front()) &&
        detalhe::ascii_nao_branco(utf8_valido.back()))
        return utf8_valido;
    return detalhe::aparar_espaco_branco_decodificando(utf8_valido);
}

}  // namespace ponte::texto
