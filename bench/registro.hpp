#pragma once

#include <string>

// Each file registers its benchmarks; main() runs them. Registration happens in main rather
// than in static initialisers so that the 32 MiB lines are made once and nothing global changes.
namespace ponte::bench {

void registrar_decodificador(const std::string& linha_grande, const std::string& linha_grande_falha);
void registrar_resposta();
void registrar_laco();

}  // namespace ponte::bench
