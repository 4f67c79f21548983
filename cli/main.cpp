// The command line's entry point: the host of the system it is built for,
// and the arguments as the system hands them over (on Windows, in the ANSI
// code page, as the window gets its dropped paths).
#ifdef _WIN32
#include "win32_host.h"
#else
#include "posix_host.h"
#endif
#include "run.h"

#ifdef __MINGW32__
// cmd.exe hands "*.pal" over as it stands, leaving the expansion to the
// program, as every Windows tool's C runtime does it: this asks MinGW's
// start-up code to have msvcrt expand wildcards in the arguments (a pattern
// that matches nothing stays as it is, and is then reported as a FILE).
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    const kolorvane::Host host = kolorvane::makeWin32Host();
#else
    kolorvane::PosixNames names{};
    const kolorvane::Host host = kolorvane::makePosixHost(&names);
#endif
    return kolorvane::runCommandLine(host, argc, argv);
}
