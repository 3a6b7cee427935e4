#pragma once

#include <variant>

namespace ponte::protocolo {

// The version query, "versao" on the wire. It takes no parameters.
struct Versao {
    friend bool operator==(Versao, Versao) = default;
};

using Comando = std::variant<Versao>;

}  // namespace ponte::protocolo
