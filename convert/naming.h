// The string rules the conversion rests on: the extension test, splitting a
// path into its directory and file name, and the output's name.
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

// Index of the last separator character in `path` after its first byte, or
// -1 when there is none. `separators` lists the separator bytes (all ASCII).
long lastSeparator(const Platform& platform, const char* path, const char* separators);

// Length of the folder part of a path as a command line takes it: up to and
// including its last separator, where a separator in the first byte counts
// too ("/x.pal" is in "/"); 0 when the path has no separator, or does not fit.
std::size_t directoryPartLength(const Platform& platform, const char* path, const char* separators);

// The path up to and including its last backslash, and the bytes after it,
// each into a buffer of kMaxPath bytes. False, and nothing copied, when the
// path has no backslash after its first byte.
bool directoryPart(const Platform& platform, const char* path, char* directory);
bool fileNamePart(const Platform& platform, const char* path, char* fileName);

// `fileName` with its last four bytes (the source's extension, whatever its
// case) replaced by `extension`, into a buffer of kMaxPath bytes. False when
// the name is shorter than four bytes or the result would not fit.
bool outputFileName(const char* fileName, const char* extension, char* output);

// `directory` (empty, or ending in a separator) followed by `name`, into a
// buffer of kMaxPath bytes. False, and nothing written, when the two do not
// fit together.
bool joinPath(const char* directory, const char* name, char* path);

}  // namespace kolorvane
