#include "laco/atendimento.hpp"

#include <type_traits>
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

void Atendente::atender(std::string_view comando, texto::Acumulador& resposta, protocolo::Quebras quebras) {
    const std::optional<protocolo::Comando> decodificado = decodificador_.decodificar(comando, quebras);
    if (!decodificado) {
        protocolo::anexar_resposta_comando_invalido(resposta, decodificador_.diagnostico(),
                                                    decodificador_.diagnostico_ascii_sem_escapes()
                                                        ? protocolo::Conteudo::ascii_sem_escapes
                                                        : protocolo::Conteudo::qualquer);
        return;
    }
    if (!protocolo::anexar_resposta(resposta, despachar(*decodificado, versao_)))
        resposta.anexar(protocolo::resposta_de_reserva);
}

}  // namespace ponte::laco
