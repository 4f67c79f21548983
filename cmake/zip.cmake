# libzip 1.7.3, which the zip-based palettes (Procreate's .swatches,
# Krita's .kpl) are read and written with, from and to memory, as the
# target kolorvane_zip. On Linux and macOS the system's library (Debian:
# libzip-dev). For Windows, Debian's source package (scripts/fetch-source.sh
# unpacks it) built here as a static library over the zlib kolorvane_spng
# already links, so that kolorvane-cli.exe needs no DLL. The fuzz build
# compiles the same sources, so that the sanitizers and the coverage reach
# into libzip. Deflate alone: bzip2, lzma, zstd and encryption are left out,
# and an entry that needs them is refused as unsupported.
set(KOLORVANE_ZIP_VERSION 1.7.3)
if(MINGW OR KOLORVANE_FUZZ OR EMSCRIPTEN)
    set(KOLORVANE_ZIP_SOURCE /usr/local/src/libzip-${KOLORVANE_ZIP_VERSION} CACHE PATH
        "Debian's libzip ${KOLORVANE_ZIP_VERSION} sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_ZIP_SOURCE}/lib/zip_open.c)
        message(FATAL_ERROR "no libzip sources in ${KOLORVANE_ZIP_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    enable_language(C)
    set(kolorvane_zip_lib ${KOLORVANE_ZIP_SOURCE}/lib)
    # The library's sources as its own CMakeLists.txt lists them, less the
    # other compressors and the cryptography, which are off.
    file(GLOB kolorvane_zip_sources ${kolorvane_zip_lib}/zip_*.c)
    list(FILTER kolorvane_zip_sources EXCLUDE REGEX
        "/zip_(algorithm_(bzip2|xz)|crypto_.*|winzip_aes|source_winzip_aes_.*|random_uwp)\\.c$")
    # Archives are read and written in memory alone: the sources over files,
    # and the random numbers their temporary names and the traditional
    # PKWARE encryption take, are left out too, so that the program imports
    # nothing more (ADVAPI32's cryptography, on Windows).
    list(FILTER kolorvane_zip_sources EXCLUDE REGEX
        "/zip_(mkstempm|fdopen|source_file_.*|random_.*|pkware|source_pkware_.*)\\.c$")
    list(SORT kolorvane_zip_sources)  # the same order, so the same program

    # What libzip's configure step would find, written out: the two
    # systems it is built for here are known.
    set(kolorvane_zip_generated ${PROJECT_BINARY_DIR}/libzip)
    if(WIN32)
        set(kolorvane_zip_have "#define HAVE__CLOSE\n#define HAVE__DUP\n#define HAVE__FDOPEN
#define HAVE__FILENO\n#define HAVE__SETMODE\n#define HAVE__STRDUP\n#define HAVE__STRICMP
#define HAVE__STRTOI64\n#define HAVE__STRTOUI64\n#define HAVE__UMASK\n#define HAVE__UNLINK
#define HAVE_FILENO\n#define HAVE_FSEEKO\n#define HAVE_FTELLO\n#define HAVE_SNPRINTF
#define HAVE_STRDUP\n#define HAVE_STRICMP\n#define HAVE_STRTOLL\n#define HAVE_STRTOULL
#define HAVE_STDBOOL_H\n#define HAVE_STRINGS_H\n#define HAVE_UNISTD_H\n#define HAVE_DIRENT_H
#define SIZEOF_OFF_T 8\n#define SIZEOF_SIZE_T 8\n#define _FILE_OFFSET_BITS 64\n")
    else()
        set(kolorvane_zip_have "#define HAVE_FILENO\n#define HAVE_FSEEKO\n#define HAVE_FTELLO
#define HAVE_LOCALTIME_R\n#define HAVE_MKSTEMP\n#define HAVE_SNPRINTF\n#define HAVE_STRCASECMP
#define HAVE_STRDUP\n#define HAVE_STRTOLL\n#define HAVE_STRTOULL\n#define HAVE_STRUCT_TM_TM_ZONE
#define HAVE_STDBOOL_H\n#define HAVE_STRINGS_H\n#define HAVE_UNISTD_H\n#define HAVE_DIRENT_H
#define SIZEOF_OFF_T 8\n#define SIZEOF_SIZE_T 8\n")
    endif()
    file(CONFIGURE OUTPUT ${kolorvane_zip_generated}/config.h CONTENT
"#ifndef HAD_CONFIG_H
#define HAD_CONFIG_H
#ifndef _HAD_ZIPCONF_H
#include \"zipconf.h\"
#endif
${kolorvane_zip_have}#define PACKAGE \"libzip\"
#define VERSION \"${KOLORVANE_ZIP_VERSION}\"
#endif
")
    string(REPLACE "." ";" kolorvane_zip_parts ${KOLORVANE_ZIP_VERSION})
    list(GET kolorvane_zip_parts 0 libzip_VERSION_MAJOR)
    list(GET kolorvane_zip_parts 1 libzip_VERSION_MINOR)
    list(GET kolorvane_zip_parts 2 libzip_VERSION_PATCH)
    set(libzip_VERSION ${KOLORVANE_ZIP_VERSION})
    set(ZIP_STATIC ON)
    set(ZIP_NULLABLE_DEFINES "#define _Nullable\n#define _Nonnull")
    set(LIBZIP_TYPES_INCLUDE "#include <stdint.h>")
    foreach(bits 8 16 32 64)
        set(ZIP_INT${bits}_T int${bits}_t)
        set(ZIP_UINT${bits}_T uint${bits}_t)
    endforeach()
    configure_file(${KOLORVANE_ZIP_SOURCE}/cmake-zipconf.h.in ${kolorvane_zip_generated}/zipconf.h)

    # Its error messages, from zip.h, as libzip's own build makes them.
    file(READ ${kolorvane_zip_lib}/zip.h kolorvane_zip_h)
    set(kolorvane_zip_error_pattern "#define ZIP_ER_([A-Z_]+) ([0-9]+)[ \t]+/([-*0-9a-zA-Z ']*)/")
    string(REGEX MATCHALL "${kolorvane_zip_error_pattern}" kolorvane_zip_errors "${kolorvane_zip_h}")
    set(kolorvane_zip_strings "")
    set(kolorvane_zip_types "")
    foreach(line ${kolorvane_zip_errors})
        string(REGEX MATCH "${kolorvane_zip_error_pattern}" match "${line}")
        string(REGEX MATCH "([N|S|Z]+) ([-0-9a-zA-Z ']*)" match "${CMAKE_MATCH_3}")
        string(APPEND kolorvane_zip_types "    ${CMAKE_MATCH_1},\n")
        string(STRIP "${CMAKE_MATCH_2}" words)
        string(APPEND kolorvane_zip_strings "    \"${words}\",\n")
    endforeach()
    file(CONFIGURE OUTPUT ${kolorvane_zip_generated}/zip_err_str.c CONTENT
"#include \"zipint.h\"

const char * const _zip_err_str[] = {
${kolorvane_zip_strings}};

const int _zip_nerr_str = sizeof(_zip_err_str)/sizeof(_zip_err_str[0]);

#define N ZIP_ET_NONE
#define S ZIP_ET_SYS
#define Z ZIP_ET_ZLIB

const int _zip_err_type[] = {
${kolorvane_zip_types}};
")

    add_library(kolorvane_zip STATIC ${kolorvane_zip_sources} ${kolorvane_zip_generated}/zip_err_str.c
        ${CMAKE_CURRENT_LIST_DIR}/libzip_in_memory.c)
    target_include_directories(kolorvane_zip SYSTEM PUBLIC ${kolorvane_zip_lib} ${kolorvane_zip_generated})
    target_compile_definitions(kolorvane_zip PUBLIC ZIP_STATIC)
    target_compile_definitions(kolorvane_zip PRIVATE HAVE_CONFIG_H)
    # Another project's code: its warnings are not this build's to fix. Its
    # path is kept out of the program as the project's own is.
    target_compile_options(kolorvane_zip PRIVATE -w
        -ffile-prefix-map=${KOLORVANE_ZIP_SOURCE}/=libzip-${KOLORVANE_ZIP_VERSION}/
        -ffile-prefix-map=${kolorvane_zip_generated}/=libzip-${KOLORVANE_ZIP_VERSION}/)
    # Over the zlib the PNG reader links already.
    target_link_libraries(kolorvane_zip PUBLIC kolorvane_spng)
    if(EMSCRIPTEN)
        # The archives are written undated, 1980-01-01 00:00, as the other
        # builds write them: there a date past every calendar makes the C
        # library's local time fail, and libzip writes that date instead,
        # but the browser's local time takes any date. Its declaration in
        # <time.h> is renamed with the call, to a local time that always
        # fails (libzip_in_memory.c).
        set_source_files_properties(${KOLORVANE_ZIP_SOURCE}/lib/zip_dirent.c PROPERTIES
            COMPILE_DEFINITIONS "localtime_r=kolorvane_zip_no_localtime_r")
        target_compile_definitions(kolorvane_zip PRIVATE KOLORVANE_ZIP_UNDATED)
    endif()
    if(MINGW)
        # The licence text the release carries, from the sources built.
        set(KOLORVANE_ZIP_LICENSE ${KOLORVANE_ZIP_SOURCE}/LICENSE)
    endif()
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KOLORVANE_ZIP REQUIRED IMPORTED_TARGET libzip>=${KOLORVANE_ZIP_VERSION})
    add_library(kolorvane_zip INTERFACE)
    target_link_libraries(kolorvane_zip INTERFACE PkgConfig::KOLORVANE_ZIP)
endif()
