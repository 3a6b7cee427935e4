#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

namespace ponte::testes {

// An independent reader's opinion: the text is exactly one line holding one JSON value.
inline bool uma_linha_de_json_valido(std::string_view texto) {
    return texto.find('\n') == std::string_view::npos && nlohmann::json::accept(texto);
}

// Output of the bridge: every line, each ended by a line feed, is one JSON value.
inline bool linhas_de_json_validas(std::string_view saida) {
    while (!saida.empty()) {
        const auto fim = saida.find('\n');
        if (fim == std::string_view::npos || !uma_linha_de_json_valido(saida.substr(0, fim))) return false;
        saida.remove_prefix(fim + 1);
    }
    return true;
}

}  // namespace ponte::testes
