#pragma once

#include "laco/descritor_proprio.hpp"

#include <array>
#include <cfenv>
#include <csignal>

#ifdef _WIN32
#include <string>
#endif

namespace ponte::laco {

// What a loaded library may change in the process and later commands depend on, as it was at
// start-up. The bridge itself never changes any of it after start-up, so after every version
// query restaurar() puts back what the library left behind:
// - the dispositions of the signals that language runtimes take over, SIGPIPE's among them: a
//   handler left pointing into an unloaded library crashes the bridge at the next such signal,
//   and SIGPIPE set back to its default lets a host that went away kill it;
// - the signal mask, so that a host can still stop the bridge with a signal;
// - the floating-point environment (rounding, trapped exceptions), which number decoding uses;
// - the working directory, so that a relative ACBR_DIR names the same directory every time.
// On Windows: the C runtime's signal handlers, the unhandled-exception filter, the
// floating-point environment and the working directory.
class EstadoDoProcesso {
public:
    static EstadoDoProcesso capturar() noexcept;
    void restaurar() const noexcept;

#ifndef _WIN32
    // The signals whose dispositions are put back: those language runtimes take over, and
    // SIGABRT, whose default action is how the bridge ends when memory is exhausted. Each costs a
    // system call per query, so the list stops there.
    static constexpr std::array sinais{SIGPIPE, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL, SIGINT,
                                       SIGTERM, SIGHUP,  SIGQUIT, SIGCHLD, SIGABRT};
#else
    static constexpr std::array sinais{SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT};
#endif

private:
    EstadoDoProcesso() = default;

    std::fenv_t ponto_flutuante_{};
#ifdef _WIN32
    unsigned int mxcsr_ = 0;  // SSE's control register, which MinGW's fesetenv leaves alone
    using Tratador = void (*)(int);
    std::array<Tratador, sinais.size()> tratadores_{};
    using Funcao = void (*)();  // any function pointer converts to and from this one
    Funcao filtro_de_excecoes_ = nullptr;
    std::wstring diretorio_;  // empty: could not be read, not restored
#else
    std::array<struct sigaction, sinais.size()> disposicoes_{};
    sigset_t mascara_{};
    DescritorProprio diretorio_;  // not open: could not be kept, not restored
#endif
};

}  // namespace ponte::laco
