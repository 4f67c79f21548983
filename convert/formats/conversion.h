// A conversion between any two formats, for the command line: which format
// a source is and what it converts to, from its name; its bytes read through
// the core's readSourceBytes and decoded; the output's name and path.
#pragma once

#include <cstddef>

#include "convert.h"
#include "format.h"
#include "naming.h"

namespace kolorvane {

// The buffer a source is read into: kMaxSourceSize bytes and one more, to
// tell a source that has more. On the heap, as Windows' stack is 1 MiB.
constexpr std::size_t kSourceBufferSize = kMaxSourceSize + 1;

struct ConversionPlan {
    const Format* extension;  // the first format of the source's extension
    const Format* target;
    PathPlan paths;  // the output's folder, name and path (not its kind)
};

// Plans the conversion of the file at `path` into `to`, or without it into
// the extension's default target: its output beside it, or in
// `outputFolder` (ending in a separator) unless that is null. Touches no
// file. Unsupported for a name that ends in no format's extension.
PlanStatus planConversion(const char* path, const PathRules& rules, const char* outputFolder,
                          const Format* to, ConversionPlan* plan);

struct PaletteSource {
    SourceResult source;   // Read, NotOpened or Failed
    ReadError error;       // for a source read: why it was refused, if it was
    const Format* format;  // the format it was read as, once known
};

// Turns `size` bytes of a file name into UTF-8, into `utf8` (`capacity`
// bytes): their count.
using NameToUtf8 = std::size_t (*)(const char* name, std::size_t size, char* utf8,
                                   std::size_t capacity);

// Where the source gave the palette no name: the output's file name without
// its extension, as GIMP names a palette it imports, spelled in UTF-8 by
// `toUtf8` (null: the name's bytes as they are).
void nameAfterOutput(const ConversionPlan& plan, NameToUtf8 toUtf8, Palette* palette);

// Reads the file at `path`, of the formats of `extension`, through
// `buffer` (kSourceBufferSize bytes) into `palette`, which holds the source's
// colours and names once it is read and accepted, and nothing to go by
// otherwise.
// A format with a readStream (PNG) is handed the open file a buffer at a
// time, never whole, so that its sources may be larger than the buffer.
PaletteSource readPaletteSource(const Platform& platform, const char* path, const Format& extension,
                                unsigned char* buffer, Palette* palette);

}  // namespace kolorvane
