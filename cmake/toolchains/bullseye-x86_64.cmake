# Linux x86-64 release build for glibc 2.31 and later, against the Debian 11 tree made by
# `tools/bullseye.sh amd64` (see bullseye.cmake):
#   cmake --preset bullseye        or
#   cmake -S . -B build/bullseye -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/bullseye-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_ponte_compilador "")
set(_ponte_arquitetura amd64)
set(_ponte_multiarch x86_64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/bullseye.cmake)
