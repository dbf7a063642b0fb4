# The files Debian wants beside every program: the copyright file, the changelog and the manual
# pages (English, and Chinese for a zh_CN desktop), compressed with `gzip -9n` so that the package
# holds no time stamp. Included from install.cmake.
find_program(ZARIZA_GZIP gzip REQUIRED)
set(ZARIZA_DOCS ${PROJECT_BINARY_DIR}/doc)

configure_file(${ZARIZA_RESOURCES}/changelog ${ZARIZA_DOCS}/changelog COPYONLY)
configure_file(${ZARIZA_RESOURCES}/zariza.1.in ${ZARIZA_DOCS}/man1/zariza.1 @ONLY)
configure_file(${ZARIZA_RESOURCES}/zariza.zh_CN.1.in ${ZARIZA_DOCS}/zh_CN/man1/zariza.1 @ONLY)

set(ZARIZA_COMPRESSED_DOCS)
foreach(doc changelog man1/zariza.1 zh_CN/man1/zariza.1)
  add_custom_command(OUTPUT ${ZARIZA_DOCS}/${doc}.gz
                     COMMAND ${ZARIZA_GZIP} -9nkf ${ZARIZA_DOCS}/${doc}
                     DEPENDS ${ZARIZA_DOCS}/${doc}
                     VERBATIM)
  list(APPEND ZARIZA_COMPRESSED_DOCS ${ZARIZA_DOCS}/${doc}.gz)
endforeach()
add_custom_target(zariza_docs ALL DEPENDS ${ZARIZA_COMPRESSED_DOCS})

install(FILES ${ZARIZA_RESOURCES}/copyright ${ZARIZA_DOCS}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${ZARIZA_DOCS}/man1/zariza.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZARIZA_DOCS}/zh_CN/man1/zariza.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)
