#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dropped_file.h"
#include "fake_platform.h"
#include "notices.h"

namespace kolorvane {
namespace {

using testing::addDirectory;
using testing::addFile;
using testing::Bytes;
using testing::FakePlatform;
using testing::filesIn;
using testing::makePlatform;
using testing::powerCuts;
using testing::randomBytes;

const std::string kConverted = std::string(kConvertedText) + "|" + kConfirmCaption;
const std::string kBadHeader = std::string(kBadHeaderText) + "|" + kWarningCaption;
const std::string kUnsupported = std::string(kUnsupportedText) + "|" + kWarningCaption;

Bytes edgePalFile(const Bytes& entries,
                  const std::string& header = std::string("EDGE PAL\0\0", 10)) {
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), entries.begin(), entries.end());
    return file;
}

// The .act for .pal entries, computed independently of the core: the 256
// three-byte entries in reverse order.
Bytes reversedEntries(const Bytes& entries) {
    Bytes reversed;
    for (std::size_t k = 0; k < 256; k++) {
        const std::size_t at = 3 * (255 - k);
        for (std::size_t b = 0; b < 3; b++) {
            reversed.push_back(at + b < entries.size() ? entries[at + b] : 0);
        }
    }
    return reversed;
}

// writeOutput with the conversion of a `sourceKind` file holding `planes`.
WriteResult writeConversion(const Platform& platform, PaletteKind sourceKind,
                            const PalettePlanes& planes, const char* directory, const char* name,
                            ExistingOutput existing, const FileIdentity& source = {}) {
    std::array<unsigned char, kEdgePalSize> bytes{};
    const std::size_t size = encodeConversion(sourceKind, planes, &bytes);
    return writeOutput(platform, bytes.data(), size, directory, name, existing, source);
}

void drop(FakePlatform* fake, const std::string& path) {
    char buffer[kMaxPath] = {};
    ASSERT_LT(path.size(), kMaxPath);
    std::memcpy(buffer, path.data(), path.size());
    handleDroppedFile(makePlatform(fake), buffer);
}

std::vector<std::string> names(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

TEST(Drop, PalBecomesActBesideItAndTheDirectoryBecomesCurrent) {
    FakePlatform fake;
    const Bytes entries = randomBytes(768, 1);
    addFile(&fake, "C:\\Palettes\\Sunset.PAL", edgePalFile(entries));
    addDirectory(&fake, "D:\\elsewhere\\");
    fake.currentDirectory = "D:\\elsewhere\\";

    drop(&fake, "C:\\Palettes\\Sunset.PAL");

    EXPECT_EQ(fake.files["C:\\Palettes\\Sunset.act"], reversedEntries(entries));
    EXPECT_EQ(fake.notices, std::vector<std::string>{kConverted});
    EXPECT_EQ(fake.currentDirectory, "C:\\Palettes\\");
    EXPECT_EQ(filesIn(fake, "C:\\Palettes\\"), names({"Sunset.PAL", "Sunset.act"}));
    EXPECT_TRUE(fake.open.empty());
}

TEST(Drop, ActBecomesPalWithAnUpperCaseHeader) {
    FakePlatform fake;
    const Bytes act = randomBytes(768, 2);
    addFile(&fake, "C:\\w\\p.Act", act);

    drop(&fake, "C:\\w\\p.Act");

    EXPECT_EQ(fake.files["C:\\w\\p.pal"], edgePalFile(reversedEntries(act)));
    EXPECT_EQ(fake.notices, std::vector<std::string>{kConverted});
}

TEST(Drop, RoundTripReplacesTheSourceWithItsOwnFirst778Bytes) {
    FakePlatform fake;
    Bytes pal = edgePalFile(randomBytes(768, 3));
    Bytes longer = pal;
    longer.push_back(0xAB);
    longer.push_back(0xCD);
    addFile(&fake, "C:\\w\\a.pal", longer);

    drop(&fake, "C:\\w\\a.pal");
    drop(&fake, "C:\\w\\a.act");

    EXPECT_EQ(fake.files["C:\\w\\a.pal"], pal);
    EXPECT_EQ(fake.notices, (std::vector<std::string>{kConverted, kConverted}));
}

TEST(Drop, SourcesOfOtherLengthsStillConvert) {
    struct LengthCase {
        const char* name;
        const char* path;
        Bytes source;
        const char* output;
        Bytes expected;
    };
    const Bytes act = randomBytes(772, 4);
    const Bytes entries = randomBytes(768, 5);
    const LengthCase cases[] = {
        {"772-byte act", "C:\\w\\t.act", act, "C:\\w\\t.pal",
         edgePalFile(reversedEntries(Bytes(act.begin(), act.begin() + 768)))},
        {"short act", "C:\\w\\s.act", Bytes(act.begin(), act.begin() + 100), "C:\\w\\s.pal",
         edgePalFile(reversedEntries(Bytes(act.begin(), act.begin() + 100)))},
        {"empty act", "C:\\w\\e.act", Bytes(), "C:\\w\\e.pal", edgePalFile(Bytes(768, 0))},
        {"eight-byte pal", "C:\\w\\h.pal", Bytes{'E', 'D', 'G', 'E', ' ', 'P', 'A', 'L'},
         "C:\\w\\h.act", Bytes(768, 0)},
        {"short pal", "C:\\w\\q.pal", edgePalFile(Bytes(entries.begin(), entries.begin() + 50)),
         "C:\\w\\q.act", reversedEntries(Bytes(entries.begin(), entries.begin() + 50))},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform fake;
        addFile(&fake, c.path, c.source);
        fake.readChunk = 7;  // partial reads must be gathered, not taken as the end
        drop(&fake, c.path);
        EXPECT_EQ(fake.files[c.output], c.expected);
        EXPECT_EQ(fake.notices, std::vector<std::string>{kConverted});
    }
}

TEST(Drop, BadHeaderLeavesAnExistingOutputAndTheDirectoryAlone) {
    FakePlatform fake;
    const Bytes old = randomBytes(768, 6);
    addFile(&fake, "C:\\w\\b.pal",
            edgePalFile(randomBytes(768, 7), std::string("EDGE_PAL\0\0", 10)));
    addFile(&fake, "C:\\w\\b.act", old);

    drop(&fake, "C:\\w\\b.pal");

    EXPECT_EQ(fake.files["C:\\w\\b.act"], old);
    EXPECT_EQ(fake.notices, std::vector<std::string>{kBadHeader});
    EXPECT_EQ(fake.currentDirectory, "C:\\");
    EXPECT_EQ(fake.log.back(), "notice " + kBadHeader);
    EXPECT_TRUE(fake.open.empty());
}

TEST(Drop, PathsThatAreNoFullPalOrActPathOpenNothing) {
    const char* const paths[] = {
        "C:\\w\\x.txt", "C:\\w\\x.pal.bak", "x.pal", "\\x.act", "", "C:\\w\\pal",
    };
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        FakePlatform fake;
        addFile(&fake, "C:\\w\\x.txt", Bytes(10, 1));
        drop(&fake, path);
        EXPECT_EQ(fake.log, std::vector<std::string>{"notice " + kUnsupported});
    }
}

TEST(Drop, SourceThatCannotBeOpenedIsSilent) {
    FakePlatform fake;
    addDirectory(&fake, "C:\\w\\folder.pal\\");
    drop(&fake, "C:\\w\\folder.pal");
    drop(&fake, "C:\\w\\missing.act");
    EXPECT_TRUE(fake.notices.empty());
    EXPECT_EQ(fake.log, names({"open C:\\w\\folder.pal", "open C:\\w\\missing.act"}));
}

TEST(Drop, OutputNameTakenByAFolderIsSilentAndLeavesNoTemporary) {
    FakePlatform fake;
    addFile(&fake, "C:\\w\\a.pal", edgePalFile(randomBytes(768, 8)));
    addDirectory(&fake, "C:\\w\\a.act\\");

    drop(&fake, "C:\\w\\a.pal");

    EXPECT_TRUE(fake.notices.empty());
    EXPECT_EQ(filesIn(fake, "C:\\w\\"), names({"a.pal"}));
    EXPECT_TRUE(fake.open.empty());
}

TEST(Drop, ExistingOutputIsReplaced) {
    FakePlatform fake;
    const Bytes act = randomBytes(768, 9);
    addFile(&fake, "C:\\w\\r.act", act);
    addFile(&fake, "C:\\w\\r.pal", randomBytes(2000, 10));

    drop(&fake, "C:\\w\\r.act");

    EXPECT_EQ(fake.files["C:\\w\\r.pal"], edgePalFile(reversedEntries(act)));
    EXPECT_EQ(filesIn(fake, "C:\\w\\"), names({"r.act", "r.pal"}));
}

TEST(Drop, DoubleByteNamesLandBesideTheSource) {
    FakePlatform fake;
    // C:\表示\ソ.pal and C:\能\表.act, whose second bytes are backslashes.
    const Bytes entries = randomBytes(768, 11);
    const Bytes act = randomBytes(768, 12);
    addFile(&fake, "C:\\\x95\x5C\x8E\xA6\\\x83\x5C.pal", edgePalFile(entries));
    addFile(&fake, "C:\\\x94\x5C\\\x95\x5C.act", act);

    drop(&fake, "C:\\\x95\x5C\x8E\xA6\\\x83\x5C.pal");
    drop(&fake, "C:\\\x94\x5C\\\x95\x5C.act");

    EXPECT_EQ(fake.files["C:\\\x95\x5C\x8E\xA6\\\x83\x5C.act"], reversedEntries(entries));
    EXPECT_EQ(fake.files["C:\\\x94\x5C\\\x95\x5C.pal"], edgePalFile(reversedEntries(act)));
    EXPECT_EQ(fake.notices, (std::vector<std::string>{kConverted, kConverted}));
}

// The first name the temporary file for a bare output name is given.
std::string temporaryFor(const char* output) {
    char temporary[kMaxPath] = {};
    temporaryName(output, output, 0, temporary);
    return temporary;
}

// The source is closed before the output exists, the output is complete and
// flushed before it takes the output's name, and the notice comes after
// every close.
TEST(Drop, EventsComeInOrder) {
    struct OrderCase {
        const char* path;
        Bytes contents;
        std::vector<std::string> log;
    };
    const std::string act = temporaryFor("o.act");
    const std::string pal = temporaryFor("o.pal");
    const std::string shortPal = temporaryFor("s.pal");
    const OrderCase cases[] = {
        {"C:\\w\\o.pal",
         edgePalFile(randomBytes(768, 13)),
         {"open C:\\w\\o.pal", "identify 100", "read 100", "close 100", "chdir C:\\w\\",
          "find o.act", "create " + act, "write 101", "flush 101", "close 101",
          "replace " + act + " o.act", "notice " + kConverted}},
        {"C:\\w\\o.act",
         randomBytes(768, 14),
         {"open C:\\w\\o.act", "identify 100", "read 100", "close 100", "chdir C:\\w\\",
          "find o.pal", "create " + pal, "write 101", "flush 101", "close 101",
          "replace " + pal + " o.pal", "notice " + kConverted}},
        // A 100-byte source: read up to its size, without a second read to
        // find its end.
        {"C:\\w\\s.act",
         randomBytes(100, 15),
         {"open C:\\w\\s.act", "identify 100", "read 100", "close 100", "chdir C:\\w\\",
          "find s.pal", "create " + shortPal, "write 101", "flush 101", "close 101",
          "replace " + shortPal + " s.pal", "notice " + kConverted}},
        {"C:\\w\\b.pal",
         edgePalFile(randomBytes(768, 16), std::string("EDGE PAL\1\0", 10)),
         {"open C:\\w\\b.pal", "identify 100", "read 100", "close 100", "notice " + kBadHeader}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.path);
        FakePlatform fake;
        addFile(&fake, c.path, c.contents);
        drop(&fake, c.path);
        EXPECT_EQ(fake.log, c.log);
    }
}

// A drop handled while the notice of an earlier one is open changes the
// current directory under it; the outer call has finished with files by then.
TEST(Drop, NestedDropWhileANoticeIsOpen) {
    FakePlatform fake;
    const Bytes outer = randomBytes(768, 14);
    const Bytes inner = randomBytes(768, 15);
    addFile(&fake, "C:\\one\\a.pal", edgePalFile(outer));
    addFile(&fake, "C:\\two\\b.act", inner);
    bool innerDone = false;
    fake.onNotice = [&] {
        drop(&fake, "C:\\two\\b.act");
        innerDone = fake.files.count("C:\\two\\b.pal") != 0;
    };

    drop(&fake, "C:\\one\\a.pal");

    EXPECT_TRUE(innerDone);
    EXPECT_EQ(fake.files["C:\\one\\a.act"], reversedEntries(outer));
    EXPECT_EQ(fake.files["C:\\two\\b.pal"], edgePalFile(reversedEntries(inner)));
    EXPECT_EQ(fake.currentDirectory, "C:\\two\\");
    EXPECT_EQ(filesIn(fake, "C:\\one\\"), names({"a.act", "a.pal"}));
    EXPECT_EQ(filesIn(fake, "C:\\two\\"), names({"b.act", "b.pal"}));
    EXPECT_EQ(fake.notices, (std::vector<std::string>{kConverted, kConverted}));
    EXPECT_TRUE(fake.open.empty());
}

// Every platform call of every pipeline is failed in turn, in the manner of
// SQLite's I/O-error tests: nothing may be lost, no temporary file may stay,
// every handle must be closed, and no completion notice may follow.
TEST(Drop, FailingAnyCallLosesNothing) {
    struct Pipeline {
        const char* name;
        const char* source;
        Bytes sourceBytes;
        const char* output;
        Bytes expected;
        std::string notice;
    };
    const Bytes entries = randomBytes(768, 16);
    const Bytes act = randomBytes(768, 17);
    const Pipeline pipelines[] = {
        {"pal to act", "C:\\w\\f.pal", edgePalFile(entries), "C:\\w\\f.act",
         reversedEntries(entries), kConverted},
        {"act to pal", "C:\\w\\f.act", act, "C:\\w\\f.pal", edgePalFile(reversedEntries(act)),
         kConverted},
        {"bad header", "C:\\w\\f.pal", edgePalFile(entries, std::string("EDGE PAL\0\1", 10)),
         "C:\\w\\f.act", Bytes(), kBadHeader},
    };
    const Bytes old = randomBytes(500, 18);
    for (const Pipeline& p : pipelines) {
        for (bool partial : {false, true}) {
            // One run with no failure counts the calls; then each is failed.
            int calls = 0;
            for (int failAt = -1; failAt < calls; failAt++) {
                SCOPED_TRACE(std::string(p.name) + (partial ? " partial" : "") + " failing call " +
                             std::to_string(failAt));
                FakePlatform fake;
                addFile(&fake, p.source, p.sourceBytes);
                addFile(&fake, p.output, old);
                addDirectory(&fake, "D:\\before\\");
                fake.currentDirectory = "D:\\before\\";
                fake.failAt = failAt;
                if (partial) {
                    // Read on to the end, as a file of no known size is.
                    fake.sizeKnown = false;
                    fake.readChunk = 100;
                    fake.writeChunk = 100;
                }

                drop(&fake, p.source);

                if (failAt < 0) {
                    calls = fake.failableCalls;
                    EXPECT_EQ(fake.notices, std::vector<std::string>{p.notice});
                    if (!p.expected.empty()) {
                        EXPECT_EQ(fake.files[p.output], p.expected);
                    }
                } else {
                    EXPECT_TRUE(fake.notices.empty());
                    EXPECT_EQ(fake.files[p.output], old);
                }
                EXPECT_EQ(fake.files[p.source], p.sourceBytes);
                EXPECT_EQ(filesIn(fake, "C:\\w\\").size(), 2U);
                EXPECT_TRUE(fake.open.empty());
                EXPECT_FALSE(fake.closeTwiceSeen);
                if (fake.currentDirectory != "C:\\w\\") {
                    EXPECT_EQ(fake.currentDirectory, "D:\\before\\");
                }
            }
            EXPECT_GE(calls, 3);
        }
    }
}

// What a power cut after any call of a conversion can leave under the
// output's name: the previous bytes or the complete new ones, never a
// partial, empty or zero-filled file; the source untouched. A new output of
// the command line is left to the system to flush (its source still holds
// the data), so it may be cut short, but never holds anything else.
TEST(WriteOutput, APowerCutLeavesTheOldOutputOrTheNewOne) {
    struct Pipeline {
        const char* name;
        bool window;  // a drop; else the command line's read and write
        const char* source;
        Bytes sourceBytes;
        const char* output;
        Bytes previous;  // empty: no output before the run
        Bytes expected;
        WriteStatus status;
        bool flushed;
        bool sized = true;  // whether the system tells a file's size
    };
    const Bytes entries = randomBytes(768, 20);
    const Bytes pal = edgePalFile(entries);
    const Bytes act = reversedEntries(entries);
    const Bytes old = randomBytes(768, 21);
    Bytes longer = act;
    longer.push_back(0);
    const Pipeline pipelines[] = {
        {"window, new .act",
         true,
         "C:\\w\\f.pal",
         pal,
         "C:\\w\\f.act",
         {},
         act,
         WriteStatus::Written,
         true},
        {"window, existing .act", true, "C:\\w\\f.pal", pal, "C:\\w\\f.act", old, act,
         WriteStatus::Written, true},
        {"window, new .pal",
         true,
         "C:\\w\\f.act",
         act,
         "C:\\w\\f.pal",
         {},
         pal,
         WriteStatus::Written,
         true},
        {"window, existing .pal", true, "C:\\w\\f.act", act, "C:\\w\\f.pal", old, pal,
         WriteStatus::Written, true},
        {"command line, new",
         false,
         "C:\\w\\f.pal",
         pal,
         "C:\\w\\f.act",
         {},
         act,
         WriteStatus::Written,
         false},
        {"command line, unchanged", false, "C:\\w\\f.pal", pal, "C:\\w\\f.act", act, act,
         WriteStatus::Unchanged, false},
        {"command line, different", false, "C:\\w\\f.act", act, "C:\\w\\f.pal", old, pal,
         WriteStatus::Written, true},
        // Read to its end, a file that holds the output and more is no
        // unchanged output.
        {"command line, longer, of no known size", false, "C:\\w\\f.pal", pal, "C:\\w\\f.act",
         longer, act, WriteStatus::Written, true, false},
    };
    for (const Pipeline& p : pipelines) {
        SCOPED_TRACE(p.name);
        FakePlatform fake;
        addFile(&fake, p.source, p.sourceBytes);
        if (!p.previous.empty()) {
            addFile(&fake, p.output, p.previous);
        }
        fake.recordCuts = true;
        fake.sizeKnown = p.sized;
        const Platform platform = makePlatform(&fake);
        WriteStatus status = WriteStatus::Written;
        if (p.window) {
            drop(&fake, p.source);
        } else {
            const PaletteKind kind = classifyPath(p.source);
            PalettePlanes planes{};
            ASSERT_EQ(readSource(platform, p.source, kind, &planes).status, SourceStatus::Read);
            const std::string name = std::string(p.output).substr(5);
            status = writeConversion(platform, kind, planes, "C:\\w\\", name.c_str(),
                                     ExistingOutput::ReplaceIfChanged)
                         .status;
        }

        EXPECT_EQ(status, p.status);
        EXPECT_EQ(fake.files[p.output], p.expected);
        const bool flushed =
            std::any_of(fake.log.begin(), fake.log.end(),
                        [](const std::string& e) { return e.rfind("flush", 0) == 0; });
        EXPECT_EQ(flushed, p.flushed);
        for (const auto& cut : powerCuts(fake)) {
            EXPECT_EQ(cut.at(p.source), p.sourceBytes);
            const auto found = cut.find(p.output);
            if (found == cut.end()) {
                EXPECT_TRUE(p.previous.empty());
            } else if (found->second != p.previous && found->second != p.expected) {
                const bool prefix =
                    found->second.size() < p.expected.size() &&
                    std::equal(found->second.begin(), found->second.end(), p.expected.begin());
                EXPECT_TRUE(!p.flushed && p.previous.empty() && prefix)
                    << found->second.size() << " bytes under the output's name";
            }
        }
    }
}

// The temporary file's name is never longer than the output's, so it fits
// wherever the output does; each attempt is another name.
TEST(WriteOutput, TemporaryNamesFitWhereTheOutputDoes) {
    for (const char* output : {".act", "x.pal", "Sunset.act", "a-rather-long-palette-name.pal"}) {
        SCOPED_TRACE(output);
        char first[kMaxPath] = {};
        char second[kMaxPath] = {};
        temporaryName(output, output, 0, first);
        temporaryName(output, output, 1, second);
        EXPECT_LE(std::strlen(first), std::strlen(output));
        EXPECT_GE(std::strlen(first), 4U);
        EXPECT_EQ(first[0], '~');
        EXPECT_STRNE(first, second);
    }
    // A folder that leaves room for "x.act" alone still takes the output.
    FakePlatform fake;
    const std::string folder = "C:\\" + std::string(kMaxPath - 10, 'd') + "\\";
    addDirectory(&fake, folder);
    EXPECT_EQ(writeConversion(makePlatform(&fake), PaletteKind::EdgePal, PalettePlanes{},
                              folder.c_str(), "x.act", ExistingOutput::Replace)
                  .status,
              WriteStatus::Written);
}

TEST(WriteOutput, WritesIntoTheGivenDirectoryWithoutChangingTheCurrentOne) {
    FakePlatform fake;
    addDirectory(&fake, "C:\\out\\");
    PalettePlanes planes{};
    planes.first[0] = 1;
    const Platform platform = makePlatform(&fake);

    ASSERT_EQ(writeConversion(platform, PaletteKind::ColorTable, planes, "C:\\out\\", "x.pal",
                              ExistingOutput::Replace)
                  .status,
              WriteStatus::Written);

    EXPECT_EQ(fake.files["C:\\out\\x.pal"].size(), kEdgePalSize);
    EXPECT_EQ(fake.files["C:\\out\\x.pal"][10], 1);
    EXPECT_EQ(filesIn(fake, "C:\\out\\"), names({"x.pal"}));
    EXPECT_EQ(fake.currentDirectory, "C:\\");
}

TEST(WriteOutput, RefusesATargetThatWouldNotFit) {
    FakePlatform fake;
    const std::string directory = "C:\\" + std::string(250, 'd') + "\\";
    addDirectory(&fake, directory);
    const PalettePlanes planes{};
    EXPECT_EQ(writeConversion(makePlatform(&fake), PaletteKind::EdgePal, planes, directory.c_str(),
                              "0123456789.act", ExistingOutput::Replace)
                  .status,
              WriteStatus::Failed);
    EXPECT_TRUE(fake.log.empty());
}

TEST(WriteOutput, KeepingAnExistingOutputChecksTheNameInTheMove) {
    struct Case {
        const char* name;
        bool fileThere;
        bool folderThere;
        WriteStatus status;
    };
    const Case cases[] = {
        {"name free", false, false, WriteStatus::Written},
        {"name taken by a file", true, false, WriteStatus::Kept},
        {"name taken by a folder", false, true, WriteStatus::Kept},
    };
    const Bytes old = randomBytes(30, 19);
    PalettePlanes planes{};
    planes.third[255] = 9;
    for (const Case& c : cases) {
        // With no failure, then failing each call in turn.
        int calls = 0;
        for (int failAt = -1; failAt < calls; failAt++) {
            SCOPED_TRACE(std::string(c.name) + " failing call " + std::to_string(failAt));
            FakePlatform fake;
            addDirectory(&fake, "C:\\w\\");
            if (c.fileThere) {
                addFile(&fake, "C:\\w\\x.act", old);
            }
            if (c.folderThere) {
                addDirectory(&fake, "C:\\w\\x.act\\");
            }
            fake.failAt = failAt;

            const WriteStatus status =
                writeConversion(makePlatform(&fake), PaletteKind::EdgePal, planes, "C:\\w\\",
                                "x.act", ExistingOutput::Keep)
                    .status;

            if (failAt < 0) {
                calls = fake.failableCalls;
                EXPECT_EQ(status, c.status);
            } else {
                EXPECT_EQ(status, WriteStatus::Failed);
            }
            // Only a temporary file that could not be removed may stay, and
            // then the write says it failed.
            // (Every call a write makes can fail, so the log's entry at
            // failAt is the call that failed.)
            const auto failAtEntry = static_cast<std::size_t>(failAt);
            const bool removalFailed = failAt >= 0 && failAtEntry < fake.log.size() &&
                                       fake.log[failAtEntry].rfind("remove", 0) == 0;
            if (status == WriteStatus::Written) {
                ASSERT_EQ(fake.files["C:\\w\\x.act"].size(), kColorTableSize);
                EXPECT_EQ(fake.files["C:\\w\\x.act"][2], 9);  // .act entry 0 is .pal entry 255
            } else if (c.fileThere) {
                EXPECT_EQ(fake.files["C:\\w\\x.act"], old);
            } else {
                EXPECT_EQ(fake.files.count("C:\\w\\x.act"), 0U);
            }
            const std::vector<std::string> left = filesIn(fake, "C:\\w\\");
            EXPECT_EQ(left.size(), (status == WriteStatus::Written || c.fileThere ? 1U : 0U) +
                                       (removalFailed ? 1U : 0U))
                << (left.empty() ? "" : left.front());
            EXPECT_TRUE(fake.open.empty());
        }
        EXPECT_GE(calls, 4);
    }
}

// What the output's name holds beforehand decides what it is afterwards: a
// new output takes its source's identity, a replacement that of the file it
// replaces, a link stays a link and the file it leads to is replaced; a link
// to nothing and a name that is the source itself are refused unwritten.
TEST(WriteOutput, KeepsWhatTheOutputsNameHeld) {
    enum class Before { Nothing, File, Link, Dangling, Source };
    struct Case {
        const char* name;
        Before before;
        WriteStatus status;
        Cause cause;
    };
    const Case cases[] = {
        {"new output", Before::Nothing, WriteStatus::Written, Cause::None},
        {"replaced output", Before::File, WriteStatus::Written, Cause::None},
        {"link to an output", Before::Link, WriteStatus::Written, Cause::None},
        {"link to nothing", Before::Dangling, WriteStatus::Failed, Cause::Dangling},
        {"the source itself", Before::Source, WriteStatus::Failed, Cause::Source},
    };
    const Bytes old = randomBytes(30, 20);
    for (const Case& c : cases) {
        for (ExistingOutput existing :
             {ExistingOutput::Replace, ExistingOutput::ReplaceIfChanged}) {
            SCOPED_TRACE(c.name);
            FakePlatform fake;
            addFile(&fake, "C:\\w\\x.pal", edgePalFile(randomBytes(768, 21)));
            fake.identities["C:\\w\\x.pal"].mode = 0600;
            const std::string real = c.before == Before::Source ? "C:\\w\\x.pal"
                                     : c.before == Before::File ? "C:\\w\\x.act"
                                                                : "C:\\d\\y.act";
            if (c.before == Before::File || c.before == Before::Link) {
                addFile(&fake, real, old);
                fake.identities[real] = FileIdentity{1, 99, 0640, 7, 8, 5, 3};
            }
            addDirectory(&fake, "C:\\d\\");
            const bool linked = c.before != Before::Nothing && c.before != Before::File;
            if (linked) {
                fake.links["C:\\w\\x.act"] = real;
            }
            const std::string written = linked ? real : "C:\\w\\x.act";
            PalettePlanes planes{};
            const SourceResult source =
                readSource(makePlatform(&fake), "C:\\w\\x.pal", PaletteKind::EdgePal, &planes);
            const std::map<std::string, Bytes> files = fake.files;

            const WriteResult result =
                writeConversion(makePlatform(&fake), PaletteKind::EdgePal, planes, "C:\\w\\",
                                "x.act", existing, source.identity);

            EXPECT_EQ(result.status, c.status);
            EXPECT_EQ(result.failure.cause, c.cause);
            if (c.status == WriteStatus::Failed) {
                EXPECT_EQ(fake.files, files);
                continue;
            }
            EXPECT_EQ(fake.files[written], reversedEntries(randomBytes(768, 21)));
            const FileIdentity& identity = fake.identities[written];
            EXPECT_EQ(identity.mode, c.before == Before::Nothing ? 0600U : 0640U);
            EXPECT_EQ(identity.owner, c.before == Before::Nothing ? 0U : 7U);
            EXPECT_EQ(identity.created, c.before == Before::Nothing ? 0U : 5U);
            EXPECT_EQ(fake.links.count("C:\\w\\x.act"), linked ? 1U : 0U);
            EXPECT_EQ(filesIn(fake, "C:\\d\\").size(), linked ? 1U : 0U);
            EXPECT_EQ(filesIn(fake, "C:\\w\\").size(), linked ? 1U : 2U);
        }
    }
}

}  // namespace
}  // namespace kolorvane
