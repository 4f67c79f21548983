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

// The bytes exactAnsiName needs for `name`, terminator included. A character
// may take more bytes in its exact form than in its look-alike, so this is
// the only right size for the buffer.
int ansiNameSize(UINT codePage, const wchar_t* name);

}  // namespace kolorvane
