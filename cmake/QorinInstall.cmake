# What `cmake --install` puts in place: the program, and on Linux desktops
# its desktop entry, icons, AppStream metadata, help pages and man pages.
# scripts/check-install.sh compares the result with packaging/install-manifest.txt.
include(GNUInstallDirs)

set(QORIN_APP_ID org.qorin.Qorin)
set(QORIN_PACKAGING ${QORIN_TOP}/packaging)

install(TARGETS qorin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(UNIX AND NOT APPLE)
  # The help window shows the copy built into the program; this one is for
  # browsers and the man page, and its folder tells the program it is
  # installed (platform::configDirectory).
  install(DIRECTORY ${QORIN_TOP}/resources/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qorin/help)

  install(FILES ${QORIN_PACKAGING}/linux/${QORIN_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QORIN_PACKAGING}/linux/${QORIN_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${QORIN_PACKAGING}/icons/${QORIN_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${QORIN_PACKAGING}/icons/hicolor/${size}x${size}/apps/${QORIN_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()

  # Man pages go compressed, as Debian keeps them.
  foreach(page qorin.1:man1 qorin.zh_CN.1:zh_CN/man1)
    string(REPLACE ":" ";" page ${page})
    list(GET page 0 source)
    list(GET page 1 folder)
    set(gz ${CMAKE_CURRENT_BINARY_DIR}/man/${folder}/qorin.1.gz)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man/${folder})
    configure_file(${QORIN_PACKAGING}/linux/${source} ${CMAKE_CURRENT_BINARY_DIR}/man/${folder}/qorin.1 COPYONLY)
    file(ARCHIVE_CREATE OUTPUT ${gz} PATHS ${CMAKE_CURRENT_BINARY_DIR}/man/${folder}/qorin.1 FORMAT raw
         COMPRESSION GZip)
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/${folder})
  endforeach()
endif()
