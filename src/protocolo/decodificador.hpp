#pragma once

#include "protocolo/comando.hpp"
#include "texto/acumulador.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ponte::protocolo {

// Whether a command text may hold line feeds. The loop's lines hold none, which it knows from
// cutting them: the position of a failure in one is its byte count, no need to look for any.
enum class Quebras { possiveis, nenhuma };

// Decodes command texts in memory it keeps from one call to the next: once its buffers have
// grown to the longest diagnostic seen, decoding allocates nothing.
class Decodificador {
public:
    // Decodes one trimmed, non-empty, well-formed UTF-8 command text. On failure, nullopt, and
    // diagnostico() is the reader's exact text, position suffix included.
    std::optional<Comando> decodificar(std::string_view texto, Quebras quebras = Quebras::possiveis);

    // The last failure's diagnostic, valid until the next call.
    std::string_view diagnostico() const { return diagnostico_.texto(); }
    // Whether that diagnostic is ASCII with nothing to escape in a JSON string: it holds no text
    // taken from the command that is not.
    bool diagnostico_ascii_sem_escapes() const { return diagnostico_ascii_sem_escapes_; }

private:
    texto::Acumulador diagnostico_;
    bool diagnostico_ascii_sem_escapes_ = true;
    std::string rascunho_;  // unescaped strings that hold escapes
};

struct FalhaDeDecodificacao {
    std::string diagnostico;
    friend bool operator==(const FalhaDeDecodificacao&, const FalhaDeDecodificacao&) = default;
};

using Decodificacao = std::variant<Comando, FalhaDeDecodificacao>;

// The same decoding with a decoder of its own, the diagnostic in a string of its own.
Decodificacao decodificar_comando(std::string_view texto);

}  // namespace ponte::protocolo
