#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ponte::texto {

namespace detalhe {

// 0x80 in each zero byte of x, 0 in the others. Exact: no sum carries from one byte into the
// next (the low seven bits plus 0x7F set the high bit in every byte whose low bits are not all
// zero; OR x covers the byte 0x80), so a byte's flag depends on that byte alone, and only which
// bytes are flagged matters, never the word's byte order.
constexpr std::uint64_t zeros_na_palavra(std::uint64_t x) {
    constexpr std::uint64_t baixos = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((x & baixos) + baixos) | x | baixos);
}

// 0x80 in each byte of the word that a JSON string cannot hold as it is ('"', '\\', below 0x20)
// or, with `nao_ascii`, that is from 0x80 up; 0 in every other byte. Exact, like the zeros.
template <bool nao_ascii>
constexpr std::uint64_t especiais_na_palavra(std::uint64_t palavra) {
    constexpr std::uint64_t uns = 0x0101010101010101ULL;
    constexpr std::uint64_t baixos = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t altos = 0x8080808080808080ULL;
    // High bit set, for a byte below 0x80, exactly when it is at least 0x20.
    const std::uint64_t controles = ~(((palavra & baixos) + uns * (0x80U - 0x20U)) | palavra) & altos;
    const std::uint64_t marcas =
        controles | zeros_na_palavra(palavra ^ (uns * '"')) | zeros_na_palavra(palavra ^ (uns * '\\'));
    return nao_ascii ? marcas | (palavra & altos) : marcas;
}

// The OR of `marcas` over 64-bit words that together hold the n <= 16 bytes at p and nothing
// else: two words overlapping each other, or for fewer than eight bytes some of them repeated.
// For a test that flags each byte on its own (as every one here does), not zero exactly when
// some byte is flagged, in a few instructions and no loop: short lines and texts are the usual
// ones, and their size decides how they are read.
template <typename Marcas>
std::uint64_t marcas_em_texto_curto(const char* p, std::size_t n, Marcas marcas) {
    const auto ler = [](const char* em, auto palavra) {
        std::memcpy(&palavra, em, sizeof palavra);
        return palavra;
    };
    if (n >= 8) return marcas(ler(p, std::uint64_t{0})) | marcas(ler(p + n - 8, std::uint64_t{0}));
    if (n >= 4) return marcas(ler(p, std::uint32_t{0}) | std::uint64_t{ler(p + n - 4, std::uint32_t{0})} << 32U);
    if (n == 0) return 0;
    // One to three bytes: the first, the middle and the last are all of them.
    const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    const std::uint64_t tres = byte(0) | byte(n / 2) << 8U | byte(n - 1) << 16U | byte(0) << 24U;
    return marcas(tres | tres << 32U);
}

constexpr bool e_especial(unsigned char byte, bool nao_ascii) {
    return byte < 0x20U || byte == '"' || byte == '\\' || (nao_ascii && byte >= 0x80U);
}

template <bool nao_ascii>
const char* primeiro_especial_byte_a_byte(const char* p, const char* fim) {
    while (p < fim && !e_especial(static_cast<unsigned char>(*p), nao_ascii)) ++p;
    return p;
}

// The portable scans: eight bytes at a time on little-endian machines (SWAR), where the lowest
// flagged byte of a word is the first in memory. A last word of fewer than eight bytes is read
// ending at `fim`, overlapping what came before, when the text from `legivel` is long enough;
// the flags of the bytes before `p` are shifted out. Big-endian machines go byte by byte.
// Working on local pointers also keeps the compiler from storing a cursor back to memory on
// every byte, as `char` aliasing forces.
template <bool nao_ascii>
const char* primeiro_especial_em_palavras([[maybe_unused]] const char* legivel, const char* p, const char* fim) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t palavra = 0;
        while (fim - p >= 8) {
            std::memcpy(&palavra, p, sizeof palavra);
            if (const std::uint64_t marcas = especiais_na_palavra<nao_ascii>(palavra))
                return p + std::countr_zero(marcas) / 8;
            p += 8;
        }
        if (p == fim || fim - legivel < 8) return primeiro_especial_byte_a_byte<nao_ascii>(p, fim);
        std::memcpy(&palavra, fim - 8, sizeof palavra);
        const auto antes = static_cast<unsigned>(8 - (fim - p));  // bytes of the word before p
        const std::uint64_t marcas = especiais_na_palavra<nao_ascii>(palavra) >> (8U * antes);
        return marcas == 0 ? fim : p + std::countr_zero(marcas) / 8;
    }
    return primeiro_especial_byte_a_byte<nao_ascii>(p, fim);
}

template <bool nao_ascii>
const char* primeiro_especial(const char* legivel, const char* p, const char* fim) {
#if defined(__SSE2__)
    const __m128i aspas = _mm_set1_epi8('"');
    const __m128i barras = _mm_set1_epi8('\\');
    const __m128i espaco = _mm_set1_epi8(0x20);
    const __m128i maior_controle = _mm_set1_epi8(0x1F);
    const auto marcas = [&](const char* em) {
        const __m128i bloco = _mm_loadu_si128(reinterpret_cast<const __m128i*>(em));
        // Signed bytes: below 0x20 are the controls and, negative, every byte from 0x80 up.
        // Unsigned: min(b, 0x1F) == b exactly when b <= 0x1F.
        const __m128i abaixo =
            nao_ascii ? _mm_cmplt_epi8(bloco, espaco) : _mm_cmpeq_epi8(_mm_min_epu8(bloco, maior_controle), bloco);
        return static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(abaixo, _mm_or_si128(_mm_cmpeq_epi8(bloco, aspas), _mm_cmpeq_epi8(bloco, barras)))));
    };
    while (fim - p >= 16) {
        if (const unsigned mascara = marcas(p)) return p + std::countr_zero(mascara);
        p += 16;
    }
    // The last block ends at `fim`, overlapping what came before; the bytes before p are dropped.
    if (p != fim && fim - legivel >= 16) {
        const unsigned mascara = marcas(fim - 16) >> static_cast<unsigned>(16 - (fim - p));
        return mascara == 0 ? fim : p + std::countr_zero(mascara);
    }
#endif
    return primeiro_especial_em_palavras<nao_ascii>(legivel, p, fim);
}

}  // namespace detalhe

// The first byte in [p, fim) that a JSON string cannot hold as it is: '"', '\' or a byte below
// 0x20; `fim` when there is none. The reader (the end of a plain run) and the encoder (the next
// byte to escape) both ask this of every string byte. Where SSE2 is there (every x86-64), sixteen
// bytes are tested at once; the rest, and every other machine, take the portable scan. The bytes
// from `legivel` (at most p) on may be read: a scan that ends near the end of a longer text reads
// its last block overlapping the bytes before p, in place of a byte-by-byte tail.
inline const char* primeiro_especial_json(const char* legivel, const char* p, const char* fim) {
    return detalhe::primeiro_especial<false>(legivel, p, fim);
}
inline const char* primeiro_especial_json(const char* p, const char* fim) {
    return detalhe::primeiro_especial<false>(p, p, fim);
}

// The same, or the first byte from 0x80 up, whichever comes first: the encoder's scan of a text
// not yet known to be UTF-8, which settles an ASCII text in the same pass.
inline const char* primeiro_especial_json_ou_nao_ascii(const char* legivel, const char* p, const char* fim) {
    return detalhe::primeiro_especial<true>(legivel, p, fim);
}
inline const char* primeiro_especial_json_ou_nao_ascii(const char* p, const char* fim) {
    return detalhe::primeiro_especial<true>(p, p, fim);
}

// How a byte goes into a JSON string: as it is and ASCII, as it is but from 0x80 up, or escaped
// ('"', '\\', below 0x20). One load per byte, for texts too short for a block scan to pay: the
// names and variants of a command.
enum class ClasseJson : unsigned char { ascii, nao_ascii, especial };

inline constexpr std::array<ClasseJson, 256> classes_json = [] {
    std::array<ClasseJson, 256> classes{};
    for (std::size_t byte = 0; byte < classes.size(); ++byte) {
        classes[byte] = detalhe::e_especial(static_cast<unsigned char>(byte), false) ? ClasseJson::especial
                        : byte >= 0x80U                                              ? ClasseJson::nao_ascii
                                                                                     : ClasseJson::ascii;
    }
    return classes;
}();

inline ClasseJson classe_json(char c) { return classes_json[static_cast<unsigned char>(c)]; }

// Whether every byte of the text is ASCII that a JSON string holds as it is: ASCII without
// escapes, which the reader, the decoder and the encoder all ask about by this one name.
inline bool ascii_sem_escapes(std::string_view texto) {
    const char* const fim = texto.data() + texto.size();
    if (texto.size() > 16) return primeiro_especial_json_ou_nao_ascii(texto.data(), fim) == fim;
    return detalhe::marcas_em_texto_curto(texto.data(), texto.size(), detalhe::especiais_na_palavra<true>) == 0;
}

// The first line feed in [p, fim), or nullptr. The line splitter asks this once per line: a short
// line's end is usually within the first sixteen bytes, tested in place where SSE2 is there;
// anything further is memchr's.
inline const char* primeira_quebra(const char* p, const char* fim) {
#if defined(__SSE2__)
    if (fim - p >= 16) {
        const __m128i bloco = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto quebras = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bloco, _mm_set1_epi8('\n'))));
        if (quebras != 0) return p + std::countr_zero(quebras);
        p += 16;
    }
#endif
    return p == fim ? nullptr : static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(fim - p)));
}

// The first byte in [p, fim) that is not `byte`; `fim` when there is none. The reader measures
// runs of brackets with it, the shape of deeply nested arrays, sixteen bytes at a time where
// SSE2 is there, the last block read back from `fim` over bytes from `legivel` (at most p) on,
// as the scans above do; elsewhere byte by byte, `legivel` unused.
inline const char* fim_da_repeticao([[maybe_unused]] const char* legivel, const char* p, const char* fim, char byte) {
#if defined(__SSE2__)
    const __m128i repetido = _mm_set1_epi8(byte);
    const auto comparados = [repetido](const char* em) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(em)), repetido);
    };
    const auto iguais_em = [&comparados](const char* em) {
        return static_cast<unsigned>(_mm_movemask_epi8(comparados(em)));
    };
    // Two blocks per test while both are the byte throughout; the block that is not is then
    // measured alone.
    while (fim - p >= 32 && _mm_movemask_epi8(_mm_and_si128(comparados(p), comparados(p + 16))) == 0xFFFF) p += 32;
    while (fim - p >= 16) {
        const unsigned iguais = iguais_em(p);
        if (iguais != 0xFFFFU) return p + std::countr_one(iguais);
        p += 16;
    }
    // Shifted, the flags of the bytes before p go and zeros come in past `fim`, ending the count.
    if (p != fim && fim - legivel >= 16)
        return p + std::countr_one(iguais_em(fim - 16) >> static_cast<unsigned>(16 - (fim - p)));
#endif
    while (p < fim && *p == byte) ++p;
    return p;
}
inline const char* fim_da_repeticao(const char* p, const char* fim, char byte) {
    return fim_da_repeticao(p, p, fim, byte);
}

}  // namespace ponte::texto
