#pragma once

#include "acbr/carregador.hpp"

#include <optional>
#include <string>

namespace ponte::acbr {

// Looks up one text entry point (NFE_Nome or NFE_Versao), calls it with the handle variable's
// current value and a fresh zeroed buffer, and converts what it wrote. Absent when the entry
// point is missing or returns non-zero.
std::optional<std::string> ler_texto(const carregador::Biblioteca& biblioteca, void* const& handle, const char* nome);

}  // namespace ponte::acbr
