// The bridge's process entry: command-line arguments are not read.
#include "acbr/versao.hpp"
#include "laco/arranque.hpp"
#include "laco/atendimento.hpp"
#include "laco/descritor_de_entrada.hpp"
#include "laco/descritor_de_saida.hpp"
#include "laco/laco.hpp"
#include "texto/acumulador.hpp"

#include <string_view>

int main() {
    const ponte::laco::ProcessoPreparado processo = ponte::laco::preparar_processo();
    ponte::laco::DescritorDeEntrada entrada(processo.canais.entrada());
    ponte::laco::DescritorDeSaida saida(processo.canais.saida());
    // The library is unloaded by the time versao returns; what it left behind in the process
    // is put back before the answer is written.
    ponte::laco::Atendente atendente([&processo] {
        ponte::protocolo::Resposta resposta = ponte::acbr::versao();
        processo.estado.restaurar();
        return resposta;
    });
    // The loop's lines hold no line feed, which spares the decoder looking for one.
    const auto responder = [&atendente](std::string_view comando, ponte::texto::Acumulador& resposta) {
        atendente.atender(comando, resposta, ponte::protocolo::Quebras::nenhuma);
    };
    ponte::laco::executar_laco(entrada, saida, responder);
    // However the loop ended, the host is told nothing more than the exit status 0.
    return 0;
}
