# zlib 1.2.13, which libspng inflates and deflates PNG data with, for the
# page (EMSCRIPTEN), as the target kolorvane_zlib: Debian's source package
# (scripts/fetch-source.sh unpacks it) built here as a static library, as
# emscripten's own port would need the network. Its own build files are not
# used: the library's sources need no configure step for a wasm target.
set(KOLORVANE_ZLIB_SOURCE /usr/local/src/zlib-1.2.13.dfsg CACHE PATH
    "Debian's zlib 1.2.13 sources, as scripts/fetch-source.sh unpacks them")
if(NOT EXISTS ${KOLORVANE_ZLIB_SOURCE}/zlib.h)
    message(FATAL_ERROR "no zlib sources in ${KOLORVANE_ZLIB_SOURCE}: "
                        "run scripts/install-deps.sh")
endif()
enable_language(C)
add_library(kolorvane_zlib STATIC
    ${KOLORVANE_ZLIB_SOURCE}/adler32.c
    ${KOLORVANE_ZLIB_SOURCE}/compress.c
    ${KOLORVANE_ZLIB_SOURCE}/crc32.c
    ${KOLORVANE_ZLIB_SOURCE}/deflate.c
    ${KOLORVANE_ZLIB_SOURCE}/inffast.c
    ${KOLORVANE_ZLIB_SOURCE}/inflate.c
    ${KOLORVANE_ZLIB_SOURCE}/inftrees.c
    ${KOLORVANE_ZLIB_SOURCE}/trees.c
    ${KOLORVANE_ZLIB_SOURCE}/uncompr.c
    ${KOLORVANE_ZLIB_SOURCE}/zutil.c)
target_include_directories(kolorvane_zlib SYSTEM PUBLIC ${KOLORVANE_ZLIB_SOURCE})
# Another project's code: its warnings are not this build's to fix. Its
# path is kept out of the page as the project's own is.
target_compile_options(kolorvane_zlib PRIVATE -w
    -ffile-prefix-map=${KOLORVANE_ZLIB_SOURCE}/=zlib-1.2.13/)
# The licence text the release carries beside the page, from the sources
# built.
set(KOLORVANE_ZLIB_SOURCE_LICENSE ${KOLORVANE_ZLIB_SOURCE}/LICENSE)
