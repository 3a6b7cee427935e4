# Linux x86 (32-bit) with Debian's cross compiler (g++-i686-linux-gnu; gcc-multilib, the other
# way to build for i686, cannot be installed beside the ARM64 and s390x cross compilers). The
# programs run natively on an x86-64 kernel with Debian's i386 runtimes (libc6:i386,
# libstdc++6:i386), or under qemu-i386 on a kernel that cannot run them. CMAKE_SYSTEM_PROCESSOR i686 makes cmake/Plataforma.cmake name
# libacbrnfe32.so.
# Used by the presets `x86` (tests) and `x86-release`: cmake --workflow --preset x86
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_ponte_triplo i686-linux-gnu)
# A kernel built without 32-bit support (as some containers' are) cannot start the target's own
# dynamic loader: there the programs run under qemu-user, as the ARM64 and s390x ones do.
execute_process(COMMAND /usr/${_ponte_triplo}/lib/ld-linux.so.2 --version
                RESULT_VARIABLE _ponte_nativo OUTPUT_QUIET ERROR_QUIET)
if(NOT _ponte_nativo EQUAL 0)
  set(_ponte_qemu qemu-i386)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/linux-cruzada.cmake)
unset(_ponte_nativo)
unset(_ponte_qemu)
unset(_ponte_triplo)
