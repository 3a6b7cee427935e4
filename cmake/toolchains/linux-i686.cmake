# Linux x86 (32-bit) with Debian's cross compiler (g++-i686-linux-gnu; gcc-multilib, the other
# way to build for i686, cannot be installed beside the ARM64 and s390x cross compilers). The
# programs run natively on an x86-64 kernel with Debian's i386 runtimes (libc6:i386,
# libstdc++6:i386). CMAKE_SYSTEM_PROCESSOR i686 makes cmake/Plataforma.cmake name
# libacbrnfe32.so.
#   cmake -S . -B build/x86 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
# tools/testar-x86.sh does this and runs the tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_ponte_triplo i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cruzada.cmake)
unset(_ponte_triplo)
