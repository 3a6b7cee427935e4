// The bridge's answers against the reference implementation's (the reader, decoder and encoder as
// first committed, frozen in tests/referencia/): byte for byte, for the input as one text and for
// each of its lines in turn through one answerer, as the loop keeps one for every line.
#include "laco/atendimento.hpp"
#include "referencia/comando.hpp"
#include "referencia/resposta.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

namespace {

using namespace ponte;

void exigir(bool condicao) {
    if (!condicao) std::abort();
}

constexpr std::string_view resposta_da_versao = R"({"ok":true,"nome":"N","versao":"V"})";

protocolo::Resposta versao_fixa() { return protocolo::Resposta::sucesso("N", "V"); }

std::string resposta_de_referencia(std::string_view linha) {
    const auto decodificado = referencia::decodificar_comando(linha);
    if (std::holds_alternative<referencia::Comando>(decodificado)) return std::string(resposta_da_versao);
    const auto& falha = std::get<referencia::FalhaDeDecodificacao>(decodificado);
    auto texto = referencia::codificar(referencia::resposta_comando_invalido(falha.diagnostico));
    return texto ? *texto : std::string(referencia::resposta_de_reserva);
}

void conferir(laco::Atendente& atendente, texto::Acumulador& resposta, std::string_view linha) {
    resposta.limpar();
    // As the loop calls it for a line, which holds no line feed.
    const bool uma_linha = linha.find('\n') == std::string_view::npos;
    atendente.atender(linha, resposta, uma_linha ? protocolo::Quebras::nenhuma : protocolo::Quebras::possiveis);
    exigir(resposta.texto() == resposta_de_referencia(linha));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), tamanho);
    laco::Atendente atendente(&versao_fixa);
    texto::Acumulador resposta;
    conferir(atendente, resposta, texto);
    for (std::size_t inicio = 0; inicio < texto.size();) {
        const std::size_t fim = std::min(texto.find('\n', inicio), texto.size());
        conferir(atendente, resposta, texto.substr(inicio, fim - inicio));
        inicio = fim + 1;
    }
    return 0;
}
