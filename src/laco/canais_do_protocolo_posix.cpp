#include "laco/canais_do_protocolo.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace ponte::laco {

CanaisDoProtocolo CanaisDoProtocolo::separar() noexcept {
    CanaisDoProtocolo canais;
    // Above 2, so that the duplicates never take a standard number themselves.
    DescritorProprio entrada(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3));
    DescritorProprio saida(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3));
    if (!entrada.aberto() || !saida.aberto()) return canais;
    canais.entrada_ = std::move(entrada);
    canais.saida_ = std::move(saida);
    // Best effort: without /dev/null the library shares the host's streams, as before, but the
    // bridge's own reads and writes are unaffected.
    const DescritorProprio nulo(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (nulo.aberto()) {
        ::dup2(nulo.numero(), STDIN_FILENO);
        ::dup2(nulo.numero(), STDOUT_FILENO);
    }
    return canais;
}

int CanaisDoProtocolo::entrada() const noexcept { return entrada_.aberto() ? entrada_.numero() : STDIN_FILENO; }

int CanaisDoProtocolo::saida() const noexcept { return saida_.aberto() ? saida_.numero() : STDOUT_FILENO; }

}  // namespace ponte::laco
