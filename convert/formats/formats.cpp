// The table of formats: a format is added here, by its row, and in a file
// of its own with its reader and writer.
#include <algorithm>
#include <cstring>

#include "format.h"
#include "image.h"
#include "readers.h"

namespace kolorvane {

namespace {

constexpr std::uint64_t kActLargest = kColorTableSize + 5;  // to tell the 772-byte form
// A format read at a few places, never whole, whatever the source's size.
constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};
// What the formats of one table of 256 entries hold.
constexpr std::size_t kTable = kEntryCount;
constexpr std::size_t kGrid = formats::kLargestSwatchGrid;
constexpr std::uint64_t kImage = formats::kLargestImageSource;

}  // namespace

// EDGE PAL first among the .pal formats, so that the formats sharing its
// extension are tried after it.
const Format kFormats[] = {
    {.name = "edge",
     .extension = ".pal",
     .title = "EDGE PAL",
     .capacity = kTable,
     .largest = kEdgePalSize,
     .detect = formats::detectEdge,
     .read = formats::readEdge,
     .write = formats::writeEdge,
     .ignoresTail = true},
    {.name = "act",
     .extension = ".act",
     .title = "Adobe colour table",
     .capacity = kTable,
     .largest = kActLargest,
     .read = formats::readAct,
     .write = formats::writeAct,
     .ignoresTail = true},
    // Written for Paint Shop Pro, whose palettes stop at 256; read at any
    // count.
    {.name = "jasc",
     .extension = ".pal",
     .title = "JASC-PAL palette",
     .capacity = kTable,
     .detect = formats::detectJasc,
     .read = formats::readJasc,
     .write = formats::writeJasc,
     .text = true},
    {.name = "riff",
     .extension = ".pal",
     .title = "Microsoft RIFF palette",
     .detect = formats::detectRiff,
     .read = formats::readRiff,
     .write = formats::writeRiff},
    {.name = "gpl",
     .extension = ".gpl",
     .title = "GIMP palette",
     .read = formats::readGpl,
     .write = formats::writeGpl,
     .text = true},
    {.name = "hex",
     .extension = ".hex",
     .title = "hex palette",
     .read = formats::readHex,
     .write = formats::writeHex,
     .text = true},
    // Paint.NET's palettes hold 96 colours; read at any count.
    {.name = "paintnet",
     .extension = ".txt",
     .title = "Paint.NET palette",
     .capacity = 96,
     .read = formats::readPaintNet,
     .write = formats::writePaintNet,
     .text = true},
    {.name = "aco",
     .extension = ".aco",
     .title = "Photoshop swatch file",
     .read = formats::readAco,
     .write = formats::writeAco,
     .keepsCmykAndLab = true},
    {.name = "ase",
     .extension = ".ase",
     .title = "Adobe Swatch Exchange file",
     .read = formats::readAse,
     .write = formats::writeAse,
     .keepsCmykAndLab = true},
    {.name = "png",
     .extension = ".png",
     .title = "PNG image",
     .capacity = kGrid,
     .largest = kImage,
     .read = formats::readPng,
     .write = formats::writePng,
     .readStream = formats::readPngStream},
    {.name = "bmp",
     .extension = ".bmp",
     .title = "BMP image",
     .capacity = kGrid,
     .largest = kImage,
     .read = formats::readBmp,
     .write = formats::writeBmp,
     .readStream = formats::readBmpStream},
    {.name = "pcx",
     .extension = ".pcx",
     .title = "PCX image",
     .capacity = kTable,
     .largest = kImage,
     .read = formats::readPcx,
     .write = formats::writePcx,
     .readStream = formats::readPcxStream},
    {.name = "tga",
     .extension = ".tga",
     .title = "TGA image",
     .capacity = kGrid,
     .largest = kImage,
     .read = formats::readTga,
     .write = formats::writeTga,
     .readStream = formats::readTgaStream},
    {.name = "gif",
     .extension = ".gif",
     .title = "GIF image",
     .capacity = kTable,
     .largest = kImage,
     .read = formats::readGif,
     .write = formats::writeGif,
     .readStream = formats::readGifStream},
    // The palettes of retro tools and games. Animator Pro's row owns .col,
    // whose other formats follow it and are told apart by their bytes; the
    // last row owns an extension, for the list of extensions in messages.
    {.name = "col",
     .extension = ".col",
     .title = "Animator Pro palette",
     .capacity = kTable,
     .detect = formats::detectCol,
     .read = formats::readCol,
     .write = formats::writeCol},
    {.name = "vga",
     .alsoReads = ".col ",
     .title = "6-bit VGA palette",
     .capacity = kTable,
     .detect = formats::detectVga,
     .read = formats::readVga},
    {.name = "nes", .title = "NES palette", .capacity = 64, .read = formats::readNes},
    {.name = "ilbm",
     .extension = ".lbm",
     .alsoReads = ".iff .bbm .ilbm .col ",
     .title = "IFF ILBM image",
     .capacity = kTable,
     .largest = kImage,
     .detect = formats::detectIlbm,
     .read = formats::readIlbm,
     .write = formats::writeIlbm,
     .readStream = formats::readIlbmStream},
    {.name = "lmp",
     .extension = ".lmp",
     .title = "Quake or Doom palette lump",
     .capacity = kTable,
     .read = formats::readLmp,
     .write = formats::writeLmp},
    {.name = "wad",
     .extension = ".wad",
     .title = "Doom WAD",
     .capacity = kTable,
     .largest = kNoLimit,
     .read = formats::readWad,
     .readStream = formats::readWadStream},
    // The designer's palettes.
    {.name = "acb", .extension = ".acb", .title = "Adobe colour book", .read = formats::readAcb},
    {.name = "soc",
     .extension = ".soc",
     .title = "LibreOffice palette",
     .read = formats::readSoc,
     .write = formats::writeSoc,
     .text = true},
    {.name = "scribus",
     .extension = ".xml",
     .title = "Scribus swatch file",
     .read = formats::readScribus,
     .write = formats::writeScribus,
     .text = true,
     .keepsCmykAndLab = true},
    {.name = "css",
     .extension = ".css",
     .title = "CSS custom properties",
     .write = formats::writeCss,
     .text = true},
};

const std::size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

namespace {

// Whether the `length` bytes before `end` are `extension`, ASCII case
// ignored.
bool endsIn(const char* end, std::size_t length, const char* extension) {
    const std::size_t size = std::strlen(extension);
    return size != 0 && size <= length && equalsIgnoreCaseN(end - size, extension, size);
}

}  // namespace

const Format* formatNamed(const char* name) {
    for (const Format& format : kFormats) {
        if (std::strcmp(format.name, name) == 0) {
            return &format;
        }
    }
    return nullptr;
}

bool readExtension(const Format& format, std::size_t n, char* extension) {
    if (format.read == nullptr && format.readStream == nullptr) {
        return false;  // written only
    }
    const bool own = format.extension[0] != '\0';
    const char* word = format.extension;
    std::size_t size = own && n == 0 ? std::strlen(format.extension) : 0;
    // The other extensions, one after another, each ending in a space.
    const char* next = own && n == 0 ? nullptr : format.alsoReads;
    for (std::size_t i = own ? 1 : 0; next != nullptr && *next != '\0' && i <= n; i++) {
        const char* space = std::strchr(next, ' ');
        const std::size_t length =
            space == nullptr ? std::strlen(next) : static_cast<std::size_t>(space - next);
        word = next;
        size = i == n ? length : 0;
        next = space == nullptr ? next + length : space + 1;
    }
    if (size == 0 || size >= kMaxPath) {
        return false;
    }
    std::memcpy(extension, word, size);
    extension[size] = '\0';
    return true;
}

std::size_t extensionLength(const Format& format, const char* path) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath) {
        return 0;
    }
    char extension[kMaxPath] = {};
    for (std::size_t n = 0; readExtension(format, n, extension); n++) {
        if (endsIn(path + length, length, extension)) {
            return std::strlen(extension);
        }
    }
    return 0;
}

const Format* formatOfExtension(const char* path) {
    const Format* end = kFormats + kFormatCount;
    const Format* found = std::find_if(
        kFormats, end, [path](const Format& format) { return extensionLength(format, path) != 0; });
    return found == end ? nullptr : found;
}

const Format* detectFormat(const char* path, const unsigned char* bytes, std::size_t size,
                           ReadError* error) {
    const Format* first = formatOfExtension(path);
    for (const Format* format = first; format != nullptr && format < kFormats + kFormatCount;
         format++) {
        if (extensionLength(*format, path) != 0 &&
            (format->detect == nullptr || format->detect(bytes, size))) {
            *error = kReadOk;
            return format;
        }
    }
    *error = readError(first == kFormats ? ReadProblem::UnknownPal : ReadProblem::UnknownKind);
    return nullptr;
}

const Format& defaultTarget(const Format& source) {
    return *formatNamed(&source == kFormats ? "act" : "edge");
}

}  // namespace kolorvane
