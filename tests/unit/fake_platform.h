// An in-memory Windows-like file system behind the core's platform table.
// Every call is logged in order, and any one of them can be made to fail.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace kolorvane::testing {

using Bytes = std::vector<unsigned char>;

struct OpenFile {
    std::string path;
    std::size_t position;
    bool writable;
};

struct FakePlatform {
    // Full paths ("C:\dir\name") to contents; directories end in a backslash.
    std::map<std::string, Bytes> files;
    std::set<std::string> directories;
    std::string currentDirectory = "C:\\";

    // What a power cut would leave of each file: its bytes as last flushed.
    // Creating, moving and removing a file are durable at once, in order.
    std::map<std::string, Bytes> durable;
    // When `recordCuts`, the durable files before each call and, last, now:
    // every state a power cut during the run could leave.
    bool recordCuts = false;
    std::vector<std::map<std::string, Bytes>> cuts;

    // Each file's identity, which moves with it; a new file gets a new index
    // and mode kNewFileMode. Symbolic links: full path to the full path
    // they lead to.
    std::map<std::string, FileIdentity> identities;
    std::map<std::string, std::string> links;
    std::uint64_t nextIndex = 1;
    // Whether identifyFile tells a file's size, as for a regular file, or
    // not, as for a FIFO or a file of /proc.
    bool sizeKnown = true;

    std::map<std::intptr_t, OpenFile> open;
    std::intptr_t nextHandle = 100;

    // One line per call: "open C:\x.pal", "read 100", "readat 100 4096", "notice
    // <text>|<caption>"...
    std::vector<std::string> log;

    // The ordinal (from 0) of the failable call to fail, or -1 for none.
    // Failable: open, create, read, readat, write, identify, find, keep, flush,
    // close, replace, movenew, remove, chdir.
    int failAt = -1;
    int failableCalls = 0;
    std::size_t readChunk = 0;   // when non-zero, at most this many bytes a read
    std::size_t writeChunk = 0;  // when non-zero, at most this many bytes a write
    bool closeTwiceSeen = false;

    // Called from inside showNotice, as a window would dispatch a drop that
    // arrives while the notice is open.
    std::function<void()> onNotice;

    std::vector<std::string> notices;  // "text|caption"
};

// The table of operations that routes every call to `fake`.
Platform makePlatform(FakePlatform* fake);

void addDirectory(FakePlatform* fake, const std::string& directory);
void addFile(FakePlatform* fake, const std::string& path, const Bytes& contents);

// `size` bytes of noise, the same for the same seed.
Bytes randomBytes(std::size_t size, unsigned seed);

// The mode a file made by createNewFile without a source has until
// keepIdentity; one made with a source has the source's.
constexpr std::uint32_t kNewFileMode = 0600;

// The full path a bare or full name refers to, as the fake resolves it.
std::string resolve(const FakePlatform& fake, const std::string& name);

// Every state a power cut during the run could have left: the recorded cuts
// and the durable files now.
std::vector<std::map<std::string, Bytes>> powerCuts(const FakePlatform& fake);

// Names of the files under `directory` (directly), sorted.
std::vector<std::string> filesIn(const FakePlatform& fake, const std::string& directory);

}  // namespace kolorvane::testing
