# pugixml 1.13, which the XML palettes (Krita's colorset.xml, LibreOffice's
# .soc, Scribus's swatches) are read and written with, as the target
# kolorvane_pugixml. On Linux and macOS the system's library (Debian:
# libpugixml-dev). For Windows, Debian's source package
# (scripts/fetch-source.sh unpacks it) built here as a static library, and
# the fuzz build compiles the same source so that the sanitizers and the
# coverage reach into the parser. Built so without exceptions, STL streams
# or XPath, none of which the formats use; the system's library has them,
# and the code here calls none of them.
set(KOLORVANE_PUGIXML_VERSION 1.13)
if(MINGW OR KOLORVANE_FUZZ)
    set(KOLORVANE_PUGIXML_SOURCE /usr/local/src/pugixml-${KOLORVANE_PUGIXML_VERSION} CACHE PATH
        "Debian's pugixml ${KOLORVANE_PUGIXML_VERSION} sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_PUGIXML_SOURCE}/src/pugixml.cpp)
        message(FATAL_ERROR "no pugixml sources in ${KOLORVANE_PUGIXML_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    add_library(kolorvane_pugixml STATIC ${KOLORVANE_PUGIXML_SOURCE}/src/pugixml.cpp)
    target_include_directories(kolorvane_pugixml SYSTEM PUBLIC ${KOLORVANE_PUGIXML_SOURCE}/src)
    target_compile_definitions(kolorvane_pugixml PUBLIC
        PUGIXML_NO_EXCEPTIONS PUGIXML_NO_STL PUGIXML_NO_XPATH)
    # Another project's code: its warnings are not this build's to fix. Its
    # path is kept out of the program as the project's own is.
    target_compile_options(kolorvane_pugixml PRIVATE -w
        -ffile-prefix-map=${KOLORVANE_PUGIXML_SOURCE}/=pugixml-${KOLORVANE_PUGIXML_VERSION}/)
    if(MINGW)
        # The licence text the release carries, from the sources built.
        set(KOLORVANE_PUGIXML_LICENSE ${KOLORVANE_PUGIXML_SOURCE}/LICENSE.md)
    endif()
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(KOLORVANE_PUGIXML REQUIRED IMPORTED_TARGET
        pugixml>=${KOLORVANE_PUGIXML_VERSION})
    add_library(kolorvane_pugixml INTERFACE)
    target_link_libraries(kolorvane_pugixml INTERFACE PkgConfig::KOLORVANE_PUGIXML)
endif()
