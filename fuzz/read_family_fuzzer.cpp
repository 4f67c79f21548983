// The readers of one family of formats (fuzz/families.txt) over any bytes,
// and nothing else, so that each input costs a read: the first byte picks
// the format among the family's rows, the rest is the source. The family's
// rows are KOLORVANE_FUZZ_ROWS, the names the build gives; with
// KOLORVANE_FUZZ_REST, also every row that no other family names
// (KOLORVANE_FUZZ_ELSEWHERE). Straight from libFuzzer's buffer, which is
// exactly that long on the heap, so a reader that reads past its source is
// caught. Whatever a reader accepts is a palette of 1 to 65,535 colours,
// with names of valid UTF-8, whose CMYK and Lab colours the colour
// management converts (through ISO Coated v2, as the command line does),
// each of them once. The writers have a target of their own.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
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
// order, is converted once, and kept for the writers that hold it.
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
    require(palette->sourceColorCount == kept, "every one is kept");
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

// The family's rows by name, the names of other families' rows, and
// whether the family also takes the rows no family names, as the build
// says.
constexpr const char* kRows = KOLORVANE_FUZZ_ROWS;
constexpr const char* kElsewhere = KOLORVANE_FUZZ_ELSEWHERE;
constexpr bool kTakesRest = KOLORVANE_FUZZ_REST != 0;

bool named(const char* names, const char* name) {
    const std::string padded = std::string(" ") + names + " ";
    return padded.find(std::string(" ") + name + " ") != std::string::npos;
}

// The family's rows: those it names, in the order it names them, then,
// with KOLORVANE_FUZZ_REST, those no family names, in the table's order.
std::vector<const Format*> familyRows() {
    std::vector<const Format*> rows;
    const std::string names(kRows);
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find(' ', at), names.size());
        const Format* format = formatNamed(names.substr(at, end - at).c_str());
        if (format != nullptr && format->read != nullptr) {
            rows.push_back(format);
        }
        at = end + 1;
    }
    for (std::size_t i = 0; kTakesRest && i < kFormatCount; i++) {
        if (kFormats[i].read != nullptr && !named(kRows, kFormats[i].name) &&
            !named(kElsewhere, kFormats[i].name)) {
            rows.push_back(&kFormats[i]);
        }
    }
    return rows;
}

const std::vector<const Format*>& rows() {
    static const std::vector<const Format*> family = familyRows();
    return family;
}

}  // namespace

}  // namespace kolorvane::fuzzing

// A family none of whose rows is in the table yet has nothing to fuzz: the
// run is skipped (77, which the test takes as skipped).
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    if (kolorvane::fuzzing::rows().empty()) {
        (void)std::fputs("none of the family's rows is in the table yet: " KOLORVANE_FUZZ_ROWS "\n",
                         stderr);
        std::exit(77);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolorvane;
    const std::vector<const Format*>& family = fuzzing::rows();
    if (size == 0) {
        return 0;
    }
    const Format& format = *family[data[0] % family.size()];
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
