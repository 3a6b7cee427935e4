#include "laco/descritor_de_entrada.hpp"

#include <unistd.h>
#include <cerrno>

namespace ponte::laco {

Leitura DescritorDeEntrada::ler(std::span<char> destino) {
    for (;;) {
        const ssize_t lidos = ::read(descritor_, destino.data(), destino.size());
        if (lidos > 0) return {EstadoDaLeitura::dados, static_cast<std::size_t>(lidos)};
        if (lidos == 0) return {EstadoDaLeitura::fim};
        if (errno == EINTR) continue;
        // A descriptor that is open but not readable simply has nothing to give.
        if (errno == EBADF) return {EstadoDaLeitura::fim};
        // Anything else, EAGAIN on a non-blocking descriptor included, ends the input.
        return {EstadoDaLeitura::falha};
    }
}

}  // namespace ponte::laco
