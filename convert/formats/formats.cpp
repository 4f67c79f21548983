// The table of formats: a format is added here, by its row, and in a file
// of its own with its reader and writer.
#include <cstring>

#include "format.h"
#include "readers.h"

namespace kolorvane {

namespace {

constexpr std::size_t kExtensionSize = 4;
constexpr std::size_t kActLargest = kColorTableSize + 5;  // to tell the 772-byte form

}  // namespace

// EDGE PAL first among the .pal formats, so that the formats sharing its
// extension are tried after it.
const Format kFormats[] = {
    {"edge", ".pal", "EDGE PAL", false, kEdgePalSize, true, formats::detectEdge,
     formats::readEdge, formats::writeEdge},
    {"act", ".act", "Adobe colour table", false, kActLargest, true, nullptr, formats::readAct,
     formats::writeAct},
    {"jasc", ".pal", "JASC-PAL palette", true, kMaxSourceSize, false, formats::detectJasc,
     formats::readJasc, formats::writeJasc},
    {"riff", ".pal", "Microsoft RIFF palette", false, kMaxSourceSize, false, formats::detectRiff,
     formats::readRiff, formats::writeRiff},
    {"gpl", ".gpl", "GIMP palette", true, kMaxSourceSize, false, nullptr, formats::readGpl,
     formats::writeGpl},
    {"hex", ".hex", "hex palette", true, kMaxSourceSize, false, nullptr, formats::readHex,
     formats::writeHex},
    {"paintnet", ".txt", "Paint.NET palette", true, kMaxSourceSize, false, nullptr,
     formats::readPaintNet, formats::writePaintNet},
    {"aco", ".aco", "Photoshop swatch file", false, kMaxSourceSize, false, nullptr,
     formats::readAco, formats::writeAco},
    {"ase", ".ase", "Adobe Swatch Exchange file", false, kMaxSourceSize, false, nullptr,
     formats::readAse, formats::writeAse},
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
    for (const Format& format : kFormats) {
        if (equalsIgnoreCaseN(path + length - kExtensionSize, format.extension, kExtensionSize)) {
            return &format;
        }
    }
    return nullptr;
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
