#pragma once

#include "protocol/resposta.hpp"

#include <string>
#include <string_view>

namespace ponte::laco {

using ConsultaDeVersao = protocolo::Resposta (*)();

// The response line (no line feed) for one command text: the version query's answer when the
// text decodes, else the invalid-command response; the fixed fallback if encoding fails.
std::string atender(std::string_view comando, ConsultaDeVersao versao);

}  // namespace ponte::laco
