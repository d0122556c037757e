# Makes the Debian package rivet-tools_<version>_amd64.deb from the install rules
# (`cpack -G DEB` in a build folder configured with CMAKE_INSTALL_PREFIX=/usr; see
# scripts/package-linux.sh). Included from the top-level CMakeLists.txt.
if(UNIX AND NOT APPLE)
    set(RIVET_DEB_NAME rivet-tools)
    set(RIVET_DEB_DIR ${CMAKE_CURRENT_LIST_DIR}/debian)

    # Debian wants a copyright file and a changelog whose newest entry is the
    # packaged version in the package's doc folder.
    string(REPLACE "." "\\." version_pattern ${PROJECT_VERSION})
    file(STRINGS ${RIVET_DEB_DIR}/changelog newest LIMIT_COUNT 1)
    if(NOT newest MATCHES "^${RIVET_DEB_NAME} \\(${version_pattern}\\) ")
        message(FATAL_ERROR
            "packaging/debian/changelog: its first entry must be for ${PROJECT_VERSION}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${RIVET_DEB_DIR}/changelog)
    # -n leaves the name and time out of the archive: the same changelog gives the same
    # bytes, as lintian expects.
    execute_process(COMMAND gzip -9nc ${RIVET_DEB_DIR}/changelog
        OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz RESULT_VARIABLE gzip_result)
    if(NOT gzip_result EQUAL 0)
        message(FATAL_ERROR "gzip of packaging/debian/changelog failed: ${gzip_result}")
    endif()
    install(FILES ${RIVET_DEB_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${RIVET_DEB_NAME})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    # Folders made while staging would otherwise follow the builder's umask.
    set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CPACK_DEBIAN_PACKAGE_NAME ${RIVET_DEB_NAME})
    set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER
        "Rivet tools maintainers <maintainers@users.noreply.c-seed-ee1171b0.example>"
        CACHE STRING "Maintainer field of the Debian package")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "firmware updater and live monitor for the Rivet USB device
The updater brings new firmware into the Rivet USB HID device (0483:0526),
from a file or from the update server. The monitor shows the device's status
reports and edits its four values. fwtool makes and inspects firmware files.
A udev rule lets the user at the seat open the device without root.")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The updater loads libcurl.so.4 at run time, which dpkg-shlibdeps cannot see.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS libcurl4)
    # Qt's own texts (file dialog, standard buttons) in the user's language.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qttranslations5-l10n)
    # The udev rule takes effect and goes without a replug; the updater's cache goes too.
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${RIVET_DEB_DIR}/postinst ${RIVET_DEB_DIR}/prerm ${RIVET_DEB_DIR}/postrm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    include(CPack)
endif()
