// Every format's reader over any bytes: the first byte picks the format (its
// row in the table), the rest is the source. Straight from libFuzzer's
// buffer, which is exactly that long on the heap, so a reader that reads
// past its source is caught. Whatever a reader accepts is a palette of 1 to
// 256 colours that its own writer writes and it reads back the same, and
// that every other format carries as well.
#include <cstdint>
#include <cstring>

#include "format.h"
#include "fuzz_checks.h"

namespace kolorvane::fuzzing {

namespace {

bool sameColors(const Palette& a, const Palette& b) {
    return a.count == b.count &&
           std::memcmp(a.colors.data(), b.colors.data(), sizeof(Color) * a.colors.size()) == 0;
}

// What `palette` becomes in `format`: EDGE PAL holds 256 entries, .act all
// 256 and the count, every other the first `count` colours.
Palette carried(const Format& format, const Palette& palette) {
    Palette expected = palette;
    if (&format == formatNamed("edge")) {
        expected.count = kEntryCount;
    } else if (&format != formatNamed("act")) {
        for (std::size_t i = palette.count; i < kEntryCount; i++) {
            expected.colors[i] = Color{0, 0, 0};
        }
    }
    return expected;
}

void checkCarried(const Format& format, const Palette& palette) {
    EncodedBytes bytes{};
    const std::size_t size = format.write(palette, &bytes);
    require(size > 0 && size <= bytes.size(), "every palette fits the writer's buffer");
    Palette back{};
    require(!refused(format.read(bytes.data(), size, &back)), "a written palette is read back");
    require(sameColors(back, carried(format, palette)), "the colours come back as written");
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
        length = format.largest;
    }
    Palette palette{};
    if (refused(format.read(data + 1, length, &palette))) {
        return 0;
    }
    fuzzing::require(palette.count >= 1 && palette.count <= kEntryCount, "1 to 256 colours");
    fuzzing::checkCarried(format, palette);
    for (std::size_t i = 0; i < kFormatCount; i++) {
        fuzzing::checkCarried(kFormats[i], palette);
    }
    return 0;
}
