// The command line's entry point: the host of the system it is built for,
// and the arguments as the system hands them over (on Windows, in the ANSI
// code page, as the window gets its dropped paths).
#ifdef _WIN32
#include "win32_host.h"
#else
#include "posix_host.h"
#endif
#include "run.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    kolorvane::Win32HostState state{};
    const kolorvane::Host host = kolorvane::makeWin32Host(&state);
#else
    kolorvane::PosixHostState state{};
    const kolorvane::Host host = kolorvane::makePosixHost(&state);
#endif
    return kolorvane::runCommandLine(host, argc, argv);
}
