// Palettes in every format the command line reads and writes, over bytes in
// memory alone: one table of formats (formats.cpp), each format's reader and
// writer in a file of its own. The window links none of this.
//
// A palette is 1 to kMaxColors colours of 8-bit red, green and blue in index
// order, the order of .act, index 0 first; EDGE PAL alone stores them
// reversed. Each format holds as many as its row's `capacity` says.
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

// The most colours a palette holds: the largest count that .aco, RIFF and
// Adobe colour books can state. Each format holds its own `capacity`.
constexpr std::size_t kMaxColors = 65535;

// A name, as GIMP, Photoshop and Illustrator give a palette or a colour:
// Unicode text of at most kMaxNameCharacters characters (code points), held
// as UTF-8 that is always valid and never holds U+0000, among the palette's
// `text`. Empty (size 0): no name.
constexpr std::size_t kMaxNameCharacters = 255;
constexpr std::size_t kMaxNameBytes = 4 * kMaxNameCharacters;

struct NameRef {
    std::uint32_t at;  // the first byte's offset in the palette's text
    std::uint32_t size;
};

// A name's bytes, valid until the palette's names change.
struct NameText {
    const char* bytes;
    std::size_t size;
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

// A palette: its colours in index order, each with its name, and the
// palette's own name. Its memory grows with it, on the heap, and is kept
// from one source to the next of a batch: clearPalette empties it without
// giving the memory back, endPalette gives it back.
//
// `stored` may pass `count` for an .act alone, which holds 256 entries
// whatever its count says: EDGE PAL and .act write the first 256 entries
// stored, every other format the first `count` colours.
struct Palette {
    std::size_t count;   // colours in use
    std::size_t stored;  // entries held: `count`, or more for an .act
    std::size_t room;    // entries the memory holds
    Color* colors;       // `stored` of them
    NameRef* colorNames;
    NameRef name;
    // Every name's bytes, one after another.
    char* text;
    std::size_t textSize;
    std::size_t textRoom;
    // The colours still in their source's space, in index order.
    SourceColor* sourceColors;
    std::size_t sourceColorCount;
    std::size_t sourceColorRoom;
    bool outOfMemory;  // a name or a source colour could not be kept
};

// The most bytes a source of a format that needs all of its bytes may have:
// 65,535 colours whose names are 255 characters of four UTF-8 bytes (or of
// two UTF-16 units outside the Basic Multilingual Plane) take a GIMP
// palette or an ASE about 68 MB. A larger one is refused; EDGE PAL and
// .act, as ever, read their layout and ignore the rest.
constexpr std::size_t kMaxSourceSize = std::size_t{80} * 1024 * 1024;

// The first window of a source, read before its format is known: a source
// no larger holds all of it, and one more byte tells a source that has
// more. A format that reads its bytes whole then has the rest read in.
constexpr std::size_t kFirstWindowSize = std::size_t{1024} * 1024 + 1;

// Bytes in memory that grow as they are written, and are kept from one
// file to the next of a batch: a source read whole, an output encoded.
struct ByteBuffer {
    unsigned char* bytes;
    std::size_t room;
};

// Room for `size` bytes at least, keeping those held; false, with the
// buffer as it was, when the memory cannot be had.
bool reserveBytes(ByteBuffer* buffer, std::size_t size);
void endBytes(ByteBuffer* buffer);

// Why a reader refused a source. Where it says so, `at` is the line (text
// formats, from 1) or byte offset (binary ones, from 0) of the fault, `color`
// the colour's number (from 1), `value` the number read and `what` static
// words naming the field, block or library message concerned.
enum class ReadProblem {
    None,
    TooLarge,           // over the format's `largest` bytes
    UnknownPal,         // a .pal that is not EDGE PAL, JASC-PAL or RIFF
    UnknownKind,        // none of the formats of its extension, by its bytes
    NotThisFormat,      // the signature or first line is missing
    BadVersion,         // value: the version
    Truncated,          // at: where more bytes were needed
    SizePastEnd,        // at: the size field that points past the end
    CountMismatch,      // at: the count; value: the count
    TooManyColors,      // at: where a colour too many is; value: the most there may be
    NoColors,           //
    NumberTooLarge,     // at: line
    Malformed,          // at: line or offset
    BadHexDigit,        // at: line
    NameTooLong,        // at: the block; color
    UnsupportedSpace,   // at: offset; color; value: a ColorSpace
    BadFloat,           // at: offset; color: NaN, infinite or outside 0 to 1
    OutOfRange,         // at: offset; color; value: the ColorSpace whose range it leaves
    UnknownBlock,       // at: offset; value: the block type
    ExtraData,          // at: where bytes follow the last colour
    BadChannels,        // at: a GIMP palette's "Channels:" line that is not RGBA
    BadChecksum,        // a PNG chunk whose CRC does not match its data
    NoPngPalette,       // an indexed PNG without a valid PLTE chunk
    ImageSize,          // an image's width or height is 0 or over formats::kLargestImageSide
    BadImageData,       // at: where an image's pixel data is damaged or ends early
    ImageDataTooLarge,  // at: where an image's compressed data passes what its pixels need
    NotPaletteImage,    // an image of more than kMaxColors colours
    Unsupported,        // at: offset; what: the field; value: a value it may not have
    Missing,            // what: the chunk, lump or table the palette is in
    LibraryRefused,     // what: the words of the library that read the file
    // at: where the palette is, before what a source that can only be read
    // on (a pipe) has passed already
    BehindInStream,
    // at: line or offset; color: the colour, or 0; what: static words that
    // say all of what is refused there ("a DTD, whose entities are never
    // expanded")
    Refused,
};

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

// More colours than `most`, the most the format or the palette holds, at `at`.
constexpr ReadError tooManyColors(std::size_t at, std::size_t most = kMaxColors) {
    return readError(ReadProblem::TooManyColors, at, 0, static_cast<std::uint32_t>(most));
}

// A memory allocation that failed, as a reason.
constexpr ReadError kNoMemory = {ReadProblem::LibraryRefused, 0, 0, 0, "out of memory"};

constexpr bool refused(const ReadError& error) { return error.problem != ReadProblem::None; }

// An empty palette that holds no memory yet.
constexpr Palette kEmptyPalette = {};

// No colours, no names; the memory kept.
void clearPalette(Palette* palette);
void endPalette(Palette* palette);

// The palette's first `count` entries: those past `stored` added black and
// unnamed, those past `count` dropped. TooManyColors at `at` past
// kMaxColors, kNoMemory when the memory cannot be had.
ReadError resizePalette(Palette* palette, std::size_t count, std::size_t at);

// Colour `index`'s name, and the palette's.
NameText colorName(const Palette& palette, std::size_t index);
NameText paletteName(const Palette& palette);

// Keeps a CMYK or Lab swatch for the colour management; false when the
// memory cannot be had.
bool keepSourceColor(Palette* palette, const SourceColor& color);

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

// One format: a row of kFormats, its fields named where the row sets them.
// A reader is handed the source's bytes, at most `largest` of them, and
// fills an empty palette; a writer writes at most `capacity` colours into
// `bytes`, from its start, and returns their count, 0 when it could not
// have the memory.
struct Format {
    const char* name = nullptr;  // for --to and --from
    // ".pal", lower case: what it is written as; "" for none.
    const char* extension = "";
    // Other extensions it is read from, each with its dot and followed by a
    // space (".iff .bbm "), or null.
    const char* alsoReads = nullptr;
    const char* title = nullptr;  // for messages: "not a GIMP palette"
    // The colours it holds: more are refused, or with --truncate the first
    // this many written.
    std::size_t capacity = kMaxColors;
    // Bytes read at most. With `ignoresTail` the bytes past them are ignored,
    // else a source that has more is refused as TooLarge.
    std::uint64_t largest = kMaxSourceSize;
    // When several formats read an extension, the first whose `detect`
    // accepts the source's first bytes (all of them, for a source no larger
    // than kFirstWindowSize) reads it; null: a format that owns its
    // extensions.
    bool (*detect)(const unsigned char* bytes, std::size_t size) = nullptr;
    ReadError (*read)(const unsigned char* bytes, std::size_t size, Palette* palette) = nullptr;
    // Null for a format that is only read.
    std::size_t (*write)(const Palette& palette, ByteBuffer* bytes) = nullptr;
    bool ignoresTail = false;
    bool text = false;  // positions are lines, not byte offsets
    // Its writer writes a colour read as CMYK or Lab in that space, as it
    // was read (within the format's precision), and the others in RGB; in
    // every other format such a colour is its sRGB conversion.
    bool keepsCmykAndLab = false;
    // Non-null for a format read where it asks, never whole: `read` does the
    // same over bytes in memory. It fills the palette only when it accepts.
    ReadError (*readStream)(const ByteSource& source, Palette* palette) = nullptr;
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
