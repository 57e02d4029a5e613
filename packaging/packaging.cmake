# Installation beyond the two programs (which their own folders install), and
# the Debian package built from it: `make package`, or `cpack -G DEB` in the
# build folder, gives velmorant-ips_<version>_amd64.deb.
include(GNUInstallDirs)

set(VIPS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VIPS_PACKAGE_NAME velmorant-ips)
set(VIPS_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VIPS_PACKAGE_NAME})

# Manual pages and the changelog are installed compressed, without a time
# stamp in the gzip header, so that the package is the same on every build.
# The manual pages and the metainfo show the version: they are made from
# templates.
vips_versioned_file(${CMAKE_SOURCE_DIR}/man/velmorant-ips.1.in ${CMAKE_BINARY_DIR}/man/velmorant-ips.1)
vips_versioned_file(${CMAKE_SOURCE_DIR}/man/velmorant-ips-cli.1.in
                    ${CMAKE_BINARY_DIR}/man/velmorant-ips-cli.1)
vips_versioned_file(${VIPS_PACKAGING_DIR}/org.velmorant.ips.metainfo.xml.in
                    ${CMAKE_BINARY_DIR}/packaging/org.velmorant.ips.metainfo.xml)
set(VIPS_COMPRESSED)
foreach(source ${CMAKE_BINARY_DIR}/man/velmorant-ips.1 ${CMAKE_BINARY_DIR}/man/velmorant-ips-cli.1
               ${VIPS_PACKAGING_DIR}/changelog)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${source} > ${compressed}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND VIPS_COMPRESSED ${compressed})
endforeach()
add_custom_target(vips_packaging_files ALL DEPENDS ${VIPS_COMPRESSED})

install(FILES ${CMAKE_BINARY_DIR}/packaging/velmorant-ips.1.gz
              ${CMAKE_BINARY_DIR}/packaging/velmorant-ips-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${VIPS_PACKAGING_DIR}/copyright
        DESTINATION ${VIPS_PACKAGE_DOC_DIR})
install(FILES ${VIPS_PACKAGING_DIR}/velmorant-ips-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME velmorant-ips-cli)
if(VIPS_BUILD_APP)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/org.velmorant.ips.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

if(VIPS_BUILD_TESTS)
  add_test(NAME packaging.completion
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/packaging/completion_test.sh
                   ${VIPS_PACKAGING_DIR}/velmorant-ips-cli.bash)
  # The desktop entry as the desktop reads it, with the patch type it opens.
  find_program(VIPS_DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(VIPS_BUILD_APP AND VIPS_DESKTOP_FILE_VALIDATE)
    set(entry ${CMAKE_SOURCE_DIR}/app/resources/velmorant-ips.desktop)
    add_test(NAME packaging.desktop_entry
             COMMAND sh -c "\"$0\" \"$1\" && grep -qx 'MimeType=application/x-ips-patch;application/x-bps-patch;' \"$1\""
                     ${VIPS_DESKTOP_FILE_VALIDATE} ${entry})
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VIPS_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "The Velmorant IPS developers")
set(CPACK_PACKAGE_CONTACT "The Velmorant IPS developers <developers@velmorant.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "selective IPS patcher")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})

# CPack's own version drops the fourth part; the package keeps all four.
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME ${VIPS_PACKAGE_NAME}_${PROJECT_VERSION}_amd64.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmorant.example.org/ips")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are fitted to Liberation Sans (Arial's metrics).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
# Qt's own texts (file dialog, context menus) in Russian; the desktop's
# database of file types, which knows application/x-ips-patch and
# application/x-bps-patch by their headers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, shared-mime-info")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary above is the first line; this is the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmorant IPS applies a patch in the IPS format to a file record by record,
at the user's choice. Its window lists every record of the patch with its
first and final address; the user marks the records to apply, and Go writes
them into the original file in place, after an optional backup copy that
Recover copies back. The window speaks English and Russian.
.
The package also holds velmorant-ips-cli, which lists, applies and recovers
from the command line.")

include(CPack)
