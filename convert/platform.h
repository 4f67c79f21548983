// The operations the conversion core asks of its host. The core never calls
// the operating system itself: the Windows program fills this table with
// Win32 calls, the command line with its system's, the tests with an
// in-memory fake that records every call and can be told to fail any of them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kolorvane {

// Matches Windows' MAX_PATH: every path and derived name lives in a buffer of
// this many bytes, terminator included.
constexpr std::size_t kMaxPath = 260;

// An open file. The invalid value is -1, which is INVALID_HANDLE_VALUE on
// Windows and the failed-open result of POSIX open().
enum class FileHandle : std::intptr_t {};
constexpr FileHandle kInvalidFile = static_cast<FileHandle>(-1);

// What went wrong, as far as a caller acts on it differently.
enum class Cause {
    None,        // no failure: the operation did what was asked
    NoSuchFile,  // the path, or a folder on it, does not exist
    Folder,      // the path names a folder where a file was wanted
    Exists,      // the name to create or move to is taken
    Other,
};

// What every operation that can fail returns: why, and the system's own
// error code (errno, GetLastError) for its words, 0 where it has none. Only
// a front end that prints the failure turns the code into text.
struct Failure {
    Cause cause;
    std::uint32_t code;
};

constexpr Failure kSucceeded = {Cause::None, 0};

constexpr bool failed(Failure failure) { return failure.cause != Cause::None; }

struct Platform {
    // Handed back as the first argument of every operation, so that a test
    // can keep its fake on its own stack.
    void* context;

    // An existing file, opened for reading while others may read it too.
    Failure (*openSource)(void* context, const char* path, FileHandle* file);

    // A new, empty file at `path`, opened for writing. Never opens or
    // truncates one that exists: then it fails with Cause::Exists.
    Failure (*createNewFile)(void* context, const char* path, FileHandle* file);

    // Reads up to `capacity` bytes. End of file is a success with
    // `bytesRead` set to 0.
    Failure (*readFile)(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
                        std::size_t* bytesRead);

    // Writes up to `size` bytes. A short write is not a failure here: the
    // caller compares `bytesWritten` with `size`.
    Failure (*writeFile)(void* context, FileHandle file, const unsigned char* bytes,
                         std::size_t size, std::size_t* bytesWritten);

    // Makes what was written to the file durable: on the disk, not only in
    // the system's cache, so that a power cut cannot take it back.
    Failure (*flushFile)(void* context, FileHandle file);

    // The handle is gone afterwards whatever the outcome.
    Failure (*closeFile)(void* context, FileHandle file);

    // Moves `from` over `to` in one step, replacing an existing file `to`.
    Failure (*replaceFile)(void* context, const char* from, const char* to);

    // Moves `from` to `to` in one step only if nothing is named `to`, else
    // fails with Cause::Exists; unlike replaceFile it never replaces
    // anything, even a file created an instant before.
    Failure (*moveToNewName)(void* context, const char* from, const char* to);

    Failure (*removeFile)(void* context, const char* path);

    Failure (*setCurrentDirectory)(void* context, const char* directory);

    // A modal notice; returns when the user has dismissed it. While it is
    // open the host may handle another drop, nested inside this call.
    void (*showNotice)(void* context, const char* text, const char* caption);

    // Whether `byte` starts a double-byte character in the ANSI code page.
    bool (*isLeadByte)(unsigned char byte);
};

}  // namespace kolorvane

// A Platform with `contextValue` and the functions named as its members
// where this stands. Each platform names its operations so and makes its
// table with this one list: no member is filled by position, and none can be
// given its neighbour's function, though several share a signature.
#define KOLORVANE_PLATFORM_TABLE(contextValue)           \
    ([](void* tableContext) {                            \
        ::kolorvane::Platform table{};                   \
        table.context = tableContext;                    \
        table.openSource = openSource;                   \
        table.createNewFile = createNewFile;             \
        table.readFile = readFile;                       \
        table.writeFile = writeFile;                     \
        table.flushFile = flushFile;                     \
        table.closeFile = closeFile;                     \
        table.replaceFile = replaceFile;                 \
        table.moveToNewName = moveToNewName;             \
        table.removeFile = removeFile;                   \
        table.setCurrentDirectory = setCurrentDirectory; \
        table.showNotice = showNotice;                   \
        table.isLeadByte = isLeadByte;                   \
        return table;                                    \
    }(contextValue))
