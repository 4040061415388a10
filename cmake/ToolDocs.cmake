# The manual pages and bash completion of hnasctl and hnas-gateway-sim. Each
# program writes its own from its option definitions (tools/common, hidden
# flags --generate-man-page and --generate-bash-completion), so they never
# drift from the options the program has. Installed with the programs.
#
#   BUILD/man/PROGRAM.1               the page (man -l BUILD/man/hnasctl.1)
#   BUILD/man/PROGRAM.1.gz            the installed page
#   BUILD/completions/PROGRAM         the bash completion

find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp REQUIRED)
find_program(GZIP_EXECUTABLE gzip REQUIRED)

add_library(hnastooldocs STATIC
  ${PROJECT_SOURCE_DIR}/tools/common/CliWalk.cpp
  ${PROJECT_SOURCE_DIR}/tools/common/Completion.cpp
  ${PROJECT_SOURCE_DIR}/tools/common/DocumentationFlags.cpp
  ${PROJECT_SOURCE_DIR}/tools/common/ManPage.cpp)
target_include_directories(hnastooldocs PUBLIC ${PROJECT_SOURCE_DIR}/tools ${CLI11_INCLUDE_DIR}
                           PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/include)

# hnasctl --version also names the libraries it runs with.
target_sources(hnasctl PRIVATE ${PROJECT_SOURCE_DIR}/tools/common/VersionText.cpp)
target_link_libraries(hnasctl PRIVATE hnastooldocs CURL::libcurl)
target_link_libraries(hnas-gateway-sim PRIVATE hnastooldocs OpenSSL::Crypto)
# hnas-gateway-sim --version names the release and OpenSSL (the release from
# a header of the library, without linking it).
target_include_directories(hnas-gateway-sim PRIVATE ${PROJECT_SOURCE_DIR}/include
                           ${PROJECT_BINARY_DIR}/include)

# The programs run with HOME set to "~" and no XDG_CONFIG_HOME, so that a path
# they show in a description reads as the user's, not the builder's.
set(clean_env ${CMAKE_COMMAND} -E env --unset=XDG_CONFIG_HOME HOME=~)
set(HNASMGMT_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(HNASMGMT_COMPLETION_DIR ${PROJECT_BINARY_DIR}/completions)
foreach(program hnasctl hnas-gateway-sim)
  set(page ${HNASMGMT_MAN_DIR}/${program}.1)
  set(completion ${HNASMGMT_COMPLETION_DIR}/${program})
  add_custom_command(
    OUTPUT ${page} ${page}.gz ${completion}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HNASMGMT_MAN_DIR} ${HNASMGMT_COMPLETION_DIR}
    COMMAND ${clean_env} $<TARGET_FILE:${program}> --generate-man-page > ${page}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${page}.tmp ${page}
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${page} > ${page}.gz
    COMMAND ${clean_env} $<TARGET_FILE:${program}> --generate-bash-completion
            > ${completion}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${completion}.tmp ${completion}
    DEPENDS ${program}
    COMMENT "Manual page and bash completion of ${program}"
    VERBATIM)
  add_custom_target(${program}-docs ALL DEPENDS ${page}.gz ${completion})
  if(HNASMGMT_TESTS)
    add_test(NAME tool_docs_${program}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-tool-docs $<TARGET_FILE:${program}>
                     ${completion} ${page})
  endif()
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          COMPONENT tools)
endforeach()
