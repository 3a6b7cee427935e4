#include "laco/arranque.hpp"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace ponte::laco {

namespace {

bool fechado(int descritor) { return ::fcntl(descritor, F_GETFD) == -1 && errno == EBADF; }

}  // namespace

void preparar_processo() noexcept {
    int primeiro_nulo = -1;
    for (int descritor = 0; descritor <= 2; ++descritor) {
        if (!fechado(descritor)) continue;
        // The lower descriptors are open by now, so the new one takes this number.
        int novo = primeiro_nulo == -1 ? -1 : ::dup(primeiro_nulo);
        if (novo == -1) novo = ::open("/dev/null", O_RDWR);
        if (novo != descritor) std::abort();
        if (primeiro_nulo == -1) primeiro_nulo = novo;
    }
    std::signal(SIGPIPE, SIG_IGN);  // cannot fail for a valid signal number
}

}  // namespace ponte::laco
