# Cross build for Windows x64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix), tests run
# under 64-bit Wine (wine64).
# Used by the presets `windows` (tests) and `windows-release`, which give Wine a prefix of its own
# in the build directory: cmake --workflow --preset windows
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_ponte_triplo x86_64-w64-mingw32)
set(_ponte_wine wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
unset(_ponte_triplo)
unset(_ponte_wine)
