# LittleCMS 2.14, which colour_management.cpp converts CMYK and Lab swatches
# with, as the target kolorvane_lcms2, and the CMYK press profile the command
# line converts through by default.
#
# On Linux and macOS the system's library (Debian: liblcms2-dev). For
# Windows, Debian's source package (scripts/fetch-source.sh unpacks it)
# built here as a static library, so that kolorvane-cli.exe needs no DLL; it
# needs no configure step; the page (EMSCRIPTEN) builds it the same way.
# The fuzz build compiles the same sources, so
# that the sanitizers and the coverage reach into the conversions.
if(MINGW OR KOLORVANE_FUZZ OR EMSCRIPTEN)
    set(KOLORVANE_LCMS2_SOURCE /usr/local/src/lcms2-2.14 CACHE PATH
        "Debian's LittleCMS 2.14 sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_LCMS2_SOURCE}/src/cmscnvrt.c)
        message(FATAL_ERROR "no LittleCMS sources in ${KOLORVANE_LCMS2_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    enable_language(C)
    file(GLOB kolorvane_lcms2_sources ${KOLORVANE_LCMS2_SOURCE}/src/*.c)
    list(SORT kolorvane_lcms2_sources)  # the same order, so the same program
    add_library(kolorvane_lcms2 STATIC ${kolorvane_lcms2_sources})
    target_include_directories(kolorvane_lcms2 SYSTEM PUBLIC ${KOLORVANE_LCMS2_SOURCE}/include)
    # Another project's code: its warnings are not this build's to fix. Its
    # path is kept out of the program as the project's own is.
    target_compile_options(kolorvane_lcms2 PRIVATE -w
        -ffile-prefix-map=${KOLORVANE_LCMS2_SOURCE}/=lcms2-2.14/)
    if(EMSCRIPTEN)
        # The page runs on one thread: no locks around LittleCMS's plug-ins.
        target_compile_definitions(kolorvane_lcms2 PRIVATE CMS_NO_PTHREADS)
    endif()
    if(MINGW OR EMSCRIPTEN)
        # The licence text the release carries, from the sources built.
        set(KOLORVANE_LCMS2_LICENSE ${KOLORVANE_LCMS2_SOURCE}/COPYING)
    else()
        find_package(Threads REQUIRED)
        target_link_libraries(kolorvane_lcms2 PUBLIC Threads::Threads m)
    endif()
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KOLORVANE_LCMS2 REQUIRED IMPORTED_TARGET lcms2>=2.14)
    add_library(kolorvane_lcms2 INTERFACE)
    target_link_libraries(kolorvane_lcms2 INTERFACE PkgConfig::KOLORVANE_LCMS2)
endif()

# The default CMYK profile, ISO Coated v2 300% (basICColor), from Debian's
# scribus-data, checked to be the very file the reference values were taken
# with, and copied into the build folder, where kolorvane-cli builds it in.
set(KOLORVANE_CMYK_PROFILE_SOURCE /usr/share/scribus/profiles/ISOcoated_v2_300_bas.icc
    CACHE FILEPATH "ISO Coated v2 300% (basICColor), as Debian's scribus-data installs it")
set(kolorvane_cmyk_profile_sha256
    b424c77f40c3423c925536f8ae08634985ccd0fe80eb253d5d229197ded7e886)
if(NOT EXISTS ${KOLORVANE_CMYK_PROFILE_SOURCE})
    message(FATAL_ERROR "no CMYK profile at ${KOLORVANE_CMYK_PROFILE_SOURCE}: "
                        "run scripts/install-deps.sh (it installs scribus-data)")
endif()
file(SHA256 ${KOLORVANE_CMYK_PROFILE_SOURCE} kolorvane_cmyk_profile_hash)
if(NOT kolorvane_cmyk_profile_hash STREQUAL kolorvane_cmyk_profile_sha256)
    message(FATAL_ERROR "${KOLORVANE_CMYK_PROFILE_SOURCE} is not ISO Coated v2 300% as "
                        "scribus-data 1.5.8 ships it: SHA-256 ${kolorvane_cmyk_profile_hash}")
endif()
set(KOLORVANE_CMYK_PROFILE_DIR ${PROJECT_BINARY_DIR}/profiles)
set(KOLORVANE_CMYK_PROFILE ${KOLORVANE_CMYK_PROFILE_DIR}/ISOcoated_v2_300_bas.icc)
configure_file(${KOLORVANE_CMYK_PROFILE_SOURCE} ${KOLORVANE_CMYK_PROFILE} COPYONLY)
# Its licence (zlib's), which scribus-data ships beside it.
get_filename_component(kolorvane_cmyk_profile_folder ${KOLORVANE_CMYK_PROFILE_SOURCE} DIRECTORY)
set(KOLORVANE_CMYK_PROFILE_LICENSE ${kolorvane_cmyk_profile_folder}/ISOcoated_v2_300_bas.txt)
