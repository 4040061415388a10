# include/hnasmgmt/Version.h carries the project's version as macros; the
# configure step stops when the two disagree, so a release changes both.
file(READ ${PROJECT_SOURCE_DIR}/include/hnasmgmt/Version.h HNASMGMT_VERSION_HEADER)
foreach(part MAJOR MINOR PATCH)
  if(NOT HNASMGMT_VERSION_HEADER MATCHES "#define HNASMGMT_VERSION_${part} ([0-9]+)")
    message(FATAL_ERROR "include/hnasmgmt/Version.h: HNASMGMT_VERSION_${part} is missing")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION_${part})
    message(FATAL_ERROR "include/hnasmgmt/Version.h: HNASMGMT_VERSION_${part} is ${CMAKE_MATCH_1}, "
                        "the project's version ${PROJECT_VERSION}")
  endif()
endforeach()
if(NOT HNASMGMT_VERSION_HEADER MATCHES "#define HNASMGMT_VERSION_STRING \"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "include/hnasmgmt/Version.h: HNASMGMT_VERSION_STRING is not \"${PROJECT_VERSION}\"")
endif()
# Check again whenever the header changes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/include/hnasmgmt/Version.h)
