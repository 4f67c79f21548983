// Text for a Windows console. A console shows Unicode only when it is given
// UTF-16 (WriteConsoleW): bytes written to it are read in its own code page,
// which is neither the ANSI one nor UTF-8. Redirected to a file or a pipe, a
// standard handle is no console, and bytes are written to it as to a file.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kolorvane {

// Whether `handle` is a console's screen buffer, rather than a file, a pipe
// or another device (NUL among them, which the C runtime calls a terminal).
bool isConsole(HANDLE handle);

// Writes `size` bytes of UTF-8 to the console `console` as UTF-16, however
// many calls that takes; false when not all of it could be written. A
// character is never split between two calls.
bool writeConsoleUtf8(HANDLE console, const char* utf8, std::size_t size);

// Turns on the console's processing of escape sequences (colours, Windows 10
// and later), its mode before into `previous`; false where the console does
// not have it.
bool startVirtualTerminal(HANDLE console, DWORD* previous);

// Gives the console the mode it had before startVirtualTerminal.
void restoreConsoleMode(HANDLE console, DWORD previous);

}  // namespace kolorvane
