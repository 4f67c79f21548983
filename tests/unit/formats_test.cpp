#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "conversion.h"
#include "fake_platform.h"
#include "format.h"

namespace kolorvane {
namespace {

using Bytes = std::vector<unsigned char>;

const Color kFive[] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {18, 52, 86}, {171, 205, 239}};

Bytes sample(const std::string& name) {
    std::ifstream file(std::string(KOLORVANE_SAMPLES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Palette palette(const std::vector<Color>& colors) {
    Palette made{};
    std::copy(colors.begin(), colors.end(), made.colors.begin());
    made.count = colors.size();
    return made;
}

Palette randomPalette(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Color> colors(count);
    for (Color& color : colors) {
        color = {static_cast<unsigned char>(random()), static_cast<unsigned char>(random()),
                 static_cast<unsigned char>(random())};
    }
    return palette(colors);
}

bool same(const Palette& a, const Palette& b) {
    if (a.count != b.count) {
        return false;
    }
    for (std::size_t i = 0; i < kEntryCount; i++) {
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
    const Format* extension = formatOfExtension(name.c_str());
    ReadError error{};
    const Format* format = extension == nullptr
                               ? nullptr
                               : detectFormat(*extension, bytes.data(), bytes.size(), &error);
    if (format == nullptr || refused(format->read(bytes.data(), bytes.size(), read))) {
        return nullptr;
    }
    return format;
}

Bytes encode(const Format& format, const Palette& palette) {
    EncodedBytes bytes{};
    const std::size_t size = format.write(palette, &bytes);
    EXPECT_GT(size, 0U) << format.name << " fits its buffer";
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(Formats, EverySampleReadsAsTheFiveColours) {
    const std::pair<const char*, const char*> samples[] = {
        {"edge.pal", "edge"},    {"act.act", "act"},       {"jasc.pal", "jasc"},
        {"jasc-lf.pal", "jasc"}, {"riff.pal", "riff"},     {"riff-chunks.pal", "riff"},
        {"five.gpl", "gpl"},     {"named.gpl", "gpl"},     {"five.hex", "hex"},
        {"upper.hex", "hex"},    {"five.txt", "paintnet"}, {"alpha.txt", "paintnet"},
        {"five.aco", "aco"},     {"names.aco", "aco"},     {"five.ase", "ase"},
        {"groups.ase", "ase"},   {"five.png", "png"},      {"five-rgb.png", "png"},
    };
    for (const auto& [name, formatName] : samples) {
        SCOPED_TRACE(name);
        Palette read{};
        const Format* format = readAs(name, sample(name), &read);
        ASSERT_NE(format, nullptr);
        EXPECT_STREQ(format->name, formatName);
        Palette expected = palette({std::begin(kFive), std::end(kFive)});
        if (format == formatNamed("edge")) {
            expected.count = kEntryCount;  // EDGE PAL always holds 256
        }
        EXPECT_TRUE(same(read, expected));
    }
}

TEST(Formats, WritersWriteTheCanonicalSamples) {
    const Palette five = palette({std::begin(kFive), std::end(kFive)});
    const std::pair<const char*, const char*> samples[] = {
        {"edge", "edge.pal"},     {"act", "act.act"},  {"jasc", "jasc.pal"},
        {"riff", "riff.pal"},     {"gpl", "five.gpl"}, {"hex", "five.hex"},
        {"paintnet", "five.txt"}, {"aco", "five.aco"}, {"ase", "five.ase"},
    };
    // PNG's bytes are its compressor's: Pillow and pngcheck read them back in
    // the command line's end-to-end tests instead.
    ASSERT_EQ(std::size(samples), kFormatCount - 1);
    for (const auto& [formatName, name] : samples) {
        SCOPED_TRACE(formatName);
        EXPECT_EQ(encode(*formatNamed(formatName), five), sample(name));
    }
}

// Every format into every other and back gives the colours it started with;
// through EDGE PAL, all 256 of them, the ones past the count zero.
TEST(Formats, EveryPairOfFormatsRoundTrips) {
    std::vector<Palette> palettes = {randomPalette(1, 1), randomPalette(16, 2),
                                     randomPalette(256, 3)};
    palettes.push_back(palette(std::vector<Color>(256, Color{255, 255, 255})));  // longest text
    for (const Palette& start : palettes) {
        for (std::size_t a = 0; a < kFormatCount; a++) {
            for (std::size_t b = 0; b < kFormatCount; b++) {
                const Format& from = kFormats[a];
                const Format& to = kFormats[b];
                SCOPED_TRACE(std::string(from.name) + " to " + to.name + ", " +
                             std::to_string(start.count) + " colours");
                Palette middle{};
                Palette end{};
                const Bytes first = encode(from, start);
                ASSERT_FALSE(refused(from.read(first.data(), first.size(), &middle)));
                const Bytes second = encode(to, middle);
                ASSERT_FALSE(refused(to.read(second.data(), second.size(), &end)));
                Palette expected = start;
                if (&from == formatNamed("edge") || &to == formatNamed("edge")) {
                    expected.count = kEntryCount;
                }
                EXPECT_TRUE(same(end, expected));
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
        Palette read{};
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
        file.insert(file.end(), c.trailer.begin(), c.trailer.end());
        file.resize(c.size, 0);
        Palette read{};
        EXPECT_FALSE(refused(formatNamed("act")->read(file.data(), file.size(), &read)));
        EXPECT_EQ(read.count, c.count) << c.size;
        EXPECT_EQ(read.colors[255].blue, 9) << "all 256 entries are kept";
    }
}

TEST(Formats, PlansNameTheOutputAfterTheTarget) {
    struct Case {
        const char* path;
        const char* to;
        PlanStatus status;
        const char* output;
    };
    const Case cases[] = {
        {"C:\\p\\Sunset.PAL", nullptr, PlanStatus::Planned, "C:\\p\\Sunset.act"},
        {"C:\\p\\Sunset.Act", nullptr, PlanStatus::Planned, "C:\\p\\Sunset.pal"},
        {"C:\\p\\Sunset.GPL", nullptr, PlanStatus::Planned, "C:\\p\\Sunset.pal"},
        {"C:\\p\\s.txt", nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.ase", "aco", PlanStatus::Planned, "C:\\p\\s.aco"},
        {"C:\\p\\s.pal", "paintnet", PlanStatus::Planned, "C:\\p\\s.txt"},
        {"C:\\p\\s.png", nullptr, PlanStatus::Planned, "C:\\p\\s.pal"},
        {"C:\\p\\s.bmp", nullptr, PlanStatus::Unsupported, ""},
        {"C:\\p\\s.gp", nullptr, PlanStatus::Unsupported, ""},
    };
    const PathRules rules = {"\\", [](unsigned char) { return false; }};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ConversionPlan plan{};
        const Format* to = c.to == nullptr ? nullptr : formatNamed(c.to);
        EXPECT_EQ(planConversion(c.path, rules, nullptr, to, &plan), c.status);
        if (c.status == PlanStatus::Planned) {
            EXPECT_STREQ(plan.paths.target, c.output);
        }
    }
}

// A PNG is pulled from the open file a read at a time, never read whole:
// what a read fails with is the source's failure, and a file larger than the
// 64 MiB a PNG may be is refused, before any read when its size is known.
TEST(Formats, APngIsPulledFromTheOpenFile) {
    const Bytes five = sample("five-rgb.png");
    // A valid start, then an ancillary chunk that passes the limit.
    Bytes large(five.begin(), five.begin() + 33);
    const std::size_t chunk = 64 * 1024 * 1024;
    large.insert(large.end(), {0x04, 0, 0, 0, 'p', 'r', 'V', 't'});
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
    std::vector<unsigned char> buffer(kSourceBufferSize);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePlatform fake;
        testing::addFile(&fake, "C:\\p\\s.png", *c.file);
        fake.readChunk = c.file == &five ? 40 : 0;
        fake.failAt = c.failAt;
        fake.sizeKnown = c.sizeKnown;
        Palette read{};
        const PaletteSource source = readPaletteSource(testing::makePlatform(&fake), "C:\\p\\s.png",
                                                       *formatNamed("png"), buffer.data(), &read);
        EXPECT_EQ(source.source.status, c.status);
        EXPECT_EQ(source.error.problem, c.problem);
        EXPECT_TRUE(fake.open.empty()) << "the file is closed";
        const auto reads =
            std::count_if(fake.log.begin(), fake.log.end(),
                          [](const std::string& l) { return l.rfind("read", 0) == 0; });
        if (c.file == &five && c.failAt < 0) {
            EXPECT_TRUE(same(read, palette({std::begin(kFive), std::end(kFive)})));
            EXPECT_EQ(source.source.identity.index, fake.identities["C:\\p\\s.png"].index);
            EXPECT_EQ(reads, static_cast<long>((five.size() + 39) / 40));
        } else {
            EXPECT_EQ(read.count, 0U) << "a refused source leaves the palette as it was";
            EXPECT_EQ(reads > 0, c.sizeKnown ? c.failAt >= 0 : true);
        }
    }
}

}  // namespace
}  // namespace kolorvane
