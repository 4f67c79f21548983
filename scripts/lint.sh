#!/usr/bin/env bash
# The static checks, one at a time:
#   scripts/lint.sh cppcheck           cppcheck over convert/, win/, win32/, posix/, cli/ and web/
#   scripts/lint.sh clang-tidy BUILD   clang-tidy over convert/, posix/ and cli/, with
#                                      the flags of BUILD/compile_commands.json,
#                                      over win/, win32/ and cli/'s Windows host as
#                                      MinGW-w64 code, and over fuzz/ and web/
#   scripts/lint.sh clang-format       checks that every C/C++ source in the
#                                      tree is laid out as .clang-format says
#   scripts/lint.sh format             lays them out so, in place
# Each prints what it finds and fails when it finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

tidy=clang-tidy-14
format=clang-format-14
mingw=x86_64-w64-mingw32-g++

sources() {
    find . \( -path ./build -o -path ./.git \) -prune -o -type f \
        \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \) \
        -print0 | sort -z
}

# The C++ library headers of the MinGW-w64 compiler, which clang does not
# find by itself for Debian's layout; the Windows headers it does find.
mingwCxxIncludes() {
    echo | "$mingw" -x c++ -E -v - 2>&1 |
        sed -n '/#include <...> search starts here:/,/End of search list./p' |
        awk '$1 ~ /\/c\+\+/ { print "-isystem" $1 }'
}

# clang-tidy, without its count of the warnings it hid in system headers.
runTidy() {
    local log status=0
    log=$(mktemp)
    "$tidy" --quiet "$@" >"$log" 2>&1 || status=$?
    grep -v '^[0-9]* warnings generated\.$' "$log" || true
    rm -f "$log"
    return "$status"
}

case "${1:-}" in
    cppcheck)
        # Only the project's own headers are read; --library=windows stands in
        # for windows.h, telling cppcheck what the Win32 calls and types are.
        cppcheck --std=c++20 --language=c++ --library=windows \
            --enable=warning,style,performance,portability --inline-suppr \
            --suppress=missingIncludeSystem --error-exitcode=1 --quiet \
            -I convert -I convert/formats -I convert/formats/images -I win -I win32 -I posix -I cli -I cli/completions -I web \
            convert win win32 posix cli web
        ;;
    clang-tidy)
        build=${2:?usage: $0 clang-tidy BUILD}
        status=0
        runTidy -p "$build" convert/*.cpp convert/formats/*.cpp convert/formats/images/*.cpp cli/main.cpp cli/options.cpp \
            cli/run.cpp cli/show.cpp cli/cmyk_profile.cpp cli/builtin_profile.cpp \
            cli/posix_host.cpp posix/posix_platform.cpp \
            cli/completions/*.cpp || status=1
        mapfile -t includes < <(mingwCxxIncludes)
        [ ${#includes[@]} -gt 0 ] || { echo "no C++ headers found for $mingw" >&2; exit 1; }
        runTidy win/*.cpp win32/*.cpp cli/win32_host.cpp cli/win32_arguments.cpp cli/builtin_profile.cpp -- --target=x86_64-w64-mingw32 -std=c++20 \
            -fno-exceptions -fno-rtti "${includes[@]}" -I convert -I convert/formats -I win -I win32 -I cli || status=1
        # main.cpp once more, as the Windows build compiles it.
        runTidy cli/main.cpp -- --target=x86_64-w64-mingw32 -std=c++20 \
            -fno-exceptions -fno-rtti "${includes[@]}" -I convert -I convert/formats -I win -I win32 -I cli || status=1
        # The fuzz targets too, though the fuzz build is not this one.
        runTidy fuzz/*.cpp -- -std=c++20 -I convert -I convert/formats -I convert/formats/images \
            -I tests/unit -I fuzz -DKOLORVANE_CMYK_PROFILE_FILE='""' -DKOLORVANE_FUZZ_ROWS='"gpl"' \
            -DKOLORVANE_FUZZ_REST=1 -DKOLORVANE_FUZZ_ELSEWHERE='"aco"' || status=1
        # The page's C++, which the web preset compiles with emscripten, as
        # plain C++ here.
        runTidy web/*.cpp -- -std=c++20 -I convert -I convert/formats -I convert/formats/images \
            -I web || status=1
        exit $status
        ;;
    clang-format)
        sources | xargs -0 "$format" --dry-run -Werror
        ;;
    format)
        sources | xargs -0 "$format" -i
        ;;
    *)
        sed -n '2,10s/^# \{0,1\}//p' "$0" >&2
        exit 2
        ;;
esac
