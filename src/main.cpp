// The bridge's process entry: command-line arguments are not read.
#include "acbr/versao.hpp"
#include "laco/arranque.hpp"
#include "laco/atendimento.hpp"
#include "laco/descritor_de_entrada.hpp"
#include "laco/descritor_de_saida.hpp"
#include "laco/laco.hpp"

#include <unistd.h>
#include <string>
#include <string_view>

int main() {
    ponte::laco::preparar_processo();
    ponte::laco::DescritorDeEntrada entrada(STDIN_FILENO);
    ponte::laco::DescritorDeSaida saida(STDOUT_FILENO);
    ponte::laco::Atendente atendente(&ponte::acbr::versao);
    ponte::laco::executar_laco(entrada, saida, [&atendente](std::string_view comando, std::string& resposta) {
        atendente.atender(comando, resposta);
    });
    // However the loop ended, the host is told nothing more than the exit status 0.
    return 0;
}
