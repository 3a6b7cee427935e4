// Microbenchmarks of the reader, the encoder and the loop. `--benchmark_filter=REGEX` picks
// some; `--benchmark_min_time=0.001` runs each once or so (how CI keeps them from rotting).
#include "linhas.hpp"
#include "registro.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

int main(int argc, char** argv) {
    constexpr std::size_t mib = std::size_t{1} << 20U;
    const std::string grande = ponte::bench::linha_grande(32 * mib);
    // The same line failing at its last byte: its closing brace made a bracket.
    std::string grande_falha = grande;
    grande_falha.back() = ']';
    ponte::bench::registrar_decodificador(grande, grande_falha);
    ponte::bench::registrar_resposta();
    ponte::bench::registrar_laco();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
