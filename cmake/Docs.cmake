# The API reference: HTML from the Doxygen comments of the installed headers
# (include/hnasmgmt). Any Doxygen warning fails the build.
#
#   cmake --build BUILD --target docs    ->  BUILD/docs/html/index.html

find_package(Doxygen QUIET)

set(HNASMGMT_DOCS_OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/docs)
if(DOXYGEN_FOUND)
  set(HNASMGMT_DOCS_WARN_AS_ERROR YES)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/docs/Doxyfile.in ${HNASMGMT_DOCS_OUTPUT}/Doxyfile
                 @ONLY)
  file(GLOB_RECURSE HNASMGMT_DOCS_HEADERS CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/include/hnasmgmt/*.h)
list(APPEND HNASMGMT_DOCS_HEADERS ${PROJECT_BINARY_DIR}/include/hnasmgmt/Version.h)
  add_custom_command(
    OUTPUT ${HNASMGMT_DOCS_OUTPUT}/html/index.html
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${HNASMGMT_DOCS_OUTPUT}/html
    COMMAND Doxygen::doxygen ${HNASMGMT_DOCS_OUTPUT}/Doxyfile
    DEPENDS ${HNASMGMT_DOCS_HEADERS} ${HNASMGMT_DOCS_OUTPUT}/Doxyfile
    WORKING_DIRECTORY ${HNASMGMT_DOCS_OUTPUT}
    COMMENT "API reference: ${HNASMGMT_DOCS_OUTPUT}/html/index.html"
    VERBATIM)
  add_custom_target(docs DEPENDS ${HNASMGMT_DOCS_OUTPUT}/html/index.html)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: doxygen was not found (scripts/install-deps installs it)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
