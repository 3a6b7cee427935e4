# Linux on IBM Z (s390x, big-endian) with Debian's cross compiler (g++-s390x-linux-gnu). The
# ACBr Project publishes no library for it, so the bridge answers every version query with the
# platform message; on this processor the word-at-a-time scans take their big-endian path.
# Tests, and test discovery during the build, run under qemu-user with the target's libraries
# from /usr/s390x-linux-gnu (qemu-user package); the process tests start the bridge through the
# same emulator.
# Used by the presets `s390x` (tests) and `s390x-release`: cmake --workflow --preset s390x
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(_ponte_triplo s390x-linux-gnu)
set(_ponte_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cruzada.cmake)
unset(_ponte_qemu)
unset(_ponte_triplo)
