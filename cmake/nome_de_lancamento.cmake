# Run by cpack after staging the install tree, before archiving: the archived executable
# carries the target triple in its name (acbr-ponte-x86_64-unknown-linux-gnu), the convention
# desktop host frameworks use for sidecar binaries. `cmake --install` keeps plain acbr-ponte.
file(GLOB _executaveis "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/bin/acbr-ponte"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/bin/acbr-ponte.exe")
foreach(_executavel IN LISTS _executaveis)
  get_filename_component(_pasta "${_executavel}" DIRECTORY)
  get_filename_component(_sufixo "${_executavel}" LAST_EXT)
  file(RENAME "${_executavel}" "${_pasta}/acbr-ponte-@PONTE_TRIPLO@${_sufixo}")
endforeach()
