# The Windows build: each program one self-contained executable (the toolchain links
# the MinGW runtime statically, Qt and libcurl are static libraries) carrying an icon,
# version information and a manifest. Included from the top-level CMakeLists.txt
# after every target is defined.

set(RC_VERSION_DOTTED "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
string(REPLACE "." "," RC_VERSION_COMMAS "${RC_VERSION_DOTTED}")

function(rivet_windows_resources target icon description)
    set(RC_NAME ${target})
    set(RC_DESCRIPTION "${description}")
    set(RC_ICON "${PROJECT_SOURCE_DIR}/packaging/icons/${icon}.ico")
    set(RC_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/program.manifest.in ${RC_MANIFEST} @ONLY)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/program.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

rivet_windows_resources(updater rivet-updater "Rivet firmware updater")
rivet_windows_resources(monitor rivet-monitor "Rivet device monitor")
rivet_windows_resources(fwtool rivet-updater "Rivet firmware file tool")
set_target_properties(updater PROPERTIES WIN32_EXECUTABLE ON)

# Each program's linker map says which libraries (and which parts of them) went into
# it: scripts/third-party-notices.py makes THIRD-PARTY-NOTICES.txt from them.
foreach(program updater monitor fwtool)
    target_link_options(${program} PRIVATE "-Wl,-Map=${PROJECT_BINARY_DIR}/linkmaps/${program}.map")
endforeach()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/linkmaps)

# No libcurl to load at run time on Windows: the updater links the FTP-only static one.
target_link_libraries(online PUBLIC CURL::libcurl)
target_compile_definitions(online PRIVATE RIVET_CURL_STATIC)

# Benchmarks that read Linux's /proc or fork: not built by default here.
set_target_properties(startup_ratio startup_updater startup_bare startup_bare_linked
                      monitor_flood reader_idle PROPERTIES EXCLUDE_FROM_ALL ON)

# A static Qt links only the default platform plugin unless told otherwise, and every
# image format. Every executable also takes the offscreen platform (the tests and
# benchmarks run on it under wine, and a program runs headless with it as on Linux);
# the programs need no image format but JPEG (the help pictures).
function(rivet_executables dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    set(found)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            list(APPEND found ${target})
        endif()
    endforeach()
    foreach(subdir IN LISTS subdirs)
        rivet_executables(${subdir} below)
        list(APPEND found ${below})
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()
rivet_executables(${PROJECT_SOURCE_DIR} executables)
set_target_properties(${executables} PROPERTIES
    QT_PLUGINS_platforms "Qt5::QWindowsIntegrationPlugin;Qt5::QOffscreenIntegrationPlugin")
set_target_properties(updater monitor PROPERTIES QT_PLUGINS_imageformats Qt5::QJpegPlugin)
