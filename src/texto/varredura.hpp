#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ponte::texto {

namespace detalhe {

// The portable scans: eight bytes at a time on little-endian machines (SWAR): in each 64-bit
// word the lowest flagged byte is exact, because a borrow only starts at a flagged byte and only
// moves towards higher bytes. Big-endian machines, where the lowest address is the highest byte,
// go byte by byte. Working on local pointers also keeps the compiler from storing a cursor back
// to memory on every byte, as `char` aliasing forces. `nao_ascii`: bytes from 0x80 up are
// flagged too.
template <bool nao_ascii>
const char* primeiro_especial_em_palavras(const char* p, const char* fim) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t uns = 0x0101010101010101ULL;
        constexpr std::uint64_t altos = 0x8080808080808080ULL;
        while (fim - p >= 8) {
            std::uint64_t bloco = 0;
            std::memcpy(&bloco, p, sizeof bloco);
            const std::uint64_t aspas = bloco ^ (uns * '"');
            const std::uint64_t barras = bloco ^ (uns * '\\');
            const std::uint64_t marcas = (((bloco - uns * 0x20U) & ~bloco) | (nao_ascii ? bloco : 0) |
                                          ((aspas - uns) & ~aspas) | ((barras - uns) & ~barras)) &
                                         altos;
            if (marcas != 0) return p + std::countr_zero(marcas) / 8;
            p += 8;
        }
    }
    for (; p < fim; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20U || byte == '"' || byte == '\\' || (nao_ascii && byte >= 0x80U)) return p;
    }
    return p;
}

template <bool nao_ascii>
const char* primeiro_especial(const char* p, const char* fim) {
#if defined(__SSE2__)
    const __m128i aspas = _mm_set1_epi8('"');
    const __m128i barras = _mm_set1_epi8('\\');
    const __m128i espaco = _mm_set1_epi8(0x20);
    const __m128i maior_controle = _mm_set1_epi8(0x1F);
    while (fim - p >= 16) {
        const __m128i bloco = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Signed bytes: below 0x20 are the controls and, negative, every byte from 0x80 up.
        // Unsigned: min(b, 0x1F) == b exactly when b <= 0x1F.
        const __m128i abaixo =
            nao_ascii ? _mm_cmplt_epi8(bloco, espaco) : _mm_cmpeq_epi8(_mm_min_epu8(bloco, maior_controle), bloco);
        const __m128i marcas =
            _mm_or_si128(abaixo, _mm_or_si128(_mm_cmpeq_epi8(bloco, aspas), _mm_cmpeq_epi8(bloco, barras)));
        const auto mascara = static_cast<unsigned>(_mm_movemask_epi8(marcas));
        if (mascara != 0) return p + std::countr_zero(mascara);
        p += 16;
    }
#endif
    return primeiro_especial_em_palavras<nao_ascii>(p, fim);
}

}  // namespace detalhe

// The first byte in [p, fim) that a JSON string cannot hold as it is: '"', '\' or a byte below
// 0x20; `fim` when there is none. The reader (the end of a plain run) and the encoder (the next
// byte to escape) both ask this of every string byte. Where SSE2 is there (every x86-64), sixteen
// bytes are tested at once; the rest, and every other machine, take the portable scan.
inline const char* primeiro_especial_json(const char* p, const char* fim) {
    return detalhe::primeiro_especial<false>(p, fim);
}

// The same, or the first byte from 0x80 up, whichever comes first: the encoder's scan of a text
// not yet known to be UTF-8, which settles an ASCII text in the same pass.
inline const char* primeiro_especial_json_ou_nao_ascii(const char* p, const char* fim) {
    return detalhe::primeiro_especial<true>(p, fim);
}

// The first byte in [p, fim) that is not `byte`; `fim` when there is none. The reader measures
// runs of brackets with it, the shape of deeply nested arrays, sixteen bytes at a time where
// SSE2 is there.
inline const char* fim_da_repeticao(const char* p, const char* fim, char byte) {
#if defined(__SSE2__)
    const __m128i repetido = _mm_set1_epi8(byte);
    while (fim - p >= 16) {
        const __m128i bloco = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto iguais = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bloco, repetido)));
        if (iguais != 0xFFFFU) return p + std::countr_one(iguais);
        p += 16;
    }
#endif
    while (p < fim && *p == byte) ++p;
    return p;
}

}  // namespace ponte::texto
