// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace ponte::referencia {

// The version query, "versao" on the wire. It takes no parameters.
struct Versao {
    friend bool operator==(Versao, Versao) = default;
};

using Comando = std::variant<Versao>;

struct FalhaDeDecodificacao {
    std::string diagnostico;
    friend bool operator==(const FalhaDeDecodificacao&, const FalhaDeDecodificacao&) = default;
};

using Decodificacao = std::variant<Comando, FalhaDeDecodificacao>;

// Decodes one trimmed, non-empty, well-formed UTF-8 command text. The diagnostic of a failure
// is the reader's exact text, position suffix included.
Decodificacao decodificar_comando(std::string_view texto);

}  // namespace ponte::referencia
