// Validates the JSON text on standard input with simdjson's DOM parser, which checks the whole
// text, UTF-8 included: exit status 0 when valid, 1 when not.
#include "ler_entrada.hpp"

#include <simdjson.h>

int main() {
    const Entrada entrada = ler_entrada(simdjson::SIMDJSON_PADDING);
    simdjson::dom::parser parser;
    const auto erro = parser.parse(entrada.bytes.get(), entrada.tamanho, false).error();
    return erro == simdjson::SUCCESS ? 0 : 1;
}
