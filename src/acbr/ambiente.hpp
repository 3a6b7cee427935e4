#pragma once

#include <optional>
#include <string>

namespace ponte::acbr {

// An environment variable's value as UTF-8: nothing when it is unset or its value is not
// well-formed in the system's encoding (UTF-8 bytes on Linux, UTF-16 on Windows). An empty
// value is a value.
std::optional<std::string> variavel_de_ambiente(const char* nome);

}  // namespace ponte::acbr
