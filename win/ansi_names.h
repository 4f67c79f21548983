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
    TooLong,     // the bytes would not fit in MAX_PATH with their terminator
};

// `name` in `codePage` (the ANSI code page is GetACP()), into `ansi`, a buffer
// of MAX_PATH bytes. For a name NotSpelled, `ansi` holds it with the code
// page's default character (`?`) for what is missing, fit for showing the
// user, never for opening; for one TooLong it is empty.
AnsiName exactAnsiName(UINT codePage, const wchar_t* name, char* ansi);

}  // namespace kolorvane
