# The part the old-glibc toolchain files share: Linux x86-64 and x86 release builds that run on
# glibc 2.31 (Debian 11, Ubuntu 20.04) and every later one. Debian 12's g++ 12 compiles against
# the C library of a Debian 11 ("bullseye") tree made by tools/bullseye.sh, and links libstdc++
# and libgcc statically from g++ 12, as every Linux build does; src/glibc_antiga/ defines the
# two symbols of newer glibc versions that this runtime refers to. Set by the including file:
# CMAKE_SYSTEM_PROCESSOR, _ponte_compilador (the compilers' prefix), _ponte_arquitetura
# (Debian's name: amd64, i386) and _ponte_multiarch (x86_64-linux-gnu, i386-linux-gnu).
# The tree is PONTE_BULLSEYE, by default bullseye-<architecture> in $ACBR_PONTE_CACHE, or in
# /var/cache/acbr-ponte: where tools/bullseye.sh puts it. Meant for optimised builds (the presets
# bullseye and bullseye-x86 inherit release): there --gc-sections also drops a function of the
# static libstdc++ that calls arc4random (glibc 2.36), which a debug build fails to link.
set(CMAKE_SYSTEM_NAME Linux)
set(PONTE_GLIBC_ANTIGA ON)

if(NOT PONTE_BULLSEYE)
  if(DEFINED ENV{ACBR_PONTE_CACHE})
    set(PONTE_BULLSEYE "$ENV{ACBR_PONTE_CACHE}/bullseye-${_ponte_arquitetura}")
  else()
    set(PONTE_BULLSEYE "/var/cache/acbr-ponte/bullseye-${_ponte_arquitetura}")
  endif()
endif()
set(PONTE_BULLSEYE "${PONTE_BULLSEYE}" CACHE PATH "The Debian 11 tree whose C library the build uses")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PONTE_BULLSEYE)
if(NOT EXISTS "${PONTE_BULLSEYE}/usr/lib/${_ponte_multiarch}/libc_nonshared.a")
  message(FATAL_ERROR "No Debian 11 tree with libc6-dev at ${PONTE_BULLSEYE}: make it with "
                      "tools/bullseye.sh ${_ponte_arquitetura}")
endif()

set(CMAKE_C_COMPILER ${_ponte_compilador}gcc)
set(CMAKE_CXX_COMPILER ${_ponte_compilador}g++)
set(CMAKE_SYSROOT "${PONTE_BULLSEYE}")
set(CMAKE_FIND_ROOT_PATH "${PONTE_BULLSEYE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Headers: the compiler's own (C++ library, then its built-in ones), then the tree's C library.
# Debian's compilers put their own target directories (the host's /usr/include/<multiarch>, a
# cross compiler's /usr/<triple>/include, both glibc 2.36) ahead of any sysroot, so the list is
# written out whole after -nostdinc.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -xc++ -E -v -o /dev/null /dev/null
                ERROR_VARIABLE _ponte_busca OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE ".*#include <...> search starts here:\n(.*)\nEnd of search list.*" "\\1" _ponte_busca "${_ponte_busca}")
string(REPLACE "\n" ";" _ponte_busca "${_ponte_busca}")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=include OUTPUT_VARIABLE _ponte_proprios
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(_ponte_cabecalhos_c "-nostdinc -isystem ${_ponte_proprios}")
foreach(_ponte_dir IN ITEMS "usr/include/${_ponte_multiarch}" usr/include)
  string(APPEND _ponte_cabecalhos_c " -isystem ${PONTE_BULLSEYE}/${_ponte_dir}")
endforeach()
set(_ponte_cabecalhos_cxx "-nostdinc")
foreach(_ponte_dir IN LISTS _ponte_busca)
  string(STRIP "${_ponte_dir}" _ponte_dir)
  if(_ponte_dir MATCHES "/c\\+\\+/")
    file(REAL_PATH "${_ponte_dir}" _ponte_dir)
    string(APPEND _ponte_cabecalhos_cxx " -isystem ${_ponte_dir}")
  endif()
endforeach()
string(REPLACE "-nostdinc" "" _ponte_resto "${_ponte_cabecalhos_c}")
string(APPEND _ponte_cabecalhos_cxx "${_ponte_resto}")
set(CMAKE_C_FLAGS_INIT "${_ponte_cabecalhos_c}")
set(CMAKE_CXX_FLAGS_INIT "${_ponte_cabecalhos_cxx}")

# Libraries and start files: the tree's C library ahead of the compiler's own directories,
# which hold the build machine's; libstdc++ and libgcc still come from the compiler.
set(_ponte_ligacao "-B${PONTE_BULLSEYE}/usr/lib/${_ponte_multiarch}/")
foreach(_ponte_dir IN ITEMS "usr/lib/${_ponte_multiarch}" "lib/${_ponte_multiarch}")
  string(APPEND _ponte_ligacao " -L${PONTE_BULLSEYE}/${_ponte_dir}")
endforeach()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_ponte_ligacao}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_ponte_ligacao}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_ponte_ligacao}")

unset(_ponte_busca)
unset(_ponte_proprios)
unset(_ponte_cabecalhos_c)
unset(_ponte_cabecalhos_cxx)
unset(_ponte_resto)
unset(_ponte_ligacao)
unset(_ponte_dir)
