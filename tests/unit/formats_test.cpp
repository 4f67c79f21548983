#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "colour_names.h"
#include "fake_platform.h"
#include "format.h"
#include "format_conversion.h"
#include "owned.h"

namespace kolorvane {
namespace {

using Bytes = std::vector<unsigned char>;

const Color kFive[] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {18, 52, 86}, {171, 205, 239}};
const std::vector<std::string> kNamed = {"Black", "White", "\u8d64", "Deep blue \U0001f30a",
                                         "Pale blue"};
const std::vector<std::string> kUnnamed(5);
const std::vector<std::string> kLatin1 = {"Cr\u00e8me", "", "", "", ""};
// The names LibreOffice's and Scribus's palettes give colours without one.
const std::vector<std::string> kHexNames = {"#000000", "#ffffff", "#ff0000", "#123456", "#abcdef"};
// An Adobe colour book's: its prefix, the colour's own name and its suffix.
const std::vector<std::string> kBookNames = {"Five Black C", "Five White C", "Five \u8d64 C",
                                             "Five Deep blue \U0001f30a C", "Five Pale blue C"};
const std::vector<std::string> kAseNumbers = {"R=0 G=0 B=0", "R=255 G=255 B=255", "R=255 G=0 B=0",
                                              "R=18 G=52 B=86", "R=171 G=205 B=239"};

std::string text(NameText name) { return std::string(name.bytes, name.size); }

NameRef named(const std::string& text, Palette* palette) {
    return formats::nameFromText(palette, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size());
}

std::vector<std::string> colorNames(const Palette& palette) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < palette.count; i++) {
        names.push_back(text(colorName(palette, i)));
    }
    return names;
}

Bytes sample(const std::string& name) {
    std::ifstream file(std::string(KOLORVANE_SAMPLES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

using testing::emptyPalette;
using testing::PalettePointer;

PalettePointer palette(const std::vector<Color>& colors, const std::vector<std::string>& names = {},
                       const std::string& name = "") {
    PalettePointer made = emptyPalette();
    EXPECT_FALSE(refused(resizePalette(made.get(), colors.size(), 0)));
    std::copy(colors.begin(), colors.end(), made->colors);
    for (std::size_t i = 0; i < names.size(); i++) {
        made->colorNames[i] = named(names[i], made.get());
    }
    made->name = named(name, made.get());
    return made;
}

PalettePointer randomPalette(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Color> colors(count);
    for (Color& color : colors) {
        color = {static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
                 static_cast<unsigned char>(random())};
    }
    return palette(colors);
}

bool sameColors(const Palette& a, const Palette& b) {
    if (a.count != b.count) {
        return false;
    }
    for (std::size_t i = 0; i < a.count; i++) {
        const Color& x = a.colors[i];
        const Color& y = b.colors[i];
        if (x.red != y.red || x.green != y.green || x.blue != y.blue) {
            return false;
        }
    }
    return true;
}

// Read as the command line reads a file of that name: by its extension,
// then its first bytes.
const Format* readAs(const std::string& name, const Bytes& bytes, Palette* read) {
    ReadError error{};
    const Format* format = detectFormat(name.c_str(), bytes.data(), bytes.size(), &error);
    if (format == nullptr || refused(format->read(bytes.data(), bytes.size(), read))) {
        return nullptr;
    }
    return format;
}

Bytes encode(const Format& format, const Palette& palette) {
    ByteBuffer bytes{};
    const std::size_t size = format.write(palette, &bytes);
    EXPECT_GT(size, 0U) << format.name << " writes it";
    Bytes encoded(bytes.bytes, bytes.bytes + size);
    endBytes(&bytes);
    return encoded;
}

PalettePointer decode(const Format& format, const Bytes& bytes) {
    PalettePointer read = emptyPalette();
    EXPECT_FALSE(refused(format.read(bytes.data(), bytes.size(), read.get()))) << format.name;
    return read;
}

TEST(Formats, EverySampleReadsAsTheFiveColoursAndTheirNames) {
    struct Case {
        const char* file;
        const char* format;
        const char* name;
        const std::vector<std::string>& colorNames;
    };
    const Case cases[] = {
        {"edge.pal", "edge", "", kUnnamed},
        {"act.act", "act", "", kUnnamed},
        {"jasc.pal", "jasc", "", kUnnamed},
        {"jasc-lf.pal", "jasc", "", kUnnamed},
        {"riff.pal", "riff", "", kUnnamed},
        {"riff-chunks.pal", "riff", "", kUnnamed},
        {"five.gpl", "gpl", "five", kUnnamed},
        {"named.gpl", "gpl", "Five", kNamed},
        {"named-five.gpl", "gpl", "Five \u4e94", kNamed},
        {"aseprite.gpl", "gpl", "", kNamed},
        {"latin1.gpl", "gpl", "Caf\u00e9", kLatin1},
        {"five.hex", "hex", "", kUnnamed},
        {"upper.hex", "hex", "", kUnnamed},
        {"hash.hex", "hex", "", kUnnamed},
        {"five.txt", "paintnet", "", kUnnamed},
        {"alpha.txt", "paintnet", "", kUnnamed},
        {"five.aco", "aco", "", kUnnamed},
        {"v1.aco", "aco", "", kUnnamed},
        {"v2.aco", "aco", "", kNamed},
        {"named-five.aco", "aco", "", kNamed},
        {"five.ase", "ase", "", kAseNumbers},
        {"named-five.ase", "ase", "", kNamed},
        {"groups.ase", "ase", "", kNamed},
        {"five.png", "png", "", kUnnamed},
        {"five-rgb.png", "png", "", kUnnamed},
        {"five.bmp", "bmp", "", kUnnamed},
        {"five.pcx", "pcx", "", kUnnamed},
        {"five.tga", "tga", "", kUnnamed},
        {"five.acb", "acb", "Five", kBookNames},
        {"five.soc", "soc", "", kHexNames},
        {"named-five.soc", "soc", "", kNamed},
        {"five.xml", "scribus", "five", kHexNames},
        {"named-five.xml", "scribus", "Five \u4e94", kNamed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PalettePointer read = emptyPalette();
        const Format* format = readAs(c.file, sample(c.file), read.get());
        ASSERT_NE(format, nullptr);
        EXPECT_STREQ(format->name, c.format);
        PalettePointer expected = palette({std::begin(kFive), std::end(kFive)});
        const bool full = format == formatNamed("edge") || format == formatNamed("pcx");
        if (full) {  // EDGE PAL and PCX always hold 256
            EXPECT_FALSE(refused(resizePalette(expected.get(), kEntryCount, 0)));
        }
        EXPECT_TRUE(sameColors(*read, *expected));
        EXPECT_EQ(text(paletteName(*read)), c.name);
        if (!full) {
            EXPECT_EQ(colorNames(*read), c.colorNames);
        }
    }
}

TEST(Formats, WritersWriteTheCanonicalSamples) {
    const PalettePointer five = palette({std::begin(kFive), std::end(kFive)}, {}, "five");
    const PalettePointer named =
        palette({std::begin(kFive), std::end(kFive)}, kNamed, "Five \u4e94");
    const std::pair<const char*, const char*> samples[] = {
        {"edge", "edge.pal"},
        {"act", "act.act"},
        {"jasc", "jasc.pal"},
        {"riff", "riff.pal"},
        {"gpl", "five.gpl"},
        {"hex", "five.hex"},
        {"paintnet", "five.txt"},
        {"aco", "five.aco"},
        {"ase", "five.ase"},
        {"col", "five.col"},
        {"lmp", "five.lmp"},
        {"bmp", "five.bmp"},
        {"pcx", "five.pcx"},
        {"tga", "five.tga"},
        {"soc", "five.soc"},
        {"scribus", "five.xml"},
        {"swatches", "five.swatches"},
        {"kpl", "five.kpl"},
        {"sketch", "five.sketchpalette"},
    };
    // Images' bytes are their encoders': the programs that own the formats
    // (Pillow, pngcheck, giflib's tools, netpbm) read them back in the
    // command line's end-to-end tests instead.
    // CSS, which is only written, is read back by Chromium in its own test.
    const auto writers = std::count_if(kFormats, kFormats + kFormatCount, [](const Format& f) {
        return f.write != nullptr && f.read != nullptr;
    });
    ASSERT_EQ(static_cast<long>(std::size(samples)), writers - 3);
    for (const auto& [formatName, name] : samples) {
        SCOPED_TRACE(formatName);
        EXPECT_EQ(encode(*formatNamed(formatName), *five), sample(name));
    }
    for (const char* formatName : {"gpl", "aco", "ase"}) {
        SCOPED_TRACE(formatName);
        const std::string name = std::string("named-five.") + formatName;
        EXPECT_EQ(encode(*formatNamed(formatName), *named), sample(name));
    }
}

// The count a palette of `count` colours has once written in `format`:
// EDGE PAL, Animator Pro's .col, a palette lump and PCX hold 256 entries, a
// GIF's table a power of two from 2.
std::size_t countKept(const Format& format, std::size_t count) {
    const std::string name = format.name;
    if (name == "edge" || name == "col" || name == "lmp" || name == "pcx") {
        return kEntryCount;
    }
    if (name == "swatches") {
        return std::min(count, format.capacity);
    }
    if (name != "gif") {
        return count;
    }
    std::size_t table = 2;
    while (table < count) {
        table *= 2;
    }
    return table;
}

// Every format into every other and back gives the colours it started with;
// through a format that holds 256 entries, all 256 of them, and through GIF
// a power of two, the ones past the count zero.
TEST(Formats, EveryPairOfFormatsRoundTrips) {
    std::vector<PalettePointer> palettes;
    palettes.push_back(randomPalette(1, 1));
    palettes.push_back(randomPalette(16, 2));
    palettes.push_back(randomPalette(256, 3));
    palettes.push_back(palette(std::vector<Color>(256, Color{255, 255, 255})));  // longest text
    for (const PalettePointer& start : palettes) {
        for (std::size_t a = 0; a < kFormatCount; a++) {
            for (std::size_t b = 0; b < kFormatCount; b++) {
                const Format& from = kFormats[a];
                const Format& to = kFormats[b];
                if (from.write == nullptr || to.write == nullptr || to.read == nullptr ||
                    from.read == nullptr) {
                    continue;  // read only, or written only
                }
                SCOPED_TRACE(std::string(from.name) + " to " + to.name + ", " +
                             std::to_string(start->count) + " colours");
                const PalettePointer middle = decode(from, encode(from, *start));
                const PalettePointer end = decode(to, encode(to, *middle));
                const std::size_t kept = countKept(to, countKept(from, start->count));
                EXPECT_EQ(end->count, kept);
                // Past a format's capacity (Procreate's 30) the first colours
                // are the ones kept.
                const std::size_t compared = std::min({start->count, from.capacity, to.capacity});
                const std::size_t startCount = start->count;
                end->count = compared;
                start->count = compared;
                EXPECT_TRUE(sameColors(*end, *start));
                start->count = startCount;
            }
        }
    }
}

// The longest names: 255 characters, the most a name keeps, each of four
// bytes in UTF-8 and two units in UTF-16, for every colour.
std::string longestName(std::size_t i) {
    std::string name;
    for (std::size_t k = 0; k < kMaxNameCharacters; k++) {
        name += "\U0001F600";
    }
    name.replace(0, 4, std::to_string(i % 10));  // each name its own
    return name;
}

// Names travel between the three formats that hold them exactly, in each
// direction: Japanese, emoji, the longest there are.
TEST(Formats, NamesRoundTripBetweenGimpAcoAndAse) {
    std::vector<std::string> longest;
    for (std::size_t i = 0; i < kEntryCount; i++) {
        longest.push_back(longestName(i));
    }
    const std::vector<PalettePointer> palettes = [&] {
        std::vector<PalettePointer> made;
        made.push_back(palette({std::begin(kFive), std::end(kFive)}, kNamed));
        made.push_back(palette(std::vector<Color>(256, Color{255, 255, 255}), longest));
        return made;
    }();
    for (const PalettePointer& start : palettes) {
        for (const char* a : {"gpl", "aco", "ase"}) {
            for (const char* b : {"gpl", "aco", "ase"}) {
                SCOPED_TRACE(std::string(a) + " to " + b);
                const Format& from = *formatNamed(a);
                const Format& to = *formatNamed(b);
                const PalettePointer end =
                    decode(to, encode(to, *decode(from, encode(from, *start))));
                EXPECT_TRUE(sameColors(*end, *start));
                EXPECT_EQ(colorNames(*end), colorNames(*start));
            }
        }
    }
}

TEST(Formats, AcoAndAseValuesReadAsTheNearestByte) {
    struct Case {
        const char* format;
        Bytes bytes;
        Color expected;
    };
    const Case cases[] = {
        // 128 / 257 = 0.498 and 129 / 257 = 0.502; 65535 is 255.
        {"aco", {0, 1, 0, 1, 0, 0, 0, 128, 0, 129, 0xFF, 0xFF, 0, 0}, {0, 1, 255}},
        // 0.5 * 255 = 127.5, rounded up; 0.001 * 255 = 0.255, down.
        {"ase",
         {'A', 'S', 'E',  'F',  0,    1,    0,    0,    0,   0,   0,   1,   0,    1,
          0,   0,   0,    22,   0,    1,    0,    0,    'R', 'G', 'B', ' ', 0x3F, 0,
          0,   0,   0x3A, 0x83, 0x12, 0x6F, 0x3F, 0x80, 0,   0,   0,   2},
         {128, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        ASSERT_FALSE(refused(formatNamed(c.format)->read(c.bytes.data(), c.bytes.size(), &read)));
        EXPECT_EQ(read.count, 1U);
        EXPECT_EQ((std::vector<int>{read.colors[0].red, read.colors[0].green, read.colors[0].blue}),
                  (std::vector<int>{c.expected.red, c.expected.green, c.expected.blue}));
    }
}

TEST(Formats, ActCountComesFromAnExact772ByteTrailer) {
    struct Case {
        std::size_t size;
        Bytes trailer;
        std::size_t count;
    };
    const Case cases[] = {
        {772, {0, 16, 0xFF, 0xFF}, 16}, {772, {1, 0, 0, 3}, 256},        {772, {0, 0, 0, 0}, 256},
        {772, {1, 1, 0xFF, 0xFF}, 256}, {776, {0, 16, 0xFF, 0xFF}, 256}, {768, {}, 256},
    };
    for (const Case& c : cases) {
        Bytes file(768, 9);
        // Appended a byte at a time: GCC 12 at -O2 takes a range insert
        // here for a write out of bounds (-Warray-bounds), which it is not.
        for (const unsigned char byte : c.trailer) {
            file.push_back(byte);
        }
        file.resize(c.size, 0);
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        EXPECT_FALSE(refused(formatNamed("act")->read(file.data(), file.size(), &read)));
        EXPECT_EQ(read.count, c.count) << c.size;
        EXPECT_EQ(read.colors[255].blue, 9) << "all 256 entries are kept";
    }
}

// A format's extensions: its own, then the others it reads, and none past
// them; one without its own has only the others.
TEST(Formats, ExtensionsReadAreListedInTurn) {
    const auto all = [](const Format& format) {
        std::vector<std::string> found;
        char extension[kMaxPath] = {};
        for (std::size_t n = 0; n < 10 && readExtension(format, n, extension); n++) {
            found.emplace_back(extension);
        }
        return found;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(all(*formatNamed("edge")), Names{".pal"});
    EXPECT_EQ(all(*formatNamed("ilbm")), (Names{".lbm", ".iff", ".bbm", ".ilbm", ".col"}));
    EXPECT_EQ(all(*formatNamed("vga")), Names{".col"});
    EXPECT_EQ(all(*formatNamed("nes")), Names{});
    EXPECT_EQ(extensionLength(*formatNamed("ilbm"), "C:\\p\\a.ILBM"), 5U);
    EXPECT_EQ(extensionLength(*formatNamed("ilbm"), "C:\\p\\a.xilbm"), 0U);
    EXPECT_EQ(extensionLength(*formatNamed("ilbm"), "C:\\p\\a.lbm"), 4U);
}

TEST(Formats, PlansNameTheOutputAfterTheTarget) {
    struct Case {
        const char* path;
        const char* from;
        const char* to;
        PlanStatus status;
        const char* output;
    };
    const Case cases[] = {
        {"C:\\p\\Sunset.PAL", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\Sunset.act"},
        {"C:\\p\\Sunset.Act", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\Sunset.pal"},
        {"C:\\p\\Sunset.GPL", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\Sunset.pal"},
        {"C:\\p\\s.txt", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.ase", nullptr, "aco", PlanStatus::Planned, "C:\\p\\s.aco"},
        {"C:\\p\\s.pal", nullptr, "paintnet", PlanStatus::Planned, "C:\\p\\s.txt"},
        {"C:\\p\\s.png", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.xyz", nullptr, nullptr, PlanStatus::Unsupported, ""},
        {"C:\\p\\s.gp", nullptr, nullptr, PlanStatus::Unsupported, ""},
        // --from: the name's last extension replaced, whatever it is, or
        // the target's added; EDGE PAL read so gives .act, all else .pal.
        {"C:\\p\\s.dat", "act", nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.tar.xyz", "act", "gpl", PlanStatus::Planned, "C:\\p\\s.tar.gpl"},
        {"C:\\p.d\\s", "act", nullptr, PlanStatus::Planned, "C:\\p.d\\s.pal"},
        {"C:\\p\\s.png", "act", nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.act", "edge", nullptr, PlanStatus::Planned, "C:\\p\\s.act"},
        // Extensions of any length, and formats written as another.
        {"C:\\p\\s.ILBM", nullptr, nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.col", nullptr, "ilbm", PlanStatus::Planned, "C:\\p\\s.lbm"},
        {"C:\\p\\s.wad", nullptr, "lmp", PlanStatus::Planned, "C:\\p\\s.lmp"},
    };
    const PathRules rules = {"\\", [](unsigned char) { return false; }};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ConversionPlan plan{};
        const Format* from = c.from == nullptr ? nullptr : formatNamed(c.from);
        const Format* to = c.to == nullptr ? nullptr : formatNamed(c.to);
        EXPECT_EQ(planConversion(c.path, rules, nullptr, from, to, &plan), c.status);
        if (c.status == PlanStatus::Planned) {
            EXPECT_STREQ(plan.paths.target, c.output);
        }
    }
}

std::string repeated(const std::string& text, std::size_t times) {
    std::string made;
    for (std::size_t i = 0; i < times; i++) {
        made += text;
    }
    return made;
}

std::u16string repeatedUnits(const std::u16string& units, std::size_t times) {
    std::u16string made;
    for (std::size_t i = 0; i < times; i++) {
        made += units;
    }
    return made;
}

// Names are never refused: text that is not UTF-8 is ISO 8859-1, what UTF-16
// cannot mean is U+FFFD, and a long name keeps its first 255 characters,
// never half of one.
TEST(Names, AreReadWhateverTheirBytes) {
    const std::pair<std::string, std::string> texts[] = {
        {"Cr\u00e8me \U0001F30A", "Cr\u00e8me \U0001F30A"},
        {"Cr\xe8me", "Cr\u00e8me"},
        {"\xC0\xAF", "\u00c0\u00af"},                      // overlong
        {"\xED\xA0\x80", "\u00ed\u00a0\u0080"},            // a surrogate
        {"\xF4\x90\x80\x80", "\u00f4\u0090\u0080\u0080"},  // past U+10FFFF
        {std::string("a\0b", 3), "a"},
        {repeated("\u00e9", 300), repeated("\u00e9", 255)},
        {"x" + repeated("\U0001F600", 300), "x" + repeated("\U0001F600", 254)},
    };
    for (const auto& [given, expected] : texts) {
        const PalettePointer read = emptyPalette();
        const NameRef name = named(given, read.get());
        EXPECT_EQ(text({read->text + name.at, name.size}), expected) << given;
    }
    const std::pair<std::u16string, std::string> units[] = {
        {u"A\xD83D", "A\uFFFD"},
        {u"\xDE00"
         u"B",
         "\uFFFDB"},
        {u"\xD83D"
         u"B",
         "\uFFFDB"},
        {u"\xD83D\xDE00", "\U0001F600"},
        {std::u16string(u"A\0B", 3), "A"},
        {u"x" + repeatedUnits(u"\xD83D\xDE00", 300), "x" + repeated("\U0001F600", 254)},
    };
    for (const auto& [given, expected] : units) {
        Bytes bytes;
        for (const char16_t unit : given) {
            bytes.push_back(static_cast<unsigned char>(unit >> 8));
            bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        }
        const PalettePointer read = emptyPalette();
        const NameRef name = formats::nameFromUtf16(read.get(), bytes.data(), given.size());
        EXPECT_EQ(text({read->text + name.at, name.size}), expected);
    }
}

// A control character would end the line, or split the colour's numbers
// from its name: written, each is a space.
TEST(Formats, GimpNamesStayOnTheirLines) {
    const PalettePointer start =
        palette({{1, 2, 3}, {4, 5, 6}}, {"\tx\r\ny z\u0085", " \n"}, "a\nb");
    const Bytes bytes = encode(*formatNamed("gpl"), *start);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "GIMP Palette\nName: a b\nColumns: 16\n#\n  1   2   3\tx  y z\n  4   5   6\n");
    const PalettePointer read = decode(*formatNamed("gpl"), bytes);
    EXPECT_EQ(read->count, 2U);
    EXPECT_EQ(text(paletteName(*read)), "a b");
    EXPECT_EQ(colorNames(*read), (std::vector<std::string>{"x  y z", ""}));
}

// A PNG is pulled from the open file a read at a time, never read whole:
// what a read fails with is the source's failure, and a file larger than the
// 64 MiB a PNG may be is refused, before any read when its size is known.
TEST(Formats, APngIsPulledFromTheOpenFile) {
    const Bytes five = sample("five-rgb.png");
    // A valid start, then an ancillary chunk that passes the limit.
    Bytes large(five.begin(), five.begin() + 33);
    const std::size_t chunk = 64 * 1024 * 1024;
    for (const unsigned char byte : Bytes{0x04, 0, 0, 0, 'p', 'r', 'V', 't'}) {
        large.push_back(byte);  // a byte at a time, as in ActCountComesFromAnExact772ByteTrailer
    }
    large.resize(large.size() + chunk + 4, 0);
    struct Case {
        const char* name;
        const Bytes* file;
        int failAt;  // open 0, identify 1, reads from 2
        bool sizeKnown;
        SourceStatus status;
        ReadProblem problem;
    };
    const Case cases[] = {
        {"read", &five, -1, true, SourceStatus::Read, ReadProblem::None},
        {"a read fails", &five, 4, true, SourceStatus::Failed, ReadProblem::None},
        {"too large, known", &large, -1, true, SourceStatus::Read, ReadProblem::TooLarge},
        {"too large, found", &large, -1, false, SourceStatus::Read, ReadProblem::TooLarge},
    };
    testing::OwnedBytes buffer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePlatform fake;
        testing::addFile(&fake, "C:\\p\\s.png", *c.file);
        fake.readChunk = c.file == &five ? 40 : 0;
        fake.failAt = c.failAt;
        fake.sizeKnown = c.sizeKnown;
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        const PaletteSource source = readPaletteSource(testing::makePlatform(&fake), "C:\\p\\s.png",
                                                       nullptr, &buffer.buffer, &read);
        EXPECT_EQ(source.source.status, c.status);
        EXPECT_EQ(source.error.problem, c.problem);
        EXPECT_TRUE(fake.open.empty()) << "the file is closed";
        const auto reads =
            std::count_if(fake.log.begin(), fake.log.end(),
                          [](const std::string& l) { return l.rfind("read", 0) == 0; });
        if (c.file == &five && c.failAt < 0) {
            EXPECT_TRUE(sameColors(read, *palette({std::begin(kFive), std::end(kFive)})));
            EXPECT_EQ(source.source.identity.index, fake.identities["C:\\p\\s.png"].index);
            EXPECT_EQ(reads, static_cast<long>((five.size() + 39) / 40));
        } else {
            EXPECT_EQ(read.count, 0U) << "a refused source leaves the palette as it was";
            EXPECT_EQ(reads > 0, c.sizeKnown ? c.failAt >= 0 : true);
        }
    }
}

// A palette read whole is read past the first window, from a file or a
// pipe: 70,000 lines of colours and long names, refused only for the
// 65,536th colour, whose line is named.
TEST(Formats, ATextSourceIsReadWholePastTheFirstWindow) {
    for (const std::size_t count : {std::size_t{40000}, std::size_t{70000}}) {
        std::string lines = "GIMP Palette\n";
        for (std::size_t i = 0; i < count; i++) {
            lines += std::to_string(i % 256) + " " + std::to_string(i / 256 % 256) + " 7 " +
                     std::string(20, 'n') + std::to_string(i) + "\n";
        }
        ASSERT_GT(lines.size(), kFirstWindowSize);
        for (const bool sizeKnown : {true, false}) {
            SCOPED_TRACE(std::to_string(count) + (sizeKnown ? " from a file" : " from a pipe"));
            testing::FakePlatform fake;
            testing::addFile(&fake, "C:\\p\\s.gpl", Bytes(lines.begin(), lines.end()));
            fake.sizeKnown = sizeKnown;
            testing::OwnedBytes buffer;
            testing::OwnedPalette owned;
            const PaletteSource source =
                readPaletteSource(testing::makePlatform(&fake), "C:\\p\\s.gpl", nullptr,
                                  &buffer.buffer, &owned.palette);
            ASSERT_EQ(source.source.status, SourceStatus::Read);
            if (count > kMaxColors) {
                EXPECT_EQ(source.error.problem, ReadProblem::TooManyColors);
                EXPECT_EQ(source.error.at, kMaxColors + 2);  // the line after the first colours
                continue;
            }
            ASSERT_EQ(source.error.problem, ReadProblem::None);
            ASSERT_EQ(owned.palette.count, count);
            EXPECT_EQ(text(colorName(owned.palette, count - 1)),
                      std::string(20, 'n') + std::to_string(count - 1));
        }
    }
}

// The palettes of retro tools and games, and IFF images, from samples made
// by each format's public layout: the five colours, then what the format
// holds past them (zeros, or the bytes an NES file fills its 64 with).
TEST(RetroFormats, EverySampleReadsAsItsColours) {
    struct Case {
        const char* file;
        const char* format;
        bool forced;  // read with --from: its extension names another format
        std::size_t count;
        Color rest;
    };
    const Case cases[] = {
        {"five.col", "col", false, 256, {0, 0, 0}},
        {"short.col", "col", false, 5, {0, 0, 0}},
        {"iff.col", "ilbm", false, 5, {0, 0, 0}},
        {"pbm.lbm", "ilbm", false, 5, {0, 0, 0}},
        {"five.lbm", "ilbm", false, 5, {0, 0, 0}},
        {"five.lmp", "lmp", false, 256, {0, 0, 0}},
        {"playpal.lmp", "lmp", false, 256, {0, 0, 0}},
        {"iwad.wad", "wad", false, 256, {0, 0, 0}},
        {"pwad.wad", "wad", false, 256, {0, 0, 0}},
        {"nes.pal", "nes", true, 64, {0x11, 0x11, 0x11}},
        {"nes-emphasis.pal", "nes", true, 64, {0x22, 0x22, 0x22}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = sample(c.file);
        PalettePointer read = emptyPalette();
        const Format* format = c.forced ? formatNamed(c.format) : readAs(c.file, bytes, read.get());
        ASSERT_NE(format, nullptr);
        if (c.forced) {
            ASSERT_FALSE(refused(format->read(bytes.data(), bytes.size(), read.get())));
        }
        EXPECT_STREQ(format->name, c.format);
        std::vector<Color> expected(std::begin(kFive), std::end(kFive));
        expected.resize(c.count, c.rest);
        EXPECT_TRUE(sameColors(*read, *palette(expected)));
    }
}

// A 6-bit value v reads as (v << 2) | (v >> 4), 63 as 255, so that the
// v >> 2 of a writer of 6-bit values gives every one back.
TEST(RetroFormats, SixBitValuesWidenByRepeatingTheirTopBits) {
    const Bytes bytes = sample("six-bit.col");  // byte i is 7i modulo 64
    PalettePointer read = emptyPalette();
    const Format* format = readAs("six-bit.col", bytes, read.get());
    ASSERT_NE(format, nullptr);
    EXPECT_STREQ(format->name, "vga");
    EXPECT_EQ(read->count, kEntryCount);
    EXPECT_EQ(read->colors[0].green, 28);  // 7
    EXPECT_EQ(read->colors[1].blue, 142);  // 35
    EXPECT_EQ(read->colors[3].red, 255);   // 63
    for (std::size_t i = 0; i < kEntryCount; i++) {
        const Color& color = read->colors[i];
        EXPECT_EQ((Bytes{static_cast<unsigned char>(color.red >> 2),
                         static_cast<unsigned char>(color.green >> 2),
                         static_cast<unsigned char>(color.blue >> 2)}),
                  Bytes(bytes.begin() + 3 * i, bytes.begin() + 3 * i + 3))
            << i;
    }
}

void putLe32(std::uint32_t value, Bytes* bytes) {
    for (int i = 0; i < 4; i++) {
        bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// Where a WAD's parts are.
struct WadLayout {
    Bytes bytes;
    std::uint32_t directory;
    std::uint32_t playpal;
};

// A WAD laid out as Doom's are: a large lump, PLAYPAL (the five colours
// first), another large lump, and the directory at the end or, as some
// tools write it, right after the header.
WadLayout largeWad(bool directoryFirst) {
    const std::uint32_t sizes[] = {1536 * 1024, 14 * kColorTableSize, 1024 * 1024};
    const char* names[] = {"E1M1", "PLAYPAL", "E2M1"};
    const std::uint32_t start = directoryFirst ? 12 + 3 * 16 : 12;
    Bytes data;
    Bytes directory;
    for (std::size_t i = 0; i < 3; i++) {
        putLe32(start + static_cast<std::uint32_t>(data.size()), &directory);
        putLe32(sizes[i], &directory);
        std::string name(names[i]);
        name.resize(8, '\0');
        directory.insert(directory.end(), name.begin(), name.end());
        const std::size_t at = data.size();
        data.resize(at + sizes[i], static_cast<unsigned char>(i + 1));
        for (std::size_t k = 0; i == 1 && k < std::size(kFive); k++) {
            data[at + 3 * k] = kFive[k].red;
            data[at + 3 * k + 1] = kFive[k].green;
            data[at + 3 * k + 2] = kFive[k].blue;
        }
    }
    WadLayout wad = {{'I', 'W', 'A', 'D'}, 0, start + sizes[0]};
    wad.directory = directoryFirst ? 12 : start + static_cast<std::uint32_t>(data.size());
    putLe32(3, &wad.bytes);
    putLe32(wad.directory, &wad.bytes);
    const Bytes& first = directoryFirst ? directory : data;
    const Bytes& second = directoryFirst ? data : directory;
    wad.bytes.insert(wad.bytes.end(), first.begin(), first.end());
    wad.bytes.insert(wad.bytes.end(), second.begin(), second.end());
    return wad;
}

// A WAD is read where its parts are, never whole: the header in the first
// read, then the directory and PLAYPAL each at its offset. A pipe is read
// on, and refused where PLAYPAL is behind its directory.
TEST(RetroFormats, AWadIsReadAtItsHeaderDirectoryAndPalette) {
    const struct Case {
        const char* name;
        bool directoryFirst;
        bool sizeKnown;
        ReadProblem problem;
    } cases[] = {
        {"directory last", false, true, ReadProblem::None},
        {"directory first", true, true, ReadProblem::None},
        {"a pipe, directory first", true, false, ReadProblem::None},
        {"a pipe, directory last", false, false, ReadProblem::BehindInStream},
    };
    testing::OwnedBytes buffer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WadLayout wad = largeWad(c.directoryFirst);
        testing::FakePlatform fake;
        testing::addFile(&fake, "C:\\p\\doom.wad", wad.bytes);
        fake.sizeKnown = c.sizeKnown;
        PalettePointer read = emptyPalette();
        const PaletteSource source = readPaletteSource(
            testing::makePlatform(&fake), "C:\\p\\doom.wad", nullptr, &buffer.buffer, read.get());
        ASSERT_EQ(source.source.status, SourceStatus::Read);
        EXPECT_EQ(source.error.problem, c.problem);
        std::vector<std::string> reads;
        std::copy_if(fake.log.begin(), fake.log.end(), std::back_inserter(reads),
                     [](const std::string& l) { return l.rfind("read", 0) == 0; });
        const std::string handle = reads.empty() ? "" : reads[0].substr(5);
        std::vector<std::string> expected = {"read " + handle};
        if (!c.sizeKnown) {
            // Only read on, a window at a time, as far as the parts it needs.
            expected.resize(reads.size(), "read " + handle);
        } else if (!c.directoryFirst) {
            expected.push_back("readat " + handle + " " + std::to_string(wad.directory));
        }
        if (c.sizeKnown) {
            expected.push_back("readat " + handle + " " + std::to_string(wad.playpal));
        }
        EXPECT_EQ(reads, expected);
        std::vector<Color> colors(std::begin(kFive), std::end(kFive));
        colors.resize(kEntryCount, Color{2, 2, 2});
        if (c.problem == ReadProblem::None) {
            EXPECT_TRUE(sameColors(*read, *palette(colors)));
        } else {
            EXPECT_EQ(source.error.at, wad.playpal);
            EXPECT_EQ(read->count, 0U) << "a refused source leaves the palette as it was";
        }
    }
}

// GIFs by hand, for what the writers of the end-to-end tests do not write:
// a table of `size` entries (a power of two; 0 for none) of colours made
// from `seed`, and images of 1 x 1 pixels unless their data says otherwise.
std::vector<Color> gifColors(std::size_t size, int seed) {
    std::vector<Color> colors;
    for (std::size_t i = 0; i < size; i++) {
        const auto value = static_cast<unsigned>(seed * 40 + static_cast<int>(i) * 3);
        colors.push_back({static_cast<unsigned char>(value), static_cast<unsigned char>(value + 1),
                          static_cast<unsigned char>(value + 2)});
    }
    return colors;
}

void putWord(Bytes* bytes, unsigned value) {
    bytes->push_back(static_cast<unsigned char>(value & 0xFF));
    bytes->push_back(static_cast<unsigned char>(value >> 8));
}

// A screen's or image's packed byte: `flags`, and a table of `size`
// entries (0: none).
unsigned char packed(unsigned flags, std::size_t size) {
    unsigned bits = 1;
    while ((std::size_t{1} << bits) < size) {
        bits++;
    }
    return static_cast<unsigned char>(size == 0 ? flags : flags | 0x80 | (bits - 1));
}

void putColors(Bytes* bytes, std::size_t size, int seed) {
    for (const Color& color : gifColors(size, seed)) {
        bytes->insert(bytes->end(), {color.red, color.green, color.blue});
    }
}

Bytes gifStart(unsigned width, unsigned height, std::size_t size, int seed) {
    Bytes bytes = {'G', 'I', 'F', '8', '9', 'a'};
    putWord(&bytes, width);
    putWord(&bytes, height);
    bytes.insert(bytes.end(), {packed(0x70, size), 0, 0});  // background, aspect
    putColors(&bytes, size, seed);
    return bytes;
}

// LZW data of a 1 x 1 image: code size 2, then clear, index 0 and end as
// 3-bit codes in one sub-block, and the terminator.
const Bytes kOnePixel = {2, 2, 0x44, 0x01, 0};

Bytes gifImage(unsigned left, unsigned width, unsigned height, std::size_t size, int seed,
               const Bytes& data = kOnePixel) {
    Bytes bytes = {','};
    putWord(&bytes, left);
    putWord(&bytes, 0);
    putWord(&bytes, width);
    putWord(&bytes, height);
    bytes.push_back(packed(0, size));
    putColors(&bytes, size, seed);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

// LZW data of code size 2 that is `size` bytes of clear codes, 3 bits each,
// in sub-blocks of 255 bytes, and the terminator.
Bytes clearCodes(std::size_t size) {
    Bytes bytes = {2};
    for (std::size_t at = 0; at < size; at += 255) {
        const std::size_t block = std::min<std::size_t>(255, size - at);
        bytes.push_back(static_cast<unsigned char>(block));
        for (std::size_t i = 0; i < block; i++) {
            bytes.push_back(std::array<unsigned char, 3>{0x24, 0x49, 0x92}[(at + i) % 3]);
        }
    }
    bytes.push_back(0);
    return bytes;
}

// A comment in two sub-blocks, read through and passed over.
const Bytes kComment = {'!', 0xFE, 2, 'h', 'i', 1, '!', 0};
const Bytes kTrailer = {';'};

TEST(Formats, GifGivesItsGlobalOrFirstLocalTableAndRefusesWhatIsWrong) {
    struct Case {
        const char* name;
        Bytes file;
        ReadProblem problem;
        std::vector<Color> colors;
    };
    const Case cases[] = {
        {"global table, a comment",
         joined({gifStart(1, 1, 4, 1), kComment, gifImage(0, 1, 1, 0, 0), kTrailer}),
         ReadProblem::None, gifColors(4, 1)},
        {"the first image's table, a later one's not",
         joined({gifStart(1, 1, 0, 0), gifImage(0, 1, 1, 2, 2), gifImage(0, 1, 1, 8, 3), kTrailer}),
         ReadProblem::None, gifColors(2, 2)},
        {"an image past the screen",
         joined({gifStart(1, 1, 2, 4), gifImage(5, 1, 1, 0, 0), kTrailer}), ReadProblem::None,
         gifColors(2, 4)},
        {"no table",
         joined({gifStart(1, 1, 0, 0), gifImage(0, 1, 1, 0, 0), kTrailer}),
         ReadProblem::Missing,
         {}},
        {"no table, no image", joined({gifStart(1, 1, 0, 0), kTrailer}), ReadProblem::Missing, {}},
        {"a table from the second image alone",
         joined({gifStart(1, 1, 0, 0), gifImage(0, 1, 1, 0, 0), gifImage(0, 1, 1, 2, 5), kTrailer}),
         ReadProblem::Missing,
         {}},
        {"a screen of 65535 x 65535",
         joined({gifStart(65535, 65535, 2, 6), kTrailer}),
         ReadProblem::ImageSize,
         {}},
        {"a screen 0 wide", joined({gifStart(0, 1, 2, 6), kTrailer}), ReadProblem::ImageSize, {}},
        {"an image 16385 wide",
         joined({gifStart(1, 1, 2, 6), gifImage(0, 16385, 1, 0, 0), kTrailer}),
         ReadProblem::ImageSize,
         {}},
        {"the end code before the last pixel",
         joined({gifStart(2, 1, 2, 7), gifImage(0, 2, 1, 0, 0), kTrailer}),
         ReadProblem::BadImageData,
         {}},
        {"sub-blocks that end before the last pixel",
         joined({gifStart(2, 1, 2, 7), gifImage(0, 2, 1, 0, 0, {2, 1, 0x04, 0}), kTrailer}),
         ReadProblem::BadImageData,
         {}},
        // giflib would take about 2 s a MB over it.
        {"a MiB of clear codes for one pixel",
         joined({gifStart(1, 1, 2, 7), gifImage(0, 1, 1, 0, 0, clearCodes(1 << 20)), kTrailer}),
         ReadProblem::ImageDataTooLarge,
         {}},
        {"an LZW code size of 9",
         joined({gifStart(1, 1, 2, 7), gifImage(0, 1, 1, 0, 0, {9, 2, 0x44, 0x01, 0}), kTrailer}),
         ReadProblem::BadImageData,
         {}},
        {"a record that is none of GIF's",
         joined({gifStart(1, 1, 2, 7), {0}}),
         ReadProblem::LibraryRefused,
         {}},
        {"GIF88a",
         joined({{'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0}, kTrailer}),
         ReadProblem::NotThisFormat,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PalettePointer read = emptyPalette();
        const ReadError error = formatNamed("gif")->read(c.file.data(), c.file.size(), read.get());
        EXPECT_EQ(error.problem, c.problem);
        EXPECT_TRUE(sameColors(*read, *palette(c.colors)));
    }
}

// A GIF cut anywhere is refused as ending where it was cut, never read from
// what it holds so far: every record is read to the trailer.
TEST(Formats, AGifCutAnywhereEndsEarlyThere) {
    const Bytes whole = joined({gifStart(2, 2, 4, 1), kComment,
                                gifImage(0, 2, 2, 0, 0, {2, 3, 0x04, 0x00, 0x05, 0}), kTrailer});
    PalettePointer read = emptyPalette();
    ASSERT_FALSE(refused(formatNamed("gif")->read(whole.data(), whole.size(), read.get())));
    for (std::size_t size = 0; size < whole.size(); size++) {
        const ReadError error = formatNamed("gif")->read(whole.data(), size, read.get());
        EXPECT_EQ(error.problem, ReadProblem::Truncated) << size;
        EXPECT_EQ(error.at, size);
    }
}

// A GIF is read from the open file where giflib asks, past the first 1 MiB
// window: a comment of more than 1 MiB before its image.
TEST(Formats, AGifIsReadPastTheFirstWindow) {
    Bytes comment = {'!', 0xFE};
    for (std::size_t i = 0; i * 255 < kFirstWindowSize + 4096; i++) {
        comment.push_back(255);
        comment.insert(comment.end(), 255, 'x');
    }
    comment.push_back(0);
    const Bytes file = joined({gifStart(1, 1, 4, 9), comment, gifImage(0, 1, 1, 0, 0), kTrailer});
    testing::FakePlatform fake;
    testing::addFile(&fake, "C:\\p\\s.gif", file);
    testing::OwnedBytes buffer;
    testing::OwnedPalette owned;
    Palette& read = owned.palette;
    const PaletteSource source = readPaletteSource(testing::makePlatform(&fake), "C:\\p\\s.gif",
                                                   nullptr, &buffer.buffer, &read);
    EXPECT_EQ(source.source.status, SourceStatus::Read);
    EXPECT_EQ(source.error.problem, ReadProblem::None);
    EXPECT_TRUE(sameColors(read, *palette(gifColors(4, 9))));
}

}  // namespace
}  // namespace kolorvane
