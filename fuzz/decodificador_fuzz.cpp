// Arbitrary bytes through the decoder and the encoder. Where the bytes form a line the loop
// would hand over (well-formed UTF-8, trimmed, non-empty), the answer must be one line of valid
// JSON, the same every time, a success only for the version command, and every diagnostic a
// known kind whose column lies within the line.
#include "protocolo/decodificador.hpp"
#include "protocolo/diagnosticos_json.hpp"
#include "protocolo/resposta.hpp"
#include "texto/espaco_branco.hpp"
#include "texto/utf8.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace ponte;

void exigir(bool condicao) {
    if (!condicao) std::abort();
}

bool tipo_conhecido(std::string_view diagnostico, std::size_t comprimento) {
    using namespace protocolo::diagnostico;
    constexpr std::string_view comprimento_invalido = "invalid length ";
    if (diagnostico.substr(0, comprimento_invalido.size()) == comprimento_invalido)
        return diagnostico.find(" at line ") == std::string_view::npos;
    constexpr std::string_view sufixo = " at line 1 column ";
    auto posicao = diagnostico.rfind(sufixo);
    if (posicao == std::string_view::npos) return false;
    auto coluna = std::strtoull(std::string(diagnostico.substr(posicao + sufixo.size())).c_str(), nullptr, 10);
    if (coluna > comprimento) return false;
    auto mensagem = diagnostico.substr(0, posicao);
    for (auto texto : sintaxe)
        if (mensagem == texto) return true;
    const std::array prefixos = {std::string_view("invalid type: "), std::string_view("unknown variant `"),
                                 std::string_view("missing field `cmd`"), std::string_view("duplicate field `cmd`")};
    for (auto prefixo : prefixos)
        if (mensagem.substr(0, prefixo.size()) == prefixo) return true;
    return false;
}

std::string responder(std::string_view linha) {
    auto decodificado = protocolo::decodificar_comando(linha);
    protocolo::Resposta resposta;
    if (std::holds_alternative<protocolo::Comando>(decodificado)) {
        resposta = protocolo::Resposta::sucesso("N", "V");
    } else {
        const auto& diagnostico = std::get<protocolo::FalhaDeDecodificacao>(decodificado).diagnostico;
        exigir(tipo_conhecido(diagnostico, linha.size()));
        resposta = protocolo::resposta_comando_invalido(diagnostico);
    }
    auto texto = protocolo::codificar(resposta);
    exigir(texto.has_value());
    return *texto;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    std::string_view linha(reinterpret_cast<const char*>(dados), tamanho);
    if (!texto::utf8_valido(linha)) return 0;
    linha = texto::aparar_espaco_branco(linha);
    if (linha.empty() || linha.find('\n') != std::string_view::npos) return 0;

    auto texto = responder(linha);
    exigir(texto.find('\n') == std::string::npos);
    exigir(nlohmann::json::accept(texto));
    exigir(responder(linha) == texto);
    auto json = nlohmann::json::parse(texto);
    exigir(json["ok"].get<bool>() == (texto == R"({"ok":true,"nome":"N","versao":"V"})"));
    return 0;
}
