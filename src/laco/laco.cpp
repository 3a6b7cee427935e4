#include "laco/laco.hpp"

#include "laco/divisor_de_linhas.hpp"
#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

namespace ponte::laco {

void executar_laco(FonteDeBytes& entrada, SaidaDeBytes& saida, const Respondedor& responder) {
    DivisorDeLinhas divisor(entrada);
    while (const auto linha = divisor.proxima()) {
        if (!texto::utf8_valido(*linha)) return;
        const std::string_view comando = texto::aparar_espaco_branco(*linha);
        if (comando.empty()) continue;
        std::string resposta = responder(comando);
        resposta.push_back('\n');
        if (saida.escrever(resposta) == Escrita::falhou) return;
    }
}

}  // namespace ponte::laco
