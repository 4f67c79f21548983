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
    Dangling,    // the name is a symbolic link to nothing
    Source,      // the output's name leads to the very file being converted
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

// What a file is besides its bytes, as far as an output keeps it: read from
// one file by the platform and handed back to it for another. The core looks
// only at `volume` and `index`, to tell whether two names are one file.
struct FileIdentity {
    std::uint64_t volume;  // st_dev; the volume's serial number
    std::uint64_t index;   // st_ino; the file index
    std::uint32_t mode;    // POSIX st_mode; Windows file attributes
    std::uint32_t owner;   // POSIX user and group ids
    std::uint32_t group;
    std::uint64_t created;  // Windows creation time (a FILETIME); 0 on POSIX
    std::uint64_t size;     // bytes, or kUnknownSize (not a regular file)
};

constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

constexpr bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// Where an output's name finally leads: the folder (empty, or ending in a
// separator) and name of the file a replacement is written beside and moved
// over. The output's own folder and name, unless the name is a symbolic link.
struct TargetPlace {
    char folder[kMaxPath];
    char name[kMaxPath];
};

struct Platform {
    // Handed back as the first argument of every operation, so that a test
    // can keep its fake on its own stack.
    void* context;

    // An existing file, opened for reading while others may read it too.
    Failure (*openSource)(void* context, const char* path, FileHandle* file);

    // A new, empty file at `path`, opened for writing. With `source`, it is a
    // new output and is made as a copy of that file would be (on POSIX, with
    // its permissions under the umask); without, it is to replace a file, and
    // only its owner may read it until keepIdentity says otherwise. Never
    // opens or truncates one that exists: then it fails with Cause::Exists.
    Failure (*createNewFile)(void* context, const char* path, const FileIdentity* source,
                             FileHandle* file);

    // Reads up to `capacity` bytes. End of file is a success with
    // `bytesRead` set to 0.
    Failure (*readFile)(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
                        std::size_t* bytesRead);

    // Reads up to `capacity` bytes from `offset` of a regular file, whatever
    // has been read before; leaves the position of readFile undefined. Past
    // the end of the file it succeeds with `bytesRead` set to 0.
    Failure (*readFileAt)(void* context, FileHandle file, std::uint64_t offset,
                          std::size_t capacity, unsigned char* bytes, std::size_t* bytesRead);

    // Writes up to `size` bytes. A short write is not a failure here: the
    // caller compares `bytesWritten` with `size`.
    Failure (*writeFile)(void* context, FileHandle file, const unsigned char* bytes,
                         std::size_t size, std::size_t* bytesWritten);

    // The identity of an open file.
    Failure (*identifyFile)(void* context, FileHandle file, FileIdentity* identity);

    // Follows `folder` + `name` through any symbolic links to the file it
    // names, into `place`, and that file's identity. Cause::NoSuchFile when
    // nothing is there (`place` is still where a new file goes),
    // Cause::Dangling when a link leads nowhere.
    Failure (*findTarget)(void* context, const char* folder, const char* name, TargetPlace* place,
                          FileIdentity* identity);

    // Gives the open, newly written `file` what it keeps of `identity`, the
    // file it is to replace, which the user may have set: mode, owner and
    // group; attributes and creation time. Where the system will not let the
    // process keep the owner or group, the rest is kept and nothing fails.
    Failure (*keepIdentity)(void* context, FileHandle file, const FileIdentity& identity);

    // Makes what was written to the file durable: on the disk, not only in
    // the system's cache, so that a power cut cannot take it back.
    Failure (*flushFile)(void* context, FileHandle file);

    // The handle is gone afterwards whatever the outcome.
    Failure (*closeFile)(void* context, FileHandle file);

    // Moves `from` over `to` in one step, replacing an existing file `to`.
    // Where the system locks files for a moment (Windows: a virus scanner,
    // the indexer), a move refused for a lock is tried again for a while.
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
        table.readFileAt = readFileAt;                   \
        table.writeFile = writeFile;                     \
        table.identifyFile = identifyFile;               \
        table.findTarget = findTarget;                   \
        table.keepIdentity = keepIdentity;               \
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
