// Names as the ANSI code page spells them exactly, never by a look-alike.
//
// Windows holds file names in UTF-16. Its own conversion to the ANSI code
// page maps a character the code page lacks to a "best fit": under code page
// 932 the yen sign becomes 5C, the backslash, and é becomes e, so the name
// would open another file. Here such a name is refused instead.
#pragma once

#include <windows.h>

namespace kolorvane {

enum class AnsiName {
    Exact,       // the bytes name exactly the file the UTF-16 name does
    NotSpelled,  // some character has no form of its own in the code page
    TooLong,     // the bytes and their terminator would not fit `capacity`
};

// `name` in `codePage` (the ANSI code page is GetACP()), into `ansi`, a buffer
// of `capacity` bytes. For a name NotSpelled, `ansi` holds it with the code
// page's default character (`?`) for what is missing, fit for showing the
// user, never for opening; for one TooLong it is empty.
AnsiName exactAnsiName(UINT codePage, const wchar_t* name, char* ansi, int capacity);

// Bytes enough for any name of `units` UTF-16 units and its terminator in
// any code page that can be the ANSI one: a double-byte code page takes two
// bytes for a unit at most, UTF-8 three (four for a surrogate pair).
constexpr int ansiNameCapacity(int units) { return 3 * units + 1; }

}  // namespace kolorvane
