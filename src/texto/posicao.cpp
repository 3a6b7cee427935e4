#include "texto/posicao.hpp"

#include <cstdint>
#include <cstring>

namespace ponte::texto {

namespace {

constexpr std::uint64_t uns = 0x0101010101010101ULL;
constexpr std::uint64_t baixos = 0x7F7F7F7F7F7F7F7FULL;

// 0x80 in each byte of the eight at `p` that is a line feed, 0 in every other byte. Exact: no sum
// carries from one byte into the next, so a flag never spills over. Only which bytes are flagged
// matters to the callers, never where in the word they sit, so byte order plays no part.
std::uint64_t quebras_na_palavra(const char* p) {
    std::uint64_t palavra = 0;
    std::memcpy(&palavra, p, sizeof palavra);
    const std::uint64_t x = palavra ^ (uns * '\n');
    return ~(((x & baixos) + baixos) | x | baixos);
}

std::size_t contar_quebras(const char* p, const char* fim) {
    std::size_t quebras = 0;
    for (; fim - p >= 8; p += 8) {
        // One 0x01 per flagged byte, summed into the top byte by the multiplication (at most 8).
        quebras += static_cast<std::size_t>(((quebras_na_palavra(p) >> 7U) * uns) >> 56U);
    }
    for (; p < fim; ++p) quebras += *p == '\n' ? 1 : 0;
    return quebras;
}

}  // namespace

Posicao detalhe::posicao_do_fim_com_memchr(std::string_view texto) {
    const void* achada = texto.empty() ? nullptr : std::memchr(texto.data(), '\n', texto.size());
    if (achada == nullptr) return {1, texto.size()};
    const char* const primeira = static_cast<const char*>(achada);
    const char* const fim = texto.data() + texto.size();
    // The last line feed: whole words without one are passed over, then at most one word is
    // looked at byte by byte; `primeira` stops the search in any case.
    const char* ultima = fim;
    while (ultima - primeira >= 8 && quebras_na_palavra(ultima - 8) == 0) ultima -= 8;
    do {
        --ultima;
    } while (*ultima != '\n');
    return {1 + contar_quebras(primeira, ultima + 1), static_cast<std::size_t>(fim - ultima - 1)};
}

}  // namespace ponte::texto
