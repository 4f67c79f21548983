// BMP, PCX and TGA images of the kinds Pillow and ImageMagick do not write
// (the command line's end-to-end tests read theirs), built here from the
// formats' layouts: every BMP header, bit fields and run-length data, PCX's
// planes, TGA's map offsets, entry sizes and corners.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "format.h"
#include "format_conversion.h"
#include "owned.h"

namespace kolorvane {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Bytes le16(std::uint32_t v) {
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
}
Bytes le32(std::uint32_t v) { return cat({le16(v), le16(v >> 16)}); }

// An info header of `size` bytes: the 12-byte one of OS/2 1.x, or the
// fields of Windows' 40 bytes and the masks after them, cut or padded.
Bytes bmpHeader(std::uint32_t size, std::int32_t height, std::uint32_t bits,
                std::uint32_t compression = 0, std::uint32_t used = 0,
                const std::vector<std::uint32_t>& masks = {}) {
    const auto h = static_cast<std::uint32_t>(height);
    if (size == 12) {
        return cat({le32(12), le16(2), le16(h), le16(1), le16(bits)});
    }
    Bytes header = cat({le32(size), le32(2), le32(h), le16(1), le16(bits), le32(compression),
                        le32(0), le32(2835), le32(2835), le32(used), le32(0)});
    for (const std::uint32_t mask : masks) {
        header = cat({header, le32(mask)});
    }
    header.resize(size, 0);
    return header;
}

// A BMP two pixels wide: the file header, then these parts.
Bytes bmp(const Bytes& header, const Bytes& table, const Bytes& pixels) {
    const auto offset = static_cast<std::uint32_t>(14 + header.size() + table.size());
    return cat({{'B', 'M'},
                le32(offset + static_cast<std::uint32_t>(pixels.size())),
                le32(0),
                le32(offset),
                header,
                table,
                pixels});
}

// A PCX header: `bits` in `planes`, `width` by `height`, the 16 header
// entries 10 + i each, `bytesPerLine` a plane's row.
Bytes pcxHeader(unsigned bits, unsigned planes, unsigned width, unsigned height,
                unsigned bytesPerLine, unsigned encoding = 1) {
    Bytes header =
        cat({{0x0A, 5, static_cast<unsigned char>(encoding), static_cast<unsigned char>(bits)},
             le16(0),
             le16(0),
             le16(width - 1),
             le16(height - 1),
             le16(72),
             le16(72)});
    for (unsigned char i = 0; i < 48; i++) {
        header.push_back(static_cast<unsigned char>(10 + i / 3));
    }
    header = cat({header, {0, static_cast<unsigned char>(planes)}, le16(bytesPerLine), le16(1)});
    header.resize(128, 0);
    return header;
}

// A TGA header; a descriptor of `corner` (bits 4 and 5) and alpha bits.
Bytes tgaHeader(unsigned type, unsigned mapType, unsigned first, unsigned length, unsigned mapBits,
                unsigned width, unsigned height, unsigned depth, unsigned descriptor = 0,
                unsigned idLength = 0) {
    return cat({{static_cast<unsigned char>(idLength), static_cast<unsigned char>(mapType),
                 static_cast<unsigned char>(type)},
                le16(first),
                le16(length),
                {static_cast<unsigned char>(mapBits)},
                le32(0),
                le16(width),
                le16(height),
                {static_cast<unsigned char>(depth), static_cast<unsigned char>(descriptor)}});
}

std::string hex(const Color& c) {
    char text[7];
    std::snprintf(text, sizeof text, "%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

std::vector<std::string> colorsOf(const Palette& palette) {
    std::vector<std::string> colors;
    for (std::size_t i = 0; i < palette.count && i < kEntryCount; i++) {
        colors.push_back(hex(palette.colors[i]));
    }
    return colors;
}

struct Good {
    const char* name;
    const char* format;
    Bytes bytes;
    std::vector<std::string> colors;
};

const Bytes kBgr0 = {3, 2, 1, 0, 6, 5, 4, 0, 9, 8, 7, 0, 0xC, 0xB, 0xA, 0};
const std::vector<std::string> kFour = {"010203", "040506", "070809", "0a0b0c"};

// Reads each case as its format and compares the palette.
void expectPalettes(const std::vector<Good>& cases) {
    for (const Good& c : cases) {
        SCOPED_TRACE(c.name);
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        const ReadError error = formatNamed(c.format)->read(c.bytes.data(), c.bytes.size(), &read);
        ASSERT_EQ(error.problem, ReadProblem::None) << error.at << " " << error.value;
        EXPECT_EQ(colorsOf(read), c.colors);
    }
}

TEST(Bmp, EveryHeaderGivesItsTable) {
    const Bytes bgr = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0xC, 0xB, 0xA};
    const Bytes pixels = {0x01, 0, 0, 0};  // a row of two 4-bit pixels
    std::vector<Good> cases = {
        {"12", "bmp", bmp(bmpHeader(12, 1, 2), bgr, pixels), kFour},
        {"16: no count, 2^bits", "bmp", bmp(bmpHeader(16, 1, 2, 0, 3), kBgr0, pixels), kFour},
        {"2 bits", "bmp", bmp(bmpHeader(40, 1, 2), kBgr0, pixels), kFour},
        {"more than 2^bits used",
         "bmp",
         bmp(bmpHeader(40, 1, 1, 0, 3), kBgr0, pixels),
         {"010203", "040506", "070809"}},
    };
    for (const std::uint32_t size : {40U, 52U, 56U, 64U, 108U, 124U}) {
        cases.push_back({"4 bits, 3 used",
                         "bmp",
                         bmp(bmpHeader(size, 1, 4, 0, 3), kBgr0, pixels),
                         {"010203", "040506", "070809"}});
    }
    expectPalettes(cases);
}

TEST(Bmp, TrueColourPixelsGiveTheirColours) {
    // 16 bits, 5-5-5 unless masked: 0x7C01 is red 31, blue 1 (widened: ff, 08).
    const Bytes sixteen = {0x01, 0x7C, 0xE0, 0x03};
    // Stored top row first.
    const Bytes rows24 = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 1, 2, 3, 0, 0};
    const Bytes bits32 = {0x00, 0x00, 0xF0, 0x3F, 0xFF, 0x03, 0x00, 0x00};  // 10-10-10
    const Bytes alpha = {1, 2, 3, 0, 4, 5, 6, 0xFF};
    expectPalettes({
        {"555", "bmp", bmp(bmpHeader(40, 1, 16), {}, sixteen), {"ff0008", "00ff00"}},
        {"565",
         "bmp",
         bmp(bmpHeader(40, 1, 16, 3), cat({le32(0xF800), le32(0x07E0), le32(0x001F)}), sixteen),
         {"7b8208", "007d00"}},
        {"top-down", "bmp", bmp(bmpHeader(40, -2, 24), {}, rows24), {"030201", "060504", "090807"}},
        {"10 bits a channel",
         "bmp",
         bmp(bmpHeader(56, 1, 32, 3, 0, {0x3FF00000, 0xFFC00, 0x3FF}), {}, bits32),
         {"ff0000", "0000ff"}},
        {"alpha 0 skipped",
         "bmp",
         bmp(bmpHeader(40, 1, 32, 6),
             cat({le32(0xFF0000), le32(0xFF00), le32(0xFF), le32(0xFF000000)}), alpha),
         {"060504"}},
        {"no alpha mask in 52 bytes",
         "bmp",
         bmp(bmpHeader(52, 1, 32, 3, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), {}, alpha),
         {"030201", "060504"}},
    });
}

TEST(Bmp, RunLengthDataIsDecodedToItsEnd) {
    // RLE4, two rows: a run, a move down a row, an absolute run of 3 (two
    // bytes, padded to 16 bits... already even), the end of the bitmap.
    const Bytes rle4 = {2, 0x12, 0, 2, 0, 1, 0, 3, 0x12, 0x30, 0, 1};
    // RLE8: an absolute run of 3 padded to 4 bytes, then the end of each row.
    const Bytes rle8 = {0, 3, 1, 2, 3, 0, 0, 0, 2, 1, 0, 0};
    expectPalettes({
        {"rle4", "bmp", bmp(bmpHeader(40, 2, 4, 2, 4), kBgr0, rle4), kFour},
        {"rle8", "bmp", bmp(bmpHeader(40, 2, 8, 1, 4), kBgr0, rle8), kFour},
    });
    for (const std::size_t cut : {1U, 5U, 8U}) {
        const Bytes file = bmp(bmpHeader(40, 2, 8, 1, 4), kBgr0, rle8);
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        const ReadError error = formatNamed("bmp")->read(file.data(), file.size() - cut, &read);
        EXPECT_EQ(error.problem, ReadProblem::Truncated) << cut;
    }
}

TEST(Pcx, EachKindGivesItsPalette) {
    std::vector<std::string> header;
    for (int i = 0; i < 16; i++) {
        header.push_back(
            hex({static_cast<unsigned char>(10 + i), static_cast<unsigned char>(10 + i),
                 static_cast<unsigned char>(10 + i)}));
    }
    const auto first = [&](std::size_t n) {
        return std::vector<std::string>(header.begin(), header.begin() + static_cast<long>(n));
    };
    // Two rows of 3 pixels of 24 bits, each plane's row 4 bytes (one of
    // padding), a run crossing from the first row into the second.
    const Bytes rgb = {0xC2, 1, 2, 0, 0xC3, 4, 0, 0xC2, 7, 0xC5, 8, 0, 9, 9, 9, 0, 8, 8, 8, 0};
    expectPalettes({
        {"2 bits", "pcx", cat({pcxHeader(2, 1, 4, 1, 2), {0xC2, 0}}), first(4)},
        {"4 bits", "pcx", cat({pcxHeader(4, 1, 4, 1, 2), {0xC2, 0}}), first(16)},
        {"1 bit, 3 planes", "pcx", cat({pcxHeader(1, 3, 8, 1, 2), {0xC6, 0}}), first(8)},
        {"1 bit, 4 planes", "pcx", cat({pcxHeader(1, 4, 8, 1, 2), {0xC8, 0}}), first(16)},
        {"24 bits", "pcx", cat({pcxHeader(8, 3, 3, 2, 4), rgb}), {"010407", "020408", "080908"}},
        {"24 bits, not coded",
         "pcx",
         cat({pcxHeader(8, 3, 1, 1, 2, 0), {1, 0xFF, 2, 0xFF, 3, 0xFF}}),
         {"010203"}},
    });
}

// A large file is read where its palette is: a PCX's end alone, an indexed
// BMP's header and table (its pixels' size checked against the file's). One
// of unknown size, a FIFO's, is read on as far as it must be.
TEST(Images, ALargeSourceIsReadOnlyWhereItsPaletteIs) {
    const std::size_t large = 3 * kFirstWindowSize;
    Bytes pcx = cat({pcxHeader(8, 1, 4000, 700, 4000, 0), Bytes(large, 7), {0x0C}});
    pcx.resize(pcx.size() + 768, 0x55);
    const Bytes indexedBmp = bmp(bmpHeader(40, 1, 8, 0, 2), Bytes(8, 1), Bytes(large, 1));
    struct Case {
        const char* name;
        const Bytes* file;
        bool sizeKnown;
        long reads;  // -1 for a source of unknown size, read on as far as it must be
    };
    const Case cases[] = {
        {"C:\\p\\a.pcx", &pcx, true, 2},
        {"C:\\p\\a.bmp", &indexedBmp, true, 1},
        {"C:\\p\\b.pcx", &pcx, false, -1},
        {"C:\\p\\b.bmp", &indexedBmp, false, -1},
    };
    testing::OwnedBytes buffer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePlatform fake;
        testing::addFile(&fake, c.name, *c.file);
        fake.sizeKnown = c.sizeKnown;
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        const PaletteSource source =
            readPaletteSource(testing::makePlatform(&fake), c.name, nullptr, &buffer.buffer, &read);
        EXPECT_EQ(source.error.problem, ReadProblem::None);
        EXPECT_EQ(read.count, c.file == &pcx ? kEntryCount : 2U);
        EXPECT_EQ(hex(read.colors[1]), c.file == &pcx ? "555555" : "010101");
        if (c.reads >= 0) {
            EXPECT_EQ(std::count_if(fake.log.begin(), fake.log.end(),
                                    [](const std::string& l) { return l.rfind("read", 0) == 0; }),
                      c.reads);
        }
    }
}

TEST(Tga, MapsAndCornersGiveTheirColours) {
    const Bytes pixels = {0, 1, 2, 3};
    // Four pixels, two rows of two, 24 bits, as stored from each corner.
    const Bytes rows = {1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0};
    expectPalettes({
        {"first index 2",
         "tga",
         cat({tgaHeader(1, 1, 2, 2, 24, 2, 2, 8), {3, 2, 1, 6, 5, 4}, pixels}),
         {"000000", "000000", "010203", "040506"}},
        {"15 bits",
         "tga",
         cat({tgaHeader(1, 1, 0, 2, 15, 2, 2, 8), le16(0xFC01), le16(0x3E0), pixels}),
         {"ff0008", "00ff00"}},
        {"32 bits, alpha ignored",
         "tga",
         cat({tgaHeader(1, 1, 0, 1, 32, 2, 2, 8, 8), {3, 2, 1, 0}, pixels}),
         {"010203"}},
        {"an ID, a map in a true-colour image",
         "tga",
         cat({tgaHeader(2, 1, 0, 1, 16, 2, 2, 24, 0, 3), {9, 9, 9, 9, 9}, rows}),
         {"000003", "000004", "000001", "000002"}},
        {"top right",
         "tga",
         cat({tgaHeader(2, 0, 0, 0, 0, 2, 2, 24, 0x30), rows}),
         {"000002", "000001", "000004", "000003"}},
        {"bottom right",
         "tga",
         cat({tgaHeader(2, 0, 0, 0, 0, 2, 2, 24, 0x10), rows}),
         {"000004", "000003", "000002", "000001"}},
        // A run crossing rows, then a raw packet.
        {"coded",
         "tga",
         cat({tgaHeader(10, 0, 0, 0, 0, 2, 2, 24, 0x20), {0x82, 5, 0, 0, 0, 6, 0, 0}}),
         {"000005", "000006"}},
        {"16 bits, the attribute bit ignored",
         "tga",
         cat({tgaHeader(2, 0, 0, 0, 0, 2, 1, 16, 1), le16(0x7C00), le16(0x8000)}),
         {"ff0000", "000000"}},
        {"16-bit grey and alpha",
         "tga",
         cat({tgaHeader(3, 0, 0, 0, 0, 2, 1, 16, 8), {7, 0, 8, 1}}),
         {"080808"}},
    });
}

// Files that lie: each refused at the field or place at fault, before any
// pixel where the header already says so.
TEST(Images, FilesThatLieAreRefusedWhereTheyLie) {
    const Bytes bmp24 = bmp(bmpHeader(40, 1, 24), {}, Bytes(8, 1));
    Bytes hugeBmp = bmp24;
    std::copy_n(le32(65535).begin(), 4, hugeBmp.begin() + 18);
    std::copy_n(le32(65535).begin(), 4, hugeBmp.begin() + 22);
    struct Bad {
        const char* name;
        const char* format;
        Bytes bytes;
        ReadProblem problem;
        std::uint32_t at;
    };
    const Bad cases[] = {
        {"65535 x 65535 in 62 bytes", "bmp", hugeBmp, ReadProblem::ImageSize, 0},
        {"planes", "bmp", bmp(cat({le32(12), le16(1), le16(1), le16(2), le16(8)}), {}, {}),
         ReadProblem::Unsupported, 22},
        {"a mask of bits apart", "bmp",
         bmp(bmpHeader(40, 1, 16, 3), cat({le32(0xF801), le32(0x7E0), le32(0x1E)}), Bytes(4)),
         ReadProblem::Unsupported, 54},
        {"OS/2's Huffman", "bmp", bmp(bmpHeader(64, 1, 1, 3), {}, {}), ReadProblem::Unsupported,
         30},
        {"RLE8 of 4 bits", "bmp", bmp(bmpHeader(40, 1, 4, 1), {}, {}), ReadProblem::Unsupported,
         30},
        {"pixels inside the table", "bmp",
         cat({{'B', 'M'}, le32(0), le32(0), le32(60), bmpHeader(40, 1, 1, 0, 2), kBgr0}),
         ReadProblem::Unsupported, 10},
        {"3 bits", "pcx", cat({pcxHeader(3, 1, 4, 1, 2), {0xC2, 0}}), ReadProblem::Unsupported, 3},
        {"bytes per line short of the width", "pcx", pcxHeader(8, 3, 9, 1, 8),
         ReadProblem::Unsupported, 66},
        {"24-bit data ends early", "pcx", cat({pcxHeader(8, 3, 2, 2, 2), {0xC7, 1}}),
         ReadProblem::Truncated, 130},
        {"no map", "tga", cat({tgaHeader(1, 0, 0, 0, 0, 2, 2, 8), Bytes(4)}), ReadProblem::Missing,
         0},
        {"a map of 8-bit entries", "tga", tgaHeader(1, 1, 0, 2, 8, 2, 2, 8),
         ReadProblem::Unsupported, 7},
        {"a map past 256", "tga", tgaHeader(1, 1, 200, 57, 24, 2, 2, 8), ReadProblem::TooManyColors,
         5},
        {"8-bit colour", "tga", tgaHeader(2, 0, 0, 0, 0, 2, 2, 8), ReadProblem::Unsupported, 16},
        {"interleaved", "tga", tgaHeader(2, 0, 0, 0, 0, 2, 2, 24, 0x40), ReadProblem::Unsupported,
         17},
        {"indices missing", "tga", cat({tgaHeader(1, 1, 0, 1, 24, 2, 2, 8), {1, 2, 3}, {0, 0, 0}}),
         ReadProblem::Truncated, 24},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        testing::OwnedPalette owned;
        Palette& read = owned.palette;
        const ReadError error = formatNamed(c.format)->read(c.bytes.data(), c.bytes.size(), &read);
        EXPECT_EQ(error.problem, c.problem);
        EXPECT_EQ(error.at, c.at);
    }
}

}  // namespace
}  // namespace kolorvane
