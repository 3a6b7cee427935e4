# The one place that names the ACBrLib NFe file per published platform. On every other
# platform PONTE_ARQUIVO_DA_LIB stays empty and the bridge answers the platform message.
set(PONTE_ARQUIVO_DA_LIB "")
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" _ponte_cpu)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  if(_ponte_cpu MATCHES "^(x86_64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PONTE_ARQUIVO_DA_LIB "libacbrnfe64.so")
  elseif(_ponte_cpu MATCHES "^(i[3-6]86|x86|x86_64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(PONTE_ARQUIVO_DA_LIB "libacbrnfe32.so")
  endif()
elseif(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  # Only Intel processors: Windows on ARM has no published library.
  if(_ponte_cpu MATCHES "^(x86_64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PONTE_ARQUIVO_DA_LIB "ACBrNFe64.dll")
  elseif(_ponte_cpu MATCHES "^(i[3-6]86|x86|x86_64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(PONTE_ARQUIVO_DA_LIB "ACBrNFe32.dll")
  endif()
endif()
unset(_ponte_cpu)
