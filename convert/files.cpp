#include "files.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "output_paths.h"

namespace kolorvane {

Failure readUpTo(const Platform& platform, FileHandle file, std::size_t capacity,
                 unsigned char* bytes, std::size_t* bytesRead) {
    std::size_t total = 0;
    while (total < capacity) {
        std::size_t got = 0;
        const Failure failure =
            platform.readFile(platform.context, file, capacity - total, bytes + total, &got);
        if (failed(failure)) {
            return failure;
        }
        if (got == 0) {
            break;
        }
        // A host that claims more than it was asked for is broken; trusting
        // it would run past the buffer.
        if (got > capacity - total) {
            return kShortTransfer;
        }
        total += got;
    }
    *bytesRead = total;
    return kSucceeded;
}

Failure writeAll(const Platform& platform, FileHandle file, const unsigned char* bytes,
                 std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        std::size_t written = 0;
        const Failure failure =
            platform.writeFile(platform.context, file, bytes + total, size - total, &written);
        if (failed(failure)) {
            return failure;
        }
        // No progress is a short write (a full disk, say): give up rather
        // than spin. More than was asked for is a broken host.
        if (written == 0 || written > size - total) {
            return kShortTransfer;
        }
        total += written;
    }
    return kSucceeded;
}

namespace {

// The first failure of a sequence of steps: the later ones (closing, removing
// a temporary file) run to clean up, but are not the cause.
Failure firstOf(Failure first, Failure then) { return failed(first) ? first : then; }

// The bytes an output is to hold.
struct OutputBytes {
    const unsigned char* bytes;
    std::size_t size;
};

enum class Existing { Missing, Same, Different };

// Whether the open `file` holds exactly `output`: read a chunk at a time, so
// that an output of any size is compared without a buffer of its size, and,
// unless the file is `sized` as the output, one byte past it, so that a
// longer file is not taken for it.
bool holdsExactly(const Platform& platform, FileHandle file, const OutputBytes& output,
                  bool sized) {
    std::array<unsigned char, 4096> chunk{};
    std::size_t compared = 0;
    for (;;) {
        const std::size_t left = output.size - compared;
        if (sized && left == 0) {
            return true;
        }
        const std::size_t past = sized ? 0 : 1;
        const std::size_t wanted = left < chunk.size() ? left + past : chunk.size();
        std::size_t got = 0;
        if (failed(readUpTo(platform, file, wanted, chunk.data(), &got)) || got > left ||
            std::memcmp(chunk.data(), output.bytes + compared, got) != 0) {
            return false;
        }
        compared += got;
        if (got < wanted) {
            return compared == output.size;
        }
    }
}

// What has the target's name now, `identity`. Anything that cannot be read as
// the very bytes the output is to hold (a folder, a file without read rights)
// counts as different, and meets its fate at the move; so does a file of
// another size, unread.
Existing compareExisting(const Platform& platform, const char* target, const FileIdentity& identity,
                         const OutputBytes& output) {
    const bool sized = identity.size != kUnknownSize;
    if (sized && identity.size != output.size) {
        return Existing::Different;
    }
    FileHandle file = kInvalidFile;
    const Failure opened = platform.openSource(platform.context, target, &file);
    if (failed(opened)) {
        return opened.cause == Cause::NoSuchFile ? Existing::Missing : Existing::Different;
    }
    const bool same = holdsExactly(platform, file, output, sized);
    // Only read: a failed close changes nothing here.
    static_cast<void>(platform.closeFile(platform.context, file));
    return same ? Existing::Same : Existing::Different;
}

// A new temporary file beside `target`, its path into `temporary`; tried
// under other names while the name is taken. Its name is no longer than the
// output's, so the path fits wherever the target's does.
Failure createTemporary(const Platform& platform, const char* directory, const char* name,
                        const char* target, const FileIdentity* source, char* temporary,
                        FileHandle* file) {
    constexpr unsigned kAttempts = 100;
    char unique[kMaxPath] = {};
    Failure created = kShortTransfer;
    for (unsigned attempt = 0; attempt < kAttempts; attempt++) {
        temporaryName(target, name, attempt, unique);
        joinPath(directory, unique, temporary);
        created = platform.createNewFile(platform.context, temporary, source, file);
        if (created.cause != Cause::Exists) {
            break;
        }
    }
    if (failed(created)) {
        temporary[0] = '\0';
    }
    return created;
}

enum class Writing {
    None,     // the output holds the bytes already
    Plain,    // a new output, whose source still holds the data
    Flushed,  // the bytes reach the disk before they take the name
};

// Where an output's bytes go, and what is there now.
struct Destination {
    TargetPlace place;      // the folder and name the bytes are moved to
    char target[kMaxPath];  // the two together
    bool exists;            // something has that name, with `identity`
    FileIdentity identity;
};

// The output's name followed through its links, unless an existing output
// is to be kept: then whatever has the name, a link included, stays as it
// is. A name that leads to the source itself is refused: the output would
// take the place of what it is made from.
Failure findDestination(const Platform& platform, const char* directory, const char* name,
                        ExistingOutput existing, const FileIdentity& source, Destination* out) {
    out->exists = false;
    Failure found = kSucceeded;
    if (existing == ExistingOutput::Keep) {
        joinPath("", directory, out->place.folder);
        joinPath("", name, out->place.name);
    } else {
        found = platform.findTarget(platform.context, directory, name, &out->place, &out->identity);
        out->exists = !failed(found);
        if (found.cause == Cause::NoSuchFile) {
            found = kSucceeded;
        }
    }
    if (failed(found)) {
        return found;
    }
    if (out->exists && sameFile(out->identity, source)) {
        return {Cause::Source, 0};
    }
    return joinPath(out->place.folder, out->place.name, out->target) ? kSucceeded : kShortTransfer;
}

// How the output is to be written, as `existing` says; for a replacement,
// the new bytes are flushed so that a power cut cannot leave the output's name
// on an empty or partial file where the user's previous output stood.
Writing howToWrite(const Platform& platform, const Destination& destination,
                   const OutputBytes& output, ExistingOutput existing) {
    if (existing != ExistingOutput::ReplaceIfChanged) {
        return existing == ExistingOutput::Replace ? Writing::Flushed : Writing::Plain;
    }
    const Existing found = destination.exists ? compareExisting(platform, destination.target,
                                                                destination.identity, output)
                                              : Existing::Missing;
    return found == Existing::Missing ? Writing::Plain
           : found == Existing::Same  ? Writing::None
                                      : Writing::Flushed;
}

// The whole output into a new temporary file beside the target, closed
// before it returns in every case (Windows moves no open file) and flushed as
// `writing` says. It takes the name with its final mode and owner, and no
// more users may read it before: a new output is made as a copy of its
// source would be, and one that replaces a file is its owner's alone until
// it is given what that file keeps.
Failure writeTemporary(const Platform& platform, const OutputBytes& output,
                       const Destination& destination, const FileIdentity& source, Writing writing,
                       char* temporary) {
    FileHandle file = kInvalidFile;
    const Failure created = createTemporary(
        platform, destination.place.folder, destination.place.name, destination.target,
        destination.exists ? nullptr : &source, temporary, &file);
    if (failed(created)) {
        return created;
    }
    Failure failure = writeAll(platform, file, output.bytes, output.size);
    if (destination.exists && !failed(failure)) {
        failure = platform.keepIdentity(platform.context, file, destination.identity);
    }
    if (writing == Writing::Flushed && !failed(failure)) {
        failure = platform.flushFile(platform.context, file);
    }
    return firstOf(failure, platform.closeFile(platform.context, file));
}

Failure moveIntoPlace(const Platform& platform, const char* temporary, const char* target,
                      ExistingOutput existing) {
    return existing == ExistingOutput::Keep
               ? platform.moveToNewName(platform.context, temporary, target)
               : platform.replaceFile(platform.context, temporary, target);
}

}  // namespace

SourceResult readOpenSource(const Platform& platform, const char* path, ReadOpenFile read,
                            void* context) {
    FileHandle file = kInvalidFile;
    const Failure opened = platform.openSource(platform.context, path, &file);
    if (failed(opened)) {
        return {SourceStatus::NotOpened, opened, {}};
    }
    SourceResult result = {SourceStatus::Read, kSucceeded, {}};
    Failure failure = platform.identifyFile(platform.context, file, &result.identity);
    if (!failed(failure)) {
        failure = read(context, platform, file, result.identity);
    }
    failure = firstOf(failure, platform.closeFile(platform.context, file));
    if (failed(failure)) {
        return {SourceStatus::Failed, failure, {}};
    }
    return result;
}

// `bytes` and `size` are written through the read's context, which
// clang-tidy does not follow.
// NOLINTBEGIN(readability-non-const-parameter)
SourceResult readSourceBytes(const Platform& platform, const char* path, unsigned char* bytes,
                             std::size_t capacity, std::size_t* size) {
    struct Into {
        unsigned char* bytes;
        std::size_t capacity;
        std::size_t* size;
    } into = {bytes, capacity, size};
    const ReadOpenFile readUpToSize = [](void* context, const Platform& source, FileHandle file,
                                         const FileIdentity& identity) {
        const Into& to = *static_cast<Into*>(context);
        // A file of a known size is read up to that size, not on to a read
        // that finds its end: a batch of small files costs one call less
        // each. One that has grown meanwhile is read as it was.
        const std::uint64_t known = identity.size;
        const bool sized = known != kUnknownSize && known != 0 && known < to.capacity;
        return readUpTo(source, file, sized ? static_cast<std::size_t>(known) : to.capacity,
                        to.bytes, to.size);
    };
    return readOpenSource(platform, path, readUpToSize, &into);
}
// NOLINTEND(readability-non-const-parameter)

WriteResult writeOutput(const Platform& platform, const unsigned char* bytes, std::size_t size,
                        const char* directory, const char* name, ExistingOutput existing,
                        const FileIdentity& source) {
    char joined[kMaxPath] = {};
    if (!joinPath(directory, name, joined)) {
        return {WriteStatus::Failed, kShortTransfer};
    }
    Destination destination{};
    const Failure found =
        findDestination(platform, directory, name, existing, source, &destination);
    if (failed(found)) {
        return {WriteStatus::Failed, found};
    }
    const OutputBytes output = {bytes, size};
    const Writing writing = howToWrite(platform, destination, output, existing);
    if (writing == Writing::None) {
        return {WriteStatus::Unchanged, kSucceeded};
    }
    char temporary[kMaxPath] = {};
    Failure failure = writeTemporary(platform, output, destination, source, writing, temporary);
    if (temporary[0] == '\0') {
        return {WriteStatus::Failed, failure};  // no temporary file was made
    }
    if (!failed(failure)) {
        failure = moveIntoPlace(platform, temporary, destination.target, existing);
        if (!failed(failure)) {
            return {WriteStatus::Written, kSucceeded};
        }
    }
    // An output kept is only a success if the temporary file went too: one
    // left behind must be heard of, not hidden behind "left alone".
    const Failure removed = platform.removeFile(platform.context, temporary);
    if (existing == ExistingOutput::Keep && failure.cause == Cause::Exists && !failed(removed)) {
        return {WriteStatus::Kept, kSucceeded};
    }
    return {WriteStatus::Failed, firstOf(failure, removed)};
}

void temporaryName(const char* target, const char* name, unsigned attempt, char* temporary) {
    constexpr std::size_t kLongest = 12;
    // FNV-1a over the target's path, then the attempt mixed in.
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char* c = target; *c != '\0'; c++) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 0x100000001B3ULL;
    }
    hash = (hash ^ attempt) * 0x9E3779B97F4A7C15ULL;
    const char digits[] = "0123456789abcdef";
    temporary[0] = '~';
    for (std::size_t i = 1; i < kLongest; i++) {
        temporary[i] = digits[(hash >> (4 * (i - 1))) & 0xF];
    }
    // Cut to the output name's length (a name is at least ".act" long).
    const std::size_t nameLength = pathLength(name);
    temporary[nameLength < kLongest ? nameLength : kLongest] = '\0';
}

}  // namespace kolorvane
