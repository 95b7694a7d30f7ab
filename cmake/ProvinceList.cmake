# Compiles the list of province abbreviations (src/register/provinces.txt) into the register
# library: the file becomes one string literal in a generated header, rewritten whenever the
# list changes (the list is a configure dependency).
set(CLIVARA_PROVINCE_LIST ${PROJECT_SOURCE_DIR}/src/register/provinces.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CLIVARA_PROVINCE_LIST})
file(READ ${CLIVARA_PROVINCE_LIST} CLIVARA_PROVINCE_TEXT)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/register/province_list.inc
     CONTENT "R\"province_list(${CLIVARA_PROVINCE_TEXT})province_list\"\n" @ONLY)
target_include_directories(clivara_register PRIVATE ${PROJECT_BINARY_DIR}/generated)
