#include "acbr/ambiente.hpp"

#include "acbr/utf16_windows.hpp"

#include <windows.h>

#include <string_view>
#include <vector>

namespace ponte::acbr {

std::optional<std::string> variavel_de_ambiente(const char* nome) {
    const auto nome_utf16 = windows::para_utf16(nome);
    if (!nome_utf16) return std::nullopt;
    // The process environment itself, not the C runtime's copy: only it tells an empty value
    // from an unset variable.
    std::vector<wchar_t> valor(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD tamanho =
            ::GetEnvironmentVariableW(nome_utf16->c_str(), valor.data(), static_cast<DWORD>(valor.size()));
        if (tamanho == 0) {
            // An empty value leaves the error untouched; unset answers ERROR_ENVVAR_NOT_FOUND.
            if (::GetLastError() == ERROR_SUCCESS) return std::string();
            return std::nullopt;
        }
        if (tamanho < valor.size()) return windows::de_utf16(std::wstring_view(valor.data(), tamanho));
        valor.resize(tamanho);  // too small: `tamanho` counts the terminator
    }
}

}  // namespace ponte::acbr
