// A conversion between any two formats, for the command line: which format
// a source is and what it converts to, from its name; its bytes read through
// the core's readOpenSource and decoded; the output's name and path.
#pragma once

#include <cstddef>

#include "files.h"
#include "format.h"
#include "output_paths.h"

namespace kolorvane {

struct ConversionPlan {
    // The format the source is read as: the one --from names, or else the
    // first format of the source's extension, whose formats its bytes then
    // choose among (PaletteSource::format: the one that read it).
    const Format* sourceFormat;
    bool forced;  // --from: read as `sourceFormat`, whatever the bytes say
    const Format* target;
    PathPlan paths;  // the output's folder, name and path (not its kind)
};

// Plans the conversion of the file at `path`, read as `from` (null: as its
// extension and bytes say), into `to`, or without it into the source
// format's default target: its output beside it, or in `outputFolder`
// (ending in a separator) unless that is null, named as the source with
// its extension (the format's, or with `from` whatever follows the file
// name's last dot, if anything does) replaced by the target's. Touches no
// file. Unsupported for a name that ends in no format's extension and no
// `from`.
PlanStatus planConversion(const char* path, const PathRules& rules, const char* outputFolder,
                          const Format* from, const Format* to, ConversionPlan* plan);

// What a palette read comes to in the format it is written as.
enum class Fit {
    Fits,       // it holds every colour
    Truncated,  // --truncate: the first colours it holds kept, the rest left out
    TooMany,    // refused: it holds fewer, and nothing is to be left out
};

struct FitResult {
    Fit fit;
    std::size_t count;  // the colours read
    std::size_t kept;   // the colours written
};

// Whether `palette` fits `target`'s capacity; where it does not, with
// `truncate` the palette cut to the first colours `target` holds, without
// it left as it is and refused.
FitResult fitPalette(const Format& target, bool truncate, Palette* palette);

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

// Reads the file at `path` as `from`, or (null) as the format among those
// of its extension that its first bytes show, through `buffer` into
// `palette`, which holds the source's colours and names once it is read and
// accepted, and nothing to go by otherwise. The file is opened once: its
// first window (kFirstWindowSize bytes at most) is read into the buffer; a
// format that reads its bytes whole has the rest read in after it, the
// buffer grown to hold them; a format with a readStream (images, WADs)
// reads where it asks, a window at a time, so that its sources may be far
// larger than memory.
PaletteSource readPaletteSource(const Platform& platform, const char* path, const Format* from,
                                ByteBuffer* buffer, Palette* palette);

}  // namespace kolorvane
