// Palettes in every format the command line reads and writes, over bytes in
// memory alone: one table of formats (formats.cpp), each format's reader and
// writer in a file of its own. The window links none of this.
//
// A palette is 1 to 256 colours of 8-bit red, green and blue in index order,
// the order of .act, index 0 first; EDGE PAL alone stores them reversed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "palette.h"

namespace kolorvane {

struct Color {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

// A name, as GIMP, Photoshop and Illustrator give a palette or a colour:
// Unicode text of at most kMaxNameCharacters characters (code points), held
// as UTF-8 that is always valid and never holds U+0000. Empty: no name.
constexpr std::size_t kMaxNameCharacters = 255;
constexpr std::size_t kMaxNameBytes = 4 * kMaxNameCharacters;

struct Name {
    std::uint16_t size;  // bytes used; those past it are never read
    std::array<char, kMaxNameBytes> bytes;
};

// The colour spaces of swatches: those a reader converts to RGB itself
// (HSB, grayscale), those it keeps as a SourceColor for the colour
// management to convert (CMYK, Lab), and those it refuses, named in the
// message.
enum class ColorSpace : std::uint32_t {
    Hsb = 1,
    Cmyk = 2,
    Pantone = 3,
    Focoltone = 4,
    Trumatch = 5,
    Toyo = 6,
    Lab = 7,
    Grayscale = 8,
    WideCmyk = 9,
    Hks = 10,
    Other = 0xFFFF,
};

// A CMYK or Lab swatch as its source gives it, until the colour management
// (colour_management.h) turns it into colour `index` of the palette, which
// is black till then. CMYK: the four inks in percent, 0 to 100; Lab: L (0 to
// 100), a and b (-128 to 127), relative to D50.
struct SourceColor {
    std::size_t index;
    ColorSpace space;
    std::array<double, 4> values;
};

// Colours past `count` are zero, except those of an .act, which holds 256
// entries whatever its count says: EDGE PAL writes all 256 entries, every
// other format the first `count`. GIMP palettes, .aco and .ase carry the
// names; the other formats drop them.
//
// About 270 KB, nearly all of it room for the longest names: a front end
// keeps one on the heap and clears it with clearPalette, which touches the
// colours and the counts alone.
struct Palette {
    std::array<Color, kEntryCount> colors;
    std::size_t count;
    Name name;
    std::array<Name, kEntryCount> colorNames;
    // The colours still in their source's space, in index order: the first
    // `sourceColorCount` of `sourceColors`.
    std::size_t sourceColorCount;
    std::array<SourceColor, kEntryCount> sourceColors;
};

// An empty palette: no colours, no names.
void clearPalette(Palette* palette);

// The most bytes a source of a format that needs all of its bytes may have:
// text formats with long comments, ASE with long names. A larger one is
// refused; EDGE PAL and .act, as ever, read their layout and ignore the rest.
constexpr std::size_t kMaxSourceSize = std::size_t{1024} * 1024;

// The buffer a source is read into: kMaxSourceSize bytes and one more, to
// tell a source that has more. On the heap, as Windows' stack is 1 MiB.
constexpr std::size_t kSourceBufferSize = kMaxSourceSize + 1;

// The most bytes any writer writes: an ASE of 256 colours whose names are
// 255 characters outside the Basic Multilingual Plane (two UTF-16 units
// each) is the largest, at 268,300 (each block: type, size, a 16-bit count
// and 511 units, the model, three floats and the type).
constexpr std::size_t kMaxEncodedSize = std::size_t{272} * 1024;
using EncodedBytes = std::array<unsigned char, kMaxEncodedSize>;

// Why a reader refused a source. Where it says so, `at` is the line (text
// formats, from 1) or byte offset (binary ones, from 0) of the fault, `color`
// the colour's number (from 1), `value` the number read and `what` static
// words naming the field, block or library message concerned.
enum class ReadProblem {
    None,
    TooLarge,          // over the format's `largest` bytes
    UnknownPal,        // a .pal that is not EDGE PAL, JASC-PAL or RIFF
    UnknownKind,       // none of the formats of its extension, by its bytes
    NotThisFormat,     // the signature or first line is missing
    BadVersion,        // value: the version
    Truncated,         // at: where more bytes were needed
    SizePastEnd,       // at: the size field that points past the end
    CountMismatch,     // at: the count; value: the count
    TooManyColors,     // more than 256
    NoColors,          //
    NumberTooLarge,    // at: line
    Malformed,         // at: line or offset
    BadHexDigit,       // at: line
    NameTooLong,       // at: the block; color
    UnsupportedSpace,  // at: offset; color; value: a ColorSpace
    BadFloat,          // at: offset; color: NaN, infinite or outside 0 to 1
    OutOfRange,        // at: offset; color; value: the ColorSpace whose range it leaves
    UnknownBlock,      // at: offset; value: the block type
    ExtraData,         // at: where bytes follow the last colour
    BadChannels,       // at: a GIMP palette's "Channels:" line that is not RGBA
    BadChecksum,       // a PNG chunk whose CRC does not match its data
    NoPngPalette,      // an indexed PNG without a valid PLTE chunk
    ImageSize,         // an image's width or height is 0 or over kLargestImageSide
    BadImageData,      // at: where an image's pixel data is damaged or ends early
    NotPaletteImage,   // an image of more than 256 colours
    Unsupported,       // at: offset; what: the field; value: a value it may not have
    Missing,           // what: the chunk, lump or table the palette is in
    LibraryRefused,    // what: the words of the library that read the file
    // at: where the palette is, before what a source that can only be read
    // on (a pipe) has passed already
    BehindInStream,
};

// The widest and tallest image an image reader decodes: checked from the
// header, before any pixel, so that a few bytes claiming a vast image cost
// nothing.
constexpr std::uint32_t kLargestImageSide = 16384;

struct ReadError {
    ReadProblem problem;
    std::uint32_t at;
    std::uint32_t color;
    std::uint32_t value;
    const char* what;
};

constexpr ReadError kReadOk = {ReadProblem::None, 0, 0, 0, nullptr};

constexpr ReadError readError(ReadProblem problem, std::size_t at = 0, std::size_t color = 0,
                              std::uint32_t value = 0) {
    return {problem, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(color), value,
            nullptr};
}

// A field at `at` that holds `value`, which the format does not define or
// the reader does not read: "bits per pixel", 7.
constexpr ReadError unsupportedValue(std::size_t at, const char* what, std::uint32_t value) {
    return {ReadProblem::Unsupported, static_cast<std::uint32_t>(at), 0, value, what};
}

// A problem named by static words: the part missing, the library's message.
constexpr ReadError readErrorSaying(ReadProblem problem, const char* what) {
    return {problem, 0, 0, 0, what};
}

constexpr bool refused(const ReadError& error) { return error.problem != ReadProblem::None; }

// The size of a source that is not a regular file (a FIFO, say), which is
// known only once it ends.
constexpr std::uint64_t kUnknownSourceSize = ~std::uint64_t{0};

// A source read where a reader asks, for a format whose sources may be far
// larger than anything held in memory (an image, a game's WAD). `readAt`
// copies up to `count` bytes from `offset` into `bytes` and returns how
// many: fewer only where the source ends or cannot be read. Reads that go
// forward from where the last one ended cost the least; a source that is
// not a regular file can be read no other way.
struct ByteSource {
    void* context;
    std::uint64_t size;  // bytes, or kUnknownSourceSize
    std::size_t (*readAt)(void* context, std::uint64_t offset, unsigned char* bytes,
                          std::size_t count);
};

// One format: a row of kFormats. A reader is handed the source's bytes, at
// most `largest` of them, and fills a zeroed palette; a writer fills `bytes`
// and returns their count, 0 when it could not.
struct Format {
    const char* name;       // for --to and --from
    const char* extension;  // ".pal", lower case: what it is written as; "" for none
    // Other extensions it is read from, each with its dot and followed by a
    // space (".iff .bbm "), or null.
    const char* alsoReads;
    const char* title;  // for messages: "not a GIMP palette"
    // Bytes read at most. With `ignoresTail` the bytes past them are ignored,
    // else a source that has more is refused as TooLarge.
    std::uint64_t largest;
    // When several formats read an extension, the first whose `detect`
    // accepts the source's first bytes (all of them, for a source no larger
    // than kSourceBufferSize) reads it; null: a format that owns its
    // extensions.
    bool (*detect)(const unsigned char* bytes, std::size_t size);
    ReadError (*read)(const unsigned char* bytes, std::size_t size, Palette* palette);
    // Null for a format that is only read.
    std::size_t (*write)(const Palette& palette, EncodedBytes* bytes);
    bool ignoresTail;
    bool text;  // positions are lines, not byte offsets
    // Non-null for a format read where it asks, never whole: `read` does the
    // same over bytes in memory. It fills the palette only when it accepts.
    ReadError (*readStream)(const ByteSource& source, Palette* palette);
    // Its writer writes a colour read as CMYK or Lab in that space, as it
    // was read (within the format's precision), and the others in RGB; in
    // every other format such a colour is its sRGB conversion.
    bool keepsCmykAndLab = false;
};

extern const Format kFormats[];
extern const std::size_t kFormatCount;

// The format of a --to or --from name, or null.
const Format* formatNamed(const char* name);

// The `n`th extension `format` is read from (from 0: its own, then those
// of `alsoReads`), with its dot, into `extension`, a buffer of kMaxPath
// bytes; false past the last, and for a format that is only written.
bool readExtension(const Format& format, std::size_t n, char* extension);

// The length of the extension of `format`'s that `path` ends in (ASCII case
// ignored), or 0 when it ends in none of them.
std::size_t extensionLength(const Format& format, const char* path);

// The first format that reads the extension `path` ends in, or null: the
// key to the formats that may read it.
const Format* formatOfExtension(const char* path);

// The format of the source at `path`, among those that read its
// extension, by its first bytes: null, with the problem in `error`, when
// none of them takes it.
const Format* detectFormat(const char* path, const unsigned char* bytes, std::size_t size,
                           ReadError* error);

// What a source converts to without --to: EDGE PAL's to .act, every other
// to EDGE PAL.
const Format& defaultTarget(const Format& source);

}  // namespace kolorvane
