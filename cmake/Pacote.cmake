# The release archive: `cpack` in a release build directory writes
# acbr-ponte-<version>-<triple>.tar.gz (.zip on Windows) with bin/acbr-ponte-<triple> (stripped)
# and the documentation. The stand-in library (install component `falsa`) is left out on purpose:
# beside a shipped bridge it would answer in place of the host's real ACBrLib.
install(FILES README.md docs/protocolo.md docs/biblioteca.md DESTINATION share/doc/acbr-ponte)

set(CPACK_PACKAGE_NAME acbr-ponte)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "acbr-ponte-${PROJECT_VERSION}-${PONTE_TRIPLO}")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/pacotes")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL Unspecified)
set(CPACK_SOURCE_GENERATOR "")
configure_file(${CMAKE_CURRENT_LIST_DIR}/nome_de_lancamento.cmake ${CMAKE_BINARY_DIR}/nome_de_lancamento.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/nome_de_lancamento.cmake)
include(CPack)
