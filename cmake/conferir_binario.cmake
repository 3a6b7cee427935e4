# cmake -DEXECUTAVEL=<path> [-DREADELF=<readelf>] [-DSEM_LIBM=ON] [-DGLIBC_SEPARADA=ON]
#       -P conferir_binario.cmake
# Fails unless the ELF executable's DT_NEEDED entries are all parts of glibc that every
# glibc >= 2.34 system has: libc.so.6, the dynamic loader (ld64.so.1 on s390x) and libm.so.6
# (used by the statically linked libstdc++), the last one refused with SEM_LIBM, for a build that
# links what it uses of libm statically. libdl and libpthread are merged into libc since glibc
# 2.34: their presence means the link lost --as-needed, so they fail too; with GLIBC_SEPARADA,
# for a build against an older glibc (cmake/toolchains/bullseye.cmake), libdl is allowed: dlopen
# lives there (every later glibc still ships it, empty).
if(NOT EXECUTAVEL OR NOT EXISTS "${EXECUTAVEL}")
  message(FATAL_ERROR "no executable at '${EXECUTAVEL}'")
endif()
if(NOT READELF)
  find_program(READELF NAMES readelf REQUIRED)
endif()
execute_process(COMMAND "${READELF}" -d "${EXECUTAVEL}" OUTPUT_VARIABLE dinamica RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf -d failed on ${EXECUTAVEL}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" entradas "${dinamica}")
set(necessarias "")
set(proibidas "")
foreach(entrada IN LISTS entradas)
  string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" nome "${entrada}")
  list(APPEND necessarias "${nome}")
  if(GLIBC_SEPARADA AND nome STREQUAL "libdl.so.2")
    continue()
  endif()
  if(NOT nome MATCHES "^(libc\\.so\\.6|libm\\.so\\.6|ld-linux(-x86-64|-aarch64)?\\.so\\.[0-9]+|ld64\\.so\\.1)$"
     OR (SEM_LIBM AND nome STREQUAL "libm.so.6"))
    list(APPEND proibidas "${nome}")
  endif()
endforeach()
if(NOT necessarias)
  message(FATAL_ERROR "${EXECUTAVEL}: no DT_NEEDED entries found (not a dynamic ELF executable?)")
endif()
list(JOIN necessarias ", " texto)
if(proibidas)
  list(JOIN proibidas ", " texto_proibidas)
  message(FATAL_ERROR "${EXECUTAVEL} needs ${texto}; not allowed: ${texto_proibidas}")
endif()
message(STATUS "${EXECUTAVEL} needs only: ${texto}")
