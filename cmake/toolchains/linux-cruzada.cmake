# The part the Linux cross toolchain files share: Debian's cross compiler for _ponte_triplo (set
# by the including file, with CMAKE_SYSTEM_PROCESSOR), whose C library, libstdc++ and headers
# live under /usr/<triple>. GoogleTest is compiled for the target from Debian's sources
# (tests/CMakeLists.txt does so in every cross build).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${_ponte_triplo}-gcc)
set(CMAKE_CXX_COMPILER ${_ponte_triplo}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${_ponte_triplo})
# Build tools (Python, readelf) come from the host; libraries from the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# nlohmann_json's headers without the rest of the host's /usr/include, whose glibc headers are
# not the target's.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/nlohmann_json CACHE PATH "nlohmann_json for the cross build")

# A target this machine cannot run sets _ponte_qemu, its qemu-user program: tests, and test
# discovery during the build, run through it with the target's libraries from /usr/<triple>.
if(_ponte_qemu)
  find_program(PONTE_QEMU NAMES ${_ponte_qemu})
  if(PONTE_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PONTE_QEMU} -L /usr/${_ponte_triplo})
  endif()
endif()
