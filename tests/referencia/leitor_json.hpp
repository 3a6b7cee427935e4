// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#pragma once

#include "referencia/numero.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ponte::referencia {

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

struct FalhaJson {
    std::string mensagem;
    std::size_t ponto = 0;  // bytes read when the failure was found
    bool com_posicao = true;
};

// A one-pass cursor over one line of JSON. It never copies the line; a failure is kept as a
// value and every reading operation reports it by returning false.
class LeitorJson {
public:
    explicit LeitorJson(std::string_view texto) : inicio_(texto.data()), p_(inicio_), fim_(inicio_ + texto.size()) {}

    std::size_t lidos() const { return static_cast<std::size_t>(p_ - inicio_); }

    // Skips JSON white space; the next byte, or -1 at the end of the line.
    int proximo_apos_espacos();
    void consumir() { ++p_; }

    // At the opening quote. Appends the unescaped text to `destino` unless it is null.
    bool ler_string(std::string* destino);
    // At a minus sign or digit.
    bool ler_numero(Numero& numero);
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
    bool falhar_aqui(std::string mensagem, bool com_posicao = true);

    FalhaJson tomar_falha() { return std::move(*falha_); }

private:
    bool ler_escape(std::string* destino);
    bool ler_escape_unicode(char32_t& unidade);
    bool ler_expoente(bool& zerar, std::int64_t& expoente, std::uint64_t significando);
    bool ler_nome_e_dois_pontos();

    const char* inicio_;
    const char* p_;
    const char* fim_;
    std::optional<FalhaJson> falha_;
};

}  // namespace ponte::referencia
