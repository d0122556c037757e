# Builds whose bytes depend on the commit alone: no build folder, source folder or time
# of day in the programs. The packaging scripts turn it on and export SOURCE_DATE_EPOCH
# (the commit's date), which GCC and rcc read in place of the clock and file times.
# Off by default: a developer's debugger wants the real source paths.
option(RIVET_REPRODUCIBLE "Leave build and source folders out of the binaries" OFF)
if(RIVET_REPRODUCIBLE)
    # GCC tries the last map first: the build folder may lie inside the source folder.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
    if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
        message(WARNING "RIVET_REPRODUCIBLE without SOURCE_DATE_EPOCH: resources carry file times")
    endif()
endif()
# A PE header's link time would make every build of the Windows programs differ.
if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
endif()
