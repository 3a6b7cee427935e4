#include "laco/estado_do_processo.hpp"

#include <fcntl.h>
#include <unistd.h>

namespace ponte::laco {

namespace {

// O_PATH keeps a directory the process may enter but not read (Linux); elsewhere it must be
// readable to be kept.
#ifdef O_PATH
constexpr int modo_do_diretorio = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int modo_do_diretorio = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

EstadoDoProcesso EstadoDoProcesso::capturar() noexcept {
    EstadoDoProcesso estado;
    std::fegetenv(&estado.ponto_flutuante_);
    for (std::size_t i = 0; i < sinais.size(); ++i) ::sigaction(sinais[i], nullptr, &estado.disposicoes_[i]);
    ::pthread_sigmask(SIG_SETMASK, nullptr, &estado.mascara_);
    // A descriptor, not a path: it names the same directory even if it is renamed or removed.
    estado.diretorio_ = DescritorProprio(::open(".", modo_do_diretorio));
    return estado;
}

// One system call per item, whether the library changed it or not: asking first would cost the
// same call again.
void EstadoDoProcesso::restaurar() const noexcept {
    std::fesetenv(&ponto_flutuante_);
    for (std::size_t i = 0; i < sinais.size(); ++i) ::sigaction(sinais[i], &disposicoes_[i], nullptr);
    ::pthread_sigmask(SIG_SETMASK, &mascara_, nullptr);
    if (diretorio_.aberto()) ::fchdir(diretorio_.numero());  // nothing else to go back to if it fails
}

}  // namespace ponte::laco
