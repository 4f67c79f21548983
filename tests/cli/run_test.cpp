#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cmyk_profile.h"
#include "fake_platform.h"
#include "format.h"
#include "image.h"
#include "messages.h"
#include "palette.h"
#include "run.h"

namespace kolorvane {
namespace {

// The reason a name no format reads is refused, which lists every
// extension of the table.
std::string unsupportedName() {
    char reason[1024] = {};
    describeUnsupportedName(reason, sizeof reason);
    return reason;
}

using testing::addDirectory;
using testing::addFile;
using testing::Bytes;
using testing::FakePlatform;
using testing::makePlatform;

// The host's side of the command line over the in-memory file system.
// Holding interrupts is logged among the file operations. The streams are
// real files: standard error may share standard output's, to see the order
// the lines arrive in, or be /dev/full, to lose them.
struct FakeHost {
    FakePlatform files;
    std::FILE* output = std::tmpfile();
    std::FILE* error = std::tmpfile();

    FakeHost() = default;
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;
    ~FakeHost() {
        std::fclose(output);
        std::fclose(error);
    }

    // Replaces one of the streams; the run gives it its buffer afterwards.
    static void replace(std::FILE** stream, std::FILE* with) {
        ASSERT_NE(with, nullptr);
        std::fclose(*stream);
        *stream = with;
    }
};

// What reached a stream's file. Read through its descriptor: the run left
// the stream with a buffer of its own frame, which no call may touch now.
std::string written(std::FILE* stream) {
    std::string text;
    char buffer[4096];
    off_t at = 0;
    for (ssize_t got = 0; (got = pread(fileno(stream), buffer, sizeof buffer, at)) > 0; at += got) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// Windows' words for the fake's two error codes.
void describe(std::uint32_t code, char* text, std::size_t capacity) {
    const char* words = code == 2   ? "The system cannot find the file specified"
                        : code == 5 ? "Access is denied"
                                    : "";
    std::snprintf(text, capacity, "%s", words);
}

void holdInterrupts(void* context) { static_cast<FakePlatform*>(context)->log.push_back("hold"); }

void releaseInterrupts(void* context) {
    static_cast<FakePlatform*>(context)->log.push_back("release");
}

bool leadByte(unsigned char byte) {
    FakePlatform fake;
    return makePlatform(&fake).isLeadByte(byte);
}

// `adjust`, when given, changes the host before the run: a terminal, a
// console, the names' code page.
int run(FakeHost* fake, std::vector<std::string> arguments, void (*adjust)(Host*) = nullptr) {
    arguments.insert(arguments.begin(), "kolorvane-cli");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Host host{};
    host.platform = makePlatform(&fake->files);
    host.rules.separators = "\\";
    host.rules.isLeadByte = leadByte;
    host.output = fake->output;
    host.error = fake->error;
    host.interactive = false;
    host.describe = describe;
    host.holdInterrupts = holdInterrupts;
    host.releaseInterrupts = releaseInterrupts;
    if (adjust != nullptr) {
        adjust(&host);
    }
    return runCommandLine(host, static_cast<int>(arguments.size()), argv.data());
}

Bytes edgePal() {
    Bytes file = {'E', 'D', 'G', 'E', ' ', 'P', 'A', 'L', 0, 0};
    file.resize(kEdgePalSize, 7);
    return file;
}

TEST(Run, InterruptsAreHeldFromTheTemporaryFileToItsMoveOrRemoval) {
    int calls = 0;
    for (int failAt = -1; failAt < calls; failAt++) {
        SCOPED_TRACE("failing call " + std::to_string(failAt));
        FakeHost host;
        addFile(&host.files, "C:\\w\\a.pal", edgePal());
        addFile(&host.files, "C:\\w\\b.act", Bytes(768, 1));
        host.files.failAt = failAt;

        run(&host, {"C:\\w\\a.pal", "-n", "C:\\w\\b.act"});

        if (failAt < 0) {
            calls = host.files.failableCalls;
        }
        // Every step that can leave a file behind happens while held, and
        // nothing is held once the run is over.
        bool held = false;
        int holds = 0;
        for (const std::string& entry : host.files.log) {
            if (entry == "hold") {
                EXPECT_FALSE(held);
                held = true;
                holds++;
            } else if (entry == "release") {
                EXPECT_TRUE(held);
                held = false;
            } else if (entry.rfind("create", 0) == 0 || entry.rfind("write", 0) == 0 ||
                       entry.rfind("flush", 0) == 0 || entry.rfind("replace", 0) == 0 ||
                       entry.rfind("movenew", 0) == 0 || entry.rfind("remove", 0) == 0) {
                EXPECT_TRUE(held) << entry;
            }
        }
        EXPECT_FALSE(held);
        EXPECT_GE(holds, 1);
        for (const std::string& name : testing::filesIn(host.files, "C:\\w\\")) {
            EXPECT_EQ(name.rfind('~', 0), std::string::npos) << "temporary left: " << name;
        }
    }
    EXPECT_GE(calls, 10);
}

TEST(Run, LinesOnBothStreamsKeepTheOrderOfTheFiles) {
    FakeHost host;
    FakeHost::replace(&host.error, fdopen(dup(fileno(host.output)), "w"));
    addFile(&host.files, "C:\\w\\a.pal", edgePal());
    addFile(&host.files, "C:\\w\\c.pal", edgePal());
    addFile(&host.files, "C:\\w\\d.pal", edgePal());

    EXPECT_EQ(run(&host, {"C:\\w\\a.pal", "C:\\w\\b.pal", "C:\\w\\c.pal", "C:\\w\\d.pal"}),
              kExitFailed);

    EXPECT_EQ(written(host.output),
              "C:\\w\\a.pal -> C:\\w\\a.act\n"
              "kolorvane-cli: C:\\w\\b.pal: no such file\n"
              "C:\\w\\c.pal -> C:\\w\\c.act\n"
              "C:\\w\\d.pal -> C:\\w\\d.act\n");
}

TEST(Run, FailuresToWriteTheOutputCarryTheSystemsWords) {
    FakeHost host;
    addFile(&host.files, "C:\\w\\a.pal", edgePal());

    EXPECT_EQ(run(&host, {"-o", "D:\\none", "C:\\w\\a.pal"}), kExitFailed);

    EXPECT_EQ(written(host.output), "");
    EXPECT_EQ(written(host.error),
              "kolorvane-cli: C:\\w\\a.pal: cannot write D:\\none\\a.act: The system cannot find "
              "the file specified\n");
}

TEST(Run, AReportThatIsLostFailsTheRun) {
    struct Case {
        const char* name;
        bool outputFails;
        bool errorFails;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"standard output", true, false, {"C:\\w\\a.pal"}},
        {"standard error, for an output left alone", false, true, {"-n", "C:\\w\\b.pal"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        if (c.outputFails) {
            FakeHost::replace(&host.output, std::fopen("/dev/full", "w"));
        }
        if (c.errorFails) {
            FakeHost::replace(&host.error, std::fopen("/dev/full", "w"));
        }
        addFile(&host.files, "C:\\w\\a.pal", edgePal());
        addFile(&host.files, "C:\\w\\b.pal", edgePal());
        addFile(&host.files, "C:\\w\\b.act", Bytes{1});

        EXPECT_EQ(run(&host, c.arguments), kExitFailed);

        // The conversion itself stands.
        EXPECT_EQ(host.files.files["C:\\w\\a.act"].size(), c.outputFails ? kColorTableSize : 0U);
        EXPECT_EQ(host.files.files["C:\\w\\b.act"], Bytes{1});
    }
}

TEST(Run, OutputPathsThatWouldNotFitAreRefusedBeforeAnyFileIsTouched) {
    // Each part fits on its own; together they pass the limit, by one byte
    // or by many.
    const std::string folder = "D:\\" + std::string(196, 'o') + "\\";  // 200 bytes
    for (const std::size_t nameLength : {std::size_t{60}, std::size_t{200}}) {
        SCOPED_TRACE(nameLength);
        FakeHost host;
        const std::string name = std::string(nameLength - 4, 'n') + ".pal";
        const std::string source = "C:\\" + name;
        addFile(&host.files, source, edgePal());
        addDirectory(&host.files, folder);

        EXPECT_EQ(run(&host, {"-o", folder, source}), kExitFailed);

        EXPECT_TRUE(host.files.log.empty());
        EXPECT_EQ(written(host.error),
                  "kolorvane-cli: " + source + ": the output's path would be too long\n");
    }
}

TEST(Run, UsageErrorTouchesNoFile) {
    FakeHost host;
    addFile(&host.files, "C:\\w\\a.pal", edgePal());

    EXPECT_EQ(run(&host, {"C:\\w\\a.pal", "--bogus"}), kExitUsage);

    EXPECT_TRUE(host.files.log.empty());
    EXPECT_EQ(written(host.output), "");
    EXPECT_EQ(written(host.error),
              "kolorvane-cli: unknown option '--bogus'\n"
              "Try 'kolorvane-cli --help' for more information.\n");
}

}  // namespace
}  // namespace kolorvane

namespace kolorvane {
namespace {

Bytes text(const std::string& characters) { return Bytes(characters.begin(), characters.end()); }

Bytes number(std::uint32_t value, std::size_t size, bool bigEndian) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; i++) {
        bytes[bigEndian ? size - 1 - i : i] = static_cast<unsigned char>(value >> (8 * i));
    }
    return bytes;
}

Bytes be16(std::uint32_t value) { return number(value, 2, true); }
Bytes be32(std::uint32_t value) { return number(value, 4, true); }
Bytes le16(std::uint32_t value) { return number(value, 2, false); }
Bytes le32(std::uint32_t value) { return number(value, 4, false); }

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// An RIFF palette's data chunk of `count` colours holding `entries` of them.
Bytes riff(std::uint32_t count, std::size_t entries) {
    const Bytes data = join({le16(0x0300), le16(count), Bytes(4 * entries, 1)});
    return join({text("RIFF"), le32(static_cast<std::uint32_t>(12 + data.size())), text("PAL data"),
                 le32(static_cast<std::uint32_t>(data.size())), data});
}

Bytes acoColor(std::uint32_t space) {
    return join({be16(space), be16(0x1234), be16(0), be16(0xFFFF), be16(0)});
}

// An ASE colour entry: `units` of name, the model and the channels' bits.
Bytes aseColor(std::uint32_t units, const char* model, std::initializer_list<std::uint32_t> bits) {
    Bytes body = join({be16(units), Bytes(2 * units, 0), text(model)});
    for (const std::uint32_t value : bits) {
        body = join({body, be32(value)});
    }
    body = join({body, be16(2)});
    return join({be16(1), be32(static_cast<std::uint32_t>(body.size())), body});
}

Bytes ase(std::uint32_t blocks, const Bytes& body) {
    return join({text("ASEF"), be16(1), be16(0), be32(blocks), body});
}

// A PNG's signature and an IHDR of 8 x 8 RGB pixels at `bitDepth` bits, its
// CRC right.
Bytes pngHeader(unsigned char bitDepth) {
    const Bytes chunk = join({text("IHDR"), be32(8), be32(8), Bytes{bitDepth, 2, 0, 0, 0}});
    const auto crc = static_cast<std::uint32_t>(crc32(0, chunk.data(), chunk.size()));
    return join({Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, be32(13), chunk, be32(crc)});
}

// Every reader is given files that lie; each is refused with its reason and
// nothing is written.
TEST(Run, SourcesThatLieAreRefusedWithTheirReasonAndNothingWritten) {
    std::string tooMany = "GIMP Palette\n";
    for (int i = 0; i < 257; i++) {
        tooMany += "1 2 3\n";
    }
    const std::uint32_t one = 0x3F800000;
    const struct Case {
        const char* name;
        Bytes source;
        const char* reason;
    } cases[] = {
        {"a.pal", text("JASC-PAL\r\n0100\r\n3\r\n1 2 3\r\n4 5 6\r\n"),
         "line 3: the count, 3, disagrees with the colours listed"},
        {"a.pal", text("JASC-PAL\n0100\n1\n1 2 3\n4 5 6\n"),
         "line 3: the count, 1, disagrees with the colours listed"},
        {"a.pal", text("JASC-PAL\n0200\n1\n1 2 3\n"), "line 2: an unsupported version"},
        {"a.pal", text("JASC-PAL\n0100\n0\n"), "no colours"},
        {"a.pal", text("JASC-PAL\n0100\n65536\n"), "line 3: more than 65535 colours"},
        {"a.pal", text("JASC-PAL\n0100\n1\n1 2 3 4\n"), "line 4: malformed"},
        {"a.pal", join({text("RIFF"), le32(1000), text("PAL ")}),
         "offset 4: a size points past the end of the file"},
        {"a.pal", join({text("RIFF"), le32(12), text("PAL data"), le32(0xFFFFFFFF)}),
         "offset 16: a size points past the end of the file"},
        {"a.pal", riff(6, 5), "offset 22: the count, 6, disagrees with the data"},
        {"a.pal", join({text("RIFF"), le32(6), text("PAL da")}), "offset 12: the file ends early"},
        {"a.gpl", text("GIMP Palette\n1 2 3\n1 256 3\n"), "line 3: a number above 255"},
        {"a.gpl", text("GIMP Palette\n1 99999999999999999999 3\n"), "line 2: a number above 255"},
        {"a.gpl", text("GIMP Palette\n12 34\n"), "line 2: malformed"},
        {"a.gpl", text("GIMP Palette\n1 -2 3\n"), "line 2: malformed"},
        {"a.gpl", text("GIMP Palette\n# nothing\n"), "no colours"},
        {"a.gpl", text(tooMany),
         "257 colours; an EDGE PAL holds 256 (--truncate keeps the first 256)"},
        {"a.gpl", text("GIMP palette\n1 2 3\n"), "not a GIMP palette"},
        {"a.hex", text("123456\n12345g\n"), "line 2: a character that is not a hexadecimal digit"},
        {"a.hex", text("#12345\n"), "line 1: malformed"},
        {"a.hex", text("# 123456\n"), "line 1: malformed"},
        {"a.gpl", text("GIMP Palette\nChannels: RGB\n1 2 3\n"),
         "line 2: the channels are not RGBA"},
        {"a.gpl", text("GIMP Palette\n1 2 3\nChannels: RGBA\n1 2 3 4\n"),
         "line 3: the channels are not RGBA"},
        {"a.gpl", text("GIMP Palette\nChannels: RGBA\n1 2 3\n"), "line 3: malformed"},
        {"a.txt", text("; c\nFF12345\n"), "line 2: malformed"},
        {"a.aco", join({be16(1), be16(5), acoColor(0), acoColor(0)}),
         "offset 2: the count, 5, disagrees with the data"},
        {"a.aco", join({be16(1), be16(2), acoColor(0), acoColor(3)}),
         "offset 14: colour 2 is Pantone; only RGB, HSB, CMYK, Lab and grayscale colours are read"},
        {"a.aco", join({be16(1), be16(1), be16(7), be16(10001), be16(0), be16(0), be16(0)}),
         "offset 4: colour 1 has a Lab value outside L 0 to 100, a and b -128 to 127"},
        {"a.aco", join({be16(1), be16(1), be16(8), be16(10001), be16(0), be16(0), be16(0)}),
         "offset 4: colour 1 has a grayscale value over 10000, all black"},
        {"a.aco", join({be16(2), be16(1), acoColor(0), be32(0xFFFFFFFF)}),
         "offset 2: the count, 1, disagrees with the data"},
        {"a.aco",
         join({be16(1), be16(1), acoColor(0), be16(2), be16(2), acoColor(0), be32(0), acoColor(0),
               be32(0)}),
         "offset 16: the count, 2, disagrees with the data"},
        {"a.aco", join({be16(3), be16(1), acoColor(0)}), "offset 0: version 3 is not supported"},
        {"a.aco", Bytes{0}, "offset 0: the file ends early"},
        {"a.ase", ase(1, join({be16(1), be32(4), be16(9), be16(0)})),
         "offset 12: colour 1's name is longer than its block"},
        {"a.ase", ase(1, join({be16(1), be32(0x7FFFFFFF), be16(0)})),
         "offset 14: a size points past the end of the file"},
        {"a.ase", ase(1, aseColor(1, "RGB ", {one, 0x7FC00000, one})),
         "offset 30: colour 1 has a value that is not a number from 0 to 1"},
        {"a.ase", ase(1, aseColor(1, "RGB ", {one, 0x3FC00000, one})),
         "offset 30: colour 1 has a value that is not a number from 0 to 1"},
        {"a.ase", ase(1, aseColor(1, "XYZ ", {one, one, one})),
         "offset 22: colour 1 is in an unknown colour model; only RGB, HSB, CMYK, Lab and "
         "grayscale colours are read"},
        {"a.ase", ase(1, aseColor(1, "LAB ", {0x3FC00000, 0, 0})),
         "offset 26: colour 1 has a Lab value outside L 0 to 100, a and b -128 to 127"},
        {"a.ase", ase(1, aseColor(1, "CMYK", {0, 0, 0, 0x3FC00000})),
         "offset 38: colour 1 has a value that is not a number from 0 to 1"},
        {"a.ase", ase(3, aseColor(1, "Gray", {one})),
         "offset 8: the count, 3, disagrees with the data"},
        {"a.ase", join({ase(1, aseColor(1, "Gray", {one})), Bytes(1)}),
         "offset 32: data past the last colour"},
        {"a.ase", join({text("ASEF"), be16(2), be16(0), be32(0)}),
         "offset 4: version 2.0 is not supported"},
        {"a.ase", ase(1, join({be16(0xC003), be32(0)})),
         "offset 12: a block of unknown type 0xC003"},
        {"a.ase", ase(0, {}), "no colours"},
        {"a.gpl", join({text("GIMP Palette\n1 2 3\n#"), Bytes(kMaxSourceSize, ' ')}),
         "larger than 80 MiB, the most a palette is read from"},
        {"a.png", join({pngHeader(8), Bytes(formats::kLargestImageSource, 0)}),
         "larger than 64 MiB, the most a palette is read from"},
        {"a.png", pngHeader(3), "the decoder refuses it: invalid bit depth"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FakeHost host;
        addFile(&host.files, std::string("C:\\w\\") + c.name, c.source);

        EXPECT_EQ(run(&host, {std::string("C:\\w\\") + c.name, "--to", "edge"}), kExitFailed);

        EXPECT_EQ(written(host.error),
                  std::string("kolorvane-cli: C:\\w\\") + c.name + ": " + c.reason + "\n");
        EXPECT_EQ(testing::filesIn(host.files, "C:\\w\\"), std::vector<std::string>{c.name});
    }
}

// IFF: a chunk of `type`, its length and data and the pad byte after an
// odd length; a FORM of `type` around `chunks`.
Bytes iffChunk(const char* type, const Bytes& data) {
    return join({text(type), be32(static_cast<std::uint32_t>(data.size())), data,
                 Bytes(data.size() % 2, 0)});
}

Bytes iffForm(const char* type, const Bytes& chunks) {
    return join(
        {text("FORM"), be32(static_cast<std::uint32_t>(4 + chunks.size())), text(type), chunks});
}

Bytes bmhd(std::uint32_t width, unsigned char planes, unsigned char compression) {
    return iffChunk("BMHD", join({be16(width), be16(16), be32(0), Bytes{planes, 0, compression, 0},
                                  be16(0), Bytes{1, 1}, be16(width), be16(16)}));
}

// A WAD's header and, after `data`, a directory of one entry.
Bytes wad(const Bytes& data, std::uint32_t offset, std::uint32_t size, const char* name) {
    Bytes entry = join({le32(offset), le32(size), text(name)});
    entry.resize(16, 0);
    return join(
        {text("PWAD"), le32(1), le32(static_cast<std::uint32_t>(12 + data.size())), data, entry});
}

Bytes proCol(std::uint32_t fileSize, std::uint32_t version, std::size_t size) {
    Bytes file = join({le32(fileSize), le16(0xB123), le16(version)});
    file.resize(size, 9);
    return file;
}

// The palettes of retro tools and games, and IFF images, that lie: each is
// refused with its reason and nothing is written. nes and vga are read
// through --from alone.
TEST(Run, RetroSourcesThatLieAreRefusedWithTheirReason) {
    const Bytes palette(768, 1);
    const Bytes cmap = iffChunk("CMAP", Bytes(15, 2));
    Bytes wide(768, 63);
    wide[100] = 64;
    const struct Case {
        const char* name;
        const char* from;
        Bytes source;
        const char* reason;
    } cases[] = {
        {"a.lbm", nullptr, iffForm("ILBM", join({cmap, Bytes(2)})), "offset 36: malformed"},
        {"a.lbm", nullptr, join({text("FORM"), be32(2), text("ILBM"), cmap}),
         "offset 4: malformed"},
        {"a.lbm", nullptr, join({text("FORM"), be32(1000), text("ILBM"), cmap}),
         "offset 4: a size points past the end of the file"},
        {"a.lbm", nullptr,
         iffForm("ILBM", join({iffChunk("BODY", Bytes(8)), text("CMAP"), be32(9)})),
         "offset 32: a size points past the end of the file"},
        {"a.lbm", nullptr, iffForm("ILBM", join({bmhd(16, 24, 0), iffChunk("BODY", Bytes(96))})),
         "no CMAP chunk"},
        {"a.iff", nullptr, iffForm("PBM ", iffChunk("CMAP", Bytes(3 * 257, 0))),
         "offset 16: more than 256 colours"},
        {"a.lbm", nullptr, iffForm("ILBM", iffChunk("CMAP", Bytes(2, 0))), "no colours"},
        {"a.lbm", nullptr, iffForm("ILBM", join({bmhd(16, 8, 3), cmap})),
         "offset 30: compression 3 is not supported"},
        {"a.lbm", nullptr, iffForm("ILBM", join({bmhd(0, 8, 1), cmap, iffChunk("BODY", Bytes(8))})),
         "the width or height is 0 or more than 16384 pixels"},
        {"a.lbm", nullptr, iffForm("ILBM", join({iffChunk("BMHD", Bytes(10)), cmap})),
         "offset 16: malformed"},
        {"a.lbm", nullptr, iffForm("8SVX", cmap), "not an IFF ILBM image"},
        {"a.col", nullptr, proCol(776, 1, 776), "offset 6: version 1 is not supported"},
        {"a.col", nullptr, proCol(776, 0, 500), "offset 500: the file ends early"},
        {"a.col", nullptr, proCol(777, 0, 777), "offset 0: file size 777 is not supported"},
        {"a.col", nullptr, proCol(776, 0, 780), "offset 776: data past the last colour"},
        {"a.col", nullptr, proCol(779, 0, 779), "offset 0: more than 256 colours"},
        {"a.col", nullptr, wide,
         "not an Animator Pro palette, 6-bit VGA palette or IFF ILBM image"},
        {"a.dat", "vga", wide, "offset 100: 6-bit value 64 is not supported"},
        {"a.dat", "vga", Bytes(767), "offset 767: the file ends early"},
        {"a.dat", "vga", Bytes(769), "offset 768: data past the last colour"},
        {"a.pal", "nes", Bytes(191), "offset 191: the file ends early"},
        {"a.pal", "nes", Bytes(384), "offset 192: data past the last colour"},
        {"a.pal", "nes", Bytes(1537), "offset 1536: data past the last colour"},
        {"a.lmp", nullptr, Bytes(767), "offset 767: the file ends early"},
        {"a.lmp", nullptr, Bytes(1000), "offset 768: data past the last colour"},
        {"a.wad", nullptr, join({text("WAD2"), Bytes(800)}), "not a Doom WAD"},
        {"a.wad", nullptr, join({text("IWAD"), le32(1), le32(20), Bytes(20)}),
         "offset 8: a size points past the end of the file"},
        {"a.wad", nullptr, join({text("IWAD"), le32(0x80000000), le32(12)}),
         "offset 4: lump count 2147483648 is not supported"},
        {"a.wad", nullptr, join({text("IWAD"), le32(1), le32(4), Bytes(20)}),
         "offset 8: malformed"},
        {"a.wad", nullptr, wad(palette, 12, 800, "PLAYPAL"),
         "offset 780: a size points past the end of the file"},
        {"a.wad", nullptr, wad(palette, 12, 768, "COLORMAP"), "no PLAYPAL lump"},
        {"a.wad", nullptr, wad(palette, 12, 767, "PLAYPAL"),
         "offset 784: PLAYPAL lump size 767 is not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FakeHost host;
        const std::string path = std::string("C:\\w\\") + c.name;
        addFile(&host.files, path, c.source);

        const int status = c.from == nullptr ? run(&host, {path, "--to", "act"})
                                             : run(&host, {"--from", c.from, path, "--to", "act"});

        EXPECT_EQ(status, kExitFailed);
        EXPECT_EQ(written(host.error), "kolorvane-cli: " + path + ": " + c.reason + "\n");
        EXPECT_EQ(testing::filesIn(host.files, "C:\\w\\"), std::vector<std::string>{c.name});
    }
}

// EDGE PAL and .act read their layout and ignore the rest, however long.
TEST(Run, ALongEdgePalStillConverts) {
    FakeHost host;
    Bytes source = edgePal();
    source.resize(kMaxSourceSize * 2, 3);
    addFile(&host.files, "C:\\w\\a.pal", source);

    EXPECT_EQ(run(&host, {"C:\\w\\a.pal"}), kExitConverted);

    EXPECT_EQ(host.files.files["C:\\w\\a.act"], Bytes(kColorTableSize, 7));
}

// --show reads each FILE as a conversion does, refuses what it refuses with
// the same words, and writes nothing.
TEST(Run, ShowListsEachFileAsReadAndWritesNothing) {
    FakeHost host;
    FakeHost::replace(&host.error, fdopen(dup(fileno(host.output)), "w"));
    addFile(
        &host.files, "C:\\w\\a.gpl",
        text("GIMP Palette\nName: Sunset\n255 94 58\tCoral\n38 20 71\n0 0 0\tline\x1B[2Jgone\n"));
    // An .act of 772 bytes says how many of its entries are colours.
    addFile(&host.files, "C:\\w\\b.act",
            join({Bytes{1, 2, 3, 4, 5, 6}, Bytes(762), be16(2), be16(0)}));
    addFile(&host.files, "C:\\w\\c.hex", text("123456\n12345g\n"));
    addFile(&host.files, "C:\\w\\d.doc", text("notes"));
    const std::vector<std::string> before = testing::filesIn(host.files, "C:\\w\\");

    EXPECT_EQ(run(&host, {"--show", "C:\\w\\a.gpl", "C:\\w\\b.act", "C:\\w\\c.hex",
                          "C:\\w\\none.pal", "C:\\w\\d.doc"}),
              kExitFailed);

    EXPECT_EQ(written(host.output),
              "#\tC:\\w\\a.gpl\tGIMP palette\t3\tSunset\n"
              "0\t#FF5E3A\tCoral\n"
              "1\t#261447\n"
              "2\t#000000\tline\xEF\xBF\xBD[2Jgone\n"
              "#\tC:\\w\\b.act\tAdobe colour table\t2\n"
              "0\t#010203\n"
              "1\t#040506\n"
              "kolorvane-cli: C:\\w\\c.hex: line 2: a character that is not a hexadecimal digit\n"
              "kolorvane-cli: C:\\w\\none.pal: no such file\n"
              "kolorvane-cli: C:\\w\\d.doc: " +
                  unsupportedName() + "\n");
    EXPECT_EQ(testing::filesIn(host.files, "C:\\w\\"), before);
    for (const std::string& call : host.files.log) {
        EXPECT_TRUE(call.rfind("open", 0) == 0 || call.rfind("read", 0) == 0 ||
                    call.rfind("identify", 0) == 0 || call.rfind("close", 0) == 0)
            << call;
    }
}

TEST(Run, ShowUnderQuietReportsTheRefusalsAlone) {
    FakeHost host;
    addFile(&host.files, "C:\\w\\a.hex", text("123456\n"));

    EXPECT_EQ(run(&host, {"-q", "--show", "C:\\w\\a.hex"}), kExitConverted);
    EXPECT_EQ(run(&host, {"-q", "--show", "C:\\w\\a.hex", "C:\\w\\b.hex"}), kExitFailed);

    EXPECT_EQ(written(host.output), "");
    EXPECT_EQ(written(host.error), "kolorvane-cli: C:\\w\\b.hex: no such file\n");
}

// A name as long as a path may be, read as an .act: its output's name would
// not fit, which refuses the conversion but not the listing.
TEST(Run, ShowListsAFileWhoseOutputsPathWouldNotFit) {
    const std::string source = "C:\\" + std::string(255, 'n');
    FakeHost host;
    addFile(&host.files, source, Bytes{9, 8, 7});

    EXPECT_EQ(run(&host, {"--from", "act", source}), kExitFailed);
    EXPECT_EQ(run(&host, {"--from", "act", "--show", source}), kExitConverted);

    EXPECT_EQ(written(host.error),
              "kolorvane-cli: " + source + ": the output's path would be too long\n");
    const std::string listing = written(host.output);
    EXPECT_EQ(listing.substr(0, listing.find('\n')), "#\t" + source + "\tAdobe colour table\t256");
    EXPECT_NE(listing.find("\n0\t#090807\n1\t#000000\n"), std::string::npos);
}

// The names' code page, as Windows' would be: ISO 8859-1 here.
std::size_t latin1ToUtf8(const char* name, std::size_t size, char* utf8, std::size_t capacity) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < size && length + 2 <= capacity; i++) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            utf8[length++] = static_cast<char>(byte);
        } else {
            utf8[length++] = static_cast<char>(0xC0 | byte >> 6);
            utf8[length++] = static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return length;
}

// What a console that takes Unicode was given, and whether it takes more.
std::string console;
bool consoleTakes = true;

bool writeUnicode(const char* utf8, std::size_t size) {
    if (consoleTakes) {
        console.append(utf8, size);
    }
    return consoleTakes;
}

void asWindowsConsole(Host* host) {
    host->interactive = true;
    host->nameToUtf8 = latin1ToUtf8;
    host->writeUnicode = writeUnicode;
}

TEST(Run, ShowInAConsoleWritesUnicodeAndTheFilesNameInUtf8) {
    for (const bool takes : {true, false}) {
        SCOPED_TRACE(takes);
        FakeHost host;
        addFile(&host.files, "C:\\w\\caf\xE9.hex", text("FF0000\n"));
        console.clear();
        consoleTakes = takes;

        const int status = run(&host, {"--show", "C:\\w\\caf\xE9.hex"}, asWindowsConsole);

        EXPECT_EQ(written(host.output), "");
        if (takes) {
            EXPECT_EQ(status, kExitConverted);
            EXPECT_EQ(console,
                      "\x1B[1mC:\\w\\caf\xC3\xA9.hex\x1B[0m: hex palette, 1 colour\n"
                      "    \x1B[48;2;255;0;0m  \x1B[0m\n"
                      "\n"
                      "  0 \x1B[48;2;255;0;0m    \x1B[0m #FF0000\n");
            EXPECT_EQ(written(host.error), "");
        } else {
            // Lines that did not reach the console fail the run, as for a pipe.
            EXPECT_EQ(status, kExitFailed);
            EXPECT_EQ(written(host.error), "kolorvane-cli: cannot write to standard output\n");
        }
    }
}

// --- colours of other spaces ------------------------------------------------

// A file of this machine, read once.
const Bytes& fileBytes(const std::string& path) {
    static std::map<std::string, Bytes> read;
    if (read.count(path) == 0) {
        std::ifstream file(path, std::ios::binary);
        EXPECT_TRUE(file.good()) << path;
        std::ostringstream bytes;
        bytes << file.rdbuf();
        const std::string got = bytes.str();
        read[path] = Bytes(got.begin(), got.end());
    }
    return read[path];
}

std::uint32_t bits(float value) {
    std::uint32_t word = 0;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// Cyan (outside sRGB), black ink, a Lab grey, and red in RGB.
Bytes mixedAse() {
    return ase(
        4, join({aseColor(1, "CMYK", {bits(1), 0, 0, 0}), aseColor(1, "CMYK", {0, 0, 0, bits(1)}),
                 aseColor(1, "LAB ", {bits(0.5F), 0, 0}), aseColor(1, "RGB ", {bits(1), 0, 0})}));
}

// HSB red and 50 % grey, which need no colour management.
Bytes formulaAco() {
    return join({be16(1), be16(2), be16(1), be16(0), be16(0xFFFF), be16(0xFFFF), be16(0), be16(8),
                 be16(5000), be16(0), be16(0), be16(0)});
}

// The file's converted CMYK and Lab colours are counted in one warning, left
// out by -q and for an output not written; formulas need none.
TEST(Run, ConvertedColoursAreCountedInOneWarning) {
    const std::string iso = "\"ISO Coated v2 300% (basICColor)\"";
    const struct Case {
        const char* what;
        std::vector<std::string> arguments;
        const char* output;
        std::string error;
    } cases[] = {
        {"mixed",
         {"C:\\w\\m.ase"},
         "C:\\w\\m.ase -> C:\\w\\m.pal\n",
         "kolorvane-cli: C:\\w\\m.ase: 3 colours converted to sRGB: 2 CMYK through " + iso +
             ", 1 Lab; 1 outside sRGB, clipped\n"},
        {"one",
         {"C:\\w\\l.ase"},
         "C:\\w\\l.ase -> C:\\w\\l.pal\n",
         "kolorvane-cli: C:\\w\\l.ase: 1 colour converted to sRGB: 1 Lab\n"},
        {"cmyk alone",
         {"C:\\w\\k.ase"},
         "C:\\w\\k.ase -> C:\\w\\k.pal\n",
         "kolorvane-cli: C:\\w\\k.ase: 1 colour converted to sRGB: 1 CMYK through " + iso + "\n"},
        {"formulas", {"C:\\w\\f.aco"}, "C:\\w\\f.aco -> C:\\w\\f.pal\n", ""},
        {"quiet", {"-q", "C:\\w\\m.ase"}, "", ""},
        {"left alone",
         {"-n", "C:\\w\\m.ase"},
         "",
         "kolorvane-cli: C:\\w\\m.ase: C:\\w\\m.pal exists, left alone\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        addFile(&host.files, "C:\\w\\m.ase", mixedAse());
        addFile(&host.files, "C:\\w\\l.ase", ase(1, aseColor(1, "LAB ", {bits(0.5F), 0, 0})));
        addFile(&host.files, "C:\\w\\k.ase", ase(1, aseColor(1, "CMYK", {0, 0, 0, bits(1)})));
        addFile(&host.files, "C:\\w\\f.aco", formulaAco());
        if (std::string(c.what) == "left alone") {
            addFile(&host.files, "C:\\w\\m.pal", Bytes{1});
        }

        EXPECT_EQ(run(&host, c.arguments), kExitConverted);

        EXPECT_EQ(written(host.output), c.output);
        EXPECT_EQ(written(host.error), c.error);
    }
}

// A --cmyk-profile that cannot be used is a usage error, said before any
// FILE is opened.
TEST(Run, ACmykProfileThatCannotBeUsedIsAUsageError) {
    const struct Case {
        const char* profile;
        int failAt;
        const char* problem;
    } cases[] = {
        {"C:\\p\\none.icc", -1, "no such file"},
        {"C:\\p\\dir", -1, "is a folder, not a file"},
        {"C:\\p\\text.icc", -1, "not an ICC profile"},
        {"C:\\p\\srgb.icc", -1, "not a CMYK profile: its colours are RGB"},
        {"C:\\p\\iso.icc", 0, "cannot open: Access is denied"},
        {"C:\\p\\iso.icc", 2, "cannot read: Access is denied"},
        {"C:\\p\\big.icc", -1, "larger than 32 MiB, the most a profile is read from"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        FakeHost host;
        addFile(&host.files, "C:\\w\\m.ase", mixedAse());
        addDirectory(&host.files, "C:\\p\\dir\\");
        addFile(&host.files, "C:\\p\\text.icc", text(std::string(400, 'x')));
        addFile(&host.files, "C:\\p\\srgb.icc", fileBytes(KOLORVANE_RGB_PROFILE_FILE));
        addFile(&host.files, "C:\\p\\iso.icc", fileBytes(KOLORVANE_CMYK_PROFILE_FILE));
        if (std::strstr(c.profile, "big") != nullptr) {
            addFile(&host.files, c.profile, Bytes(kMaxProfileSize + 1, 0));
        }
        host.files.failAt = c.failAt;

        EXPECT_EQ(run(&host, {"C:\\w\\m.ase", "--cmyk-profile", c.profile}), kExitUsage);

        EXPECT_EQ(written(host.output), "");
        EXPECT_EQ(written(host.error), std::string("kolorvane-cli: --cmyk-profile ") + c.profile +
                                           ": " + c.problem +
                                           "\nTry 'kolorvane-cli --help' for more information.\n");
        for (const std::string& call : host.files.log) {
            EXPECT_EQ(call.find("m.ase"), std::string::npos) << call;
        }
    }
}

// The profile of the bytes at `at` described as `description`, of the same
// length.
Bytes describedAs(Bytes profile, const std::string& from, const std::string& to) {
    const auto found = std::search(profile.begin(), profile.end(), from.begin(), from.end());
    EXPECT_NE(found, profile.end());
    std::copy(to.begin(), to.end(), found);
    return profile;
}

// The user's profile is the one converted through, and named in the warning;
// one LittleCMS opens but cannot convert through fails the FILEs that need
// it alone.
TEST(Run, TheUsersCmykProfileIsConvertedThrough) {
    FakeHost host;
    const Bytes iso = fileBytes(KOLORVANE_CMYK_PROFILE_FILE);
    addFile(&host.files, "C:\\p\\own.icc", describedAs(iso, "ISO Coated", "Own Coated"));
    // Each table from CMYK given a type LittleCMS does not know.
    Bytes broken = iso;
    for (std::size_t i = 0; i < 10; i++) {
        const std::size_t entry = 132 + 12 * i;
        if (std::equal(broken.begin() + entry, broken.begin() + entry + 3, "A2B")) {
            const std::size_t at = static_cast<std::size_t>(broken[entry + 4]) << 24 |
                                   broken[entry + 5] << 16 | broken[entry + 6] << 8 |
                                   broken[entry + 7];
            std::copy_n("????", 4, broken.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    addFile(&host.files, "C:\\p\\broken.icc", broken);
    addFile(&host.files, "C:\\w\\k.ase", ase(1, aseColor(1, "CMYK", {0, 0, 0, bits(1)})));
    addFile(&host.files, "C:\\w\\f.aco", formulaAco());

    EXPECT_EQ(run(&host, {"--cmyk-profile", "C:\\p\\own.icc", "C:\\w\\k.ase"}), kExitConverted);
    EXPECT_EQ(run(&host, {"--cmyk-profile=C:\\p\\broken.icc", "C:\\w\\f.aco", "C:\\w\\k.ase"}),
              kExitFailed);

    EXPECT_EQ(written(host.error),
              "kolorvane-cli: C:\\w\\k.ase: 1 colour converted to sRGB: 1 CMYK through "
              "\"Own Coated v2 300% (basICColor)\"\n"
              "kolorvane-cli: C:\\w\\k.ase: LittleCMS cannot convert its colours through the CMYK "
              "profile\n");
    EXPECT_EQ(written(host.output), "C:\\w\\k.ase -> C:\\w\\k.pal\nC:\\w\\f.aco -> C:\\w\\f.pal\n");
}

}  // namespace
}  // namespace kolorvane
