// One dropped file, from its path to the notice, and the two steps it shares
// with every other front end: reading a source and writing an output.
#pragma once

#include "naming.h"
#include "palette.h"
#include "platform.h"

namespace kolorvane {

enum class SourceStatus {
    Read,
    NotOpened,  // missing, a folder, locked, no rights
    BadHeader,  // a .pal whose header is not "EDGE PAL" 00 00
    Failed,     // an I/O error while reading or closing
};

// What became of a source, and for NotOpened and Failed the first failure.
struct SourceResult {
    SourceStatus status;
    Failure failure;
};

// Opens, reads and closes the source of a .pal or .act path. The planes start
// zeroed, so a short source leaves the entries it does not supply at zero.
SourceResult readSource(const Platform& platform, const char* path, PaletteKind kind,
                        PalettePlanes* planes);

enum class ExistingOutput {
    Replace,  // the window's rule: a new output replaces an old one
    Keep,     // an existing output, or anything else of that name, stays as it is
};

enum class WriteStatus {
    Written,
    Kept,  // ExistingOutput::Keep and the name was taken: nothing written
    Failed,
};

// What became of an output, and for Failed the first failure: the clean-up
// after it may fail too, but is not the cause.
struct WriteResult {
    WriteStatus status;
    Failure failure;
};

// Writes the conversion of a `sourceKind` file to `directory` + `name`
// (`directory` empty for the current directory, else ending in a separator),
// completely or not at all: into a new temporary file there, which replaces
// the target only once every byte is written and the file closed. On any
// failure the temporary file is removed and an existing target is untouched.
// With ExistingOutput::Keep the complete file takes the name only if nothing
// has it, checked in the same step as the move; Kept means the temporary file
// is gone again too (a removal that fails is reported as Failed).
WriteResult writeOutput(const Platform& platform, PaletteKind sourceKind,
                        const PalettePlanes& planes, const char* directory, const char* name,
                        ExistingOutput existing);

// Converts the file at `path`, a full path in a kMaxPath buffer, and tells
// the user the outcome with one notice, or with none where a file could not
// be opened, read or written. A conversion leaves the source's directory as
// the current directory, and the output beside the source.
void handleDroppedFile(const Platform& platform, const char* path);

}  // namespace kolorvane
