// Validates the JSON text on standard input with simdjson's DOM parser, which checks the whole
// text, UTF-8 included: exit status 0 when valid, 1 when not; with the argument --invalido, the
// other way round (the failing workloads expect a failure).
#include "ler_entrada.hpp"

#include <simdjson.h>

int main(int argc, char** argv) {
    const Entrada entrada = ler_entrada(simdjson::SIMDJSON_PADDING);
    simdjson::dom::parser parser;
    const bool valido = parser.parse(entrada.bytes.get(), entrada.tamanho, false).error() == simdjson::SUCCESS;
    return valido == !espera_invalido(argc, argv) ? 0 : 1;
}
