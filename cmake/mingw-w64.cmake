# Cross-compiles for 64-bit Windows with MinGW-w64. The -posix compilers are the
# ones whose runtime has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)
# Windows has no MinGW runtime DLLs (nor has wine): executables carry the runtime.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The static Qt, libcurl and libsodium that scripts/build-qt-windows.sh builds into its
# cache: packages are searched below the find root only, so their prefixes join it.
foreach(cached RIVET_QT_WINDOWS:qt5-win64 RIVET_CURL_WINDOWS:curl-win64
               RIVET_SODIUM_WINDOWS:sodium-win64)
    string(REPLACE ":" ";" cached "${cached}")
    list(GET cached 0 variable)
    list(GET cached 1 folder)
    if(DEFINED ENV{${variable}})
        set(prefix "$ENV{${variable}}")
    elseif(DEFINED ENV{RIVET_CACHE})
        set(prefix "$ENV{RIVET_CACHE}/${folder}")
    else()
        set(prefix "$ENV{HOME}/.cache/rivet/${folder}")
    endif()
    if(EXISTS "${prefix}")
        list(APPEND CMAKE_FIND_ROOT_PATH "${prefix}")
    endif()
endforeach()
