#pragma once

// Strings, for the reader's own files and the decoder: the quick path of a short plain name,
// skipping a string whose text nobody needs, and the escapes. The general reading, which unescapes
// into the caller's buffer, is string_json.cpp.
#include "protocolo/leitor_json.hpp"
#include "texto/utf8.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ponte::protocolo {

namespace detalhe {

// The end of the plain ASCII run at `p`, looked at byte by byte for at most sixteen bytes: names
// and variants are short, and classing their bytes one by one settles the usual one before a
// block scan would pay for itself. A string is settled there when the run ends at its closing
// quote.
inline const char* fim_do_ascii_curto(const char* p, const char* fim) {
    const char* const ate = fim - p > 16 ? p + 16 : fim;
    while (p < ate && texto::classe_json(*p) == texto::ClasseJson::ascii) ++p;
    return p;
}

// The letters after a backslash that stand for one character, \u aside.
constexpr bool e_escape_simples(char c) {
    return c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't';
}

// The value of each hexadecimal digit, -1 for every other byte: one load per digit of a \u escape.
inline constexpr std::array<signed char, 256> valores_hexadecimais = [] {
    std::array<signed char, 256> tabela{};
    for (int i = 0; i < 256; ++i) {
        int valor = -1;
        if (i >= '0' && i <= '9') valor = i - '0';
        if (i >= 'a' && i <= 'f') valor = i - 'a' + 10;
        if (i >= 'A' && i <= 'F') valor = i - 'A' + 10;
        tabela[static_cast<std::size_t>(i)] = static_cast<signed char>(valor);
    }
    return tabela;
}();

inline int valor_hexadecimal(char c) { return valores_hexadecimais[static_cast<unsigned char>(c)]; }

constexpr bool e_substituto_inicial(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool e_substituto_final(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The four hexadecimal digits at `p`, or -1 if any is not one.
inline int quatro_digitos_hexadecimais(const char* p) {
    const int a = valor_hexadecimal(p[0]);
    const int b = valor_hexadecimal(p[1]);
    const int c = valor_hexadecimal(p[2]);
    const int d = valor_hexadecimal(p[3]);
    // A bad digit is -1: any of them makes the OR negative.
    if ((a | b | c | d) < 0) return -1;
    return (a << 12) | (b << 8) | (c << 4) | d;
}

// After a backslash: the bytes of a well-formed \u escape there (5, or 11 for a surrogate pair),
// 0 for anything else, which ler_escape then reads for its diagnostic.
inline std::size_t escape_unicode_valido(const char* p, const char* fim) {
    if (fim - p < 5 || *p != 'u') return 0;
    const int unidade = quatro_digitos_hexadecimais(p + 1);
    if (unidade < 0 || e_substituto_final(static_cast<char32_t>(unidade))) return 0;
    if (!e_substituto_inicial(static_cast<char32_t>(unidade))) return 5;
    if (fim - p < 11 || p[5] != '\\' || p[6] != 'u') return 0;
    const int final = quatro_digitos_hexadecimais(p + 7);
    return final >= 0 && e_substituto_final(static_cast<char32_t>(final)) ? 11 : 0;
}

}  // namespace detalhe

// The quick path, inline in the decoder: a short plain string is read here; any other goes on
// from where this stopped, through ler_resto_da_string.
inline bool LeitorJson::ler_string(std::string_view& conteudo, std::string& rascunho) {
    const char* const inicio = p_ + 1;
    const char* const p = detalhe::fim_do_ascii_curto(inicio, fim_);  // local: `char` reads may alias the members
    ascii_sem_escapes_ = p < fim_ && *p == '"';
    if (!ascii_sem_escapes_) return ler_resto_da_string(inicio, p, conteudo, rascunho);
    conteudo = std::string_view(inicio, static_cast<std::size_t>(p - inicio));
    p_ = p + 1;
    return true;
}

// At the opening quote of a string whose text nobody needs.
// flatten: the scan and the escape checks are inlined into this loop, which runs per escape.
[[gnu::flatten]] inline bool LeitorJson::saltar_string() {
    const char* p = p_ + 1;  // local: `char` reads may alias the members, see texto/varredura.hpp
    for (;;) {
        p = texto::primeiro_especial_json(inicio_, p, fim_);
        if (p == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        switch (*p) {
        case '"': p_ = p + 1; return true;
        case '\\':
            ++p;
            // A simple escape needs no decoding: step over it here; so does a \u escape that
            // stands for a character on its own or with its pair. What is left fails, through
            // ler_escape for its exact diagnostic (which would also read a good escape, should
            // the quick check above ever let one through).
            if (p < fim_ && detalhe::e_escape_simples(*p)) {
                ++p;
                break;
            }
            if (const std::size_t bytes = detalhe::escape_unicode_valido(p, fim_)) {
                p += bytes;
                break;
            }
            p_ = p;
            if (!ler_escape(nullptr)) return false;
            p = p_;
            break;
        default: p_ = p; return falhar_no_proximo(diagnostico::caractere_de_controle);
        }
    }
}

// After the backslash: the escape, appended to `destino` unless it is null.
inline bool LeitorJson::ler_escape(std::string* destino) {
    if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
    char letra = *p_++;
    char simples = 0;
    switch (letra) {
    case '"': simples = '"'; break;
    case '\\': simples = '\\'; break;
    case '/': simples = '/'; break;
    case 'b': simples = '\b'; break;
    case 'f': simples = '\f'; break;
    case 'n': simples = '\n'; break;
    case 'r': simples = '\r'; break;
    case 't': simples = '\t'; break;
    case 'u': break;
    default: return falhar_aqui(diagnostico::escape_invalido);
    }
    if (letra != 'u') {
        if (destino != nullptr) *destino += simples;
        return true;
    }
    char32_t unidade = 0;
    if (!ler_escape_unicode(unidade)) return false;
    if (detalhe::e_substituto_final(unidade)) return falhar_aqui(diagnostico::substituto_isolado);
    if (detalhe::e_substituto_inicial(unidade)) {
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != '\\') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_string);
        if (*p_ != 'u') return falhar_no_proximo(diagnostico::fim_inesperado_de_escape);
        ++p_;
        char32_t final = 0;
        if (!ler_escape_unicode(final)) return false;
        if (!detalhe::e_substituto_final(final)) return falhar_aqui(diagnostico::substituto_isolado);
        unidade = 0x10000 + ((unidade - 0xD800) << 10U) + (final - 0xDC00);
    }
    if (destino != nullptr) texto::anexar_utf8(*destino, unidade);
    return true;
}

// The four bytes after \u, taken together: a bad digit fails at the fourth.
inline bool LeitorJson::ler_escape_unicode(char32_t& unidade) {
    if (fim_ - p_ < 4) return falhar_no_fim(diagnostico::fim_em_string);
    const int valor = detalhe::quatro_digitos_hexadecimais(p_);
    p_ += 4;
    if (valor < 0) return falhar_aqui(diagnostico::escape_invalido);
    unidade = static_cast<char32_t>(valor);
    return true;
}

}  // namespace ponte::protocolo
