#pragma once

#include <array>
#include <string_view>

// Every syntax diagnostic of the JSON reader, in one place: the reader fails with one of these and
// a position, and the decoder writes it with the position's suffix.
namespace ponte::protocolo::diagnostico {

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

}  // namespace ponte::protocolo::diagnostico
