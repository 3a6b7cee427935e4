#pragma once

#include "laco/divisor_de_linhas.hpp"
#include "laco/fonte.hpp"
#include "laco/saida.hpp"
#include "texto/acumulador.hpp"
#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <concepts>
#include <cstddef>
#include <string_view>

namespace ponte::laco {

// An answer buffer that grew past this for one odd line is given back rather than kept.
inline constexpr std::size_t capacidade_retida = std::size_t{64} * 1024;

// Serves every line of `entrada`: one response line on `saida` per non-blank line, in order,
// each handed over in full before the next line is read. Returns when the input ends or fails,
// at the first line that is not well-formed UTF-8 (unanswered, like all after it), or when the
// output fails.
//
// `responder(comando, resposta)` turns one trimmed, non-empty, well-formed UTF-8 command text, a
// line (so it holds no line feed), into its response line, without the line feed, appended to
// `resposta`, which the loop hands over empty and reuses from one line to the next. A template
// parameter rather than a std::function: the process's answerer is then called directly, with
// no type-erased call per line.
template <std::invocable<std::string_view, texto::Acumulador&> Respondedor>
void executar_laco(FonteDeBytes& entrada, SaidaDeBytes& saida, Respondedor&& responder) {
    DivisorDeLinhas divisor(entrada);
    // One buffer for every answer: once it has grown to the usual answer, no line allocates it.
    texto::Acumulador resposta;
    while (const auto linha = divisor.proxima()) {
        if (!texto::utf8_valido(*linha)) return;
        const std::string_view comando = texto::aparar_espaco_branco(*linha);
        if (comando.empty()) continue;
        responder(comando, resposta);
        resposta.anexar('\n');
        if (saida.escrever(resposta.texto()) == Escrita::falhou) return;
        resposta.esvaziar(capacidade_retida);
    }
}

}  // namespace ponte::laco
