// Validates the JSON text on standard input with RapidJSON's SAX reader, UTF-8 checked, no
// document built: exit status 0 when valid, 1 when not; with the argument --invalido, the other
// way round (the failing workloads expect a failure).
#include "ler_entrada.hpp"

#include <rapidjson/reader.h>

int main(int argc, char** argv) {
    const Entrada entrada = ler_entrada(1);  // StringStream ends at the NUL after the text
    rapidjson::Reader leitor;
    rapidjson::StringStream fluxo(entrada.bytes.get());
    rapidjson::BaseReaderHandler<> nada;
    const auto resultado = leitor.Parse<rapidjson::kParseValidateEncodingFlag>(fluxo, nada);
    return resultado.IsError() == espera_invalido(argc, argv) ? 0 : 1;
}
