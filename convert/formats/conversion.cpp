#include "conversion.h"

#include <cstring>

#include "names.h"

namespace kolorvane {

namespace {

// The most bytes any format of `extension`'s reads.
std::size_t largestOf(const Format& extension) {
    std::size_t largest = 0;
    for (std::size_t i = 0; i < kFormatCount; i++) {
        const Format& format = kFormats[i];
        if (std::strcmp(format.extension, extension.extension) == 0 && format.largest > largest) {
            largest = format.largest;
        }
    }
    return largest;
}

// The source's bytes as `format` takes them: those past what it reads
// ignored, or a source that has more refused.
ReadError decode(const Format& format, const unsigned char* bytes, std::size_t size,
                 Palette* palette) {
    if (size > format.largest) {
        if (!format.ignoresTail) {
            return readError(ReadProblem::TooLarge);
        }
        size = format.largest;
    }
    clearPalette(palette);
    return format.read(bytes, size, palette);
}

}  // namespace

PlanStatus planConversion(const char* path, const PathRules& rules, const char* outputFolder,
                          const Format* to, ConversionPlan* plan) {
    if (pathLength(path) >= kMaxPath) {
        return PlanStatus::PathTooLong;
    }
    plan->extension = formatOfExtension(path);
    if (plan->extension == nullptr) {
        return PlanStatus::Unsupported;
    }
    plan->target = to != nullptr ? to : &defaultTarget(*plan->extension);
    return placeOutput(path, rules, outputFolder, plan->target->extension, &plan->paths);
}

void nameAfterOutput(const ConversionPlan& plan, NameToUtf8 toUtf8, Palette* palette) {
    if (palette->name.size != 0) {
        return;
    }
    // Every format's extension is four bytes, and the output's name ends in one.
    const char* output = plan.paths.output;
    const std::size_t length = pathLength(output) - std::strlen(plan.target->extension);
    char utf8[4 * kMaxPath];
    const std::size_t size = toUtf8 == nullptr ? length : toUtf8(output, length, utf8, sizeof utf8);
    const char* text = toUtf8 == nullptr ? output : utf8;
    formats::nameFromText(reinterpret_cast<const unsigned char*>(text), size, &palette->name);
}

PaletteSource readPaletteSource(const Platform& platform, const char* path, const Format& extension,
                                unsigned char* buffer, Palette* palette) {
    // One byte past the most the formats read, to tell a source that has more.
    const std::size_t capacity = largestOf(extension) + 1;
    std::size_t size = 0;
    PaletteSource result = {readSourceBytes(platform, path, buffer, capacity, &size), kReadOk,
                            nullptr};
    if (result.source.status != SourceStatus::Read) {
        return result;
    }
    result.format = detectFormat(extension, buffer, size, &result.error);
    if (result.format != nullptr) {
        result.error = decode(*result.format, buffer, size, palette);
    }
    return result;
}

}  // namespace kolorvane
