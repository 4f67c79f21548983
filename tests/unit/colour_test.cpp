// Swatches of every colour space of .aco and .ase, as the readers give them,
// and the conversion of CMYK and Lab through LittleCMS, against the
// reference values of Photoshop's and LittleCMS's own tools (transicc), not
// against numbers of this program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "colour_management.h"
#include "format.h"
#include "owned.h"

namespace kolorvane {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void put16(Bytes* bytes, unsigned value) {
    bytes->push_back(static_cast<unsigned char>(value >> 8));
    bytes->push_back(static_cast<unsigned char>(value));
}

void put32(Bytes* bytes, std::uint32_t value) {
    put16(bytes, value >> 16);
    put16(bytes, value & 0xFFFF);
}

// A version 1 .aco of one colour: its space and four values.
Bytes aco(unsigned space, std::vector<unsigned> values) {
    Bytes bytes;
    for (unsigned value : {1U, 1U, space}) {
        put16(&bytes, value);
    }
    values.resize(4);
    for (unsigned value : values) {
        put16(&bytes, value & 0xFFFF);
    }
    return bytes;
}

std::uint32_t bits(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// An .ase of one unnamed colour of `model` (four characters).
Bytes ase(const char* model, const std::vector<float>& values) {
    Bytes block;
    put16(&block, 1);  // a name of the closing zero alone
    put16(&block, 0);
    block.insert(block.end(), model, model + 4);
    for (float value : values) {
        put32(&block, bits(value));
    }
    put16(&block, 2);
    Bytes bytes = {'A', 'S', 'E', 'F', 0, 1, 0, 0};
    put32(&bytes, 1);
    put16(&bytes, 1);
    put32(&bytes, static_cast<std::uint32_t>(block.size()));
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

using testing::emptyPalette;

ReadError read(const char* format, const Bytes& bytes, Palette* palette) {
    return formatNamed(format)->read(bytes.data(), bytes.size(), palette);
}

std::vector<int> rgb(const Color& color) { return {color.red, color.green, color.blue}; }

// HSB and grey are read through their formulas, the HSB rows being
// Photoshop's own values (#FFBA01 is the yellow an HSL formula made white).
TEST(Swatches, AcoHsbAndGreyAreReadByTheirFormulas) {
    const struct Case {
        unsigned space;
        std::vector<unsigned> values;
        std::vector<int> expected;
    } cases[] = {
        {1, {0, 65535, 65535}, {255, 0, 0}},
        {1, {7955, 65273, 65535}, {255, 186, 1}},
        {1, {32768, 32768, 52428}, {102, 204, 204}},
        {1, {65535, 65535, 65535}, {255, 0, 0}},  // the last hue before red again
        {1, {21845, 0, 32768}, {128, 128, 128}},  // no saturation: the hue does not count
        {8, {0}, {255, 255, 255}},                // no black
        {8, {10000}, {0, 0, 0}},
        {8, {2500}, {191, 191, 191}},  // 255 x 0.75 = 191.25
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("space " + std::to_string(c.space) + " " + std::to_string(c.values[0]));
        auto palette = emptyPalette();
        ASSERT_FALSE(refused(read("aco", aco(c.space, c.values), palette.get())));
        EXPECT_EQ(rgb(palette->colors[0]), c.expected);
        EXPECT_EQ(palette->sourceColorCount, 0U);
    }
}

// CMYK and Lab are kept as they were given, each with the colour it becomes.
TEST(Swatches, CmykAndLabAreKeptInTheirSpace) {
    const struct Case {
        const char* format;
        Bytes bytes;
        ColorSpace space;
        std::vector<double> values;
    } cases[] = {
        // .aco's inks are inverted: 0 is full ink.
        {"aco", aco(2, {0, 65535, 32767, 49151}), ColorSpace::Cmyk, {100, 0, 50.0008, 25.0004}},
        {"aco", aco(7, {5324, 8009, 0x10000 - 6720}), ColorSpace::Lab, {53.24, 80.09, -67.2, 0}},
        {"aco", aco(7, {10000, 12700, 0x10000 - 12800}), ColorSpace::Lab, {100, 127, -128, 0}},
        {"ase", ase("CMYK", {1, 0, 0.35F, 0.15F}), ColorSpace::Cmyk, {100, 0, 35, 15}},
        {"ase", ase("LAB ", {0.5F, 50, -60}), ColorSpace::Lab, {50, 50, -60, 0}},
        {"ase", ase("LAB ", {1, 127, -128}), ColorSpace::Lab, {100, 127, -128, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.values[0]));
        auto palette = emptyPalette();
        ASSERT_FALSE(refused(resizePalette(palette.get(), 1, 0)));
        palette->colors[0] = {9, 9, 9};  // what a palette of the batch before left
        clearPalette(palette.get());
        ASSERT_FALSE(refused(read(c.format, c.bytes, palette.get())));
        ASSERT_EQ(palette->sourceColorCount, 1U);
        const SourceColor& source = palette->sourceColors[0];
        EXPECT_EQ(source.index, 0U);
        EXPECT_EQ(source.space, c.space);
        for (std::size_t i = 0; i < 4; i++) {
            EXPECT_NEAR(source.values[i], c.values[i], 0.0001) << i;
        }
        EXPECT_EQ(rgb(palette->colors[0]), (std::vector<int>{0, 0, 0}));
    }
}

// A colour of each space in one file keeps its place, and a version 2
// section after version 1 adds names, not a second set of kept colours.
TEST(Swatches, MixedSpacesKeepTheirOrder) {
    Bytes bytes = {0, 1, 0, 4};
    for (const Bytes& one :
         {aco(2, {0, 0, 0, 0}), aco(0, {65535, 0, 0}), aco(7, {5000}), aco(8, {10000})}) {
        bytes.insert(bytes.end(), one.begin() + 4, one.end());
    }
    const Bytes first(bytes.begin() + 4, bytes.end());
    put16(&bytes, 2);
    put16(&bytes, 4);
    for (std::size_t i = 0; i < 4; i++) {
        bytes.insert(bytes.end(), first.begin() + 10 * i, first.begin() + 10 * (i + 1));
        put32(&bytes, 2);
        put16(&bytes, 'a' + i);
        put16(&bytes, 0);
    }
    auto palette = emptyPalette();

    ASSERT_FALSE(refused(read("aco", bytes, palette.get())));

    EXPECT_EQ(palette->count, 4U);
    ASSERT_EQ(palette->sourceColorCount, 2U);
    EXPECT_EQ(palette->sourceColors[0].index, 0U);
    EXPECT_EQ(palette->sourceColors[0].space, ColorSpace::Cmyk);
    EXPECT_EQ(palette->sourceColors[1].index, 2U);
    EXPECT_EQ(palette->sourceColors[1].space, ColorSpace::Lab);
    EXPECT_EQ(rgb(palette->colors[1]), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(palette->colors[3]), (std::vector<int>{0, 0, 0}));
    const NameText name = colorName(*palette, 3);
    EXPECT_EQ(std::string(name.bytes, name.size), "d");
}

// An ASE colour model is its four characters in any case, spaces trimmed.
TEST(Swatches, AseModelsAreReadInAnyCase) {
    const struct Case {
        const char* model;
        std::vector<float> values;
        bool kept;
    } cases[] = {
        {"rgb ", {1, 0, 0}, false},   {"Gray", {1}, false},         {"GRAY", {1}, false},
        {"cmyk", {0, 0, 0, 0}, true}, {"Lab ", {0.5F, 0, 0}, true}, {"lab ", {0.5F, 0, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        auto palette = emptyPalette();
        ASSERT_FALSE(refused(read("ase", ase(c.model, c.values), palette.get())));
        EXPECT_EQ(palette->sourceColorCount, c.kept ? 1U : 0U);
        EXPECT_EQ(palette->colors[0].red, c.kept ? 0 : 255);
    }
}

// Values their space does not hold, and the spaces not read, are refused
// naming the colour, where it stands.
TEST(Swatches, ValuesOutOfTheirRangeAreRefused) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct Case {
        const char* format;
        Bytes bytes;
        ReadProblem problem;
        std::uint32_t at;
        std::uint32_t value;
    } cases[] = {
        {"aco", aco(7, {10001, 0, 0}), ReadProblem::OutOfRange, 4, 7},
        {"aco", aco(7, {5000, 12701, 0}), ReadProblem::OutOfRange, 4, 7},
        {"aco", aco(7, {5000, 0, 0x10000 - 12801}), ReadProblem::OutOfRange, 4, 7},
        {"aco", aco(8, {10001}), ReadProblem::OutOfRange, 4, 8},
        {"aco", aco(3, {1, 2, 3}), ReadProblem::UnsupportedSpace, 4, 3},
        {"aco", aco(9, {1, 2, 3}), ReadProblem::UnsupportedSpace, 4, 9},
        {"aco", aco(10, {1, 2, 3}), ReadProblem::UnsupportedSpace, 4, 10},
        {"ase", ase("LAB ", {1.01F, 0, 0}), ReadProblem::OutOfRange, 26, 7},
        {"ase", ase("LAB ", {0.5F, -128.5F, 0}), ReadProblem::OutOfRange, 30, 7},
        {"ase", ase("LAB ", {0.5F, 0, nan}), ReadProblem::OutOfRange, 34, 7},
        {"ase", ase("CMYK", {0, 0, 0, 1.5F}), ReadProblem::BadFloat, 38, 0},
        {"ase", ase("CMYK", {-0.25F, 0, 0, 0}), ReadProblem::BadFloat, 26, 0},
        {"ase", ase("XYZ ", {0, 0, 0}), ReadProblem::UnsupportedSpace, 22, 0xFFFF},
        {"ase", ase("RGBA", {0, 0, 0}), ReadProblem::UnsupportedSpace, 22, 0xFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " at " + std::to_string(c.at));
        auto palette = emptyPalette();
        const ReadError error = read(c.format, c.bytes, palette.get());
        EXPECT_EQ(error.problem, c.problem);
        EXPECT_EQ(error.at, c.at);
        EXPECT_EQ(error.color, 1U);
        EXPECT_EQ(error.value, c.value);
    }
}

// --- the conversion --------------------------------------------------------

const Bytes& isoCoated() {
    static const Bytes bytes = readFile(KOLORVANE_CMYK_PROFILE_FILE);
    return bytes;
}

struct Managed {
    ColorManagement colors = startColorManagement(isoCoated().data(), isoCoated().size());
    Managed() = default;
    Managed(const Managed&) = delete;
    Managed& operator=(const Managed&) = delete;
    ~Managed() { endColorManagement(&colors); }
};

void keep(ColorSpace space, std::vector<double> values, Palette* palette) {
    values.resize(4);
    SourceColor source{};
    source.index = palette->count;
    source.space = space;
    std::copy(values.begin(), values.end(), source.values.begin());
    ASSERT_FALSE(refused(resizePalette(palette, palette->count + 1, 0)));
    ASSERT_TRUE(keepSourceColor(palette, source));
}

// The reference values, through ISO Coated v2 300% and LittleCMS's Lab and
// sRGB: each channel within 1 of transicc's and Photoshop's, and those
// outside sRGB counted.
TEST(ColourManagement, ReferenceValuesComeOutWithinALevel) {
    const struct Case {
        ColorSpace space;
        std::vector<double> values;
        std::vector<int> expected;
        bool outside;
    } cases[] = {
        {ColorSpace::Lab, {50, 0, 0}, {119, 119, 119}, false},
        {ColorSpace::Lab, {50, 50, 50}, {202, 75, 34}, false},  // D65 would give 207
        {ColorSpace::Lab, {30, 20, -60}, {31, 63, 166}, false},
        {ColorSpace::Lab, {75, -40, 20}, {107, 204, 146}, false},
        {ColorSpace::Lab, {53.24, 80.09, 67.20}, {250, 0, 7}, true},
        {ColorSpace::Cmyk, {100, 0, 0, 0}, {0, 158, 227}, true},
        {ColorSpace::Cmyk, {0, 0, 0, 100}, {24, 23, 21}, false},
        {ColorSpace::Cmyk, {0, 35, 15, 0}, {247, 189, 195}, false},
        {ColorSpace::Cmyk, {0, 0, 0, 0}, {255, 255, 255}, false},  // paper white, a hair above
    };
    Managed managed;
    auto palette = emptyPalette();
    std::size_t outside = 0;
    for (const Case& c : cases) {
        keep(c.space, c.values, palette.get());
        outside += c.outside ? 1 : 0;
    }
    ConvertedCounts counts{};

    ASSERT_TRUE(convertSourceColors(&managed.colors, palette.get(), &counts));

    for (std::size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE("case " + std::to_string(i));
        const std::vector<int> got = rgb(palette->colors[i]);
        for (std::size_t c = 0; c < 3; c++) {
            EXPECT_NEAR(got[c], cases[i].expected[c], 1) << c;
        }
    }
    EXPECT_EQ(counts.cmyk, 4U);
    EXPECT_EQ(counts.lab, 5U);
    EXPECT_EQ(counts.outside, outside);
    EXPECT_EQ(palette->sourceColorCount, std::size(cases));  // kept for the writers that hold them
    EXPECT_STREQ(managed.colors.description, "ISO Coated v2 300% (basICColor)");
}

// Each transform is made at the first colour that needs it and then kept
// for every later palette of the run; a palette without such colours makes
// none.
TEST(ColourManagement, TransformsAreMadeOnceAtTheirFirstColour) {
    Managed managed;
    auto palette = emptyPalette();
    ConvertedCounts counts{};
    ASSERT_FALSE(refused(resizePalette(palette.get(), 1, 0)));
    ASSERT_TRUE(convertSourceColors(&managed.colors, palette.get(), &counts));
    EXPECT_EQ(managed.colors.context, nullptr);

    keep(ColorSpace::Lab, {50, 0, 0}, palette.get());
    ASSERT_TRUE(convertSourceColors(&managed.colors, palette.get(), &counts));
    EXPECT_NE(managed.colors.labTransform, nullptr);
    EXPECT_EQ(managed.colors.cmykTransform, nullptr);
    EXPECT_STREQ(managed.colors.description, "");

    void* const lab = managed.colors.labTransform;
    clearPalette(palette.get());
    keep(ColorSpace::Cmyk, {0, 0, 0, 100}, palette.get());
    keep(ColorSpace::Lab, {50, 50, 50}, palette.get());
    ASSERT_TRUE(convertSourceColors(&managed.colors, palette.get(), &counts));
    EXPECT_EQ(managed.colors.labTransform, lab);
    void* const cmyk = managed.colors.cmykTransform;
    EXPECT_NE(cmyk, nullptr);
    EXPECT_EQ(rgb(palette->colors[1]), (std::vector<int>{202, 75, 34}));

    clearPalette(palette.get());
    keep(ColorSpace::Cmyk, {0, 35, 15, 0}, palette.get());
    ASSERT_TRUE(convertSourceColors(&managed.colors, palette.get(), &counts));
    EXPECT_EQ(managed.colors.cmykTransform, cmyk);
    EXPECT_EQ(counts.cmyk, 1U);
    EXPECT_EQ(counts.lab, 0U);
}

// A profile that cannot be opened fails the palette's conversion, not the
// program.
TEST(ColourManagement, AProfileLittleCmsCannotOpenFailsTheConversion) {
    const Bytes damaged(isoCoated().begin(), isoCoated().begin() + 200);
    ColorManagement colors = startColorManagement(damaged.data(), damaged.size());
    auto palette = emptyPalette();
    keep(ColorSpace::Cmyk, {0, 0, 0, 0}, palette.get());
    ConvertedCounts counts{};

    EXPECT_FALSE(convertSourceColors(&colors, palette.get(), &counts));

    endColorManagement(&colors);
}

// Bytes of `profile` with the four at `at` replaced.
Bytes changed(Bytes profile, std::size_t at, const char* with) {
    std::memcpy(profile.data() + at, with, 4);
    return profile;
}

// The tag table without the tags that convert CMYK to the connection space.
Bytes withoutCmykToPcs(Bytes profile) {
    const std::size_t tags = static_cast<std::size_t>(profile[128]) << 24 | profile[129] << 16 |
                             profile[130] << 8 | profile[131];
    for (std::size_t i = 0; i < tags; i++) {
        unsigned char* signature = profile.data() + 132 + 12 * i;
        if (std::memcmp(signature, "A2B", 3) == 0) {
            signature[0] = 'x';
        }
    }
    return profile;
}

TEST(ColourManagement, ProfilesAreCheckedForCmyk) {
    const Bytes srgb = readFile(KOLORVANE_RGB_PROFILE_FILE);
    const struct Case {
        const char* what;
        Bytes bytes;
        ProfileProblem problem;
        const char* space;
    } cases[] = {
        {"ISO Coated", isoCoated(), ProfileProblem::None, "CMYK"},
        {"sRGB", srgb, ProfileProblem::NotCmyk, "RGB"},
        {"grey", changed(srgb, 16, "GRAY"), ProfileProblem::NotCmyk, "GRAY"},
        {"text", Bytes(1000, 'x'), ProfileProblem::NotIcc, ""},
        {"empty", Bytes(), ProfileProblem::NotIcc, ""},
        {"truncated", Bytes(isoCoated().begin(), isoCoated().begin() + 100), ProfileProblem::NotIcc,
         ""},
        {"device link", changed(isoCoated(), 12, "link"), ProfileProblem::NotDevice, "CMYK"},
        {"no A2B", withoutCmykToPcs(isoCoated()), ProfileProblem::NoCmykToPcs, "CMYK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProfileCheck check = checkCmykProfile(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(check.problem, c.problem);
        EXPECT_STREQ(check.space, c.space);
    }
    EXPECT_STREQ(checkCmykProfile(isoCoated().data(), isoCoated().size()).description,
                 "ISO Coated v2 300% (basICColor)");
}

// A description is shown as printable ASCII: a profile cannot send a
// terminal its control sequences.
TEST(ColourManagement, DescriptionsKeepToPrintableCharacters) {
    Bytes profile = isoCoated();
    const char* const from = "ISO Coated v2 300%";
    const auto found = std::search(profile.begin(), profile.end(), from, from + std::strlen(from));
    ASSERT_NE(found, profile.end());
    *found = 0x1B;        // ESC
    *(found + 4) = 0x07;  // BEL

    EXPECT_STREQ(checkCmykProfile(profile.data(), profile.size()).description,
                 "?SO ?oated v2 300% (basICColor)");
}

}  // namespace
}  // namespace kolorvane
