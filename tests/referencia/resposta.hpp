// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ponte::referencia {

struct Resposta {
    bool ok = false;
    std::optional<std::string> nome;
    std::optional<std::string> versao;
    std::optional<std::string> erro;

    static Resposta sucesso(std::optional<std::string> nome, std::optional<std::string> versao);
    // The error form; named `falha` because a member function cannot share the field's name.
    static Resposta falha(std::string erro);

    friend bool operator==(const Resposta&, const Resposta&) = default;
};

// Stands in for an encoded response should encoding ever fail.
inline constexpr std::string_view resposta_de_reserva = R"({"ok":false,"erro":"falha ao serializar a resposta"})";

// The compact JSON text of the response, without a line feed. Fails (nullopt) only when a
// text is not well-formed UTF-8, which no response built by the bridge holds.
std::optional<std::string> codificar(const Resposta& resposta);

// "comando inválido: " followed by the decoder's diagnostic.
Resposta resposta_comando_invalido(std::string_view diagnostico);

}  // namespace ponte::referencia
