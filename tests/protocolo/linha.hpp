#pragma once

#include "comum/json_valido.hpp"
#include "protocolo/decodificador.hpp"
#include "protocolo/resposta.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace ponte::testes {

inline constexpr std::string_view decodificou_versao = "Versao";

// What the bridge makes of one command text: "Versao" for the version query, otherwise the
// exact response line (line feed not shown), checked to be one line of valid JSON.
inline std::string resultado_da_linha(std::string_view linha) {
    auto decodificado = protocolo::decodificar_comando(linha);
    if (std::holds_alternative<protocolo::Comando>(decodificado)) return std::string(decodificou_versao);
    const auto& falha = std::get<protocolo::FalhaDeDecodificacao>(decodificado);
    auto texto = protocolo::codificar(protocolo::resposta_comando_invalido(falha.diagnostico));
    EXPECT_TRUE(texto.has_value()) << linha;
    if (!texto) return {};
    EXPECT_TRUE(uma_linha_de_json_valido(*texto)) << *texto;
    return *texto;
}

// The diagnostic alone, or "Versao".
inline std::string diagnostico_da_linha(std::string_view linha) {
    auto decodificado = protocolo::decodificar_comando(linha);
    if (std::holds_alternative<protocolo::Comando>(decodificado)) return std::string(decodificou_versao);
    return std::get<protocolo::FalhaDeDecodificacao>(decodificado).diagnostico;
}

}  // namespace ponte::testes
