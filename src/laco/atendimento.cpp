#include "laco/atendimento.hpp"

#include "protocol/comando.hpp"

#include <type_traits>
#include <utility>
#include <variant>

namespace ponte::laco {

namespace {

protocolo::Resposta despachar(const protocolo::Comando& comando, const ConsultaDeVersao& versao) {
    return std::visit(
        [&versao](const auto& variante) -> protocolo::Resposta {
            using Tipo = std::decay_t<decltype(variante)>;
            static_assert(std::is_same_v<Tipo, protocolo::Versao>, "every command needs a branch");
            return versao();
        },
        comando);
}

}  // namespace

std::string atender(std::string_view comando, const ConsultaDeVersao& versao) {
    const protocolo::Decodificacao decodificacao = protocolo::decodificar_comando(comando);
    const protocolo::Resposta resposta =
        std::holds_alternative<protocolo::Comando>(decodificacao)
            ? despachar(std::get<protocolo::Comando>(decodificacao), versao)
            : protocolo::resposta_comando_invalido(
                  std::get<protocolo::FalhaDeDecodificacao>(decodificacao).diagnostico);
    if (std::optional<std::string> texto = protocolo::codificar(resposta)) return std::move(*texto);
    return std::string(protocolo::resposta_de_reserva);
}

}  // namespace ponte::laco
