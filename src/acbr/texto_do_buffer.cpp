#include "acbr/texto_do_buffer.hpp"

#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <algorithm>
#include <string_view>

namespace ponte::acbr {

std::string texto_do_buffer(std::span<const char> bytes, std::int32_t tamanho) {
    const auto limite = std::min(bytes.size(), static_cast<std::size_t>(capacidade_do_buffer));
    const auto n = std::min(tamanho > 0 ? static_cast<std::size_t>(tamanho) : 0, limite);
    const auto texto = texto::decodificar_utf8_leniente(std::string_view(bytes.data(), n));
    return std::string(texto::aparar_espaco_branco(texto));
}

}  // namespace ponte::acbr
