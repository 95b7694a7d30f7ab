# The program never creates its archive, so an empty one (made by `clivara-archivio new`) is
# put beside the built program after each build, and beside the installed program at install,
# in both cases only where no Archivio.xls stands yet.

set(CLIVARA_PLACE_ARCHIVE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/PlaceEmptyArchive.cmake)

if(CLIVARA_GUI AND TARGET clivara)
  set(CLIVARA_ARCHIVE_OWNER clivara)
  add_dependencies(clivara clivara-archivio)
else()
  set(CLIVARA_ARCHIVE_OWNER clivara-archivio)
endif()

add_custom_command(TARGET ${CLIVARA_ARCHIVE_OWNER} POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:clivara-archivio>
          -DARCHIVE=$<TARGET_FILE_DIR:${CLIVARA_ARCHIVE_OWNER}>/Archivio.xls
          -P ${CLIVARA_PLACE_ARCHIVE_SCRIPT}
  VERBATIM)

# At install time the prefix may differ from the configured one (cmake --install --prefix),
# and DESTDIR may stage the installation elsewhere.
install(CODE "
  if(IS_ABSOLUTE \"${CMAKE_INSTALL_BINDIR}\")
    set(clivara_bindir \"${CMAKE_INSTALL_BINDIR}\")
  else()
    set(clivara_bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  endif()
  execute_process(COMMAND \"${CMAKE_COMMAND}\" -DTOOL=$<TARGET_FILE:clivara-archivio>
    \"-DARCHIVE=\$ENV{DESTDIR}\${clivara_bindir}/Archivio.xls\"
    -P \"${CLIVARA_PLACE_ARCHIVE_SCRIPT}\" RESULT_VARIABLE clivara_result)
  if(NOT clivara_result EQUAL 0)
    message(FATAL_ERROR \"Archivio.xls non creato accanto al programma installato\")
  endif()
")
