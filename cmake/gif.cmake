# giflib 5.2.1, which gif.cpp reads and writes GIF with, as the target
# kolorvane_gif. On Linux and macOS the system's library (Debian:
# libgif-dev), which ships no pkg-config file: its header and library are
# found by name, and the header's version checked. For Windows, Debian's
# source package (scripts/fetch-source.sh unpacks it) built here as a static
# library, so that kolorvane-cli.exe needs no DLL; the page (EMSCRIPTEN)
# builds it the same way. The fuzz build compiles
# the same sources too, so that the sanitizers and the coverage reach into
# giflib.
set(KOLORVANE_GIF_VERSION 5.2.1)
if(MINGW OR KOLORVANE_FUZZ OR EMSCRIPTEN)
    set(KOLORVANE_GIF_SOURCE /usr/local/src/giflib-${KOLORVANE_GIF_VERSION} CACHE PATH
        "Debian's giflib ${KOLORVANE_GIF_VERSION} sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_GIF_SOURCE}/gif_lib.h)
        message(FATAL_ERROR "no giflib sources in ${KOLORVANE_GIF_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    enable_language(C)
    # The library's own sources, as its Makefile lists them, less the text
    # font and the colour quantizer, which nothing here calls.
    add_library(kolorvane_gif STATIC
        ${KOLORVANE_GIF_SOURCE}/dgif_lib.c
        ${KOLORVANE_GIF_SOURCE}/egif_lib.c
        ${KOLORVANE_GIF_SOURCE}/gifalloc.c
        ${KOLORVANE_GIF_SOURCE}/gif_err.c
        ${KOLORVANE_GIF_SOURCE}/gif_hash.c
        ${KOLORVANE_GIF_SOURCE}/openbsd-reallocarray.c)
    target_include_directories(kolorvane_gif SYSTEM PUBLIC ${KOLORVANE_GIF_SOURCE})
    # Another project's code: its warnings are not this build's to fix. Its
    # path is kept out of the program as the project's own is.
    target_compile_options(kolorvane_gif PRIVATE -w
        -ffile-prefix-map=${KOLORVANE_GIF_SOURCE}/=giflib-${KOLORVANE_GIF_VERSION}/)
    if(MINGW OR EMSCRIPTEN)
        # The licence text the release carries, from the sources built.
        set(KOLORVANE_GIF_LICENSE ${KOLORVANE_GIF_SOURCE}/COPYING)
    endif()
else()
    find_path(KOLORVANE_GIF_INCLUDE gif_lib.h REQUIRED)
    find_library(KOLORVANE_GIF_LIBRARY NAMES gif REQUIRED)
    file(STRINGS ${KOLORVANE_GIF_INCLUDE}/gif_lib.h kolorvane_gif_defines
        REGEX "^#define GIFLIB_(MAJOR|MINOR|RELEASE) ")
    string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*RELEASE ([0-9]+).*" "\\1.\\2.\\3"
        kolorvane_gif_found "${kolorvane_gif_defines}")
    if(kolorvane_gif_found VERSION_LESS KOLORVANE_GIF_VERSION)
        message(FATAL_ERROR "giflib ${KOLORVANE_GIF_VERSION} or later is needed; "
                            "${KOLORVANE_GIF_INCLUDE}/gif_lib.h is ${kolorvane_gif_found}")
    endif()
    add_library(kolorvane_gif INTERFACE)
    target_include_directories(kolorvane_gif SYSTEM INTERFACE ${KOLORVANE_GIF_INCLUDE})
    target_link_libraries(kolorvane_gif INTERFACE ${KOLORVANE_GIF_LIBRARY})
endif()
