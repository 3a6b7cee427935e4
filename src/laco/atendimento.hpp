#pragma once

#include "protocolo/decodificador.hpp"
#include "protocolo/resposta.hpp"
#include "texto/acumulador.hpp"

#include <functional>
#include <string_view>
#include <utility>

namespace ponte::laco {

using ConsultaDeVersao = std::function<protocolo::Resposta()>;

// Answers command texts. It keeps the decoder's memory from one command to the next, so that
// once warm an invalid command costs no allocation at all: the diagnostic is written into the
// decoder's buffer and the answer straight into the caller's.
class Atendente {
public:
    explicit Atendente(ConsultaDeVersao versao) : versao_(std::move(versao)) {}

    // Appends the response line (no line feed) for one command text to `resposta`: the version
    // query's answer when the text decodes, else the invalid-command response; the fixed fallback
    // if encoding fails. `quebras`: whether the text may hold line feeds (see Decodificador).
    void atender(std::string_view comando, texto::Acumulador& resposta,
                 protocolo::Quebras quebras = protocolo::Quebras::possiveis);

private:
    ConsultaDeVersao versao_;
    protocolo::Decodificador decodificador_;
};

}  // namespace ponte::laco
