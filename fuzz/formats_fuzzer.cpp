// Every format's reader over any bytes: the first byte picks the format (its
// row in the table), the rest is the source. Straight from libFuzzer's
// buffer, which is exactly that long on the heap, so a reader that reads
// past its source is caught. Whatever a reader accepts is a palette of 1 to
// 256 colours, with names of valid UTF-8, whose CMYK and Lab colours the
// colour management converts (through ISO Coated v2, as the command line
// does), each of them once; that its own writer writes and it reads back the
// same, colours and names, and that every other format carries as well.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "colour_management.h"
#include "format.h"
#include "fuzz_checks.h"

namespace kolorvane::fuzzing {

namespace {

using PalettePointer = std::unique_ptr<Palette>;

std::string text(const Name& name) { return std::string(name.bytes.data(), name.size); }

void setText(const std::string& text, Name* name) {
    std::memcpy(name->bytes.data(), text.data(), text.size());
    name->size = static_cast<std::uint16_t>(text.size());
}

// The name as a line of a GIMP palette holds it: each control character a
// space (C1 controls are two bytes in UTF-8), spaces at the ends trimmed.
std::string onOneLine(const std::string& name) {
    std::string line;
    for (std::size_t i = 0; i < name.size(); i++) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 =
            byte == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
        line += byte < 0x20 || byte == 0x7F || c1 ? ' ' : name[i];
        i += c1 ? 1 : 0;
    }
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? ""
                                      : line.substr(first, line.find_last_not_of(' ') - first + 1);
}

// The name ASE gives a colour without one.
std::string aseName(const Color& color) {
    return "R=" + std::to_string(color.red) + " G=" + std::to_string(color.green) +
           " B=" + std::to_string(color.blue);
}

// A name in an XML attribute: each control character but a tab and a line
// break, which XML cannot hold, a space.
std::string inXml(const std::string& name) {
    std::string kept = name;
    for (char& c : kept) {
        const auto byte = static_cast<unsigned char>(c);
        c = (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F ? ' ' : c;
    }
    return kept;
}

// The first kMaxNameCharacters characters of a name, as a reader keeps it.
std::string firstCharacters(const std::string& name) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size(); i++) {
        const bool starts = (static_cast<unsigned char>(name[i]) & 0xC0) != 0x80;
        if (starts && ++characters > kMaxNameCharacters) {
            return name.substr(0, i);
        }
    }
    return name;
}

// The names LibreOffice's and Scribus's palettes are written with: each its
// own, "#rrggbb" for a colour without one, " N" (N the colour's number) and
// then " 2", " 3"... after one taken.
void uniqueNames(const Palette& palette, Palette* expected) {
    std::set<std::string> taken;
    for (std::size_t i = 0; i < palette.count; i++) {
        std::string name = inXml(text(palette.colorNames[i]));
        if (name.empty()) {
            const Color& color = palette.colors[i];
            char hex[8] = {};
            std::snprintf(hex, sizeof hex, "#%02x%02x%02x", color.red, color.green, color.blue);
            name = hex;
        }
        if (!taken.insert(name).second) {
            const std::string numbered = name + " " + std::to_string(i + 1);
            name = numbered;
            for (std::size_t again = 2; !taken.insert(name).second; again++) {
                name = numbered + " " + std::to_string(again);
            }
        }
        setText(firstCharacters(name), &expected->colorNames[i]);
    }
}

// What `palette` becomes in `format`: EDGE PAL holds 256 entries, .act all
// 256 and the count, Animator Pro's .col, a palette lump and PCX 256
// entries, GIF a power of two from 2, black past the count, every other the
// first `count` colours; GIMP palettes
// keep every name on its line, .aco and .ase the colours' names, .ase naming
// those without one, and the rest no names.
PalettePointer carried(const Format& format, const Palette& palette) {
    auto expected = std::make_unique<Palette>(palette);
    const std::string name = format.name;
    if (name == "edge") {
        expected->count = kEntryCount;
    } else if (name != "act") {
        for (std::size_t i = palette.count; i < kEntryCount; i++) {
            expected->colors[i] = Color{0, 0, 0};
        }
    }
    if (name == "col" || name == "lmp" || name == "pcx") {
        expected->count = kEntryCount;
    }
    if (name == "gif") {
        expected->count = 2;
        while (expected->count < palette.count) {
            expected->count *= 2;
        }
    }
    setText(name == "gpl" ? onOneLine(text(palette.name)) : "", &expected->name);
    for (std::size_t i = 0; i < kEntryCount; i++) {
        const std::string given = i < palette.count ? text(palette.colorNames[i]) : "";
        std::string kept = name == "aco" || name == "ase" ? given : "";
        kept = name == "gpl" ? onOneLine(given) : kept;
        kept = name == "ase" && kept.empty() ? aseName(palette.colors[i]) : kept;
        setText(i < expected->count ? kept : "", &expected->colorNames[i]);
    }
    if (name == "soc" || name == "scribus") {
        setText(name == "scribus" ? inXml(text(palette.name)) : "", &expected->name);
        uniqueNames(palette, expected.get());
    }
    return expected;
}

bool sameNames(const Palette& a, const Palette& b) {
    for (std::size_t i = 0; i < a.count && i < kEntryCount; i++) {
        if (text(a.colorNames[i]) != text(b.colorNames[i])) {
            return false;
        }
    }
    return text(a.name) == text(b.name);
}

bool sameColors(const Palette& a, const Palette& b) {
    return a.count == b.count &&
           std::memcmp(a.colors.data(), b.colors.data(), sizeof(Color) * a.colors.size()) == 0;
}

// A format that keeps CMYK and Lab gives back the palette's source colours,
// within its precision, which are then the colours they were.
void checkSourcesCarried(const Format& format, const Palette& palette, Palette* back) {
    const bool kept = format.keepsCmykAndLab;
    require(back->sourceColorCount == (kept ? palette.sourceColorCount : 0),
            "CMYK and Lab are kept where the format holds them");
    for (std::size_t i = 0; i < back->sourceColorCount; i++) {
        const SourceColor& got = back->sourceColors[i];
        const SourceColor& given = palette.sourceColors[i];
        bool near = got.index == given.index && got.space == given.space;
        for (std::size_t c = 0; c < 4; c++) {
            near = near && std::fabs(got.values[c] - given.values[c]) <= 0.01;
        }
        require(near, "CMYK and Lab come back within the format's precision");
        back->colors[got.index] = palette.colors[got.index];
    }
    back->sourceColorCount = 0;
}

void checkCarried(const Format& format, const Palette& palette) {
    if (format.write == nullptr) {
        return;  // a format that is only read
    }
    auto bytes = std::make_unique<EncodedBytes>();
    const std::size_t size = format.write(palette, bytes.get());
    require(size > 0 && size <= bytes->size(), "every palette fits the writer's buffer");
    if (format.read == nullptr) {
        return;  // a format that is only written
    }
    auto back = std::make_unique<Palette>();
    clearPalette(back.get());
    require(!refused(format.read(bytes->data(), size, back.get())),
            "a written palette is read back");
    checkSourcesCarried(format, palette, back.get());
    const PalettePointer expected = carried(format, palette);
    require(sameColors(*back, *expected), "the colours come back as written");
    require(sameNames(*back, *expected), "the names come back as written");
}

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

// Every name holds valid UTF-8 of at most 255 characters and no zero byte.
bool validName(const Name& name) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < name.size; i++) {
        const auto byte = static_cast<unsigned char>(name.bytes[i]);
        characters += (byte & 0xC0) != 0x80 ? 1 : 0;
        if (byte == 0 || byte == 0xC0 || byte == 0xC1 || byte > 0xF4) {
            return false;
        }
    }
    return characters <= kMaxNameCharacters && name.size <= kMaxNameBytes;
}

}  // namespace

}  // namespace kolorvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolorvane;
    if (size == 0) {
        return 0;
    }
    const Format& format = kFormats[data[0] % kFormatCount];
    if (format.read == nullptr) {
        return 0;  // a format that is only written
    }
    std::size_t length = size - 1;
    if (length > format.largest) {
        if (!format.ignoresTail) {
            return 0;  // refused as too large before any reader sees it
        }
        length = static_cast<std::size_t>(format.largest);
    }
    auto palette = std::make_unique<Palette>();
    clearPalette(palette.get());
    if (refused(format.read(data + 1, length, palette.get()))) {
        return 0;
    }
    fuzzing::require(palette->count >= 1 && palette->count <= kEntryCount, "1 to 256 colours");
    fuzzing::require(fuzzing::validName(palette->name), "the palette's name is valid");
    for (const Name& name : palette->colorNames) {
        fuzzing::require(fuzzing::validName(name), "every colour's name is valid");
    }
    fuzzing::checkConverted(palette.get());
    for (std::size_t i = 0; i < kFormatCount; i++) {
        fuzzing::checkCarried(kFormats[i], *palette);
    }
    return 0;
}
