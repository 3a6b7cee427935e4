#pragma once

#include "protocolo/numero.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace ponte::protocolo {

// Every syntax diagnostic of the reader, in one place.
namespace diagnostico {
inline constexpr std::string_view fim_em_lista = "EOF while parsing a list";
inline constexpr std::string_view fim_em_objeto = "EOF while parsing an object";
inline constexpr std::string_view fim_em_string = "EOF while parsing a string";
inline constexpr std::string_view fim_em_valor = "EOF while parsing a value";
inline constexpr std::string_view esperava_dois_pontos = "expected `:`";
inline constexpr std::string_view esperava_virgula_ou_colchete = "expected `,` or `]`";
inline constexpr std::string_view esperava_virgula_ou_chave = "expected `,` or `}`";
inline constexpr std::string_view esperava_identificador = "expected ident";
inline constexpr std::string_view esperava_valor = "expected value";
inline constexpr std::string_view escape_invalido = "invalid escape";
inline constexpr std::string_view numero_invalido = "invalid number";
inline constexpr std::string_view numero_fora_do_intervalo = "number out of range";
inline constexpr std::string_view caractere_de_controle =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view chave_nao_e_string = "key must be a string";
inline constexpr std::string_view substituto_isolado = "lone leading surrogate in hex escape";
inline constexpr std::string_view fim_inesperado_de_escape = "unexpected end of hex escape";
inline constexpr std::string_view virgula_final = "trailing comma";
inline constexpr std::string_view caracteres_a_mais = "trailing characters";
inline constexpr std::string_view limite_de_recursao = "recursion limit exceeded";

inline constexpr std::array sintaxe = {
    fim_em_lista,
    fim_em_objeto,
    fim_em_string,
    fim_em_valor,
    esperava_dois_pontos,
    esperava_virgula_ou_colchete,
    esperava_virgula_ou_chave,
    esperava_identificador,
    esperava_valor,
    escape_invalido,
    numero_invalido,
    numero_fora_do_intervalo,
    caractere_de_controle,
    chave_nao_e_string,
    substituto_isolado,
    fim_inesperado_de_escape,
    virgula_final,
    caracteres_a_mais,
    limite_de_recursao,
};
}  // namespace diagnostico

// Arrays and objects nest at most this deep, the outermost counting as 1.
inline constexpr int profundidade_maxima = 127;

namespace detalhe {

constexpr bool e_espaco_json(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Any byte above the space is not white space: the usual case costs one comparison.
inline const char* saltar_espacos(const char* p, const char* fim) {
    while (p < fim && static_cast<unsigned char>(*p) <= ' ' && e_espaco_json(*p)) ++p;
    return p;
}

}  // namespace detalhe

// A failure of the reader: one of the syntax diagnostics above, and where it was found.
struct FalhaJson {
    std::string_view mensagem;
    std::size_t ponto = 0;  // bytes read when the failure was found
};

// A one-pass cursor over one line of JSON. It never copies the line and allocates nothing but the
// unescaped text of a string that holds escapes, in memory the caller lends and keeps. A failure
// is kept as a value and every reading operation reports it by returning false.
class LeitorJson {
public:
    explicit LeitorJson(std::string_view texto) : inicio_(texto.data()), p_(inicio_), fim_(inicio_ + texto.size()) {}

    std::size_t lidos() const { return static_cast<std::size_t>(p_ - inicio_); }

    // Skips JSON white space; the next byte, or -1 at the end of the line.
    int proximo_apos_espacos() {
        p_ = detalhe::saltar_espacos(p_, fim_);
        return p_ < fim_ ? static_cast<unsigned char>(*p_) : -1;
    }
    void consumir() { ++p_; }
    // Consumes `bytes` if the text goes on with exactly them: the usual member name and variant,
    // quotes included, are settled with one comparison of a few bytes.
    bool consumir_se(std::string_view bytes) {
        if (static_cast<std::size_t>(fim_ - p_) < bytes.size() || std::memcmp(p_, bytes.data(), bytes.size()) != 0)
            return false;
        p_ += bytes.size();
        return true;
    }

    // At the opening quote: the string's text, unescaped, in `conteudo`. The view points into the
    // line when the string holds no escape, else into `rascunho`, whose contents are replaced.
    bool ler_string(std::string_view& conteudo, std::string& rascunho) {
        // Names and variants are short: their first sixteen bytes are classed one by one, here,
        // which settles the usual one, plain ASCII, before a block scan would pay for itself.
        const char* const inicio = p_ + 1;
        const char* p = inicio;  // local: `char` reads may alias the members
        const char* const ate = fim_ - p > 16 ? p + 16 : fim_;
        while (p < ate && texto::classe_json(*p) == texto::ClasseJson::ascii) ++p;
        ascii_sem_escapes_ = p < fim_ && *p == '"';
        if (!ascii_sem_escapes_) return ler_resto_da_string(inicio, p, conteudo, rascunho);
        conteudo = std::string_view(inicio, static_cast<std::size_t>(p - inicio));
        p_ = p + 1;
        return true;
    }
    // Whether the last string ler_string read was found, in passing, to be ASCII without escapes
    // (false may also mean it was not looked at that closely: a long one).
    bool string_ascii_sem_escapes() const { return ascii_sem_escapes_; }
    // At a minus sign or digit. `com_valor`: the number is described, so its value is wanted;
    // otherwise it is only checked, and `numero` may be left as it was.
    bool ler_numero(Numero& numero, bool com_valor = true) {
        return ler_inteiro_curto(numero) || ler_numero_por_extenso(numero, com_valor);
    }
    // At the first letter of true, false or null, given in full.
    bool ler_literal(std::string_view literal);
    // Reads any value, nested at most to the depth limit, and drops it. `profundidade` is the
    // depth of the container that holds the value (0 at the top level).
    bool ignorar_valor(int profundidade);

    // Fails at the next byte, which counts as read.
    bool falhar_no_proximo(std::string_view mensagem);
    // Fails because the line ended.
    bool falhar_no_fim(std::string_view mensagem);
    // Fails after the bytes read so far.
    bool falhar_aqui(std::string_view mensagem);

    const FalhaJson& falha() const { return falha_; }

private:
    // The usual number, read here: an integer of at most 18 digits, which cannot overflow, with
    // no fraction or exponent. False, having read nothing, for any other, which the general
    // reading takes from the start.
    bool ler_inteiro_curto(Numero& numero) {
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
    bool ler_numero_por_extenso(Numero& numero, bool com_valor);
    bool ler_resto_da_string(const char* inicio, const char* p, std::string_view& conteudo, std::string& rascunho);
    bool saltar_string();
    bool ler_escape(std::string* destino);
    bool ler_escape_unicode(char32_t& unidade);
    bool ler_expoente(bool& zerar, std::int64_t& expoente, std::uint64_t significando);
    bool ler_nome_e_dois_pontos();

    const char* inicio_;
    const char* p_;
    const char* fim_;
    FalhaJson falha_;
    bool ascii_sem_escapes_ = false;
};

}  // namespace ponte::protocolo
