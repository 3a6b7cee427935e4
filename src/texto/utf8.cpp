#include "texto/utf8.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ponte::texto {

namespace {

constexpr char32_t substituto = U'\uFFFD';

// One step of decoding at a position: a whole character, or the maximal subpart of an
// ill-formed sequence (at least one byte) that stands for one U+FFFD.
struct Passo {
    char32_t valor;
    std::size_t comprimento;
    bool valido;
};

constexpr bool e_continuacao(unsigned char b) { return (b & 0xC0U) == 0x80U; }

// Well-formed sequences as listed by the Unicode Standard (Table 3-7). The second byte has a
// range that depends on the lead byte; every later byte is a plain continuation byte.
// Checking the second byte's range here is what excludes overlongs, surrogates and
// values above U+10FFFF, and what makes the rejected prefix a maximal subpart.
inline Passo ler_passo(const unsigned char* p, std::size_t restante) {
    const unsigned char lider = p[0];
    if (lider < 0x80U) {
        return {lider, 1, true};
    }
    std::size_t total = 0;
    unsigned char minimo = 0x80U;
    unsigned char maximo = 0xBFU;
    char32_t valor = 0;
    if (lider >= 0xC2U && lider <= 0xDFU) {
        total = 2;
        valor = lider & 0x1FU;
    } else if (lider >= 0xE0U && lider <= 0xEFU) {
        total = 3;
        valor = lider & 0x0FU;
        if (lider == 0xE0U) {
            minimo = 0xA0U;
        } else if (lider == 0xEDU) {
            maximo = 0x9FU;
        }
    } else if (lider >= 0xF0U && lider <= 0xF4U) {
        total = 4;
        valor = lider & 0x07U;
        if (lider == 0xF0U) {
            minimo = 0x90U;
        } else if (lider == 0xF4U) {
            maximo = 0x8FU;
        }
    } else {
        // 80..C1 and F5..FF never start a sequence.
        return {substituto, 1, false};
    }
    if (restante < 2 || p[1] < minimo || p[1] > maximo) {
        return {substituto, 1, false};
    }
    valor = (valor << 6) | (p[1] & 0x3FU);
    for (std::size_t i = 2; i < total; ++i) {
        if (i >= restante || !e_continuacao(p[i])) {
            return {substituto, i, false};
        }
        valor = (valor << 6) | (p[i] & 0x3FU);
    }
    return {valor, total, true};
}

const unsigned char* bytes_de(std::string_view texto) { return reinterpret_cast<const unsigned char*>(texto.data()); }

// The first byte of [p, fim) that is not ASCII, or `fim`. Lines are mostly ASCII and may be very
// long, so sixteen bytes are tested at once where SSE2 is there (their high bits are one
// instruction away), else eight; a block holding a non-ASCII byte gives its place directly
// instead of being walked again byte by byte. The bytes from `legivel` (at most p) on may be
// read: the last block is read ending at `fim`, overlapping bytes already checked, whose flags
// are shifted out, so a short line takes one or two blocks and no byte-by-byte tail. Big-endian
// machines finish a word that holds a non-ASCII byte, and the tail, byte by byte.
const unsigned char* fim_do_ascii(const unsigned char* legivel, const unsigned char* p, const unsigned char* fim) {
#if defined(__SSE2__)
    const auto carregar = [](const unsigned char* em) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(em)); };
    const auto altos_do_bloco = [&carregar](const unsigned char* em) {
        return static_cast<unsigned>(_mm_movemask_epi8(carregar(em)));
    };
    // Long ASCII runs, the bulk of a long line, four blocks per test: their bytes ORed together
    // have a high bit exactly when one of them has.
    while (fim - p >= 64) {
        const __m128i juntos =
            _mm_or_si128(_mm_or_si128(carregar(p), carregar(p + 16)), _mm_or_si128(carregar(p + 32), carregar(p + 48)));
        if (_mm_movemask_epi8(juntos) != 0) break;
        p += 64;
    }
    while (fim - p >= 16) {
        if (const unsigned altos = altos_do_bloco(p)) return p + std::countr_zero(altos);
        p += 16;
    }
    if (p != fim && fim - legivel >= 16) {
        const unsigned altos = altos_do_bloco(fim - 16) >> static_cast<unsigned>(16 - (fim - p));
        return altos == 0 ? fim : p + std::countr_zero(altos);
    }
#endif
    constexpr std::uint64_t altos = 0x8080808080808080ULL;
    std::uint64_t bloco = 0;
    while (fim - p >= 8) {
        std::memcpy(&bloco, p, sizeof bloco);
        const std::uint64_t nao_ascii = bloco & altos;
        if (nao_ascii != 0) {
            if constexpr (std::endian::native == std::endian::little) return p + std::countr_zero(nao_ascii) / 8;
            break;
        }
        p += 8;
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (p != fim && fim - p < 8 && fim - legivel >= 8) {
            std::memcpy(&bloco, fim - 8, sizeof bloco);
            const std::uint64_t nao_ascii = (bloco & altos) >> (8U * static_cast<unsigned>(8 - (fim - p)));
            return nao_ascii == 0 ? fim : p + std::countr_zero(nao_ascii) / 8;
        }
    }
    while (p < fim && *p < 0x80U) ++p;
    return p;
}

}  // namespace

// flatten: the ASCII skip and the decoding step are inlined into this loop.
[[gnu::flatten]] bool detalhe::utf8_valido_em_blocos(std::string_view bytes) {
    const unsigned char* const inicio = bytes_de(bytes);
    const unsigned char* const fim = inicio + bytes.size();
    for (const unsigned char* p = fim_do_ascii(inicio, inicio, fim); p < fim; p = fim_do_ascii(inicio, p, fim)) {
        // Characters of two bytes, and of three outside the lead bytes E0 and ED whose second
        // byte has a narrower range, need only their continuation bytes looked at: text in
        // Portuguese is full of them, and they often come in runs.
        while (fim - p >= 3 && p[0] >= 0xC2U && p[0] <= 0xEFU && e_continuacao(p[1])) {
            if (p[0] <= 0xDFU) {
                p += 2;
            } else if (p[0] != 0xE0U && p[0] != 0xEDU && e_continuacao(p[2])) {
                p += 3;
            } else {
                break;
            }
        }
        if (p == fim || *p < 0x80U) continue;
        const Passo passo = ler_passo(p, static_cast<std::size_t>(fim - p));
        if (!passo.valido) {
            return false;
        }
        p += passo.comprimento;
    }
    return true;
}

std::string decodificar_utf8_leniente(std::string_view bytes) {
    std::string saida;
    saida.reserve(bytes.size());
    const unsigned char* p = bytes_de(bytes);
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Passo passo = ler_passo(p + i, bytes.size() - i);
        if (passo.valido) {
            saida.append(bytes.substr(i, passo.comprimento));
        } else {
            anexar_utf8(saida, substituto);
        }
        i += passo.comprimento;
    }
    return saida;
}

PontoDeCodigo primeiro_ponto(std::string_view utf8_valido) {
    if (utf8_valido.empty()) {
        return {0, 0};
    }
    // On ill-formed input this yields U+FFFD over the maximal subpart rather than garbage.
    const Passo passo = ler_passo(bytes_de(utf8_valido), utf8_valido.size());
    return {passo.valor, passo.comprimento};
}

PontoDeCodigo ultimo_ponto(std::string_view utf8_valido) {
    const std::size_t n = utf8_valido.size();
    if (n == 0) {
        return {0, 0};
    }
    const unsigned char* p = bytes_de(utf8_valido);
    std::size_t inicio = n - 1;
    while (inicio > 0 && n - inicio < 4 && e_continuacao(p[inicio])) {
        --inicio;
    }
    const Passo passo = ler_passo(p + inicio, n - inicio);
    if (!passo.valido || inicio + passo.comprimento != n) {
        // Ill-formed tail: report its last byte alone so callers still make progress.
        return {substituto, 1};
    }
    return {passo.valor, passo.comprimento};
}

void anexar_utf8(std::string& destino, char32_t ponto) {
    // Surrogates and values past U+10FFFF are not scalar values; writing them would make
    // ill-formed output, so they are written as U+FFFD.
    if ((ponto >= 0xD800U && ponto <= 0xDFFFU) || ponto > 0x10FFFFU) {
        ponto = substituto;
    }
    if (ponto < 0x80U) {
        destino.push_back(static_cast<char>(ponto));
    } else if (ponto < 0x800U) {
        destino.push_back(static_cast<char>(0xC0U | (ponto >> 6)));
        destino.push_back(static_cast<char>(0x80U | (ponto & 0x3FU)));
    } else if (ponto < 0x10000U) {
        destino.push_back(static_cast<char>(0xE0U | (ponto >> 12)));
        destino.push_back(static_cast<char>(0x80U | ((ponto >> 6) & 0x3FU)));
        destino.push_back(static_cast<char>(0x80U | (ponto & 0x3FU)));
    } else {
        destino.push_back(static_cast<char>(0xF0U | (ponto >> 18)));
        destino.push_back(static_cast<char>(0x80U | ((ponto >> 12) & 0x3FU)));
        destino.push_back(static_cast<char>(0x80U | ((ponto >> 6) & 0x3FU)));
        destino.push_back(static_cast<char>(0x80U | (ponto & 0x3FU)));
    }
}

}  // namespace ponte::texto
