// The command line's words for what the formats refuse, put together by
// hand: printf's family would add its formatting code to the Windows .exe.
#pragma once

#include <cstddef>

#include "format.h"

namespace kolorvane {

// Why `format` refused a source, one line without its break, into `text`
// (`capacity` bytes, cut short should it not fit).
void describeReadError(const Format& format, const ReadError& error, char* text,
                       std::size_t capacity);

// "not a .pal, .act, ... or .png file name", each extension of the table
// once, into `text`.
void describeUnsupportedName(char* text, std::size_t capacity);

}  // namespace kolorvane
