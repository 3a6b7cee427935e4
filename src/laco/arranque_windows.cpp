#include "laco/arranque.hpp"

#include <fcntl.h>
#include <io.h>
#include <cstdlib>
#include <utility>

namespace ponte::laco {

namespace {

// A standard handle the host did not give leaves the C runtime's descriptor without a file.
bool fechado(int descritor) {
    const intptr_t handle = ::_get_osfhandle(descritor);
    return handle == -1 || handle == -2;
}

void abrir_descritores_fechados() noexcept {
    // As on POSIX: a missing standard stream becomes the null device, so no file the process
    // opens later (the library may open some) can take its number and receive the answers.
    int nulo = -1;
    for (int descritor = 0; descritor <= 2; ++descritor) {
        if (!fechado(descritor)) continue;
        if (nulo == -1) nulo = ::_open("NUL", _O_RDWR | _O_BINARY);
        if (nulo == -1 || ::_dup2(nulo, descritor) != 0) std::abort();
    }
    if (nulo > 2) ::_close(nulo);
}

}  // namespace

ProcessoPreparado preparar_processo() noexcept {
    abrir_descritores_fechados();
    // The bytes must be the Linux build's: no CR LF translation and no Ctrl-Z as end of input
    // (the private descriptors are switched to binary mode too).
    // There is no SIGPIPE: a write to a host that went away fails with ERROR_NO_DATA or
    // ERROR_BROKEN_PIPE, which the loop takes as the end.
    if (::_setmode(0, _O_BINARY) == -1 || ::_setmode(1, _O_BINARY) == -1) std::abort();
    CanaisDoProtocolo canais = CanaisDoProtocolo::separar();
    return {std::move(canais), EstadoDoProcesso::capturar()};
}

}  // namespace ponte::laco
