#include "laco/atendimento.hpp"
#include "laco/fonte.hpp"
#include "laco/laco.hpp"
#include "laco/saida.hpp"
#include "registro.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace ponte::bench {
namespace {

// Gives a text in reads of at most 64 KiB, as a pipe would.
class FonteDeTexto final : public laco::FonteDeBytes {
public:
    explicit FonteDeTexto(std::string_view texto) : resto_(texto) {}
    laco::Leitura ler(std::span<char> destino) override {
        if (resto_.empty()) return {laco::EstadoDaLeitura::fim};
        const std::size_t n = std::min({destino.size(), resto_.size(), std::size_t{64} * 1024});
        std::memcpy(destino.data(), resto_.data(), n);
        resto_.remove_prefix(n);
        return {laco::EstadoDaLeitura::dados, n};
    }

private:
    std::string_view resto_;
};

// Counts the bytes it is given and keeps none.
class SaidaQueConta final : public laco::SaidaDeBytes {
public:
    laco::Escrita escrever(std::string_view bytes) override {
        total += bytes.size();
        return laco::Escrita::entregue;
    }
    std::size_t total = 0;
};

protocolo::Resposta versao_falsa() { return protocolo::Resposta::sucesso("ACBrLibNFe (falsa)", "0.0.0-falsa"); }

// The loop over many short invalid lines, without system calls: what the process adds to the
// read(2) and write(2) that any line-by-line program makes.
void linhas_invalidas(benchmark::State& estado) {
    constexpr int quantas = 10'000;
    std::string entrada;
    for (int i = 0; i < quantas; ++i) entrada += "{\"cmd\":\"ajuda\"}\n";
    laco::Atendente atendente(&versao_falsa);
    const auto responder = [&atendente](std::string_view comando, texto::Acumulador& resposta) {
        atendente.atender(comando, resposta, protocolo::Quebras::nenhuma);
    };
    for (auto _ : estado) {
        FonteDeTexto fonte(entrada);
        SaidaQueConta saida;
        laco::executar_laco(fonte, saida, responder);
        benchmark::DoNotOptimize(saida.total);
    }
    estado.SetItemsProcessed(static_cast<std::int64_t>(estado.iterations()) * quantas);
}

}  // namespace

void registrar_laco() { benchmark::RegisterBenchmark("laco/10000_linhas_invalidas", linhas_invalidas); }

}  // namespace ponte::bench
