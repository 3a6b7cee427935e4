#pragma once

namespace ponte::laco {

// Run before the first read: descriptors 0, 1 and 2 that are closed are opened on /dev/null
// (aborting without output if that fails), and SIGPIPE is ignored so that a host that went
// away shows up as a failed write instead of killing the process.
// On Windows (arranque_windows.cpp) missing standard handles are opened on NUL and standard
// input and output are switched to binary mode; there is no SIGPIPE to ignore.
void preparar_processo() noexcept;

}  // namespace ponte::laco
