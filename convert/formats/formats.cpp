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
     formats::writeAco, false, false, nullptr},
    {"ase", ".ase", nullptr, "Adobe Swatch Exchange file", kMaxSourceSize, nullptr,
     formats::readAse, formats::writeAse, false, false, nullptr},
    {"png", ".png", nullptr, "PNG image", kImageLargest, nullptr, formats::readPng,
     formats::writePng, false, false, formats::readPngStream},
    {"bmp", ".bmp", nullptr, "BMP image", kImageLargest, nullptr, formats::readBmp,
     formats::writeBmp, false, false, formats::readBmpStream},
    {"pcx", ".pcx", nullptr, "PCX image", kImageLargest, nullptr, formats::readPcx,
     formats::writePcx, false, false, formats::readPcxStream},
    {"tga", ".tga", nullptr, "TGA image", kImageLargest, nullptr, formats::readTga,
     formats::writeTga, false, false, formats::readTgaStream},
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

std::size_t extensionLength(const Format& format, const char* path) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath) {
        return 0;
    }
    const char* end = path + length;
    if (endsIn(end, length, format.extension)) {
        return std::strlen(format.extension);
    }
    // The other extensions, one after another, each ending in a space.
    char extension[kMaxPath] = {};
    for (const char* next = format.alsoReads; next != nullptr && *next != '\0';) {
        const char* space = std::strchr(next, ' ');
        const std::size_t size =
            space == nullptr ? std::strlen(next) : static_cast<std::size_t>(space - next);
        std::memcpy(extension, next, size);
        extension[size] = '\0';
        if (endsIn(end, length, extension)) {
            return size;
        }
        next = space == nullptr ? next + size : space + 1;
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
