// The table of formats: a format is added here, by its row, and in a file
// of its own with its reader and writer.
#include <algorithm>
#include <cstring>

#include "format.h"
#include "readers.h"

namespace kolorvane {

namespace {

constexpr std::size_t kExtensionSize = 4;
constexpr std::size_t kActLargest = kColorTableSize + 5;  // to tell the 772-byte form
// Sprite sheets pass the text formats' limit by far.
constexpr std::size_t kPngLargest = std::size_t{64} * 1024 * 1024;

}  // namespace

// EDGE PAL first among the .pal formats, so that the formats sharing its
// extension are tried after it.
const Format kFormats[] = {
    {"edge", ".pal", "EDGE PAL", kEdgePalSize, formats::detectEdge, formats::readEdge,
     formats::writeEdge, true, false, nullptr},
    {"act", ".act", "Adobe colour table", kActLargest, nullptr, formats::readAct, formats::writeAct,
     true, false, nullptr},
    {"jasc", ".pal", "JASC-PAL palette", kMaxSourceSize, formats::detectJasc, formats::readJasc,
     formats::writeJasc, false, true, nullptr},
    {"riff", ".pal", "Microsoft RIFF palette", kMaxSourceSize, formats::detectRiff,
     formats::readRiff, formats::writeRiff, false, false, nullptr},
    {"gpl", ".gpl", "GIMP palette", kMaxSourceSize, nullptr, formats::readGpl, formats::writeGpl,
     false, true, nullptr},
    {"hex", ".hex", "hex palette", kMaxSourceSize, nullptr, formats::readHex, formats::writeHex,
     false, true, nullptr},
    {"paintnet", ".txt", "Paint.NET palette", kMaxSourceSize, nullptr, formats::readPaintNet,
     formats::writePaintNet, false, true, nullptr},
    {"aco", ".aco", "Photoshop swatch file", kMaxSourceSize, nullptr, formats::readAco,
     formats::writeAco, false, false, nullptr},
    {"ase", ".ase", "Adobe Swatch Exchange file", kMaxSourceSize, nullptr, formats::readAse,
     formats::writeAse, false, false, nullptr},
    {"png", ".png", "PNG image", kPngLargest, nullptr, formats::readPng, formats::writePng, false,
     false, formats::readPngStream},
};

const std::size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

const Format* formatNamed(const char* name) {
    for (const Format& format : kFormats) {
        if (std::strcmp(format.name, name) == 0) {
            return &format;
        }
    }
    return nullptr;
}

const Format* formatOfExtension(const char* path) {
    const std::size_t length = pathLength(path);
    if (length >= kMaxPath || length < kExtensionSize) {
        return nullptr;
    }
    const char* tail = path + length - kExtensionSize;
    const Format* end = kFormats + kFormatCount;
    const Format* found = std::find_if(kFormats, end, [tail](const Format& format) {
        return equalsIgnoreCaseN(tail, format.extension, kExtensionSize);
    });
    return found == end ? nullptr : found;
}

const Format* detectFormat(const Format& extension, const unsigned char* bytes, std::size_t size,
                           ReadError* error) {
    for (const Format* format = &extension; format < kFormats + kFormatCount; format++) {
        if (std::strcmp(format->extension, extension.extension) == 0 &&
            (format->detect == nullptr || format->detect(bytes, size))) {
            *error = kReadOk;
            return format;
        }
    }
    *error = readError(ReadProblem::UnknownPal);
    return nullptr;
}

const Format& defaultTarget(const Format& source) {
    return *formatNamed(std::strcmp(source.extension, kFormats[0].extension) == 0 ? "act" : "edge");
}

}  // namespace kolorvane
