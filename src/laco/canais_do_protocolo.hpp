#pragma once

#include "laco/descritor_proprio.hpp"

namespace ponte::laco {

// The descriptors through which the bridge talks to its host. At start-up they become private
// duplicates of standard input and output, closed on exec, and descriptors 0 and 1 (on Windows
// also the standard handles) are pointed at the null device. Whatever a loaded library, or
// anything it starts, writes to its standard output then goes nowhere, by any route (write(2),
// C stdio, a Pascal WriteLn, a buffer flushed at exit), and whatever it reads from its standard
// input is the end of input, never a command of the host's. Descriptor 2 is left alone.
//
// The duplicates share the originals' open files, so everything the loop relies on (blocking or
// not, readable or not, a reader that went away) holds of them unchanged.
class CanaisDoProtocolo {
public:
    // Run once the standard descriptors are known to be open. If a duplicate cannot be made
    // (no descriptor left), the bridge talks through 0 and 1 themselves, as before.
    static CanaisDoProtocolo separar() noexcept;

    int entrada() const noexcept;
    int saida() const noexcept;

private:
    DescritorProprio entrada_;
    DescritorProprio saida_;
};

}  // namespace ponte::laco
