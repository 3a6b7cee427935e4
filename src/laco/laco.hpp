#pragma once

#include "laco/fonte.hpp"
#include "laco/saida.hpp"
#include "texto/acumulador.hpp"

#include <functional>
#include <string_view>

namespace ponte::laco {

// Turns one trimmed, non-empty, well-formed UTF-8 command text, a line (so it holds no line
// feed), into its response line, without the line feed, appended to `resposta`, which the loop
// hands over empty and reuses from one line to the next.
using Respondedor = std::function<void(std::string_view comando, texto::Acumulador& resposta)>;

// Serves every line of `entrada`: one response line on `saida` per non-blank line, in order,
// each handed over in full before the next line is read. Returns when the input ends or fails,
// at the first line that is not well-formed UTF-8 (unanswered, like all after it), or when the
// output fails.
void executar_laco(FonteDeBytes& entrada, SaidaDeBytes& saida, const Respondedor& responder);

}  // namespace ponte::laco
