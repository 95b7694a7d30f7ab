# cmake -DTOOL=<clivara-archivio> -DARCHIVE=<path of Archivio.xls> -P PlaceEmptyArchive.cmake
#
# Writes the empty archive at ARCHIVE only when nothing stands there yet: an archive that holds
# customers is never replaced, whatever is rebuilt or reinstalled. (`clivara-archivio new`
# refuses to overwrite as well; this check keeps the build quiet about it.)
if(NOT TOOL OR NOT ARCHIVE)
  message(FATAL_ERROR "PlaceEmptyArchive.cmake needs -DTOOL=... and -DARCHIVE=...")
endif()
if(EXISTS "${ARCHIVE}" OR IS_SYMLINK "${ARCHIVE}")
  message(STATUS "Archivio già presente, lasciato com'è: ${ARCHIVE}")
  return()
endif()
get_filename_component(folder "${ARCHIVE}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${TOOL}" new "${ARCHIVE}" RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Impossibile creare l'archivio vuoto ${ARCHIVE}: ${error}")
endif()
message(STATUS "Creato l'archivio vuoto: ${ARCHIVE}")
