# Linux on ARM64 (AArch64, little-endian) with Debian's cross compiler (g++-aarch64-linux-gnu).
# The ACBr Project publishes no library for it, so the bridge answers every version query with
# the platform message. Tests, and test discovery during the build, run under qemu-user with the
# target's libraries from /usr/aarch64-linux-gnu (qemu-user package); the process tests start
# the bridge through the same emulator.
# Used by the presets `aarch64` (tests) and `aarch64-release`: cmake --workflow --preset aarch64
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(_ponte_triplo aarch64-linux-gnu)
set(_ponte_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cruzada.cmake)
unset(_ponte_qemu)
unset(_ponte_triplo)
