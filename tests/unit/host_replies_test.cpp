// The read and write loops against hosts that misreport what they did. The
// fake file system never does, so the fuzz targets cannot reach these cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "files.h"
#include "palette.h"

namespace kolorvane {
namespace {

struct Reply {
    bool ok;
    std::size_t count;  // what the host claims to have transferred
};

struct ScriptedHost {
    std::vector<Reply> replies;
    std::size_t next = 0;
    std::size_t largestRequest = 0;
};

Reply nextReply(void* context, std::size_t size) {
    auto* host = static_cast<ScriptedHost*>(context);
    host->largestRequest = std::max(host->largestRequest, size);
    // Running out of script is the end of the file, or a write that stalls.
    return host->next < host->replies.size() ? host->replies[host->next++] : Reply{true, 0};
}

Failure outcome(const Reply& reply) { return reply.ok ? kSucceeded : Failure{Cause::Other, 5}; }

Failure scriptedRead(void* context, FileHandle, std::size_t capacity, unsigned char* bytes,
                     std::size_t* bytesRead) {
    const Reply reply = nextReply(context, capacity);
    std::memset(bytes, 0x5A, std::min(reply.count, capacity));
    *bytesRead = reply.count;
    return outcome(reply);
}

Failure scriptedWrite(void* context, FileHandle, const unsigned char*, std::size_t size,
                      std::size_t* bytesWritten) {
    const Reply reply = nextReply(context, size);
    *bytesWritten = reply.count;
    return outcome(reply);
}

Platform scriptedPlatform(ScriptedHost* host) {
    Platform platform{};
    platform.context = host;
    platform.readFile = scriptedRead;
    platform.writeFile = scriptedWrite;
    return platform;
}

constexpr FileHandle kFile = static_cast<FileHandle>(3);

TEST(HostReplies, ReadLoopGathersPartialReadsAndTrustsNoOverclaim) {
    struct ReadCase {
        const char* name;
        std::vector<Reply> replies;
        bool ok;
        std::size_t bytesRead;
    };
    const ReadCase cases[] = {
        {"one full read", {{true, 8}}, true, 8},
        {"partial reads then the end", {{true, 3}, {true, 2}, {true, 0}}, true, 5},
        {"partial reads fill the buffer", {{true, 3}, {true, 5}}, true, 8},
        {"an empty file", {{true, 0}}, true, 0},
        {"a failed read", {{true, 3}, {false, 0}}, false, 0},
        {"more than the buffer in one read", {{true, 9}}, false, 0},
        {"more than the space left", {{true, 3}, {true, 3}, {true, 3}}, false, 0},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host{c.replies};
        std::array<unsigned char, 8> buffer{};
        std::size_t bytesRead = 0;
        EXPECT_EQ(!failed(readUpTo(scriptedPlatform(&host), kFile, buffer.size(), buffer.data(),
                                   &bytesRead)),
                  c.ok);
        if (c.ok) {
            EXPECT_EQ(bytesRead, c.bytesRead);
        }
        EXPECT_LE(host.largestRequest, buffer.size());
    }
}

TEST(HostReplies, WriteLoopNeedsProgressAndTrustsNoOverclaim) {
    struct WriteCase {
        const char* name;
        std::vector<Reply> replies;
        bool ok;
    };
    const WriteCase cases[] = {
        {"one full write", {{true, 8}}, true},
        {"partial writes", {{true, 5}, {true, 1}, {true, 2}}, true},
        {"a write that makes no progress", {{true, 5}, {true, 0}}, false},
        {"a failed write", {{true, 5}, {false, 3}}, false},
        {"more than was asked for", {{true, 9}}, false},
        {"more than was left", {{true, 5}, {true, 4}}, false},
    };
    const std::array<unsigned char, 8> bytes{};
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host{c.replies};
        EXPECT_EQ(!failed(writeAll(scriptedPlatform(&host), kFile, bytes.data(), bytes.size())),
                  c.ok);
        EXPECT_LE(host.largestRequest, bytes.size());
    }
}

}  // namespace
}  // namespace kolorvane
