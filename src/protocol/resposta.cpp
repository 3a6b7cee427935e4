#include "protocol/resposta.hpp"

#include "texto/utf8.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <utility>

namespace ponte::protocolo {
namespace {

constexpr std::string_view prefixo_comando_invalido = "comando inválido: ";
constexpr std::string_view abertura_comando_invalido = R"({"ok":false,"erro":"comando inválido: )";
static_assert(abertura_comando_invalido.ends_with(prefixo_comando_invalido));

// How a byte below 0x20, or one of the two that JSON reserves, is written inside a string.
void anexar_escape(std::string& destino, unsigned char byte) {
    constexpr std::string_view hexadecimal = "0123456789abcdef";
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

// The text as it goes between the quotes of a JSON string: each byte below 0x20 and the two that
// JSON reserves are escaped; everything else, "/" and U+007F and every non-ASCII byte included,
// is written unchanged.
void anexar_conteudo_json(std::string& destino, std::string_view texto) {
    const char* const fim = texto.data() + texto.size();
    const char* trecho = texto.data();
    // Runs without a byte to escape are found many bytes at a time and copied whole.
    for (const char* p = texto::primeiro_especial_json(trecho, fim); p != fim;
         p = texto::primeiro_especial_json(trecho, fim)) {
        destino.append(trecho, p);
        trecho = p + 1;
        anexar_escape(destino, static_cast<unsigned char>(*p));
    }
    destino.append(trecho, fim);
}

void anexar_string_json(std::string& destino, std::string_view texto) {
    destino += '"';
    anexar_conteudo_json(destino, texto);
    destino += '"';
}

}  // namespace

Resposta Resposta::sucesso(std::optional<std::string> nome, std::optional<std::string> versao) {
    return Resposta{true, std::move(nome), std::move(versao), std::nullopt};
}

Resposta Resposta::falha(std::string erro) { return Resposta{false, std::nullopt, std::nullopt, std::move(erro)}; }

bool anexar_resposta(std::string& saida, const Resposta& resposta) {
    const std::array<std::pair<std::string_view, const std::optional<std::string>*>, 3> textos{{
        {"nome", &resposta.nome},
        {"versao", &resposta.versao},
        {"erro", &resposta.erro},
    }};
    // A text that is not UTF-8 would make the line unreadable to the host.
    for (const auto& [chave, valor] : textos)
        if (valor->has_value() && !texto::utf8_valido(**valor)) return false;
    saida += resposta.ok ? R"({"ok":true)" : R"({"ok":false)";
    for (const auto& [chave, valor] : textos) {
        if (!valor->has_value()) continue;
        saida += ',';
        anexar_string_json(saida, chave);
        saida += ':';
        anexar_string_json(saida, **valor);
    }
    saida += '}';
    return true;
}

std::optional<std::string> codificar(const Resposta& resposta) {
    // One allocation for the usual answer: the fixed parts, the texts unescaped, and a line feed.
    std::size_t tamanho = std::string_view(R"({"ok":false})").size() + 1;
    for (const auto* valor : {&resposta.nome, &resposta.versao, &resposta.erro}) {
        if (valor->has_value()) tamanho += std::string_view(R"(,"versao":"")").size() + (*valor)->size();
    }
    std::string saida;
    saida.reserve(tamanho);
    if (!anexar_resposta(saida, resposta)) return std::nullopt;
    return saida;
}

Resposta resposta_comando_invalido(std::string_view diagnostico) {
    std::string erro;
    erro.reserve(prefixo_comando_invalido.size() + diagnostico.size());
    erro.append(prefixo_comando_invalido).append(diagnostico);
    return Resposta::falha(std::move(erro));
}

// flatten: the scans are inlined into this loop (measured: about 50 instructions fewer per answer).
[[gnu::flatten]] void anexar_resposta_comando_invalido(std::string& saida, std::string_view diagnostico) {
    // The prefix is whole characters with nothing to escape, so the text is UTF-8 exactly when
    // the diagnostic is. One scan escapes the diagnostic and, while it is ASCII (the usual case,
    // settled then and there), checks it too; from its first other byte on, UTF-8 is checked
    // once and the scan goes on for escapes alone.
    const std::size_t antes = saida.size();
    saida += abertura_comando_invalido;
    const char* const fim = diagnostico.data() + diagnostico.size();
    const char* trecho = diagnostico.data();
    bool ascii_ate_aqui = true;
    for (const char* p = texto::primeiro_especial_json_ou_nao_ascii(trecho, fim); p != fim;) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x80U) {
            if (!texto::utf8_valido(std::string_view(p, static_cast<std::size_t>(fim - p)))) {
                saida.resize(antes);
                saida += resposta_de_reserva;
                return;
            }
            ascii_ate_aqui = false;
            p = texto::primeiro_especial_json(p, fim);
            continue;
        }
        saida.append(trecho, p);
        trecho = p + 1;
        anexar_escape(saida, byte);
        p = ascii_ate_aqui ? texto::primeiro_especial_json_ou_nao_ascii(trecho, fim)
                           : texto::primeiro_especial_json(trecho, fim);
    }
    saida.append(trecho, fim);
    saida += R"("})";
}

}  // namespace ponte::protocolo
