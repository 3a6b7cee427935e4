#include "acbr/utf16_windows.hpp"

#include <windows.h>

#include <climits>

namespace ponte::acbr::windows {
namespace {

std::optional<std::string> converter(std::wstring_view utf16, DWORD opcoes) {
    if (utf16.empty()) return std::string();
    if (utf16.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int entrada = static_cast<int>(utf16.size());
    const int tamanho = ::WideCharToMultiByte(CP_UTF8, opcoes, utf16.data(), entrada, nullptr, 0, nullptr, nullptr);
    if (tamanho <= 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(tamanho), '\0');
    if (::WideCharToMultiByte(CP_UTF8, opcoes, utf16.data(), entrada, utf8.data(), tamanho, nullptr, nullptr) !=
        tamanho) {
        return std::nullopt;
    }
    return utf8;
}

}  // namespace

std::optional<std::wstring> para_utf16(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int entrada = static_cast<int>(utf8.size());
    const int tamanho = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), entrada, nullptr, 0);
    if (tamanho <= 0) return std::nullopt;
    std::wstring utf16(static_cast<std::size_t>(tamanho), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), entrada, utf16.data(), tamanho) != tamanho) {
        return std::nullopt;
    }
    return utf16;
}

std::optional<std::string> de_utf16(std::wstring_view utf16) { return converter(utf16, WC_ERR_INVALID_CHARS); }

std::string de_utf16_leniente(std::wstring_view utf16) { return converter(utf16, 0).value_or(std::string()); }

}  // namespace ponte::acbr::windows
