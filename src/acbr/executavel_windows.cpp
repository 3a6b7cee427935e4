#include "acbr/executavel.hpp"

#include "acbr/utf16_windows.hpp"

#include <windows.h>

#include <cstddef>
#include <string_view>
#include <vector>

namespace ponte::acbr {

std::optional<std::string> caminho_do_executavel() {
    // GetModuleFileNameW truncates to the buffer and then answers its full size.
    constexpr std::size_t maximo = std::size_t{1} << 16U;  // beyond any path Windows allows
    std::vector<wchar_t> caminho(MAX_PATH);
    for (;;) {
        const DWORD escritos = ::GetModuleFileNameW(nullptr, caminho.data(), static_cast<DWORD>(caminho.size()));
        if (escritos == 0) return std::nullopt;
        if (escritos < caminho.size()) {
            // NTFS names may hold unpaired surrogates; shown as U+FFFD, such a path still names
            // the folder the answers point at.
            return windows::de_utf16_leniente(std::wstring_view(caminho.data(), escritos));
        }
        if (caminho.size() >= maximo) return std::nullopt;
        caminho.resize(caminho.size() * 2);
    }
}

}  // namespace ponte::acbr
