# Installation as a desktop program: the two programs, the analysis worker, the desktop
# entry, icons, AppStream metainfo and manual pages. All destinations are relative, so
# `cmake --install --prefix`, DESTDIR staging and the Debian package share one layout.

set(KQ_APP_ID example.kqmedia.KQCheckMediaInfo)
set(KQ_METAINFO_DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(KQ_WORKER_DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/KQCheckMediaInfo)

install(TARGETS KQCheckMediaInfo kqmediareport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The worker is started by the programs, never by hand, so it stays out of PATH.
if(TARGET kqmediaworker)
    install(TARGETS kqmediaworker RUNTIME DESTINATION ${KQ_WORKER_DESTINATION})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/res/${KQ_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/${KQ_APP_ID}.metainfo.xml
        DESTINATION ${KQ_METAINFO_DESTINATION})
foreach(size 32 48)
    install(FILES ${PROJECT_SOURCE_DIR}/res/128_icon_${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${KQ_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/res/${KQ_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# An installed program writes its report to the per-user data directory; it recognises its
# installation by the metainfo file, wherever the prefix is (src/report/ReportLocation.cpp).
file(RELATIVE_PATH kq_installed_marker ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/metainfo/${KQ_APP_ID}.metainfo.xml)
target_compile_definitions(kq_core PRIVATE KQ_INSTALLED_LAYOUT_MARKER="${kq_installed_marker}")

# Manual pages: the version and paths filled in, then compressed as Debian wants them
# (-n: no name or time stamp inside, so the package is reproducible).
find_program(KQ_GZIP gzip REQUIRED)
set(kq_man_pages)
foreach(page KQCheckMediaInfo.1 kqmediareport.1)
    set(kq_man_page ${CMAKE_BINARY_DIR}/man/${page})
    configure_file(${PROJECT_SOURCE_DIR}/man/${page}.in ${kq_man_page} @ONLY)
    add_custom_command(OUTPUT ${kq_man_page}.gz
        COMMAND ${KQ_GZIP} -9 -n -k -f ${kq_man_page}
        DEPENDS ${kq_man_page}
        COMMENT "Compressing the manual page ${page}" VERBATIM)
    list(APPEND kq_man_pages ${kq_man_page}.gz)
endforeach()
add_custom_target(kq_man_pages ALL DEPENDS ${kq_man_pages})
install(FILES ${kq_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence in Debian's machine-readable copyright format (the text indented by one blank,
# an empty line as " ."), and the changelog, compressed as Debian wants it.
set(KQ_DOC_DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kqcheckmediainfo)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE KQ_LICENSE_TEXT)
string(STRIP "${KQ_LICENSE_TEXT}" KQ_LICENSE_TEXT)
string(REPLACE "\n" "\n " KQ_LICENSE_TEXT " ${KQ_LICENSE_TEXT}")
string(REPLACE "\n \n" "\n .\n" KQ_LICENSE_TEXT "${KQ_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${CMAKE_BINARY_DIR}/doc/copyright @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/doc/changelog
    COMMAND ${KQ_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/doc/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the changelog" VERBATIM)
add_custom_target(kq_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${KQ_DOC_DESTINATION})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kqcheckmediainfo)

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
