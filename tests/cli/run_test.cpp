#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include <string>
#include <utility>
#include <vector>

#include "fake_platform.h"
#include "palette.h"
#include "run.h"

namespace kolorvane {
namespace {

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

int run(FakeHost* fake, std::vector<std::string> arguments) {
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
