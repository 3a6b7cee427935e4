#include "protocolo/resposta.hpp"

#include "texto/utf8.hpp"
#include "texto/varredura.hpp"

#include <array>
#include <cassert>
#include <cstring>
#include <utility>

namespace ponte::protocolo {
namespace {

constexpr std::string_view prefixo_comando_invalido = "comando inválido: ";
constexpr std::string_view abertura_comando_invalido = R"({"ok":false,"erro":"comando inválido: )";
constexpr std::string_view fecho_comando_invalido = R"("})";
static_assert(abertura_comando_invalido.ends_with(prefixo_comando_invalido));

// How a byte below 0x20, or one of the two that JSON reserves, is written inside a string.
void anexar_escape(texto::Acumulador& destino, unsigned char byte) {
    constexpr std::string_view hexadecimal = "0123456789abcdef";
    switch (byte) {
    case '"': destino.anexar("\\\""); break;
    case '\\': destino.anexar("\\\\"); break;
    case '\b': destino.anexar("\\b"); break;
    case '\t': destino.anexar("\\t"); break;
    case '\n': destino.anexar("\\n"); break;
    case '\f': destino.anexar("\\f"); break;
    case '\r': destino.anexar("\\r"); break;
    default:
        destino.anexar("\\u00");
        destino.anexar(hexadecimal[byte >> 4U]);
        destino.anexar(hexadecimal[byte & 0xFU]);
    }
}

// The text as it goes between the quotes of a JSON string: each byte below 0x20 and the two that
// JSON reserves are escaped; everything else, "/" and U+007F and every non-ASCII byte included,
// is written unchanged.
void anexar_conteudo_json(texto::Acumulador& destino, std::string_view texto) {
    const char* const fim = texto.data() + texto.size();
    const char* trecho = texto.data();
    // Runs without a byte to escape are found many bytes at a time and copied whole.
    for (const char* p = texto::primeiro_especial_json(trecho, fim); p != fim;
         p = texto::primeiro_especial_json(texto.data(), trecho, fim)) {
        destino.anexar(std::string_view(trecho, static_cast<std::size_t>(p - trecho)));
        trecho = p + 1;
        anexar_escape(destino, static_cast<unsigned char>(*p));
    }
    destino.anexar(std::string_view(trecho, static_cast<std::size_t>(fim - trecho)));
}

void anexar_string_json(texto::Acumulador& destino, std::string_view texto) {
    destino.anexar('"');
    anexar_conteudo_json(destino, texto);
    destino.anexar('"');
}

// The diagnostic between the answer's quotes, escaped; false if it is not UTF-8. The prefix
// before it is whole characters with nothing to escape, so the answer is UTF-8 exactly when the
// diagnostic is. One scan escapes the diagnostic and, while it is ASCII (the usual case, settled
// then and there), checks it too; from its first other byte on, UTF-8 is checked once and the
// scan goes on for escapes alone.
bool anexar_diagnostico_escapado(texto::Acumulador& saida, std::string_view diagnostico) {
    const char* const fim = diagnostico.data() + diagnostico.size();
    const char* const inicio = diagnostico.data();
    const char* trecho = inicio;
    bool ascii_ate_aqui = true;
    for (const char* p = texto::primeiro_especial_json_ou_nao_ascii(trecho, fim); p != fim;) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x80U) {
            if (!texto::utf8_valido(std::string_view(p, static_cast<std::size_t>(fim - p)))) return false;
            ascii_ate_aqui = false;
            p = texto::primeiro_especial_json(inicio, p, fim);
            continue;
        }
        saida.anexar(std::string_view(trecho, static_cast<std::size_t>(p - trecho)));
        trecho = p + 1;
        anexar_escape(saida, byte);
        p = ascii_ate_aqui ? texto::primeiro_especial_json_ou_nao_ascii(inicio, trecho, fim)
                           : texto::primeiro_especial_json(inicio, trecho, fim);
    }
    saida.anexar(std::string_view(trecho, static_cast<std::size_t>(fim - trecho)));
    return true;
}

// The general case: the diagnostic escaped as it is copied, or the fixed fallback. Apart from the
// usual case so that the usual case stays a small function. flatten: the scans are inlined into
// this loop (see docs/performance.md).
[[gnu::flatten, gnu::noinline]] void anexar_escapando(texto::Acumulador& saida, std::string_view diagnostico) {
    const std::size_t antes = saida.tamanho();
    saida.anexar(abertura_comando_invalido);
    if (!anexar_diagnostico_escapado(saida, diagnostico)) {
        saida.encurtar(antes);
        saida.anexar(resposta_de_reserva);
        return;
    }
    saida.anexar(fecho_comando_invalido);
}

}  // namespace

Resposta Resposta::sucesso(std::optional<std::string> nome, std::optional<std::string> versao) {
    return Resposta{true, std::move(nome), std::move(versao), std::nullopt};
}

Resposta Resposta::falha(std::string erro) { return Resposta{false, std::nullopt, std::nullopt, std::move(erro)}; }

bool anexar_resposta(texto::Acumulador& saida, const Resposta& resposta) {
    const std::array<std::pair<std::string_view, const std::optional<std::string>*>, 3> textos{{
        {"nome", &resposta.nome},
        {"versao", &resposta.versao},
        {"erro", &resposta.erro},
    }};
    // A text that is not UTF-8 would make the line unreadable to the host.
    for (const auto& [chave, valor] : textos)
        if (valor->has_value() && !texto::utf8_valido(**valor)) return false;
    saida.anexar(resposta.ok ? R"({"ok":true)" : R"({"ok":false)");
    for (const auto& [chave, valor] : textos) {
        if (!valor->has_value()) continue;
        saida.anexar(',');
        anexar_string_json(saida, chave);
        saida.anexar(':');
        anexar_string_json(saida, **valor);
    }
    saida.anexar('}');
    return true;
}

std::optional<std::string> codificar(const Resposta& resposta) {
    texto::Acumulador saida;
    if (!anexar_resposta(saida, resposta)) return std::nullopt;
    return std::string(saida.texto());
}

Resposta resposta_comando_invalido(std::string_view diagnostico) {
    std::string erro;
    erro.reserve(prefixo_comando_invalido.size() + diagnostico.size());
    erro.append(prefixo_comando_invalido).append(diagnostico);
    return Resposta::falha(std::move(erro));
}

void anexar_resposta_comando_invalido(texto::Acumulador& saida, std::string_view diagnostico, Conteudo conteudo) {
    if (conteudo != Conteudo::ascii_sem_escapes) {
        anexar_escapando(saida, diagnostico);
        return;
    }
    assert(texto::ascii_sem_escapes(diagnostico));
    // The three pieces in one room: one bound check, the fixed ones copied as constants.
    const std::size_t tamanho = abertura_comando_invalido.size() + diagnostico.size() + fecho_comando_invalido.size();
    char* destino = saida.abrir(tamanho);
    std::memcpy(destino, abertura_comando_invalido.data(), abertura_comando_invalido.size());
    destino += abertura_comando_invalido.size();
    if (!diagnostico.empty()) std::memcpy(destino, diagnostico.data(), diagnostico.size());
    std::memcpy(destino + diagnostico.size(), fecho_comando_invalido.data(), fecho_comando_invalido.size());
    saida.avancar(tamanho);
}

}  // namespace ponte::protocolo
