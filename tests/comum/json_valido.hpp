#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

namespace ponte::testes {

// An independent reader's opinion: the text is exactly one line holding one JSON value.
inline bool uma_linha_de_json_valido(std::string_view texto) {
    return texto.find('\n') == std::string_view::npos && nlohmann::json::accept(texto);
}

}  // namespace ponte::testes
