#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_platform.h"
#include "naming.h"

namespace kolorvane {
namespace {

TEST(Naming, EqualsIgnoreCaseFoldsOnlyAsciiLetters) {
    struct CompareCase {
        std::string a;
        std::string b;
        std::size_t n;
        bool equal;
    };
    const CompareCase cases[] = {
        {".PAL", ".pal", 4, true},
        {".pa1", ".pal", 4, false},
        {".Act", ".act", 4, true},
        {"@[`{", "`{@[", 4, false},                                 // neighbours of A-Z and a-z
        {std::string("a\0b", 3), std::string("A\0B", 3), 3, true},  // zero is an ordinary byte
        {std::string("a\0b", 3), std::string("a\0c", 3), 3, false},
        {"\x83\x5C", "\x83\x7C", 2, false},  // double-byte bytes compare exactly
        {"\xC1", "\xE1", 1, false},          // no Latin-1 folding
        {"xyz", "abc", 0, true},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.a + " vs " + c.b);
        EXPECT_EQ(equalsIgnoreCaseN(c.a.data(), c.b.data(), c.n), c.equal);
    }
}

TEST(Naming, ClassifiesByTheLastFourBytesOnly) {
    struct KindCase {
        const char* path;
        PaletteKind kind;
    };
    const KindCase cases[] = {
        {"C:\\x.pal", PaletteKind::EdgePal},     {"C:\\x.PAL", PaletteKind::EdgePal},
        {"C:\\x.pAl", PaletteKind::EdgePal},     {"C:\\x.act", PaletteKind::ColorTable},
        {"C:\\x.Act", PaletteKind::ColorTable},  {"C:\\.pal", PaletteKind::EdgePal},
        {".act", PaletteKind::ColorTable},       {"C:\\x.pal.bak", PaletteKind::Unsupported},
        {"C:\\x.pa1", PaletteKind::Unsupported}, {"C:\\xpal", PaletteKind::Unsupported},
        {"C:\\x.txt", PaletteKind::Unsupported}, {"pal", PaletteKind::Unsupported},
        {"", PaletteKind::Unsupported},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(classifyPath(c.path), c.kind);
    }
}

TEST(Naming, PathWithoutTerminatorInItsBufferIsUnsupported) {
    char path[kMaxPath];
    std::string full(kMaxPath - 4, 'a');
    full += ".pal";
    std::memcpy(path, full.data(), kMaxPath);  // no terminator anywhere
    EXPECT_EQ(classifyPath(path), PaletteKind::Unsupported);
}

struct SplitCase {
    const char* path;
    bool found;
    const char* directory;
    const char* fileName;
    const char* output;  // for the kind the path's extension gives
};

TEST(Naming, SplitsAtTheLastRealBackslash) {
    const SplitCase cases[] = {
        {"C:\\Palettes\\Sunset.PAL", true, "C:\\Palettes\\", "Sunset.PAL", "Sunset.act"},
        {"C:\\work\\sky.pal", true, "C:\\work\\", "sky.pal", "sky.act"},
        {"\\\\server\\share\\p.act", true, "\\\\server\\share\\", "p.act", "p.pal"},
        {"C:\\tile.set.pal", true, "C:\\", "tile.set.pal", "tile.set.act"},
        {"C:\\a.b.act", true, "C:\\", "a.b.act", "a.b.pal"},
        {"C:\\.pal", true, "C:\\", ".pal", ".act"},
        {"C:\\dir/with/slashes.pal", true, "C:\\", "dir/with/slashes.pal", "dir/with/slashes.act"},
        {"Z:\\tmp\\Mixed.Act", true, "Z:\\tmp\\", "Mixed.Act", "Mixed.pal"},
        // Code page 932 names whose second bytes are 5C: 表示 is 95 5C 8E A6,
        // ソ is 83 5C, 能 is 94 5C.
        {"C:\\\x95\x5C\x8E\xA6\\\x83\x5C.pal", true, "C:\\\x95\x5C\x8E\xA6\\", "\x83\x5C.pal",
         "\x83\x5C.act"},
        {"C:\\\x94\x5C\\\x83\x5C\x83\x5C.act", true, "C:\\\x94\x5C\\", "\x83\x5C\x83\x5C.act",
         "\x83\x5C\x83\x5C.pal"},
        {"C:\\x\\\x95\x5C", true, "C:\\x\\", "\x95\x5C", nullptr},
        // A backslash that only the first byte holds, or none at all, is no full path.
        {"\\x.pal", false, nullptr, nullptr, nullptr},
        {"x.pal", false, nullptr, nullptr, nullptr},
        {"\x83\x5C.pal", false, nullptr, nullptr, nullptr},
        {"", false, nullptr, nullptr, nullptr},
    };
    testing::FakePlatform fake;
    const Platform platform = testing::makePlatform(&fake);
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.path);
        char directory[kMaxPath] = {};
        char fileName[kMaxPath] = {};
        ASSERT_EQ(directoryPart(platform, c.path, directory), c.found);
        ASSERT_EQ(fileNamePart(platform, c.path, fileName), c.found);
        if (!c.found) {
            EXPECT_STREQ(directory, "");
            EXPECT_STREQ(fileName, "");
            continue;
        }
        EXPECT_STREQ(directory, c.directory);
        EXPECT_STREQ(fileName, c.fileName);
        if (c.output != nullptr) {
            char output[kMaxPath] = {};
            ASSERT_TRUE(outputFileName(fileName, outputExtension(classifyPath(c.path)), output));
            EXPECT_STREQ(output, c.output);
        }
    }
}

TEST(Naming, LeadByteAtTheEndDoesNotReadPastThePath) {
    testing::FakePlatform fake;
    const Platform platform = testing::makePlatform(&fake);
    char path[kMaxPath] = "C:\\x\\\x83";
    char directory[kMaxPath] = {};
    ASSERT_TRUE(directoryPart(platform, path, directory));
    EXPECT_STREQ(directory, "C:\\x\\");
}

TEST(Naming, OutputNameNeedsAnExtensionToReplace) {
    char output[kMaxPath] = {};
    EXPECT_FALSE(outputFileName("pal", ".act", output));
    EXPECT_FALSE(outputFileName("", ".act", output));
    EXPECT_STREQ(output, "");
    EXPECT_TRUE(outputFileName("abcd", ".act", output));
    EXPECT_STREQ(output, ".act");
}

TEST(Naming, OutputExtensionIsTheOtherFormatInLowerCase) {
    EXPECT_STREQ(outputExtension(PaletteKind::EdgePal), ".act");
    EXPECT_STREQ(outputExtension(PaletteKind::ColorTable), ".pal");
    EXPECT_EQ(outputExtension(PaletteKind::Unsupported), nullptr);
}

TEST(Naming, LastSeparatorTakesAnySeparatorListed) {
    testing::FakePlatform fake;
    const Platform platform = testing::makePlatform(&fake);
    EXPECT_EQ(lastSeparator(platform, "C:\\a/b.pal", "\\/"), 4);
    EXPECT_EQ(lastSeparator(platform, "C:\\a/b.pal", "\\"), 2);
    EXPECT_EQ(lastSeparator(platform, "/x.pal", "/"), -1);
    EXPECT_EQ(lastSeparator(platform, "C:\\\x83/x.pal", "\\/"), 2);  // 2F is a trail byte there
}

TEST(Naming, DirectoryPartLengthAsACommandLineTakesIt) {
    testing::FakePlatform fake;
    const Platform platform = testing::makePlatform(&fake);
    struct Case {
        const char* path;
        const char* separators;
        std::size_t length;
    };
    const Case cases[] = {
        {"a.pal", "/", 0},
        {"/a.pal", "/", 1},  // a file in the root
        {"dir/a.pal", "/", 4},
        {"/d/e//a.pal", "/", 6},
        {"dir\\a.pal", "/", 0},  // an ordinary byte where it is no separator
        {"C:a.pal", "\\/:", 2},
        {"C:\\w/a.pal", "\\/:", 5},
        {"\\a.pal", "\\/:", 1},
        {"\x95\x5C\\a.pal", "\\/:", 3},  // 表 ends in 5C: the real backslash follows it
        {"\x83\x5C.pal", "\\/:", 0},     // ソ alone: no separator at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(directoryPartLength(platform, c.path, c.separators), c.length);
    }
    char unterminated[kMaxPath];
    std::memset(unterminated, '/', sizeof unterminated);
    EXPECT_EQ(directoryPartLength(platform, unterminated, "/"), 0U);
}

TEST(Naming, JoinPathFitsBothPartsOrWritesNothing) {
    struct Case {
        std::string directory;
        std::string name;
        bool fits;
    };
    const Case cases[] = {
        {"C:\\d\\", "x.act", true},
        {"", "x.act", true},
        {std::string(254, 'd'), "x.act", true},   // 259 bytes and the terminator
        {std::string(255, 'd'), "x.act", false},  // one byte too many
        {std::string(200, 'd'), std::string(200, 'n'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.size() + c.name.size());
        char path[kMaxPath];
        std::memset(path, '#', sizeof path);
        ASSERT_EQ(joinPath(c.directory.c_str(), c.name.c_str(), path), c.fits);
        if (c.fits) {
            EXPECT_EQ(std::string(path), c.directory + c.name);
        } else {
            EXPECT_EQ(path[0], '#');
        }
    }
}

}  // namespace
}  // namespace kolorvane
