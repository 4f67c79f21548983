#include "dropped_file.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "notices.h"

namespace kolorvane {

namespace {

void showNotice(const Platform& platform, const char* text, const char* caption) {
    platform.showNotice(platform.context, text, caption);
}

}  // namespace

SourceResult readSource(const Platform& platform, const char* path, PaletteKind kind,
                        PalettePlanes* planes) {
    if (kind == PaletteKind::Unsupported) {
        return {SourceStatus::NotOpened, kSucceeded, {}};
    }
    std::array<unsigned char, kEdgePalSize> bytes{};
    const std::size_t capacity = kind == PaletteKind::EdgePal ? kEdgePalSize : kColorTableSize;
    std::size_t size = 0;
    const SourceResult result = readSourceBytes(platform, path, bytes.data(), capacity, &size);
    if (result.status != SourceStatus::Read) {
        return result;
    }
    // Decode into a zeroed copy, so that a refused header leaves the caller's
    // planes as they were.
    PalettePlanes read{};
    if (!decodePalette(kind, bytes.data(), size, &read)) {
        return {SourceStatus::BadHeader, kSucceeded, {}};
    }
    *planes = read;
    return result;
}

std::size_t encodeConversion(PaletteKind sourceKind, const PalettePlanes& planes,
                             std::array<unsigned char, kEdgePalSize>* bytes) {
    return encodePalette(
        sourceKind == PaletteKind::EdgePal ? PaletteKind::ColorTable : PaletteKind::EdgePal, planes,
        bytes);
}

void handleDroppedFile(const Platform& platform, const char* path) {
    // Everything the name decides is settled before any file is touched: a
    // path that is no full path of a .pal or .act file opens nothing. A
    // separator in the first byte alone ("\x.pal") is no folder to make
    // current.
    const PathRules rules = {"\\", platform.isLeadByte};
    PathPlan plan{};
    if (planPaths(path, rules, nullptr, &plan) != PlanStatus::Planned ||
        plan.sourceFolderLength <= 1) {
        showNotice(platform, kUnsupportedText, kWarningCaption);
        return;
    }

    PalettePlanes planes{};
    const SourceResult source = readSource(platform, path, plan.kind, &planes);
    switch (source.status) {
        case SourceStatus::Read:
            break;
        case SourceStatus::BadHeader:
            showNotice(platform, kBadHeaderText, kWarningCaption);
            return;
        case SourceStatus::NotOpened:
        case SourceStatus::Failed:
            return;
    }

    // The output is created by its bare name beside the source. Should the
    // source's directory not become current, writing would land wherever the
    // current directory happens to be, so nothing is written at all.
    if (failed(platform.setCurrentDirectory(platform.context, plan.folder))) {
        return;
    }
    std::array<unsigned char, kEdgePalSize> bytes{};
    const std::size_t size = encodeConversion(plan.kind, planes, &bytes);
    if (writeOutput(platform, bytes.data(), size, "", plan.output, ExistingOutput::Replace,
                    source.identity)
            .status != WriteStatus::Written) {
        return;
    }
    showNotice(platform, kConvertedText, kConfirmCaption);
}

}  // namespace kolorvane