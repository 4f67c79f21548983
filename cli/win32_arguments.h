// The command line's arguments on Windows, from the UTF-16 ones the system
// holds, in the ANSI code page the rest of the program works in.
//
// The ANSI command line Windows makes for a program is spelled with best fit:
// a character the code page lacks becomes a look-alike (the yen sign a
// backslash under code page 932, é an e), so a FILE would name another file.
// Here each argument is converted without look-alikes, and one that cannot
// be spelled exactly is marked, to be refused rather than converted.
#pragma once

#include <windows.h>

namespace kolorvane {

struct AnsiArguments {
    int count;
    char** values;  // `count` arguments and a null, as argv
    // The arguments whose names have a character the code page lacks, each
    // spelled with `?` in its place: the same pointers as in `values`.
    char** unspelled;
    int unspelledCount;
};

// False when the memory for them cannot be had. The arguments live in one
// block, which freeAnsiArguments releases.
bool makeAnsiArguments(int count, wchar_t** wide, AnsiArguments* arguments);
void freeAnsiArguments(AnsiArguments* arguments);

}  // namespace kolorvane
