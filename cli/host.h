// What the command line asks of its system: the core's file operations, how
// paths are spelled, the system's words for an error code, the standard
// streams, and holding off interrupts while an output is being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "format_conversion.h"
#include "output_paths.h"
#include "platform.h"

namespace kolorvane {

struct Host {
    Platform platform;
    PathRules rules;

    // The report streams; `interactive` when standard output is a terminal,
    // where each line goes at once.
    std::FILE* output;
    std::FILE* error;
    bool interactive;

    // The arguments whose names have a character the system's code page
    // cannot spell (on Windows, where the arguments arrive in UTF-16), each
    // with "?" in its place: the same pointers as in argv. Such a name is
    // refused, never taken for the look-alike file it would otherwise name.
    char* const* unspelled;
    int unspelledCount;

    // The system's words for an error code of a Failure, without a closing
    // line break or full stop, into `text`, a buffer of `capacity` bytes;
    // "" for code 0, which no system error stands behind.
    void (*describe)(std::uint32_t code, char* text, std::size_t capacity);

    // A file name's `size` bytes in UTF-8, into `utf8` (`capacity` bytes);
    // their count. Null where names are taken as they are: on POSIX, where a
    // name is bytes, most often UTF-8 (anything else reads as ISO 8859-1).
    NameToUtf8 nameToUtf8;

    // For --show. The values of NO_COLOR and TERM, null where they are
    // unset, from which the run decides whether a terminal gets swatches.
    const char* noColor;
    const char* term;
    // Where a terminal takes colour escapes only once asked (a Windows
    // console's virtual-terminal mode): turns them on, false when it cannot,
    // with the terminal's state before into `saved`; and gives that state
    // back. Null where a terminal takes them as they come.
    bool (*startEscapes)(std::uint32_t* saved);
    void (*endEscapes)(std::uint32_t saved);
    // Where standard output is a terminal that takes Unicode text rather
    // than bytes (a Windows console): writes `size` bytes of UTF-8 there,
    // false when they did not all get there. Null where standard output
    // takes bytes, written through `output`.
    bool (*writeUnicode)(const char* utf8, std::size_t size);

    // Called with platform.context. Between these two calls an interrupt from
    // the terminal or a polite kill cannot end the process: on POSIX it waits,
    // to be acted on at the release; Windows keeps none for later, so there it
    // is ignored. Either way no file is left half written, nor a temporary
    // file behind, by one.
    void (*holdInterrupts)(void* context);
    void (*releaseInterrupts)(void* context);
};

}  // namespace kolorvane
