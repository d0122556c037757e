# Installs what makes the programs usable on a Linux desktop: the udev rule that lets
# a logged-in user open the device, a menu entry and an icon per program.
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
endif()
