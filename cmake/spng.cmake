# libspng 0.7.3 and zlib, which png.cpp reads and writes PNG with, as the
# target kolorvane_spng. On Linux and macOS the system's libraries (Debian:
# libspng-dev, zlib1g-dev). For Windows, Debian's source package of libspng
# (scripts/fetch-source.sh unpacks it) built here as a static library over
# libz-mingw-w64-dev's static zlib, so that kolorvane-cli.exe needs no DLL.
# The page (EMSCRIPTEN) builds it the same way, over zlib built from its
# Debian sources too (zlib.cmake). The fuzz build compiles the same sources too, over the system's zlib, so
# that the sanitizers and the coverage reach into libspng.
if(MINGW OR KOLORVANE_FUZZ OR EMSCRIPTEN)
    set(KOLORVANE_SPNG_SOURCE /usr/local/src/libspng-0.7.3 CACHE PATH
        "Debian's libspng 0.7.3 sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_SPNG_SOURCE}/spng/spng.c)
        message(FATAL_ERROR "no libspng sources in ${KOLORVANE_SPNG_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    enable_language(C)
    add_library(kolorvane_spng STATIC ${KOLORVANE_SPNG_SOURCE}/spng/spng.c)
    target_include_directories(kolorvane_spng SYSTEM PUBLIC ${KOLORVANE_SPNG_SOURCE}/spng)
    target_compile_definitions(kolorvane_spng PUBLIC SPNG_STATIC)
    # Another project's code: its warnings are not this build's to fix (and
    # the C++ flags above mean nothing to C). Its path is kept out of the
    # program as the project's own is.
    target_compile_options(kolorvane_spng PRIVATE -w
        -ffile-prefix-map=${KOLORVANE_SPNG_SOURCE}/=libspng-0.7.3/)
    if(MINGW)
        find_library(KOLORVANE_ZLIB_STATIC NAMES libz.a REQUIRED)
        target_link_libraries(kolorvane_spng PUBLIC ${KOLORVANE_ZLIB_STATIC})
        # The licence texts the release carries, from the sources built.
        set(KOLORVANE_SPNG_LICENSE ${KOLORVANE_SPNG_SOURCE}/LICENSE)
        find_file(KOLORVANE_ZLIB_LICENSE copyright PATHS /usr/share/doc/libz-mingw-w64-dev
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    elseif(EMSCRIPTEN)
        include(${CMAKE_CURRENT_LIST_DIR}/zlib.cmake)
        target_link_libraries(kolorvane_spng PUBLIC kolorvane_zlib)
        set(KOLORVANE_SPNG_LICENSE ${KOLORVANE_SPNG_SOURCE}/LICENSE)
    else()
        find_package(ZLIB REQUIRED)
        target_link_libraries(kolorvane_spng PUBLIC ZLIB::ZLIB)
    endif()
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KOLORVANE_SPNG REQUIRED IMPORTED_TARGET spng>=0.7.3 zlib)
    add_library(kolorvane_spng INTERFACE)
    target_link_libraries(kolorvane_spng INTERFACE PkgConfig::KOLORVANE_SPNG)
endif()
