// Reference implementation, frozen: the bridge's reader, decoder and encoder as of commit 6c15f48,
// kept unchanged in namespace ponte::referencia so that the differential tests can compare the
// bridge's answers with them. Never optimise or fix it here: it is the yardstick.
#include "referencia/resposta.hpp"

#include "referencia/utf8.hpp"
#include "referencia/varredura.hpp"

#include <array>
#include <utility>

namespace ponte::referencia {
namespace {

constexpr std::string_view prefixo_comando_invalido = "comando inválido: ";

// How each byte below 0x20, and the two that JSON reserves, is written inside a string.
// Everything else, "/" and U+007F and every non-ASCII byte included, is written unchanged.
void anexar_string_json(std::string& destino, std::string_view texto) {
    constexpr std::string_view hexadecimal = "0123456789abcdef";
    destino += '"';
    const char* const fim = texto.data() + texto.size();
    const char* trecho = texto.data();
    // Runs without a byte to escape are found eight bytes at a time and copied whole.
    for (const char* p = primeiro_especial_json(trecho, fim); p != fim; p = primeiro_especial_json(trecho, fim)) {
        destino.append(trecho, p);
        trecho = p + 1;
        const auto byte = static_cast<unsigned char>(*p);
        switch (byte) {
        case '"': destino += "\\\""; break;
        case '\\': destino += "\\\\"; break;
        case '\b': destino += "\\b"; break;
        case '\t': destino += "\\t"; break;
        case '\n': destino += "\\n"; break;
        case '\f': destino += "\\f"; break;
        case '\r': destino += "\\r"; break;
        default:
            destino += "\\u00";
            destino += hexadecimal[byte >> 4U];
            destino += hexadecimal[byte & 0xFU];
        }
    }
    destino.append(trecho, fim);
    destino += '"';
}

}  // namespace

Resposta Resposta::sucesso(std::optional<std::string> nome, std::optional<std::string> versao) {
    return Resposta{true, std::move(nome), std::move(versao), std::nullopt};
}

Resposta Resposta::falha(std::string erro) { return Resposta{false, std::nullopt, std::nullopt, std::move(erro)}; }

std::optional<std::string> codificar(const Resposta& resposta) {
    const std::array<std::pair<std::string_view, const std::optional<std::string>*>, 3> textos{{
        {"nome", &resposta.nome},
        {"versao", &resposta.versao},
        {"erro", &resposta.erro},
    }};
    // One allocation for the usual answer: the fixed parts, the texts unescaped, and the line
    // feed that the loop appends after encoding.
    std::size_t tamanho = std::string_view(R"({"ok":false})").size() + 1;
    for (const auto& [chave, valor] : textos) {
        if (valor->has_value()) tamanho += chave.size() + (*valor)->size() + std::string_view(R"(,"":"")").size();
    }
    std::string saida;
    saida.reserve(tamanho);
    saida = resposta.ok ? R"({"ok":true)" : R"({"ok":false)";
    for (const auto& [chave, valor] : textos) {
        if (!valor->has_value()) continue;
        // A text that is not UTF-8 would make the line unreadable to the host.
        if (!utf8_valido(**valor)) return std::nullopt;
        saida += ',';
        anexar_string_json(saida, chave);
        saida += ':';
        anexar_string_json(saida, **valor);
    }
    saida += '}';
    return saida;
}

Resposta resposta_comando_invalido(std::string_view diagnostico) {
    std::string erro;
    erro.reserve(prefixo_comando_invalido.size() + diagnostico.size());
    erro.append(prefixo_comando_invalido).append(diagnostico);
    return Resposta::falha(std::move(erro));
}

}  // namespace ponte::referencia
