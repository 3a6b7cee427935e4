#pragma once

#include <string_view>

namespace ponte::texto {

// The 25 code points with the Unicode White_Space property.
bool e_espaco_branco(char32_t ponto);

// The view without the White_Space characters at either end of well-formed UTF-8 text.
std::string_view aparar_espaco_branco(std::string_view utf8_valido);

}  // namespace ponte::texto
