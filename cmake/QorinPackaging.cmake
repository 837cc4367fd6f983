# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in the build folder. Its library
# dependencies come from dpkg-shlibdeps (package dpkg-dev).
set(QORIN_PACKAGE_MAINTAINER "Qorin developers <maintainers@qorin.org>"
    CACHE STRING "Name <address> of the package's maintainer")

set(CPACK_PACKAGE_NAME qorin)
set(CPACK_PACKAGE_VENDOR "Qorin developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QORIN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL https://qorin.org/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch file renamer with preview, undo and names from MP3 tags")
# Wrapped as a Debian control file wants it; an empty line parts paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "Qorin Batch Renamer (Qorin批量更名器) gathers files and folders into a
list and renames them in one pass by a rule: padded numbers, find and
replace or delete, inserted text, letter case, or names made from the
artist, title, album, track, year and genre of MP3 tags.

Every new name shows beside the old one before anything is renamed.
Renaming never overwrites or deletes a file and is journaled, so the last
pass can be undone even after a crash. A tag editor shows and changes
ID3v1 and ID3v2 tags, writing them atomically. The interface is Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QORIN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Libraries loaded when first needed (libavformat) are not seen by it.
get_property(QORIN_LOADED_PACKAGES GLOBAL PROPERTY QORIN_LOADED_PACKAGES)
if(QORIN_LOADED_PACKAGES)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${QORIN_LOADED_PACKAGES}")
endif()
# Qt's own Chinese texts (buttons, file dialogs) and a face for Chinese text.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
# Nautilus shows the "Rename with Qorin" entry through nautilus-python.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-nautilus")

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
