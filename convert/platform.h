// The operations the conversion core asks of its host. The core never calls
// the operating system itself: the Windows program fills this table with
// Win32 calls, the tests with an in-memory fake that records every call and
// can be told to fail any of them.
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

enum class MoveStatus {
    Moved,
    TargetExists,  // something, file or folder, already has the new name
    Failed,
};

struct Platform {
    // Handed back as the first argument of every operation, so that a test
    // can keep its fake on its own stack.
    void* context;

    // An existing file, opened for reading while others may read it too.
    FileHandle (*openSource)(void* context, const char* path);

    // A new, empty file with a name of its own choosing in `directory`
    // (an empty string is the current directory; otherwise it ends in a
    // separator). Its name is written to `name`, a buffer of kMaxPath bytes.
    // Never opens or truncates a file that already exists.
    FileHandle (*createTemporary)(void* context, const char* directory, char* name);

    // Reads up to `capacity` bytes; false on an I/O error. End of file is a
    // success with `bytesRead` set to 0.
    bool (*readFile)(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
                     std::size_t* bytesRead);

    // Writes up to `size` bytes; false on an I/O error. A short write is not
    // an error here: the caller compares `bytesWritten` with `size`.
    bool (*writeFile)(void* context, FileHandle file, const unsigned char* bytes, std::size_t size,
                      std::size_t* bytesWritten);

    bool (*closeFile)(void* context, FileHandle file);

    // Moves `from` over `to` in one step, replacing an existing file `to`.
    bool (*replaceFile)(void* context, const char* from, const char* to);

    bool (*removeFile)(void* context, const char* path);

    bool (*setCurrentDirectory)(void* context, const char* directory);

    // A modal notice; returns when the user has dismissed it. While it is
    // open the host may handle another drop, nested inside this call.
    void (*showNotice)(void* context, const char* text, const char* caption);

    // Whether `byte` starts a double-byte character in the ANSI code page.
    bool (*isLeadByte)(void* context, unsigned char byte);

    // Moves `from` to `to` in one step only if nothing is named `to`; unlike
    // replaceFile it never replaces anything, even a file created an instant
    // before.
    MoveStatus (*moveToNewName)(void* context, const char* from, const char* to);
};

}  // namespace kolorvane
