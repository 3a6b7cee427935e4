// Reference implementation, frozen: the text helpers of the reader, decoder and encoder as of
// commit 6c15f48, kept unchanged in namespace ponte::referencia with them, so that the reference
// shares no code that the bridge may change. Never optimise or fix it here: it is the yardstick.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace ponte::referencia {

// The first byte in [p, fim) that a JSON string cannot hold as it is: '"', '\' or a byte below
// 0x20; `fim` when there is none. The reader (the end of a plain run) and the encoder (the
// next byte to escape) both ask this of every string byte, so it tests eight bytes at a time
// (SWAR): in each 64-bit word the lowest flagged byte is exact, because a borrow only starts
// at a flagged byte and only moves towards higher bytes. Working on local pointers also keeps
// the compiler from storing a cursor back to memory on every byte, as `char` aliasing forces.
inline const char* primeiro_especial_json(const char* p, const char* fim) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t uns = 0x0101010101010101ULL;
        constexpr std::uint64_t altos = 0x8080808080808080ULL;
        while (fim - p >= 8) {
            std::uint64_t bloco = 0;
            std::memcpy(&bloco, p, sizeof bloco);
            const std::uint64_t aspas = bloco ^ (uns * '"');
            const std::uint64_t barras = bloco ^ (uns * '\\');
            const std::uint64_t marcas =
                (((bloco - uns * 0x20U) & ~bloco) | ((aspas - uns) & ~aspas) | ((barras - uns) & ~barras)) & altos;
            if (marcas != 0) return p + std::countr_zero(marcas) / 8;
            p += 8;
        }
    }
    for (; p < fim; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20U || byte == '"' || byte == '\\') return p;
    }
    return p;
}

}  // namespace ponte::referencia
