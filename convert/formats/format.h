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

// The most bytes any writer writes: an ASE of 256 colours whose names are
// 255 characters outside the Basic Multilingual Plane (two UTF-16 units
// each) is the largest, at 268,300 (each block: type, size, a 16-bit count
// and 511 units, the model, three floats and the type).
constexpr std::size_t kMaxEncodedSize = std::size_t{272} * 1024;
using EncodedBytes = std::array<unsigned char, kMaxEncodedSize>;

// Why a reader refused a source. Where it says so, `at` is the line (text
// formats, from 1) or byte offset (binary ones, from 0) of the fault, `color`
// the colour's number (from 1) and `value` the number read.
enum class ReadProblem {
    None,
    TooLarge,          // over kMaxSourceSize bytes
    UnknownPal,        // a .pal that is not EDGE PAL, JASC-PAL or RIFF
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
    ImageSize,         // a PNG's width or height is 0 or over kLargestImageSide
    BadImageData,      // a PNG's image data does not inflate or ends early
    NotPaletteImage,   // a PNG of more than 256 colours
    DamagedPng,        // value: libspng's error code, for any other refusal
};

// The widest and tallest image a PNG reader decodes: checked before any
// pixel, so that a few bytes claiming a vast image cost nothing.
constexpr std::uint32_t kLargestImageSide = 16384;

struct ReadError {
    ReadProblem problem;
    std::uint32_t at;
    std::uint32_t color;
    std::uint32_t value;
};

constexpr ReadError kReadOk = {ReadProblem::None, 0, 0, 0};

constexpr ReadError readError(ReadProblem problem, std::size_t at = 0, std::size_t color = 0,
                              std::uint32_t value = 0) {
    return {problem, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(color), value};
}

constexpr bool refused(const ReadError& error) { return error.problem != ReadProblem::None; }

// A source handed to a reader a piece at a time, for a format whose sources
// may be larger than anything held in memory. `pull` fills `bytes` with up
// to `size` bytes and returns how many: fewer only where the source ends or
// cannot be read.
struct ByteSource {
    void* context;
    std::size_t (*pull)(void* context, unsigned char* bytes, std::size_t size);
};

// One format: a row of kFormats. A reader is handed the source's bytes, at
// most `largest` of them, and fills a zeroed palette; a writer fills `bytes`
// and returns their count, 0 when it could not.
struct Format {
    const char* name;       // for --to
    const char* extension;  // ".pal", lower case, four bytes
    const char* title;      // for messages: "not a GIMP palette"
    // Bytes read at most. With `ignoresTail` the bytes past them are ignored,
    // else a source that has more is refused as TooLarge.
    std::size_t largest;
    // When several formats share an extension, the first whose `detect`
    // accepts the bytes reads them; null: a format that owns its extension.
    bool (*detect)(const unsigned char* bytes, std::size_t size);
    ReadError (*read)(const unsigned char* bytes, std::size_t size, Palette* palette);
    std::size_t (*write)(const Palette& palette, EncodedBytes* bytes);
    bool ignoresTail;
    bool text;  // positions are lines, not byte offsets
    // Non-null for a format read as the file is, never whole: `read` does the
    // same over bytes in memory. It fills the palette only when it accepts.
    ReadError (*readStream)(const ByteSource& source, Palette* palette);
};

extern const Format kFormats[];
extern const std::size_t kFormatCount;

// The format of a --to name, or null.
const Format* formatNamed(const char* name);

// The first format whose extension `path` ends in (ASCII case ignored), or
// null: the key to the formats that may read it.
const Format* formatOfExtension(const char* path);

// The format a source of `extension`'s formats is in, by its bytes: null,
// with the problem in `error`, when none of them takes it.
const Format* detectFormat(const Format& extension, const unsigned char* bytes, std::size_t size,
                           ReadError* error);

// What a source converts to without --to: EDGE PAL's extension to .act,
// every other to EDGE PAL.
const Format& defaultTarget(const Format& source);

}  // namespace kolorvane
