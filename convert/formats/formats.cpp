// The table of formats: a format is added here, by its row, and in a file
// of its own with its reader and writer.
#include <algorithm>
#include <cstring>

#include "format.h"
#include "readers.h"

namespace kolorvane {

namespace {

constexpr std::uint64_t kActLargest = kColorTableSize + 5;  // to tell the 772-byte form
// Sprite sheets pass the text formats' limit by far.
constexpr std::uint64_t kImageLargest = std::uint64_t{64} * 1024 * 1024;
// A format read at a few places, never whole, whatever the source's size.
constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

}  // namespace

// EDGE PAL first among the .pal formats, so that the formats sharing its
// extension are tried after it.
const Format kFormats[] = {
    {"edge", ".pal", nullptr, "EDGE PAL", kEdgePalSize, formats::detectEdge, formats::readEdge,
     formats::writeEdge, true, false, nullptr},
    {"act", ".act", nullptr, "Adobe colour table", kActLargest, nullptr, formats::readAct,
     formats::writeAct, true, false, nullptr},
    {"jasc", ".pal", nullptr, "JASC-PAL palette", kMaxSourceSize, formats::detectJasc,
     formats::readJasc, formats::writeJasc, false, true, nullptr},
    {"riff", ".pal", nullptr, "Microsoft RIFF palette", kMaxSourceSize, formats::detectRiff,
     formats::readRiff, formats::writeRiff, false, false, nullptr},
    {"gpl", ".gpl", nullptr, "GIMP palette", kMaxSourceSize, nullptr, formats::readGpl,
     formats::writeGpl, false, true, nullptr},
    {"hex", ".hex", nullptr, "hex palette", kMaxSourceSize, nullptr, formats::readHex,
     formats::writeHex, false, true, nullptr},
    {"paintnet", ".txt", nullptr, "Paint.NET palette", kMaxSourceSize, nullptr,
     formats::readPaintNet, formats::writePaintNet, false, true, nullptr},
    {"aco", ".aco", nullptr, "Photoshop swatch file", kMaxSourceSize, nullptr, formats::readAco,
     formats::writeAco, false, false, nullptr, true},
    {"ase", ".ase", nullptr, "Adobe Swatch Exchange file", kMaxSourceSize, nullptr,
     formats::readAse, formats::writeAse, false, false, nullptr, true},
    {"png", ".png", nullptr, "PNG image", kImageLargest, nullptr, formats::readPng,
     formats::writePng, false, false, formats::readPngStream},
    {"bmp", ".bmp", nullptr, "BMP image", kImageLargest, nullptr, formats::readBmp,
     formats::writeBmp, false, false, formats::readBmpStream},
    {"pcx", ".pcx", nullptr, "PCX image", kImageLargest, nullptr, formats::readPcx,
     formats::writePcx, false, false, formats::readPcxStream},
    {"tga", ".tga", nullptr, "TGA image", kImageLargest, nullptr, formats::readTga,
     formats::writeTga, false, false, formats::readTgaStream},
    {"gif", ".gif", nullptr, "GIF image", kImageLargest, nullptr, formats::readGif,
     formats::writeGif, false, false, formats::readGifStream},
    // The palettes of retro tools and games. Animator Pro's row owns .col,
    // whose other formats follow it and are told apart by their bytes; the
    // last row owns an extension, for the list of extensions in messages.
    {"col", ".col", nullptr, "Animator Pro palette", kMaxSourceSize, formats::detectCol,
     formats::readCol, formats::writeCol, false, false, nullptr},
    {"vga", "", ".col ", "6-bit VGA palette", kMaxSourceSize, formats::detectVga, formats::readVga,
     nullptr, false, false, nullptr},
    {"nes", "", nullptr, "NES palette", kMaxSourceSize, nullptr, formats::readNes, nullptr, false,
     false, nullptr},
    {"ilbm", ".lbm", ".iff .bbm .ilbm .col ", "IFF ILBM image", kImageLargest, formats::detectIlbm,
     formats::readIlbm, formats::writeIlbm, false, false, formats::readIlbmStream},
    {"lmp", ".lmp", nullptr, "Quake or Doom palette lump", kMaxSourceSize, nullptr,
     formats::readLmp, formats::writeLmp, false, false, nullptr},
    {"wad", ".wad", nullptr, "Doom WAD", kNoLimit, nullptr, formats::readWad, nullptr, false, false,
     formats::readWadStream},
    // The designer's palettes.
    {"acb", ".acb", nullptr, "Adobe colour book", kMaxSourceSize, nullptr, formats::readAcb,
     nullptr, false, false, nullptr},
    {"soc", ".soc", nullptr, "LibreOffice palette", kMaxSourceSize, nullptr, formats::readSoc,
     formats::writeSoc, false, true, nullptr},
    {"scribus", ".xml", nullptr, "Scribus swatch file", kMaxSourceSize, nullptr,
     formats::readScribus, formats::writeScribus, false, true, nullptr, true},
    {"css", ".css", nullptr, "CSS custom properties", kMaxSourceSize, nullptr, nullptr,
     formats::writeCss, false, true, nullptr},
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
