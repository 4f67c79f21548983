#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "palette.h"

namespace kolorvane {
namespace {

using testing::Bytes;
using testing::randomBytes;

PalettePlanes randomPlanes(unsigned seed) {
    std::mt19937 random(seed);
    PalettePlanes planes{};
    for (std::size_t j = 0; j < kEntryCount; j++) {
        planes.first[j] = static_cast<unsigned char>(random());
        planes.second[j] = static_cast<unsigned char>(random());
        planes.third[j] = static_cast<unsigned char>(random());
    }
    return planes;
}

Bytes header(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes withEntries(Bytes prefix, const Bytes& entries) {
    prefix.insert(prefix.end(), entries.begin(), entries.end());
    return prefix;
}

// Entry k of one layout is entry 255 - k of the other, its three bytes in order.
TEST(Palette, EntriesReverseBetweenTheLayouts) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        const Bytes act = randomBytes(kColorTableSize, seed);
        PalettePlanes planes{};
        decodeColorTable(act.data(), act.size(), &planes);
        std::array<unsigned char, kEdgePalSize> pal{};
        encodeEdgePal(planes, &pal);

        EXPECT_EQ(Bytes(pal.begin(), pal.begin() + 10), header(std::string("EDGE PAL\0\0", 10)));
        for (std::size_t k = 0; k < kEntryCount; k++) {
            const std::size_t j = 255 - k;
            for (std::size_t b = 0; b < 3; b++) {
                ASSERT_EQ(pal[10 + 3 * j + b], act[3 * k + b]) << "entry " << k << " byte " << b;
            }
        }
    }
}

TEST(Palette, CornerEntriesLandWhereTheLayoutsSay) {
    Bytes pal = withEntries(header(std::string("EDGE PAL\0\0", 10)), Bytes(kColorTableSize, 0));
    pal[10] = 1, pal[11] = 2, pal[12] = 3;     // .pal entry 0
    pal[775] = 7, pal[776] = 8, pal[777] = 9;  // .pal entry 255
    PalettePlanes planes{};
    ASSERT_TRUE(decodeEdgePal(pal.data(), pal.size(), &planes));
    std::array<unsigned char, kColorTableSize> act{};
    encodeColorTable(planes, &act);
    EXPECT_EQ(Bytes(act.begin(), act.begin() + 3), (Bytes{7, 8, 9}));
    EXPECT_EQ(Bytes(act.begin() + 765, act.end()), (Bytes{1, 2, 3}));
}

TEST(Palette, RoundTripsGiveTheSamePlanes) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        const PalettePlanes planes = randomPlanes(seed);
        std::array<unsigned char, kEdgePalSize> pal{};
        std::array<unsigned char, kColorTableSize> act{};
        encodeEdgePal(planes, &pal);
        encodeColorTable(planes, &act);

        PalettePlanes fromPal{};
        PalettePlanes fromAct{};
        ASSERT_TRUE(decodeEdgePal(pal.data(), pal.size(), &fromPal));
        decodeColorTable(act.data(), act.size(), &fromAct);
        EXPECT_EQ(fromPal.first, planes.first);
        EXPECT_EQ(fromPal.second, planes.second);
        EXPECT_EQ(fromPal.third, planes.third);
        EXPECT_EQ(fromAct.first, planes.first);
        EXPECT_EQ(fromAct.second, planes.second);
        EXPECT_EQ(fromAct.third, planes.third);
    }
}

TEST(Palette, HeaderLettersMatchInEitherCaseAndNothingElseDoes) {
    struct HeaderCase {
        std::string bytes;
        bool accepted;
    };
    const HeaderCase cases[] = {
        {std::string("EDGE PAL\0\0", 10), true},
        {std::string("edge pal\0\0", 10), true},
        {std::string("Edge Pal\0\0", 10), true},
        {std::string("eDgE pAl\0\0", 10), true},
        {std::string("EDGE_PAL\0\0", 10), false},
        {std::string("EDGE PAL\0\x01", 10), false},
        {std::string("EDGE PAL\x01\0", 10), false},
        {std::string("EDGE PAL  ", 10), false},
        {std::string("EDGEPAL \0\0", 10), false},
        {std::string("EDGF PAL\0\0", 10), false},
        {std::string("\xC5\xC4\xC7\xC5 PAL\0\0", 10), false},  // high bit set is no letter
        {std::string("JASC-PAL\r\n", 10), false},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        const Bytes file = withEntries(header(c.bytes), randomBytes(kColorTableSize, 3));
        PalettePlanes planes = randomPlanes(99);
        const PalettePlanes before = planes;
        EXPECT_EQ(decodeEdgePal(file.data(), file.size(), &planes), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(planes.first, before.first);
            EXPECT_EQ(planes.second, before.second);
            EXPECT_EQ(planes.third, before.third);
        }
    }
}

TEST(Palette, WrittenHeaderIsUpperCaseWhateverWasRead) {
    const Bytes file = withEntries(header(std::string("edge pal\0\0", 10)), randomBytes(768, 4));
    PalettePlanes planes{};
    ASSERT_TRUE(decodeEdgePal(file.data(), file.size(), &planes));
    std::array<unsigned char, kEdgePalSize> pal{};
    encodeEdgePal(planes, &pal);
    EXPECT_EQ(Bytes(pal.begin(), pal.begin() + 10),
              (Bytes{0x45, 0x44, 0x47, 0x45, 0x20, 0x50, 0x41, 0x4C, 0x00, 0x00}));
    EXPECT_EQ(Bytes(pal.begin() + 10, pal.end()), Bytes(file.begin() + 10, file.end()));
}

// Short sources read as if padded with zeros; long ones as if they ended at
// the layout's length.
TEST(Palette, SourceLengthsOtherThanTheLayout) {
    const Bytes entries = randomBytes(kColorTableSize + 4, 5);

    struct LengthCase {
        const char* name;
        bool edgePal;
        std::size_t size;
    };
    const LengthCase cases[] = {
        {"empty act", false, 0},      {"one byte act", false, 1},   {"half act", false, 384},
        {"767 byte act", false, 767}, {"772 byte act", false, 772}, {"header only pal", true, 10},
        {"eight byte pal", true, 8},  {"777 byte pal", true, 777},  {"782 byte pal", true, 782},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file =
            c.edgePal ? withEntries(header(std::string("EDGE PAL\0\0", 10)), entries) : entries;
        file.resize(c.size);
        const std::size_t offset = c.edgePal ? kEdgePalHeaderSize : 0;

        PalettePlanes planes = randomPlanes(7);  // decoding must overwrite every byte
        if (c.edgePal) {
            ASSERT_TRUE(decodeEdgePal(file.data(), file.size(), &planes));
        } else {
            decodeColorTable(file.data(), file.size(), &planes);
        }
        std::array<unsigned char, kColorTableSize> act{};
        encodeColorTable(planes, &act);
        std::array<unsigned char, kEdgePalSize> pal{};
        encodeEdgePal(planes, &pal);
        for (std::size_t i = 0; i < kColorTableSize; i++) {
            const unsigned char expected = offset + i < c.size ? file[offset + i] : 0;
            // In the layout it came from, position i holds the source byte or zero.
            const unsigned char got = c.edgePal ? pal[kEdgePalHeaderSize + i] : act[i];
            ASSERT_EQ(got, expected) << "position " << i;
        }
    }
}

}  // namespace
}  // namespace kolorvane
