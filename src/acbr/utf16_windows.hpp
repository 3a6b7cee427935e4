#pragma once

#include <optional>
#include <string>
#include <string_view>

// Windows speaks UTF-16 and the bridge UTF-8: the conversions at that border.
namespace ponte::acbr::windows {

// Nothing when the text is not well-formed UTF-8 (no path can be formed from it).
std::optional<std::wstring> para_utf16(std::string_view utf8);

// Nothing when the text holds an unpaired surrogate.
std::optional<std::string> de_utf16(std::wstring_view utf16);

// Every unpaired surrogate becomes U+FFFD: for texts that are shown, not used.
std::string de_utf16_leniente(std::wstring_view utf16);

}  // namespace ponte::acbr::windows
