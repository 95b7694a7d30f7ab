# Refuses an include that runs up the workbook layer's order:
#
#   container -> records -> model -> rows -> formulas -> book -> sort
#
# A file may include headers of its own folder and of the folders before it. archive_error.h
# is below every folder; workbook.h (the interface the rest of the program uses) belongs to
# book. Run as a script: cmake -DARCHIVE_DIR=<src/archive> [-DSTAMP=<file>] -P this file.

if(NOT ARCHIVE_DIR)
  message(FATAL_ERROR "ARCHIVE_DIR is not set")
endif()
get_filename_component(ARCHIVE_DIR "${ARCHIVE_DIR}" ABSOLUTE)

set(layers container records model rows formulas book sort)

# The rank of an archive header or folder: -1 for the leaf header, else the folder's position.
function(archive_rank path out)
  if(path STREQUAL "archive_error.h")
    set(${out} -1 PARENT_SCOPE)
  elseif(path STREQUAL "workbook.h")
    list(FIND layers book rank)
    set(${out} ${rank} PARENT_SCOPE)
  else()
    string(REGEX MATCH "^[^/]+" folder "${path}")
    list(FIND layers "${folder}" rank)
    if(rank EQUAL -1 OR NOT path MATCHES "/")
      set(${out} unknown PARENT_SCOPE)
    else()
      set(${out} ${rank} PARENT_SCOPE)
    endif()
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE "${ARCHIVE_DIR}" "${ARCHIVE_DIR}/*.h" "${ARCHIVE_DIR}/*.cpp")
if(NOT sources)
  message(FATAL_ERROR "No sources under ${ARCHIVE_DIR}")
endif()
set(violations)
foreach(source ${sources})
  archive_rank("${source}" own_rank)
  if(own_rank STREQUAL "unknown")
    list(APPEND violations "${source} is outside the layer folders")
    continue()
  endif()
  file(STRINGS "${ARCHIVE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"archive/")
  foreach(line ${includes})
    string(REGEX REPLACE ".*\"archive/([^\"]+)\".*" "\\1" header "${line}")
    archive_rank("${header}" header_rank)
    if(header_rank STREQUAL "unknown")
      list(APPEND violations "${source} includes archive/${header}, which is in no layer")
    elseif(header_rank GREATER own_rank)
      list(APPEND violations "${source} includes archive/${header}, a later layer")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "The workbook layer's include order is broken:\n  ${text}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
