// The command line's entry point: the host of the system it is built for,
// and the arguments as the system holds them (on Windows, in UTF-16, turned
// into the ANSI code page without look-alikes).
#ifdef _WIN32
#include "win32_arguments.h"
#include "win32_host.h"
#else
#include "posix_host.h"
#endif
#include "run.h"

#ifdef _WIN32

#ifdef __MINGW32__
// cmd.exe hands "*.pal" over as it stands, leaving the expansion to the
// program, as every Windows tool's C runtime does it: this asks MinGW's
// start-up code to have msvcrt expand wildcards in the UTF-16 arguments,
// over the UTF-16 names of the files (a pattern that matches nothing stays
// as it is, and is then reported as a FILE).
extern "C" {
int _dowildcard = -1;
}
#endif

int wmain(int argc, wchar_t** argv) {
    kolorvane::AnsiArguments arguments{};
    if (!kolorvane::makeAnsiArguments(argc, argv, &arguments)) {
        return kolorvane::kExitFailed;
    }
    const kolorvane::Host host = kolorvane::makeWin32Host(arguments);
    const int status = kolorvane::runCommandLine(host, arguments.count, arguments.values);
    kolorvane::freeAnsiArguments(&arguments);
    return status;
}

#else

int main(int argc, char** argv) {
    const kolorvane::Host host = kolorvane::makePosixHost();
    return kolorvane::runCommandLine(host, argc, argv);
}

#endif
