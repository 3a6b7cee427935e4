#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ponte::acbr {

// Where the ACBr library file should be: the directory ACBR_DIR names (when it is set and
// valid UTF-8, even empty), else `acbr` beside the executable, joined with the platform's file
// name. Nothing when there is no directory, and always nothing on a platform for which the
// ACBr Project publishes no library.
std::optional<std::string> caminho_da_lib();

// The path without its last component (the empty path for a lone component, which joins to a
// path relative to the working directory); nothing for a root or an empty path. On Windows
// both the backslash and "/" separate, and a drive ("C:") is kept with the root that follows it.
std::optional<std::string> pai_do_caminho(std::string_view caminho);

// The base followed by the system's separator ("/", on Windows a backslash) and the component; none is
// added after an empty base, one that already ends with a separator, or a lone drive.
std::string juntar_caminho(std::string_view base, std::string_view componente);

}  // namespace ponte::acbr
