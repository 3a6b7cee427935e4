# The part the MinGW-w64 toolchain files share: Debian's cross compiler for _ponte_triplo, in the
# POSIX-threads flavour that std::thread and GoogleTest need, and Wine as the emulator
# (_ponte_wine: the names to look for in /usr/lib/wine, then on the PATH). Set by the including
# file, with CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${_ponte_triplo}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_ponte_triplo}-g++-posix)
set(CMAKE_RC_COMPILER ${_ponte_triplo}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_ponte_triplo})
# Build tools come from the host; libraries and headers from the target, except header-only
# packages (nlohmann_json) that live in the host's arch-independent directories.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Everything links the C and C++ runtimes and winpthreads statically: the executables import
# system DLLs only, so they run from any folder (and under Wine) without MinGW's DLLs beside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the built programs through Wine, by way of wine.sh, which keeps
# the prefix's server running between them.
find_program(PONTE_WINE NAMES ${_ponte_wine} HINTS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(PONTE_WINESERVER NAMES wineserver HINTS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PONTE_WINE AND PONTE_WINESERVER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine.sh ${PONTE_WINESERVER} ${PONTE_WINE})
endif()

# nlohmann_json's headers without the rest of the host's /usr/include.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/nlohmann_json CACHE PATH "nlohmann_json for the cross build")
