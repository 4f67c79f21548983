// The string rules the conversion rests on: the extension test, splitting a
// path into its folder and file name, and the output's name and path, planned
// in one place for every front end.
//
// Paths are NUL-terminated bytes in the ANSI code page, in buffers of
// kMaxPath bytes. Splitting walks the path forward a character at a time, so
// that the second byte of a double-byte character (often 5C, the backslash,
// in code page 932) is never taken for a separator.
#pragma once

#include <cstddef>

#include "platform.h"

namespace kolorvane {

enum class PaletteKind {
    EdgePal,     // ends in ".pal", ASCII case ignored
    ColorTable,  // ends in ".act", ASCII case ignored
    Unsupported,
};

// The extension of the file a kind converts to: ".act" for a .pal source,
// ".pal" for an .act source, always lower case. Null for Unsupported.
const char* outputExtension(PaletteKind kind);

// True when the first n bytes of a and b match with A-Z folded to a-z. All n
// bytes are compared; a zero byte is an ordinary byte here. No other byte
// folds, whatever the locale, so double-byte characters compare exactly.
bool equalsIgnoreCaseN(const void* a, const void* b, std::size_t n);

// The kind of a path by its last four bytes alone.
PaletteKind classifyPath(const char* path);

// Length of a NUL-terminated path, or kMaxPath when no terminator stands in
// the first kMaxPath bytes (a path that does not fit).
std::size_t pathLength(const char* path);

// How a system spells paths: the bytes that separate folders (all ASCII; the
// first is the one added to a folder named without one), and whether a byte
// starts a double-byte character, whose second byte is never a separator.
struct PathRules {
    const char* separators;
    bool (*isLeadByte)(unsigned char byte);
};

// Length of the folder part of a path: up to and including its last
// separator, one in the first byte included ("/x.pal" is in "/"); 0 when the
// path has no separator, or does not fit.
std::size_t folderLength(const char* path, const PathRules& rules);

// `folder` into `directory`, a kMaxPath buffer, with a separator added when it
// does not end in one, as an output folder is joined to names. False when
// that does not fit.
bool folderWithSeparator(const char* folder, const PathRules& rules, char* directory);

// `fileName` with its last four bytes (the source's extension, whatever its
// case) replaced by `extension`, into a buffer of kMaxPath bytes. False when
// the name is shorter than four bytes or the result would not fit.
bool outputFileName(const char* fileName, const char* extension, char* output);

// The same with the last `replaced` bytes of the name replaced, however many
// they are (none: `extension` is added). False when the name is shorter
// than that or the result would not fit.
bool replaceExtension(const char* fileName, std::size_t replaced, const char* extension,
                      char* output);

// `directory` (empty, or ending in a separator) followed by `name`, into a
// buffer of kMaxPath bytes. False, and nothing written, when the two do not
// fit together.
bool joinPath(const char* directory, const char* name, char* path);

enum class PlanStatus {
    Planned,
    PathTooLong,    // the source's path does not fit a kMaxPath buffer
    Unsupported,    // not a .pal or .act name
    OutputTooLong,  // the output's path would not fit
};

// Where a conversion reads and writes, worked out from the names alone.
struct PathPlan {
    PaletteKind kind;
    std::size_t sourceFolderLength;  // bytes of the source's path before its file name
    char folder[kMaxPath];           // the output's folder: the source's, or the one given
    char output[kMaxPath];           // the output's file name
    char target[kMaxPath];           // folder and output name together
};

// Where the output of the file at `path` goes, named with `extension` in
// place of the source's last `replaced` bytes (its extension): beside it, or
// in `outputFolder` (ending in a separator) unless that is null. Fills all
// of `plan` but its kind; Planned or OutputTooLong.
PlanStatus placeOutput(const char* path, const PathRules& rules, const char* outputFolder,
                       const char* extension, std::size_t replaced, PathPlan* plan);

// Plans the conversion of the file at `path`: its output beside it, or in
// `outputFolder` (ending in a separator, as folderWithSeparator makes it)
// unless that is null. Touches no file.
PlanStatus planPaths(const char* path, const PathRules& rules, const char* outputFolder,
                     PathPlan* plan);

}  // namespace kolorvane
