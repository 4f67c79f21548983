#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_platform.h"
#include "output_paths.h"

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

bool codePage932LeadByte(unsigned char byte) {
    testing::FakePlatform fake;
    return testing::makePlatform(&fake).isLeadByte(byte);
}

// The window's rules: Windows paths in code page 932.
const PathRules kWindow = {"\\", codePage932LeadByte};

TEST(Naming, PlansTheOutputBesideTheSourceSplitAtTheLastRealSeparator) {
    struct Case {
        const char* path;
        const char* folder;
        const char* output;
    };
    const Case cases[] = {
        {"C:\\Palettes\\Sunset.PAL", "C:\\Palettes\\", "Sunset.act"},
        {"\\\\server\\share\\p.act", "\\\\server\\share\\", "p.pal"},
        {"C:\\tile.set.pal", "C:\\", "tile.set.act"},
        {"C:\\.pal", "C:\\", ".act"},
        {"C:\\dir/with/slashes.pal", "C:\\", "dir/with/slashes.act"},
        {"Z:\\tmp\\Mixed.Act", "Z:\\tmp\\", "Mixed.pal"},
        // Code page 932 names whose second bytes are 5C: 表示 is 95 5C 8E A6,
        // ソ is 83 5C, 能 is 94 5C.
        {"C:\\\x95\x5C\x8E\xA6\\\x83\x5C.pal", "C:\\\x95\x5C\x8E\xA6\\", "\x83\x5C.act"},
        {"C:\\\x94\x5C\\\x83\x5C\x83\x5C.act", "C:\\\x94\x5C\\", "\x83\x5C\x83\x5C.pal"},
        // A separator in the first byte counts; none at all is no folder.
        {"\\x.pal", "\\", "x.act"},
        {"x.pal", "", "x.act"},
        {"\x83\x5C.pal", "", "\x83\x5C.act"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PathPlan plan{};
        ASSERT_EQ(planPaths(c.path, kWindow, nullptr, &plan), PlanStatus::Planned);
        EXPECT_STREQ(plan.folder, c.folder);
        EXPECT_EQ(plan.sourceFolderLength, std::strlen(c.folder));
        EXPECT_STREQ(plan.output, c.output);
        EXPECT_EQ(std::string(plan.target), std::string(c.folder) + c.output);
    }
}

TEST(Naming, PlansRefuseWhatTheNamesRuleOut) {
    const std::string tooLong = std::string(kMaxPath, 'a') + ".pal";
    const std::string longName = std::string(250, 'n') + ".pal";
    struct Case {
        const char* path;
        const char* outputFolder;
        PlanStatus status;
    };
    const Case cases[] = {
        {"C:\\x.txt", nullptr, PlanStatus::Unsupported},
        {"", nullptr, PlanStatus::Unsupported},
        {tooLong.c_str(), nullptr, PlanStatus::PathTooLong},
        {longName.c_str(), "D:\\out\\", PlanStatus::OutputTooLong},
        {"C:\\x.pal", "D:\\out\\", PlanStatus::Planned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        PathPlan plan{};
        EXPECT_EQ(planPaths(c.path, kWindow, c.outputFolder, &plan), c.status);
    }
    PathPlan plan{};
    ASSERT_EQ(planPaths("C:\\w\\x.pal", kWindow, "D:\\out\\", &plan), PlanStatus::Planned);
    EXPECT_STREQ(plan.target, "D:\\out\\x.act");
    EXPECT_EQ(plan.sourceFolderLength, 5U);
}

TEST(Naming, FolderLengthTakesAnySeparatorListedButNoTrailByte) {
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
        {"C:\\a/b.pal", "\\", 3},
        {"C:\\\x83/x.pal", "\\/", 3},    // 2F is a trail byte there
        {"\x95\x5C\\a.pal", "\\/:", 3},  // 表 ends in 5C: the real backslash follows it
        {"C:\\x\\\x83", "\\", 5},        // a lead byte at the end reads nothing past it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(folderLength(c.path, PathRules{c.separators, codePage932LeadByte}), c.length);
    }
    char unterminated[kMaxPath];
    std::memset(unterminated, '/', sizeof unterminated);
    EXPECT_EQ(folderLength(unterminated, PathRules{"/", codePage932LeadByte}), 0U);
}

TEST(Naming, FolderWithSeparatorAddsTheFirstOneOnlyWhenMissing) {
    const PathRules windows = {"\\/:", codePage932LeadByte};
    struct Case {
        std::string folder;
        const char* expected;  // null: does not fit
    };
    const Case cases[] = {
        {"out", "out\\"},
        {"out/", "out/"},
        {"C:", "C:"},
        {"\x83\x5C", "\x83\x5C\\"},  // ソ ends in 5C but not in a separator
        {std::string(kMaxPath - 1, 'd'), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        char directory[kMaxPath] = {};
        ASSERT_EQ(folderWithSeparator(c.folder.c_str(), windows, directory), c.expected != nullptr);
        if (c.expected != nullptr) {
            EXPECT_STREQ(directory, c.expected);
        }
    }
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
