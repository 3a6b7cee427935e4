#include "laco/descritor_de_saida.hpp"

#include <unistd.h>
#include <cerrno>

namespace ponte::laco {

Escrita DescritorDeSaida::escrever(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t escritos = ::write(descritor_, bytes.data(), bytes.size());
        if (escritos > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(escritos));
            continue;
        }
        // No progress without an error would loop forever; count it as a lost output.
        if (escritos == 0) return Escrita::falhou;
        if (errno == EINTR) continue;
        // Open but not writable: the host gets nothing, and the bridge goes on serving.
        if (errno == EBADF) return Escrita::descartada;
        return Escrita::falhou;
    }
    return Escrita::entregue;
}

}  // namespace ponte::laco
