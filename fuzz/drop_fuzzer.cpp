// handleDroppedFile on arbitrary paths and contents, in a fake file system
// laid out by the input, with any one platform call made to fail.
//
// Input: four bytes of set-up, then the path up to its terminator (at most
// kMaxPath - 1 bytes), then the source's contents:
//   byte 0  0 for no failure, else 1 + the ordinal of the call to fail
//   byte 1  the most bytes one read returns (0: no limit)
//   byte 2  the most bytes one write takes (0: no limit)
//   byte 3  flags, kSourceMissing and on
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "dropped_file.h"
#include "fake_platform.h"
#include "fuzz_checks.h"
#include "notices.h"

namespace kolorvane::fuzzing {

namespace {

using testing::FakePlatform;

constexpr unsigned kSourceMissing = 1U << 0;
constexpr unsigned kSourceIsFolder = 1U << 1;
constexpr unsigned kOutputExists = 1U << 2;
constexpr unsigned kOutputIsFolder = 1U << 3;
constexpr unsigned kDirectoryGone = 1U << 4;  // chdir to the source's directory fails
constexpr unsigned kTemporaryTaken = 1U << 5;

constexpr std::size_t kSetupSize = 4;
constexpr char kStartDirectory[] = "D:\\start\\";

Bytes oldOutput() { return Bytes{'o', 'l', 'd'}; }

struct Input {
    int failAt;
    std::size_t readChunk;
    std::size_t writeChunk;
    unsigned flags;
    std::string path;
    Bytes contents;
};

Input parse(const std::uint8_t* data, std::size_t size) {
    std::uint8_t setup[kSetupSize] = {};
    std::memcpy(setup, data, std::min(size, kSetupSize));
    const std::size_t rest = size > kSetupSize ? size - kSetupSize : 0;
    const std::uint8_t* text = data + (size - rest);
    const std::size_t pathBytes = std::min(rest, kMaxPath - 1);
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(text, 0, pathBytes));
    const std::size_t pathLength =
        end == nullptr ? pathBytes : static_cast<std::size_t>(end - text);
    const std::size_t contentsStart = std::min(rest, pathLength + (end == nullptr ? 0 : 1));

    Input input;
    input.failAt = static_cast<int>(setup[0]) - 1;
    input.readChunk = setup[1];
    input.writeChunk = setup[2];
    input.flags = setup[3];
    input.path.assign(reinterpret_cast<const char*>(text), pathLength);
    input.contents.assign(text + contentsStart, text + rest);
    return input;
}

// The fake's name for the n-th failable call (every call but the notice).
std::string failableCall(const FakePlatform& fake, int ordinal) {
    int seen = 0;
    for (const std::string& line : fake.log) {
        if (line.rfind("notice ", 0) == 0) {
            continue;
        }
        if (seen++ == ordinal) {
            return line.substr(0, line.find(' '));
        }
    }
    return std::string();
}

struct Names {
    bool convertible;  // a full path of a .pal or .act file with a name to derive
    PaletteKind kind;
    std::string directory;  // as the fake resolves it before the drop
    std::string output;     // the output's full name there
};

Names namesOf(const FakePlatform& fake, const char* path) {
    testing::FakePlatform scratch;
    const Platform platform = testing::makePlatform(&scratch);
    Names names{false, classifyPath(path), std::string(), std::string()};
    PathPlan plan{};
    // The window takes no path whose only separator is its first byte.
    names.convertible = planPaths(path, PathRules{"\\", platform.isLeadByte}, nullptr, &plan) ==
                            PlanStatus::Planned &&
                        plan.sourceFolderLength > 1;
    if (names.convertible) {
        names.directory = testing::resolve(fake, plan.folder);
        names.output = names.directory + plan.output;
    }
    return names;
}

void lay(const Input& input, const Names& names, FakePlatform* fake) {
    const std::string source = testing::resolve(*fake, input.path);
    if ((input.flags & kSourceIsFolder) != 0) {
        testing::addDirectory(fake, source + "\\");
    } else if ((input.flags & kSourceMissing) == 0) {
        testing::addFile(fake, source, input.contents);
    }
    if (!names.convertible) {
        return;
    }
    if ((input.flags & kOutputExists) != 0) {
        testing::addFile(fake, names.output, oldOutput());
    }
    if ((input.flags & kOutputIsFolder) != 0) {
        testing::addDirectory(fake, names.output + "\\");
    }
    if ((input.flags & kTemporaryTaken) != 0) {
        // The first name the temporary file would be given.
        char temporary[kMaxPath] = {};
        const std::string output = names.output.substr(names.directory.size());
        temporaryName(output.c_str(), output.c_str(), 0, temporary);
        testing::addFile(fake, names.directory + temporary, oldOutput());
    }
    if ((input.flags & kDirectoryGone) != 0) {
        fake->directories.erase(names.directory);
    }
}

void checkDrop(const Input& input) {
    FakePlatform fake;
    testing::addDirectory(&fake, kStartDirectory);
    fake.currentDirectory = kStartDirectory;

    // The caller's zero-filled kMaxPath buffer, on the heap so that a read
    // past it is caught.
    auto path = std::make_unique<char[]>(kMaxPath);
    std::memset(path.get(), 0, kMaxPath);
    std::memcpy(path.get(), input.path.data(), input.path.size());

    const Names names = namesOf(fake, path.get());
    lay(input, names, &fake);
    const std::map<std::string, Bytes> before = fake.files;
    const std::string sourceKey = testing::resolve(fake, input.path);
    const bool sourceIsFile = before.count(sourceKey) != 0 && (input.flags & kSourceIsFolder) == 0;

    fake.failAt = input.failAt;
    fake.readChunk = input.readChunk;
    fake.writeChunk = input.writeChunk;
    bool filesOpenAtNotice = false;
    fake.onNotice = [&fake, &filesOpenAtNotice] { filesOpenAtNotice = !fake.open.empty(); };

    handleDroppedFile(testing::makePlatform(&fake), path.get());

    const bool failed = fake.failAt >= 0 && fake.failableCalls > fake.failAt;
    const std::string failedCall = failed ? failableCall(fake, fake.failAt) : std::string();
    require(fake.open.empty() && !fake.closeTwiceSeen, "every handle is closed once");
    require(!filesOpenAtNotice, "no file is open while a notice is shown");
    require(fake.notices.size() <= 1, "at most one notice");
    require(!failed || fake.notices.empty(), "no notice after a failure");

    const std::string notice = fake.notices.empty() ? std::string() : fake.notices.front();
    const std::string converted = std::string(kConvertedText) + "|" + kConfirmCaption;
    const std::string badHeader = std::string(kBadHeaderText) + "|" + kWarningCaption;
    const std::string unsupported = std::string(kUnsupportedText) + "|" + kWarningCaption;

    if (!names.convertible) {
        require(notice == unsupported && fake.log.size() == 1,
                "a path that is no full .pal or .act path touches no file");
        require(fake.files == before && fake.currentDirectory == kStartDirectory,
                "an unsupported path changes nothing");
        return;
    }

    bool accepted = false;
    const Bytes& contents = sourceIsFile ? before.at(sourceKey) : input.contents;
    const PalettePlanes planes = expectedPlanes(names.kind, contents, &accepted);
    const bool writable = fake.directories.count(names.directory) != 0 &&
                          fake.directories.count(names.output + "\\") == 0;
    require(notice != unsupported, "a full .pal or .act path is not refused by name");
    require(notice != badHeader || (sourceIsFile && !accepted), "bad header only for one");
    if (!failed && sourceIsFile) {
        require(notice == (accepted ? (writable ? converted : std::string()) : badHeader),
                "a healthy drop ends with the notice its outcome calls for");
    }

    // Nothing lost: every file but the output is as it was, and the output is
    // either as it was or the complete conversion, the latter only with the
    // completion notice.
    for (const auto& entry : before) {
        if (entry.first != names.output) {
            require(fake.files.count(entry.first) != 0 && fake.files[entry.first] == entry.second,
                    "files other than the output are untouched");
        }
    }
    const auto output = fake.files.find(names.output);
    if (notice == converted) {
        require(output != fake.files.end() && output->second == expectedOutput(names.kind, planes),
                "the output holds the conversion");
        require(fake.currentDirectory == names.directory,
                "the source's directory is current after a conversion");
    } else {
        const auto old = before.find(names.output);
        require(old == before.end() ? output == fake.files.end()
                                    : (output != fake.files.end() && output->second == old->second),
                "without the completion notice the output is as it was");
        require(
            fake.currentDirectory == kStartDirectory || fake.currentDirectory == names.directory,
            "the current directory is the old one or the source's");
    }
    // A temporary file outlives a drop only where removing it was the call
    // that failed.
    std::size_t added = 0;
    for (const auto& entry : fake.files) {
        added += before.count(entry.first) == 0 && entry.first != names.output ? 1 : 0;
    }
    require(added == 0 || (added == 1 && failedCall == "remove"), "no temporary file is left");
}

}  // namespace

}  // namespace kolorvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kolorvane::fuzzing::checkDrop(kolorvane::fuzzing::parse(data, size));
    return 0;
}
