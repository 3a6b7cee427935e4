#include "acbr/ambiente.hpp"

#include "texto/utf8.hpp"

#include <cstdlib>

namespace ponte::acbr {

std::optional<std::string> variavel_de_ambiente(const char* nome) {
    const char* valor = std::getenv(nome);
    if (valor == nullptr || !texto::utf8_valido(valor)) return std::nullopt;
    return std::string(valor);
}

}  // namespace ponte::acbr
