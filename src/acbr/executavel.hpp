#pragma once

#include <optional>
#include <string>

namespace ponte::acbr {

// The running executable's path as the platform reports it (no canonicalising of our own), or
// nothing when the platform cannot tell.
std::optional<std::string> caminho_do_executavel();

}  // namespace ponte::acbr
