#pragma once

#include "laco/canais_do_protocolo.hpp"
#include "laco/estado_do_processo.hpp"

namespace ponte::laco {

// What start-up leaves to the process entry: the descriptors of the protocol and the state to
// put back after each version query.
struct ProcessoPreparado {
    CanaisDoProtocolo canais;
    EstadoDoProcesso estado;
};

// Run before the first read: descriptors 0, 1 and 2 that are closed are opened on /dev/null
// (aborting without output if that fails), SIGPIPE is ignored so that a host that went away
// shows up as a failed write instead of killing the process, the protocol moves to private
// descriptors, and the process state is captured.
// On Windows (arranque_windows.cpp) missing standard handles are opened on NUL; there is no
// SIGPIPE to ignore.
ProcessoPreparado preparar_processo() noexcept;

}  // namespace ponte::laco
