#include <gtest/gtest.h>

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

// The host's side of the command line over the in-memory file system: the
// streams are recorded write by write, holding interrupts is logged among
// the file operations, and the cause of a failure is what the test says.
struct FakeHost {
    FakePlatform files;
    bool terminal = false;
    bool outputFails = false;
    bool errorFails = false;
    FailureCause cause = FailureCause::Other;
    std::string systemText = "The system says why";
    std::vector<std::pair<Stream, std::string>> writes;
};

FakeHost& hostOf(void* context) {
    return *static_cast<FakeHost*>(static_cast<FakePlatform*>(context)->owner);
}

FailureCause failureCause(void* context) { return hostOf(context).cause; }

void failureText(void* context, char* text, std::size_t capacity) {
    const std::string& words = hostOf(context).systemText;
    const std::size_t length = words.size() < capacity ? words.size() : capacity - 1;
    words.copy(text, length);
    text[length] = '\0';
}

void forgetFailure(void*) {}

bool isTerminal(void* context, Stream stream) {
    return stream == Stream::Output && hostOf(context).terminal;
}

bool writeStream(void* context, Stream stream, const char* bytes, std::size_t size) {
    FakeHost& host = hostOf(context);
    host.writes.emplace_back(stream, std::string(bytes, size));
    return !(stream == Stream::Output ? host.outputFails : host.errorFails);
}

void holdInterrupts(void* context) { static_cast<FakePlatform*>(context)->log.push_back("hold"); }

void releaseInterrupts(void* context) {
    static_cast<FakePlatform*>(context)->log.push_back("release");
}

Host makeHost(FakeHost* host) {
    host->files.owner = host;
    return Host{makePlatform(&host->files),
                "\\",
                "\n",
                failureCause,
                failureText,
                forgetFailure,
                isTerminal,
                writeStream,
                holdInterrupts,
                releaseInterrupts};
}

int run(FakeHost* host, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "kolorvane-cli");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return runCommandLine(makeHost(host), static_cast<int>(arguments.size()), argv.data());
}

Bytes edgePal() {
    Bytes file = {'E', 'D', 'G', 'E', ' ', 'P', 'A', 'L', 0, 0};
    file.resize(kEdgePalSize, 7);
    return file;
}

std::vector<std::pair<Stream, std::string>> streamWrites(
    std::initializer_list<std::pair<Stream, std::string>> list) {
    return {list.begin(), list.end()};
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
            } else if (entry.rfind("temp", 0) == 0 || entry.rfind("write", 0) == 0 ||
                       entry.rfind("replace", 0) == 0 || entry.rfind("movenew", 0) == 0 ||
                       entry.rfind("remove", 0) == 0) {
                EXPECT_TRUE(held) << entry;
            }
        }
        EXPECT_FALSE(held);
        EXPECT_GE(holds, 1);
        for (const std::string& name : testing::filesIn(host.files, "C:\\w\\")) {
            EXPECT_EQ(name.rfind("~kv", 0), std::string::npos) << "temporary left: " << name;
        }
    }
    EXPECT_GE(calls, 10);
}

TEST(Run, OutputIsGatheredIntoOneWriteUnlessItIsATerminal) {
    for (bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "pipe or file");
        FakeHost host;
        host.terminal = terminal;
        for (const char* name : {"C:\\w\\a.pal", "C:\\w\\b.pal", "C:\\w\\c.pal"}) {
            addFile(&host.files, name, edgePal());
        }

        EXPECT_EQ(run(&host, {"C:\\w\\a.pal", "C:\\w\\b.pal", "C:\\w\\c.pal"}), kExitConverted);

        const std::string a = "C:\\w\\a.pal -> C:\\w\\a.act\n";
        const std::string b = "C:\\w\\b.pal -> C:\\w\\b.act\n";
        const std::string c = "C:\\w\\c.pal -> C:\\w\\c.act\n";
        if (terminal) {
            EXPECT_EQ(
                host.writes,
                streamWrites({{Stream::Output, a}, {Stream::Output, b}, {Stream::Output, c}}));
        } else {
            EXPECT_EQ(host.writes, streamWrites({{Stream::Output, a + b + c}}));
        }
    }
}

TEST(Run, LinesOnBothStreamsKeepTheOrderOfTheFiles) {
    FakeHost host;
    host.cause = FailureCause::NoSuchFile;
    addFile(&host.files, "C:\\w\\a.pal", edgePal());
    addFile(&host.files, "C:\\w\\c.pal", edgePal());
    addFile(&host.files, "C:\\w\\d.pal", edgePal());

    EXPECT_EQ(run(&host, {"C:\\w\\a.pal", "C:\\w\\b.pal", "C:\\w\\c.pal", "C:\\w\\d.pal"}),
              kExitFailed);

    EXPECT_EQ(host.writes,
              streamWrites({{Stream::Output, "C:\\w\\a.pal -> C:\\w\\a.act\n"},
                            {Stream::Error, "kolorvane-cli: C:\\w\\b.pal: no such file\n"},
                            {Stream::Output,
                             "C:\\w\\c.pal -> C:\\w\\c.act\n"
                             "C:\\w\\d.pal -> C:\\w\\d.act\n"}}));
}

TEST(Run, FailuresToWriteTheOutputCarryTheSystemsWords) {
    FakeHost host;
    host.systemText = "The system cannot find the path specified";
    addFile(&host.files, "C:\\w\\a.pal", edgePal());

    EXPECT_EQ(run(&host, {"-o", "D:\\none", "C:\\w\\a.pal"}), kExitFailed);

    EXPECT_EQ(host.writes, streamWrites({{Stream::Error,
                                          "kolorvane-cli: C:\\w\\a.pal: cannot write "
                                          "D:\\none\\a.act: The system cannot find the path "
                                          "specified\n"}}));
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
        host.outputFails = c.outputFails;
        host.errorFails = c.errorFails;
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
        EXPECT_EQ(host.writes,
                  streamWrites({{Stream::Error, "kolorvane-cli: " + source +
                                                    ": the output's path would be too long\n"}}));
    }
}

TEST(Run, UsageErrorTouchesNoFile) {
    FakeHost host;
    addFile(&host.files, "C:\\w\\a.pal", edgePal());

    EXPECT_EQ(run(&host, {"C:\\w\\a.pal", "--bogus"}), kExitUsage);

    EXPECT_TRUE(host.files.log.empty());
    EXPECT_EQ(host.writes, streamWrites({{Stream::Error,
                                          "kolorvane-cli: unknown option '--bogus'\n"
                                          "Try 'kolorvane-cli --help' for more information.\n"}}));
}

}  // namespace
}  // namespace kolorvane
