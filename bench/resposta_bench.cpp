#include "laco/atendimento.hpp"
#include "protocolo/resposta.hpp"
#include "registro.hpp"

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

namespace ponte::bench {
namespace {

void codificar(benchmark::State& estado, const protocolo::Resposta& resposta) {
    for (auto _ : estado) {
        auto texto = protocolo::codificar(resposta);
        benchmark::DoNotOptimize(texto);
    }
}

protocolo::Resposta versao_falsa() { return protocolo::Resposta::sucesso("ACBrLibNFe (falsa)", "0.0.0-falsa"); }

// The invalid-command answer written straight into a reused buffer, as the loop does.
void anexar_comando_invalido(benchmark::State& estado, std::string_view diagnostico) {
    texto::Acumulador linha;
    for (auto _ : estado) {
        linha.limpar();
        protocolo::anexar_resposta_comando_invalido(linha, diagnostico);
        benchmark::DoNotOptimize(linha.texto().data());
    }
}

// A whole answer for one line, decoding included, without the library: the per-line work of
// the loop for invalid commands and, with the query stubbed, for valid ones.
void atender(benchmark::State& estado, std::string_view comando) {
    laco::Atendente atendente(&versao_falsa);
    texto::Acumulador linha;
    for (auto _ : estado) {
        linha.limpar();
        atendente.atender(comando, linha);
        benchmark::DoNotOptimize(linha.texto().data());
    }
}

}  // namespace

void registrar_resposta() {
    benchmark::RegisterBenchmark("codificar/sucesso", codificar, versao_falsa());
    benchmark::RegisterBenchmark(
        "codificar/comando_invalido", codificar,
        protocolo::resposta_comando_invalido("unknown variant `ajuda`, expected `versao` at line 1 column 14"));
    benchmark::RegisterBenchmark("codificar/com_escapes", codificar,
                                 protocolo::Resposta::sucesso("ACBr \"falsa\" em C:\\ACBr\\\t\r\n", "0.0\x1b[1m\x01"));
    benchmark::RegisterBenchmark("codificar/texto_longo", codificar,
                                 protocolo::Resposta::falha(std::string(4096, 'a') + "ç\n" + std::string(4096, 'b')));
    benchmark::RegisterBenchmark("anexar/comando_invalido", anexar_comando_invalido,
                                 "unknown variant `ajuda`, expected `versao` at line 1 column 14");
    benchmark::RegisterBenchmark("atender/comando_invalido", atender, R"({"cmd":"ajuda"})");
    benchmark::RegisterBenchmark("atender/versao_sem_biblioteca", atender, R"({"cmd":"versao"})");
}

}  // namespace ponte::bench
