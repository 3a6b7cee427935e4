# Cross build for Windows x86 (32-bit) with Debian's MinGW-w64 (g++-mingw-w64-i686-posix), tests
# run under 32-bit Wine (wine32:i386, whose loader is /usr/lib/wine/wine). CMAKE_SYSTEM_PROCESSOR
# i686 makes cmake/Plataforma.cmake name ACBrNFe32.dll.
# Used by the presets `windows-x86` (tests) and `windows-x86-release`, which give Wine a prefix of
# its own in the build directory: cmake --workflow --preset windows-x86
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_ponte_triplo i686-w64-mingw32)
set(_ponte_wine wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
unset(_ponte_triplo)
unset(_ponte_wine)
