# nlohmann_json for a cross build: Debian's package is header-only, but its CMake target puts
# all of /usr/include on the include path, whose host headers clash with the target's. This
# target sees the nlohmann headers alone.
if(NOT TARGET nlohmann_json::nlohmann_json)
  set(_ponte_nlohmann ${CMAKE_BINARY_DIR}/nlohmann_json/include)
  if(NOT EXISTS ${_ponte_nlohmann}/nlohmann)
    file(MAKE_DIRECTORY ${_ponte_nlohmann})
    file(CREATE_LINK /usr/include/nlohmann ${_ponte_nlohmann}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_ponte_nlohmann})
  unset(_ponte_nlohmann)
endif()
