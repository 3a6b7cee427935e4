# The shipped executable needs nothing but the C library: on ELF platforms with GNU-style
# toolchains it links libstdc++ and libgcc statically (the Windows toolchain file does the same
# for MinGW by itself), and optimised builds drop unused sections. Sanitizer builds keep the
# shared runtimes, which their own runtime libraries expect.
#
# ponte_binario_autonomo(<target>)  applies this to one executable.
# ponte_conferir_binario(<target>)  adds the test that reads its DT_NEEDED entries.
set(PONTE_CONFERIR_BINARIO "${CMAKE_CURRENT_LIST_DIR}/conferir_binario.cmake")

function(ponte_binario_autonomo alvo)
  if(WIN32 OR APPLE OR PONTE_SANITIZADORES OR NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    return()
  endif()
  target_link_options(${alvo} PRIVATE -static-libstdc++ -static-libgcc -Wl,--as-needed)
  # Only optimised builds: the sections are per function there, and debug builds stay as is.
  set(otimizada "$<CONFIG:Release,MinSizeRel,RelWithDebInfo>")
  target_link_options(${alvo} PRIVATE "$<${otimizada}:LINKER:--gc-sections>")
endfunction()

function(ponte_conferir_binario alvo)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT PONTE_SANITIZADORES)
    add_test(NAME binario_autonomo
             COMMAND ${CMAKE_COMMAND} -DEXECUTAVEL=$<TARGET_FILE:${alvo}> -P ${PONTE_CONFERIR_BINARIO})
  endif()
endfunction()
