#include "laco/arranque.hpp"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <utility>

namespace ponte::laco {

namespace {

bool fechado(int descritor) { return ::fcntl(descritor, F_GETFD) == -1 && errno == EBADF; }

void abrir_descritores_fechados() noexcept {
    int primeiro_nulo = -1;
    for (int descritor = 0; descritor <= 2; ++descritor) {
        if (!fechado(descritor)) continue;
        // The lower descriptors are open by now, so the new one takes this number.
        int novo = primeiro_nulo == -1 ? -1 : ::dup(primeiro_nulo);
        if (novo == -1) novo = ::open("/dev/null", O_RDWR);
        if (novo != descritor) std::abort();
        if (primeiro_nulo == -1) primeiro_nulo = novo;
    }
}

}  // namespace

ProcessoPreparado preparar_processo() noexcept {
    abrir_descritores_fechados();
    std::signal(SIGPIPE, SIG_IGN);  // cannot fail for a valid signal number
    CanaisDoProtocolo canais = CanaisDoProtocolo::separar();
    // After SIGPIPE is ignored: that is the disposition every query must leave behind.
    return {std::move(canais), EstadoDoProcesso::capturar()};
}

}  // namespace ponte::laco
