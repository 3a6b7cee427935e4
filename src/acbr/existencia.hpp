#pragma once

#include <string>

namespace ponte::acbr {

// Whether the library path names something, following symbolic links: a dangling link, a
// missing file or any failure of the query counts as absent; a directory counts as present.
bool existe(const std::string& caminho);

}  // namespace ponte::acbr
