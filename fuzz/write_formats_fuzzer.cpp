// Every format's writer over palettes made from any bytes, each read back by
// the format's own reader: the first byte picks a format both written and
// read, the next two the count of colours (up to 16 mostly; when the first
// of them is 0xE0 or more, up to as many as the format does anything new
// with, see mostWorth), then the palette's name and the colours, each of
// three bytes and a name, taken round from the bytes that follow. What comes
// back is what the format carries: the colours, in order, and the names the
// format keeps.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "colour_names.h"
#include "format.h"
#include "fuzz_checks.h"
#include "name_checks.h"

namespace kolorvane::fuzzing {

namespace {

// A palette of up to kSmall colours unless the count's first byte is from
// kLargeFrom: an eighth of the inputs reach further, and the rest, which
// find as many paths, cost a few colours each rather than a hundred.
constexpr unsigned kLargeFrom = 0xE0;
constexpr std::size_t kSmall = 16;
// Up to its capacity for a format that holds no more than kMostColors, so
// that its table is filled, and up to kMostColors for the images, which
// become a true-colour grid past 256; up to kSeveralRows for the formats
// that hold any count alike, enough for three of Krita's rows of 16. A zip, XML or
// JSON palette of 300 colours costs milliseconds a round trip, and a
// corpus that keeps such inputs runs at a fraction of its speed.
constexpr std::size_t kMostColors = 300;
constexpr std::size_t kSeveralRows = 48;

bool becomesGrid(const std::string& name) {
    return name == "png" || name == "bmp" || name == "tga";
}

std::size_t mostWorth(const Format& format) {
    if (format.capacity <= kMostColors) {
        return format.capacity;
    }
    return becomesGrid(format.name) ? kMostColors : kSeveralRows;
}

std::string text(NameText name) { return std::string(name.bytes, name.size); }

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

// A palette as the test compares it.
struct Plain {
    std::vector<Color> colors;
    std::vector<std::string> names;
    std::string name;
};

Plain plainOf(const Palette& palette) {
    Plain plain{{palette.colors, palette.colors + palette.stored}, {}, text(paletteName(palette))};
    for (std::size_t i = 0; i < palette.stored; i++) {
        plain.names.push_back(text(colorName(palette, i)));
    }
    return plain;
}

std::uint32_t key(const Color& color) {
    return std::uint32_t{color.red} << 16 | std::uint32_t{color.green} << 8 | color.blue;
}

// The colours `format` holds the palette's as: 256 entries for EDGE PAL,
// .act, Animator Pro, a lump and PCX, a power of two from 2 for GIF, each
// black past the count; the distinct colours, in order, of a true-colour
// grid; else the colours themselves.
std::vector<Color> colorsCarried(const std::string& name, const std::vector<Color>& given) {
    std::vector<Color> colors = given;
    std::size_t entries = colors.size();
    if (name == "edge" || name == "act" || name == "col" || name == "lmp" || name == "pcx") {
        entries = kEntryCount;
    } else if (name == "gif") {
        for (entries = 2; entries < colors.size(); entries *= 2) {
        }
    } else if (becomesGrid(name) && colors.size() > 256) {
        std::unordered_set<std::uint32_t> seen;
        colors.clear();
        for (const Color& color : given) {
            if (seen.insert(key(color)).second) {
                colors.push_back(color);
            }
        }
        entries = colors.size();
    }
    colors.resize(entries, Color{0, 0, 0});
    return colors;
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

// A name as Krita's XML is written with it: without its C0 control
// characters, which XML 1.0 cannot hold (tab and line breaks, which an
// attribute would turn into spaces, go too).
std::string inKritaXml(const std::string& name) {
    std::string kept;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20) {
            kept += c;
        }
    }
    return kept;
}

// The names LibreOffice's and Scribus's palettes are written with: each its
// own, "#rrggbb" for a colour without one, " N" (N the colour's number) and
// then " 2", " 3"... after one taken.
std::vector<std::string> uniqueNames(const Plain& given) {
    std::set<std::string> taken;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < given.colors.size(); i++) {
        std::string name = inXml(given.names[i]);
        if (name.empty()) {
            const Color& color = given.colors[i];
            char hex[8] = {};
            static_cast<void>(std::snprintf(hex, sizeof hex, "#%02x%02x%02x", color.red,
                                            color.green, color.blue));
            name = hex;
        }
        if (!taken.insert(name).second) {
            const std::string numbered = name + " " + std::to_string(i + 1);
            name = numbered;
            for (std::size_t again = 2; !taken.insert(name).second; again++) {
                name = numbered + " " + std::to_string(again);
            }
        }
        names.push_back(name);
    }
    return names;
}

// What `palette` becomes in `format`: its colours as colorsCarried says;
// GIMP palettes keep every name on its line, .aco and .ase the colours'
// names, .ase naming those without one, Krita's palettes every name as XML
// holds it, Procreate's the palette's name, the rest no names.
Plain carried(const Format& format, const Palette& palette) {
    const std::string name = format.name;
    const Plain given = plainOf(palette);
    Plain expected{colorsCarried(name, given.colors), {}, ""};
    expected.name = name == "gpl" ? onOneLine(given.name) : "";
    expected.name = name == "kpl" ? inKritaXml(given.name) : expected.name;
    expected.name = name == "swatches" ? given.name : expected.name;
    for (std::size_t i = 0; i < expected.colors.size(); i++) {
        const bool same = expected.colors.size() == given.colors.size();
        const std::string own = same && i < given.names.size() ? given.names[i] : "";
        std::string kept = name == "aco" || name == "ase" ? own : "";
        kept = name == "gpl" ? onOneLine(own) : kept;
        kept = name == "kpl" ? inKritaXml(own) : kept;
        kept = name == "ase" && kept.empty() ? aseName(expected.colors[i]) : kept;
        expected.names.push_back(kept);
    }
    if (name == "soc" || name == "scribus") {
        expected.name = name == "scribus" ? inXml(given.name) : "";
        expected.names = uniqueNames(given);
    }
    return expected;
}

bool sameColors(const std::vector<Color>& a, const std::vector<Color>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); i++) {
        if (key(a[i]) != key(b[i])) {
            return false;
        }
    }
    return true;
}

// The bytes of the input after its first, taken round and round.
struct Taker {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

unsigned take(Taker* taker) {
    const unsigned byte = taker->size == 0 ? 0 : taker->data[taker->at % taker->size];
    taker->at++;
    return byte;
}

// A name of up to 23 bytes, as a text format's reader takes them: UTF-8
// when they are valid, else ISO 8859-1.
NameRef takeName(Taker* taker, Palette* palette) {
    std::array<unsigned char, 23> name{};
    const std::size_t length = take(taker) % (name.size() + 1);
    for (std::size_t i = 0; i < length; i++) {
        name[i] = static_cast<unsigned char>(take(taker));
    }
    return formats::nameFromText(palette, name.data(), length);
}

// The palette the input makes for `format`.
void makePalette(const Format& format, Taker* taker, Palette* palette) {
    const std::size_t most = mostWorth(format);
    const unsigned high = take(taker);
    const unsigned low = take(taker);
    const std::size_t count = high >= kLargeFrom ? 1 + ((high - kLargeFrom) << 8 | low) % most
                                                 : 1 + low % std::min(most, kSmall);
    require(!refused(resizePalette(palette, count, 0)), "the palette has its memory");
    palette->name = takeName(taker, palette);
    for (std::size_t i = 0; i < count; i++) {
        const unsigned red = take(taker);
        const unsigned green = take(taker);
        palette->colors[i] = {static_cast<unsigned char>(red), static_cast<unsigned char>(green),
                              static_cast<unsigned char>(take(taker))};
        palette->colorNames[i] = takeName(taker, palette);
    }
}

}  // namespace

}  // namespace kolorvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kolorvane;
    using namespace kolorvane::fuzzing;
    std::vector<const Format*> written;
    for (std::size_t i = 0; i < kFormatCount; i++) {
        if (kFormats[i].write != nullptr && kFormats[i].read != nullptr) {
            written.push_back(&kFormats[i]);
        }
    }
    if (size == 0) {
        return 0;
    }
    const Format& format = *written[data[0] % written.size()];
    // One palette, one buffer and one palette read back for the run, as a
    // batch keeps them.
    static Palette palette = kEmptyPalette;
    static Palette back = kEmptyPalette;
    static ByteBuffer bytes = {nullptr, 0};
    clearPalette(&palette);
    clearPalette(&back);
    Taker taker = {data + 1, size - 1, 0};
    makePalette(format, &taker, &palette);
    const std::size_t length = format.write(palette, &bytes);
    require(length > 0, "every palette it holds is written");
    require(!refused(format.read(bytes.bytes, length, &back)), "a written palette is read back");
    const Plain expected = carried(format, palette);
    const Plain read = plainOf(back);
    require(sameColors(read.colors, expected.colors), "the colours come back as written");
    require(read.names == expected.names && read.name == expected.name,
            "the names come back as written");
    return 0;
}
