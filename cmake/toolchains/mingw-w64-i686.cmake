# Cross build for Windows x86 (32-bit) with Debian's MinGW-w64 (g++-mingw-w64-i686-posix), tests
# run under 32-bit Wine (wine32:i386, whose loader is /usr/lib/wine/wine). CMAKE_SYSTEM_PROCESSOR
# i686 makes cmake/Plataforma.cmake name ACBrNFe32.dll.
#   cmake -S . -B build/windows-x86 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
# tools/testar-windows.sh x86 does this with a throwaway Wine prefix and a persistent wineserver.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_ponte_triplo i686-w64-mingw32)
set(_ponte_wine wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
unset(_ponte_triplo)
unset(_ponte_wine)
