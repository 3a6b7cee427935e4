#include "acbr/versao.hpp"

#include "acbr/caminho_da_lib.hpp"
#include "acbr/carregador.hpp"
#include "acbr/existencia.hpp"
#include "acbr/ler_texto.hpp"
#include "acbr/mensagens.hpp"
#include "acbr/pontos_de_entrada.hpp"
#include "texto/utf8.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ponte::acbr {
namespace {

using protocolo::Resposta;

// What the library gave before it was unloaded: the failed stage's text, or the texts read.
struct TextosLidos {
    std::optional<std::string> nome;
    std::optional<std::string> versao;
};
using Desfecho = std::variant<std::string, TextosLidos>;

std::string juntar(std::string_view prefixo, std::string_view detalhe) {
    std::string texto(prefixo);
    texto += detalhe;
    return texto;
}

std::string descricao(const carregador::Falha& falha, std::string_view na_falta) {
    if (!falha.descricao) {
        return std::string(na_falta);
    }
    return texto::decodificar_utf8_leniente(*falha.descricao);
}

template <typename Funcao>
std::variant<Funcao, std::string> resolver(const carregador::Biblioteca& biblioteca, const char* nome,
                                           std::string_view prefixo) {
    const auto achado = carregador::procurar(biblioteca, nome);
    if (const auto* falha = std::get_if<carregador::Falha>(&achado)) {
        return juntar(prefixo, descricao(*falha, mensagens::simbolo_sem_endereco));
    }
    return Funcao(std::get<void*>(achado));
}

// The library handle. NFE_Finalizar runs when the scope ends, and only after NFE_Inicializar
// has succeeded.
class HandleDaLib {
public:
    explicit HandleDaLib(FuncaoFinalizar finalizar) noexcept : finalizar_(finalizar) {}
    HandleDaLib(const HandleDaLib&) = delete;
    HandleDaLib& operator=(const HandleDaLib&) = delete;
    ~HandleDaLib() {
        if (inicializado_) {
            finalizar_(valor_);  // its result changes nothing
        }
    }

    std::int32_t inicializar(FuncaoInicializar inicializar, const std::string& argumento_vazio) {
        valor_ = nullptr;
        const auto resultado = inicializar(&valor_, argumento_vazio.c_str(), argumento_vazio.c_str());
        inicializado_ = resultado == 0;
        return resultado;
    }

    void* const& variavel() const noexcept { return valor_; }

private:
    FuncaoFinalizar finalizar_;
    void* valor_ = nullptr;
    bool inicializado_ = false;
};

// Every stage from loading on. Its scopes release, in reverse order, the handle, the empty
// argument string and the loaded library, so whatever it returns is returned after unloading.
Desfecho consultar(const std::string& caminho) {
    auto aberta = carregador::abrir(caminho);
    if (const auto* falha = std::get_if<carregador::Falha>(&aberta)) {
        return juntar(mensagens::carga, descricao(*falha, mensagens::carga_sem_descricao));
    }
    const auto& biblioteca = std::get<carregador::Biblioteca>(aberta);

    // Both are resolved before either is called: a library without NFE_Finalizar is never
    // initialised, since its handle could not be released.
    auto inicializar = resolver<FuncaoInicializar>(biblioteca, "NFE_Inicializar", mensagens::inicializar_ausente);
    if (auto* erro = std::get_if<std::string>(&inicializar)) {
        return std::move(*erro);
    }
    auto finalizar = resolver<FuncaoFinalizar>(biblioteca, "NFE_Finalizar", mensagens::finalizar_ausente);
    if (auto* erro = std::get_if<std::string>(&finalizar)) {
        return std::move(*erro);
    }

    const std::string argumento_vazio;
    HandleDaLib handle(std::get<FuncaoFinalizar>(finalizar));
    const auto resultado = handle.inicializar(std::get<FuncaoInicializar>(inicializar), argumento_vazio);
    if (resultado != 0) {
        return juntar(mensagens::inicializar_devolveu, std::to_string(resultado));
    }

    TextosLidos lidos;
    lidos.nome = ler_texto(biblioteca, handle.variavel(), "NFE_Nome");
    lidos.versao = ler_texto(biblioteca, handle.variavel(), "NFE_Versao");
    return lidos;
}

}  // namespace

Resposta versao() {
    const auto caminho = caminho_da_lib();
    if (!caminho) {
        return Resposta::falha(std::string(mensagens::plataforma));
    }
    if (!existe(*caminho)) {
        return Resposta::falha(juntar(mensagens::nao_encontrada, texto::decodificar_utf8_leniente(*caminho)));
    }
    auto desfecho = consultar(*caminho);
    if (auto* erro = std::get_if<std::string>(&desfecho)) {
        return Resposta::falha(std::move(*erro));
    }
    auto& lidos = std::get<TextosLidos>(desfecho);
    return Resposta::sucesso(std::move(lidos.nome), std::move(lidos.versao));
}

}  // namespace ponte::acbr
