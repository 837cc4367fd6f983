# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts in place: the program and its media worker, and on Linux desktops
# its desktop entry, icons, AppStream metadata, help pages, man pages, the
# "Rename with Qorin" entries of file managers and the package's copyright
# and changelog. scripts/check-install.sh compares the result with
# packaging/install-manifest.txt.
include(GNUInstallDirs)

set(QORIN_APP_ID org.qorin.Qorin)
set(QORIN_PACKAGING ${QORIN_TOP}/packaging)

install(TARGETS qorin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The media worker both programs start, where platform::helperProgram looks
# for it from <prefix>/bin: no program for the user's PATH.
if(TARGET qorin-media)
  install(TARGETS qorin-media RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/qorin)
endif()

if(UNIX AND NOT APPLE)
  find_program(QORIN_GZIP gzip REQUIRED)
endif()

# Man pages and the changelog go compressed as Debian keeps them: gzip -9n,
# without the name and time stamp, so two builds give the same bytes.
function(qorin_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  get_filename_component(folder ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${QORIN_GZIP} -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
endfunction()

# Installs PROGRAM's man pages, packaging/linux/PROGRAM.1 (English) and
# PROGRAM.zh_CN.1.
function(qorin_install_man_pages program)
  foreach(page ${program}.1:man1 ${program}.zh_CN.1:zh_CN/man1)
    string(REPLACE ":" ";" page ${page})
    list(GET page 0 source)
    list(GET page 1 folder)
    set(gz ${CMAKE_CURRENT_BINARY_DIR}/man/${folder}/${program}.1.gz)
    qorin_gzip(${QORIN_PACKAGING}/linux/${source} ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/${folder})
  endforeach()
endfunction()

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
  qorin_install_man_pages(qorin)

  # "Rename with Qorin" in the file managers' context menus, rather than a
  # claim on folders and MP3 files that would make Qorin what opens them.
  # Dolphin (KDE Frameworks 5.85 and later) skips service menus that are not
  # executable.
  install(FILES ${QORIN_PACKAGING}/linux/qorin-rename.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus
          PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  install(FILES ${QORIN_PACKAGING}/linux/qorin.nemo_action DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)
  install(FILES ${QORIN_PACKAGING}/linux/qorin-nautilus.py
          DESTINATION ${CMAKE_INSTALL_DATADIR}/nautilus-python/extensions RENAME qorin.py)

  # What Debian wants beside every package; the licence itself is
  # /usr/share/common-licenses/GPL-3 there.
  install(FILES ${QORIN_PACKAGING}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qorin)
  qorin_gzip(${QORIN_PACKAGING}/debian/changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.Debian.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/qorin)
  install(FILES ${QORIN_PACKAGING}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME qorin)
endif()

# The command-line program, its man pages and its bash completion, when
# there is one. Looked for once every folder has been read, so that it may be
# declared anywhere.
function(qorin_install_cli)
  if(NOT TARGET qorin-cli)
    return()
  endif()
  install(TARGETS qorin-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(UNIX AND NOT APPLE)
    # Written at build time from the rules' declarations (src/cli/CMakeLists.txt).
    set(docs ${CMAKE_BINARY_DIR}/cli-docs)
    install(FILES ${docs}/qorin-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${docs}/qorin-cli.zh_CN.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1 RENAME qorin-cli.1.gz)
    install(FILES ${docs}/qorin-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
            RENAME qorin-cli)
  endif()
endfunction()
cmake_language(DEFER CALL qorin_install_cli)
