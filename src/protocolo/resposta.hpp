#pragma once

#include "texto/acumulador.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace ponte::protocolo {

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

// Appends the compact JSON text of the response, without a line feed, to `saida`. Fails (false,
// `saida` unchanged) only when a text is not well-formed UTF-8, which no response built by the
// bridge holds.
bool anexar_resposta(texto::Acumulador& saida, const Resposta& resposta);

// The same text as a string of its own; nullopt where anexar_resposta fails.
std::optional<std::string> codificar(const Resposta& resposta);

// "comando inválido: " followed by the decoder's diagnostic.
Resposta resposta_comando_invalido(std::string_view diagnostico);

// What the caller knows of a diagnostic's bytes. `ascii_sem_escapes`: ASCII without '"', '\\'
// or a byte below 0x20, which goes between the quotes of a JSON string as it is. The decoder
// knows which parts of its diagnostic come from the command (a variant's name, a quoted string);
// the rest are its own fixed texts.
enum class Conteudo { qualquer, ascii_sem_escapes };

// Appends what codificar(resposta_comando_invalido(diagnostico)) gives, or resposta_de_reserva
// where that fails, written straight into `saida`: nothing is allocated beyond its growth. A
// diagnostic known to need no escapes is copied without being looked at.
void anexar_resposta_comando_invalido(texto::Acumulador& saida, std::string_view diagnostico,
                                      Conteudo conteudo = Conteudo::qualquer);

}  // namespace ponte::protocolo
