// Every format's reader over any bytes, and nothing else, so that each
// input costs a read: the first byte picks the format (its row in the
// table), the rest is the source. Straight from libFuzzer's buffer, which is
// exactly that long on the heap, so a reader that reads past its source is
// caught. Whatever a reader accepts is a palette of 1 to 65,535 colours,
// with names of valid UTF-8, whose CMYK and Lab colours the colour
// management converts (through ISO Coated v2, as the command line does),
// each of them once. The writers have a target of their own.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "colour_management.h"
#include "format.h"
#include "fuzz_checks.h"
#include "name_checks.h"

namespace kolorvane::fuzzing {

namespace {

// The run's colour management, for every input, as the command line keeps
// one for every FILE of a run: its transforms made at the first colour that
// needs them.
ColorManagement& colorManagement() {
    static const std::vector<unsigned char> profile = [] {
        std::ifstream file(KOLORVANE_CMYK_PROFILE_FILE, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>());
    }();
    static ColorManagement management = startColorManagement(profile.data(), profile.size());
    return management;
}

// Each CMYK and Lab colour a reader kept, in the palette's range and in
// order, is converted once, and none is left.
void checkConverted(Palette* palette) {
    const std::size_t kept = palette->sourceColorCount;
    require(kept <= palette->count, "no more colours kept than read");
    for (std::size_t i = 0; i < kept; i++) {
        const SourceColor& source = palette->sourceColors[i];
        require(source.index < palette->count &&
                    (i == 0 || palette->sourceColors[i - 1].index < source.index),
                "kept colours are the palette's, in order");
    }
    ConvertedCounts counts{};
    require(convertSourceColors(&colorManagement(), palette, &counts),
            "the built-in profile converts");
    require(counts.cmyk + counts.lab == kept, "every kept colour is converted");
    require(counts.outside <= kept, "only converted colours are clipped");
    require(palette->sourceColorCount == 0, "none is left to convert");
}

void checkRead(const Palette& palette) {
    require(palette.count >= 1 && palette.count <= kMaxColors, "1 to 65,535 colours");
    require(palette.stored >= palette.count && palette.stored <= palette.room,
            "the colours stored are held");
    require(!palette.outOfMemory, "every name was kept");
    require(validName(palette, palette.name), "the palette's name is valid");
    for (std::size_t i = 0; i < palette.stored; i++) {
        require(validName(palette, palette.colorNames[i]), "every colour's name is valid");
    }
}

}  // namespace

}  // namespace kolorvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolorvane;
    if (size == 0) {
        return 0;
    }
    const Format& format = kFormats[data[0] % kFormatCount];
    std::size_t length = size - 1;
    if (length > format.largest) {
        if (!format.ignoresTail) {
            return 0;  // refused as too large before any reader sees it
        }
        length = static_cast<std::size_t>(format.largest);
    }
    // One palette for the run, as a batch keeps one: what a source before
    // left in its memory must never show through.
    static Palette palette = kEmptyPalette;
    clearPalette(&palette);
    if (!refused(format.read(data + 1, length, &palette))) {
        fuzzing::checkRead(palette);
        fuzzing::checkConverted(&palette);
    }
    return 0;
}
