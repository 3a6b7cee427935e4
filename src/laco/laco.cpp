#include "laco/laco.hpp"

#include "laco/divisor_de_linhas.hpp"
#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <cstddef>

namespace ponte::laco {

namespace {

// An answer buffer that grew past this for one odd line is given back rather than kept.
constexpr std::size_t capacidade_retida = std::size_t{64} * 1024;

}  // namespace

void executar_laco(FonteDeBytes& entrada, SaidaDeBytes& saida, const Respondedor& responder) {
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
