# A Windows executable must import system DLLs only: the MinGW runtimes (libstdc++, libgcc,
# winpthread) are linked in, so the bridge runs from any folder without DLLs of its own.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DEXECUTAVEL=acbr-ponte.exe -P conferir_importacoes.cmake
# The allowed names are the Windows system DLLs a MinGW build can reach: the kernel, the C
# runtime (msvcrt, or the universal CRT through its api-ms-win-crt-* forwarders) and the
# security API. Anything else fails, and so does an executable whose imports cannot be read.
foreach(variavel OBJDUMP EXECUTAVEL)
  if(NOT DEFINED ${variavel})
    message(FATAL_ERROR "${variavel} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTAVEL} OUTPUT_VARIABLE cabecalhos RESULT_VARIABLE resultado)
if(NOT resultado EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${EXECUTAVEL}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" linhas "${cabecalhos}")
if(linhas STREQUAL "")
  message(FATAL_ERROR "${EXECUTAVEL}: no import table found")
endif()

set(estranhas "")
set(importadas "")
foreach(linha IN LISTS linhas)
  string(REGEX REPLACE "^DLL Name: " "" dll "${linha}")
  string(STRIP "${dll}" dll)
  list(APPEND importadas "${dll}")
  string(TOLOWER "${dll}" minuscula)
  if(NOT minuscula MATCHES "^(kernel32|msvcrt|ucrtbase|advapi32|api-ms-win-crt-[a-z0-9-]+)\\.dll$")
    list(APPEND estranhas "${dll}")
  endif()
endforeach()
if(NOT estranhas STREQUAL "")
  message(FATAL_ERROR "${EXECUTAVEL} imports DLLs that are not part of Windows: ${estranhas}")
endif()
message(STATUS "${EXECUTAVEL} imports system DLLs only: ${importadas}")
