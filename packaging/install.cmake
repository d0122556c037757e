# Installs what makes the programs usable on a Linux desktop: the udev rule that lets
# a logged-in user open the device, a menu entry and an icon per program, the manual
# pages.
# Included from the top-level CMakeLists.txt.
if(UNIX AND NOT APPLE)
    include(GNUInstallDirs)
    # Relative to the prefix. udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d
    # only: with another prefix, set this to /etc/udev/rules.d or copy the rule there
    # (see the README).
    set(RIVET_UDEV_RULES_DIR "lib/udev/rules.d"
        CACHE STRING "Where the device's udev rule is installed")

    install(FILES ${CMAKE_CURRENT_LIST_DIR}/70-rivet-hid.rules
        DESTINATION ${RIVET_UDEV_RULES_DIR})
    install(FILES
        ${CMAKE_CURRENT_LIST_DIR}/rivet-updater.desktop
        ${CMAKE_CURRENT_LIST_DIR}/rivet-monitor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES
        ${CMAKE_CURRENT_LIST_DIR}/icons/rivet-updater.png
        ${CMAKE_CURRENT_LIST_DIR}/icons/rivet-monitor.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

    # The manual pages, compressed as Debian's policy wants them; gzip -n keeps the
    # name and time out, so the same page gives the same bytes.
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man)
    foreach(page updater.1 monitor.1 fwtool.1)
        set(source ${CMAKE_CURRENT_LIST_DIR}/man/${page})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
        execute_process(COMMAND gzip -9nc ${source}
            OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz RESULT_VARIABLE gzip_result)
        if(NOT gzip_result EQUAL 0)
            message(FATAL_ERROR "gzip of packaging/man/${page} failed: ${gzip_result}")
        endif()
        install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
endif()
