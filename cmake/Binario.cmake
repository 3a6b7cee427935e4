# The shipped executable needs nothing but the C library: on ELF platforms with GNU-style
# toolchains it links libstdc++ and libgcc statically (the Windows toolchain file does the same
# for MinGW by itself), and optimised builds drop unused sections. Sanitizer builds keep the
# shared runtimes, which their own runtime libraries expect.
#
# ponte_binario_autonomo(<target>)  applies this to one executable.
# ponte_conferir_binario(<target>)  adds the test that reads its DT_NEEDED entries.
set(PONTE_CONFERIR_BINARIO "${CMAKE_CURRENT_LIST_DIR}/conferir_binario.cmake")

include(CheckCXXSourceCompiles)

# All the bridge and the static libstdc++ take from libm is the floating-point environment
# (fegetenv and fesetenv, and fegetround and fesetround in to_chars), small functions. Taken
# from libm.a, they spare every start of the process the mapping of libm (its cost: see
# docs/performance.md). `-u` makes the linker take them wherever the references are on the
# command line; the driver's own -lm then has nothing left to settle and --as-needed drops it.
set(PONTE_LIBM_ESTATICA "-Wl,-u,fegetenv,-u,fesetenv,-u,fegetround,-u,fesetround,-Bstatic,-lm,-Bdynamic")

# Whether this toolchain has a libm.a that links that way (cached as PONTE_LIBM_ESTATICA_FUNCIONA).
function(ponte_verificar_libm_estatica)
  set(CMAKE_REQUIRED_LINK_OPTIONS -static-libstdc++ -static-libgcc -Wl,--as-needed ${PONTE_LIBM_ESTATICA})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles([[
    #include <cfenv>
    #include <charconv>
    int main() {
      std::fenv_t ambiente;
      std::fegetenv(&ambiente);
      char texto[32];
      const char* fim = std::to_chars(texto, texto + sizeof texto, 0.1).ptr;
      std::fesetenv(&ambiente);
      return fim == texto;
    }]] PONTE_LIBM_ESTATICA_FUNCIONA)
endfunction()

function(ponte_binario_autonomo alvo)
  if(WIN32 OR APPLE OR PONTE_SANITIZADORES OR NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    return()
  endif()
  target_link_options(${alvo} PRIVATE -static-libstdc++ -static-libgcc -Wl,--as-needed)
  # Built against glibc 2.31: the two symbols of glibc 2.32 and 2.35 that the static runtime
  # refers to, defined in the executable, and how libdl and pthread_sigmask are linked
  # (src/glibc_antiga/).
  if(PONTE_GLIBC_ANTIGA)
    target_link_libraries(${alvo} PRIVATE ponte_glibc_antiga)
  endif()
  ponte_verificar_libm_estatica()
  if(PONTE_LIBM_ESTATICA_FUNCIONA)
    target_link_options(${alvo} PRIVATE ${PONTE_LIBM_ESTATICA})
  endif()
  # Only optimised builds: the sections are per function there, and debug builds stay as is.
  set(otimizada "$<CONFIG:Release,MinSizeRel,RelWithDebInfo>")
  target_link_options(${alvo} PRIVATE "$<${otimizada}:LINKER:--gc-sections>")
endfunction()

function(ponte_conferir_binario alvo)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT PONTE_SANITIZADORES)
    # Where libm is linked in, a libm.so.6 entry means something new calls into it: refused.
    set(sem_libm OFF)
    if(PONTE_LIBM_ESTATICA_FUNCIONA)
      set(sem_libm ON)
    endif()
    # Against glibc 2.31, libdl is a part of glibc of its own.
    set(separada OFF)
    if(PONTE_GLIBC_ANTIGA)
      set(separada ON)
    endif()
    add_test(NAME binario_autonomo
             COMMAND ${CMAKE_COMMAND} -DEXECUTAVEL=$<TARGET_FILE:${alvo}> -DSEM_LIBM=${sem_libm}
                     -DGLIBC_SEPARADA=${separada} -P ${PONTE_CONFERIR_BINARIO})
  endif()
endfunction()
