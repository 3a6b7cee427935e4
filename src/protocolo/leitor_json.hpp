#pragma once

#include "protocolo/diagnosticos_json.hpp"
#include "protocolo/numero.hpp"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace ponte::protocolo {

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

// A failure of the reader: one of the syntax diagnostics (diagnosticos_json.hpp), and where it
// was found.
struct FalhaJson {
    std::string_view mensagem;
    std::size_t ponto = 0;  // bytes read when the failure was found
};

// A one-pass cursor over one line of JSON. It never copies the line and allocates nothing but the
// unescaped text of a string that holds escapes, in memory the caller lends and keeps. A failure
// is kept as a value and every reading operation reports it by returning false.
//
// This file holds the cursor, white space, literals and failures. Each kind of token has the rest
// of its reading in files of its own, its quick path for the usual case beside its general path,
// inline where the callers that run per token or per line need it so: strings in string_json.hpp
// and .cpp, numbers in numero_json.hpp and .cpp (their value and description in numero.cpp), the
// structure of containers and members in estrutura_json.hpp, and skipping a whole value in
// valor_ignorado_json.cpp. The decoder includes the headers of the tokens it reads.
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
    // (string_json.hpp)
    bool ler_string(std::string_view& conteudo, std::string& rascunho);
    // Whether the last string ler_string read was found, in passing, to be ASCII without escapes
    // (false may also mean it was not looked at that closely: a long one).
    bool string_ascii_sem_escapes() const { return ascii_sem_escapes_; }
    // At a minus sign or digit: the number and its value. (numero_json.hpp)
    bool ler_numero(Numero& numero);
    // At the first letter of true, false or null, given in full.
    bool ler_literal(std::string_view literal) {
        ++p_;  // the first letter was seen by the caller
        for (char esperado : literal.substr(1)) {
            if (p_ == fim_) return falhar_no_fim(diagnostico::fim_em_valor);
            if (*p_ != esperado) return falhar_no_proximo(diagnostico::esperava_identificador);
            ++p_;
        }
        return true;
    }
    // Reads any value, nested at most to the depth limit, and drops it. `profundidade` is the
    // depth of the container that holds the value (0 at the top level). (valor_ignorado_json.cpp)
    bool ignorar_valor(int profundidade);

    // Fails at the next byte, which counts as read.
    bool falhar_no_proximo(std::string_view mensagem) {
        ++p_;
        return falhar_aqui(mensagem);
    }
    // Fails because the line ended.
    bool falhar_no_fim(std::string_view mensagem) {
        p_ = fim_;
        return falhar_aqui(mensagem);
    }
    // Fails after the bytes read so far.
    bool falhar_aqui(std::string_view mensagem) {
        falha_ = FalhaJson{mensagem, lidos()};
        return false;
    }

    const FalhaJson& falha() const { return falha_; }

private:
    // string_json.hpp, string_json.cpp
    bool ler_resto_da_string(const char* inicio, const char* p, std::string_view& conteudo, std::string& rascunho);
    bool saltar_string();
    bool ler_escape(std::string* destino);
    bool ler_escape_unicode(char32_t& unidade);
    // numero_json.hpp
    bool ler_inteiro_curto(Numero& numero);
    template <bool com_valor>
    bool ler_numero_por_extenso(Numero& numero);
    bool ler_expoente(bool& zerar, std::int64_t& expoente, std::uint64_t significando);
    // estrutura_json.hpp
    bool ler_nome_e_dois_pontos();

    const char* inicio_;
    const char* p_;
    const char* fim_;
    FalhaJson falha_;
    bool ascii_sem_escapes_ = false;
};

}  // namespace ponte::protocolo
