# Linux x86 (32-bit) on an x86-64 Debian with gcc-multilib and g++-multilib; the programs run
# natively. CMAKE_SYSTEM_PROCESSOR i686 makes cmake/Plataforma.cmake name libacbrnfe32.so.
#   cmake -S . -B build/x86 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
# tools/testar-x86.sh does this and runs the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
# find_library must not pick 64-bit libraries from the multiarch directories.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB64_PATHS OFF)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
