# nlohmann-json 3.11.2, which the JSON palettes (Procreate's Swatches.json,
# Sketch's .sketchpalette) are read and written with, as the target
# kolorvane_json: a library of headers alone. On Linux and macOS the
# system's headers (Debian: nlohmann-json3-dev); for Windows and the fuzz
# build, Debian's source package (scripts/fetch-source.sh unpacks it), the
# same headers. Everywhere without exceptions (a parse error is a value, a
# value of the wrong type is asked for through a checked accessor) and
# without its stream input and output, which nothing here uses.
set(KOLORVANE_JSON_VERSION 3.11.2)
add_library(kolorvane_json INTERFACE)
target_compile_definitions(kolorvane_json INTERFACE JSON_NOEXCEPTION JSON_NO_IO)
if(MINGW OR KOLORVANE_FUZZ)
    set(KOLORVANE_JSON_SOURCE /usr/local/src/nlohmann-json3-${KOLORVANE_JSON_VERSION} CACHE PATH
        "Debian's nlohmann-json ${KOLORVANE_JSON_VERSION} sources, as scripts/fetch-source.sh unpacks them")
    if(NOT EXISTS ${KOLORVANE_JSON_SOURCE}/single_include/nlohmann/json.hpp)
        message(FATAL_ERROR "no nlohmann-json sources in ${KOLORVANE_JSON_SOURCE}: "
                            "run scripts/install-deps.sh")
    endif()
    target_include_directories(kolorvane_json SYSTEM INTERFACE
        ${KOLORVANE_JSON_SOURCE}/single_include)
    if(MINGW)
        # The licence text the release carries, from the sources built.
        set(KOLORVANE_JSON_LICENSE ${KOLORVANE_JSON_SOURCE}/LICENSE.MIT)
    endif()
else()
    find_package(nlohmann_json ${KOLORVANE_JSON_VERSION} REQUIRED)
    target_link_libraries(kolorvane_json INTERFACE nlohmann_json::nlohmann_json)
endif()
