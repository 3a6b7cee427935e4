#pragma once

#include "protocol/resposta.hpp"

#include <functional>
#include <string>
#include <string_view>

namespace ponte::laco {

using ConsultaDeVersao = std::function<protocolo::Resposta()>;

// The response line (no line feed) for one command text: the version query's answer when the
// text decodes, else the invalid-command response; the fixed fallback if encoding fails.
std::string atender(std::string_view comando, const ConsultaDeVersao& versao);

}  // namespace ponte::laco
