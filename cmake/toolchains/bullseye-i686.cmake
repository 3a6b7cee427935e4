# Linux x86 (32-bit) release build for glibc 2.31 and later: Debian's i686 cross compiler
# (g++-i686-linux-gnu, as in linux-i686.cmake) against the Debian 11 i386 tree made by
# `tools/bullseye.sh i386` (see bullseye.cmake):
#   cmake --preset bullseye-x86    or
#   cmake -S . -B build/bullseye-x86 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/bullseye-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_ponte_compilador i686-linux-gnu-)
set(_ponte_arquitetura i386)
set(_ponte_multiarch i386-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/bullseye.cmake)
