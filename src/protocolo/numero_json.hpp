#pragma once

// Numbers, for the reader's own files and the decoder: the quick paths (a short integer, read
// whole; a lone digit in a value being skipped, stepped over) beside the general path, which
// reads any number and checks its range. The value of the digits gathered and the description
// of a number are numero.cpp's.
#include "protocolo/leitor_json.hpp"
#include "protocolo/numero.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace ponte::protocolo {

namespace detalhe {

constexpr bool e_digito(char c) { return c >= '0' && c <= '9'; }

// Whether a number goes on with this byte after its first digit.
constexpr bool continua_numero(char c) { return e_digito(c) || c == '.' || c == 'e' || c == 'E'; }

// At a number's first digit: whether the number is that digit alone, the usual element of a
// short command, which a value being skipped steps over as it is. Any other goes through the
// general path (not the short integer's, which would only read the long ones of a long line
// twice).
inline bool digito_isolado(const char* p, const char* fim) { return fim - p < 2 || !continua_numero(p[1]); }

constexpr std::int64_t maior_expoente_escrito = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t limite_sem_transbordo = 1'000'000'000'000'000'000ULL;

// Whether the eight bytes of `palavra` are all ASCII digits (a digit's high nibble is 3 and
// adding 6 keeps it so).
constexpr bool oito_digitos(std::uint64_t palavra) {
    return ((palavra & 0xF0F0F0F0F0F0F0F0ULL) | (((palavra + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4U)) ==
           0x3333333333333333ULL;
}

// The value of eight ASCII digits loaded from memory on a little-endian machine (the first digit
// in the lowest byte): pairs, then fours, then the eight, each step one multiplication.
constexpr std::uint64_t valor_de_oito_digitos(std::uint64_t palavra) {
    palavra = ((palavra & 0x0F0F0F0F0F0F0F0FULL) * 2561U) >> 8U;
    palavra = ((palavra & 0x00FF00FF00FF00FFULL) * 6553601U) >> 16U;
    return ((palavra & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32U;
}
static_assert(valor_de_oito_digitos(0x3837363534333231ULL) == 12345678U);

// Below this a significand takes eight more digits and stays below 10^18.
constexpr std::uint64_t limite_para_oito_digitos = 10'000'000'000ULL;

// Gathers eight digits at a time from `p` while they fit, on little-endian machines; returns how
// many it took. Whatever it leaves, the digit-by-digit loop after it gathers.
[[gnu::always_inline]] inline std::size_t juntar_oito_em_oito(const char*& p, const char* fim,
                                                              std::uint64_t& significando) {
    std::size_t juntados = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (fim - p >= 8 && significando < limite_para_oito_digitos) {
            std::uint64_t palavra = 0;
            std::memcpy(&palavra, p, sizeof palavra);
            if (!oito_digitos(palavra)) break;
            significando = significando * 100'000'000U + valor_de_oito_digitos(palavra);
            p += 8;
            juntados += 8;
        }
    }
    return juntados;
}

// Numbers whose decimal exponent is at most this cannot leave the double range: their
// significand is below 1.85e19.
constexpr std::int64_t maior_expoente_sem_transbordo = 288;

}  // namespace detalhe

inline bool LeitorJson::ler_numero(Numero& numero) {
    return ler_inteiro_curto(numero) || ler_numero_por_extenso<true>(numero);
}

// The usual number, read here: an integer of at most 18 digits, which cannot overflow, with no
// fraction or exponent. False, having read nothing, for any other, which the general path takes
// from the start.
inline bool LeitorJson::ler_inteiro_curto(Numero& numero) {
    const bool negativo = *p_ == '-';
    const char* p = negativo ? p_ + 1 : p_;  // local: `char` reads may alias the members
    // A leading zero has rules of its own.
    if (p == fim_ || *p < '1' || *p > '9') return false;
    const char* const ate = fim_ - p > 18 ? p + 18 : fim_;
    std::uint64_t valor = 0;
    for (; p < ate && *p >= '0' && *p <= '9'; ++p) valor = valor * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p < fim_ && ((*p >= '0' && *p <= '9') || *p == '.' || *p == 'e' || *p == 'E')) return false;
    numero = Numero{negativo ? Numero::Tipo::inteiro_negativo : Numero::Tipo::inteiro_sem_sinal, valor, 0.0};
    p_ = p;
    return true;
}

// The general path: any number. `com_valor`: the number is described, so its value is wanted;
// otherwise it is only checked, and `numero` may be left as it was. The check is inlined into
// the walk that skips values; the reading with its value is compiled once, in numero_json.cpp,
// and called (the decoder reads few numbers, and the usual one through the quick path).
template <bool com_valor>
bool LeitorJson::ler_numero_por_extenso(Numero& numero) {
    using detalhe::e_digito;
    bool negativo = *p_ == '-';
    if (negativo) ++p_;
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);

    // Digits are gathered while the significand fits in 64 bits; after the first one that
    // does not, integer digits only scale and fraction digits are dropped.
    std::uint64_t significando = 0;
    std::int64_t expoente = 0;
    bool transbordou = false;
    auto juntar = [&](char c) {
        auto digito = static_cast<std::uint64_t>(c - '0');
        // Below 10^18 another digit always fits (and nothing has overflowed yet, since an
        // overflow leaves the significand above that): the usual digit skips the division.
        if (significando < detalhe::limite_sem_transbordo) {
            significando = significando * 10 + digito;
            return true;
        }
        if (!transbordou && significando <= (std::numeric_limits<std::uint64_t>::max() - digito) / 10) {
            significando = significando * 10 + digito;
            return true;
        }
        transbordou = true;
        return false;
    };

    if (*p_ == '0') {
        ++p_;
        if (p_ < fim_ && e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
    } else if (e_digito(*p_)) {
        const char* p = p_;  // local: `char` reads may alias the members, see texto/varredura.hpp
        detalhe::juntar_oito_em_oito(p, fim_, significando);
        while (p < fim_ && e_digito(*p)) {
            if (!juntar(*p)) ++expoente;
            ++p;
        }
        p_ = p;
    } else {
        return falhar_no_proximo(diagnostico::numero_invalido);
    }

    bool inteiro = true;
    if (p_ < fim_ && *p_ == '.') {
        inteiro = false;
        ++p_;
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
        if (!e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
        const char* p = p_;
        expoente -= static_cast<std::int64_t>(detalhe::juntar_oito_em_oito(p, fim_, significando));
        while (p < fim_ && e_digito(*p)) {
            if (juntar(*p)) --expoente;
            ++p;
        }
        p_ = p;
    }
    bool zerar = false;
    if (p_ < fim_ && (*p_ == 'e' || *p_ == 'E')) {
        inteiro = false;
        ++p_;
        std::int64_t escrito = 0;
        if (!ler_expoente(zerar, escrito, significando)) return false;
        expoente += escrito;
    }

    if (inteiro && !transbordou) {
        constexpr auto limite_negativo = std::uint64_t{1} << 63U;
        if (!negativo) {
            numero = Numero{Numero::Tipo::inteiro_sem_sinal, significando, 0.0};
            return true;
        }
        if (significando != 0 && significando <= limite_negativo) {
            numero = Numero{Numero::Tipo::inteiro_negativo, significando, 0.0};
            return true;
        }
    }
    // Dropped numbers are only checked for their range, which most exponents settle at once.
    if (!com_valor && (zerar || expoente <= detalhe::maior_expoente_sem_transbordo)) return true;
    std::optional<double> valor = zerar ? 0.0 : valor_do_numero(significando, expoente);
    if (!valor) return falhar_aqui(diagnostico::numero_fora_do_intervalo);
    numero = Numero{Numero::Tipo::flutuante, 0, negativo ? -*valor : *valor};
    return true;
}

extern template bool LeitorJson::ler_numero_por_extenso<true>(Numero& numero);

// After the exponent letter. An exponent beyond 32 bits zeroes the number when it is negative
// or the significand is zero, and is out of range otherwise.
inline bool LeitorJson::ler_expoente(bool& zerar, std::int64_t& expoente, std::uint64_t significando) {
    using detalhe::e_digito;
    bool negativo = false;
    if (p_ < fim_ && (*p_ == '+' || *p_ == '-')) {
        negativo = *p_ == '-';
        ++p_;
    }
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
    if (!e_digito(*p_)) return falhar_no_proximo(diagnostico::numero_invalido);
    std::int64_t valor = 0;
    while (p_ < fim_ && e_digito(*p_)) {
        valor = valor * 10 + (*p_ - '0');
        ++p_;
        if (valor > detalhe::maior_expoente_escrito) {
            if (significando != 0 && !negativo) return falhar_aqui(diagnostico::numero_fora_do_intervalo);
            while (p_ < fim_ && e_digito(*p_)) ++p_;
            zerar = true;
            return true;
        }
    }
    expoente = negativo ? -valor : valor;
    return true;
}

}  // namespace ponte::protocolo
