#include "laco/canais_do_protocolo.hpp"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

namespace ponte::laco {

namespace {

// A C runtime descriptor of its own over a non-inheritable copy of the descriptor's handle:
// child processes the library starts never get it.
DescritorProprio duplicar(int descritor, int modo) {
    const auto original = reinterpret_cast<HANDLE>(::_get_osfhandle(descritor));
    HANDLE copia = nullptr;
    if (original == INVALID_HANDLE_VALUE || ::DuplicateHandle(::GetCurrentProcess(), original, ::GetCurrentProcess(),
                                                              &copia, 0, FALSE, DUPLICATE_SAME_ACCESS) == 0)
        return DescritorProprio();
    const int numero = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(copia), modo);
    if (numero == -1) {
        ::CloseHandle(copia);
        return DescritorProprio();
    }
    DescritorProprio proprio(numero);
    // The bytes must be the Linux build's: no CR LF translation and no Ctrl-Z as end of input.
    if (::_setmode(numero, _O_BINARY) == -1) return DescritorProprio();
    return proprio;
}

}  // namespace

CanaisDoProtocolo CanaisDoProtocolo::separar() noexcept {
    CanaisDoProtocolo canais;
    DescritorProprio entrada = duplicar(0, _O_RDONLY);
    DescritorProprio saida = duplicar(1, 0);
    if (!entrada.aberto() || !saida.aberto()) return canais;
    canais.entrada_ = std::move(entrada);
    canais.saida_ = std::move(saida);
    // Descriptors 0 and 1 and the standard handles all become the null device: a DLL may write
    // through its C runtime (printf, puts, _write) or straight to GetStdHandle's handle.
    const DescritorProprio nulo(::_open("NUL", _O_RDWR | _O_BINARY | _O_NOINHERIT));
    if (nulo.aberto() && ::_dup2(nulo.numero(), 0) == 0 && ::_dup2(nulo.numero(), 1) == 0) {
        ::SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(0)));
        ::SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(1)));
    }
    return canais;
}

int CanaisDoProtocolo::entrada() const noexcept { return entrada_.aberto() ? entrada_.numero() : 0; }

int CanaisDoProtocolo::saida() const noexcept { return saida_.aberto() ? saida_.numero() : 1; }

}  // namespace ponte::laco
