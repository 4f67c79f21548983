// The steps every front end takes with files: a source opened, read and
// closed; an output written completely or not at all, beside the file it
// replaces. Over the platform's operations alone.
#pragma once

#include <cstddef>

#include "platform.h"

namespace kolorvane {

// Reads up to `capacity` bytes, looping until the buffer is full or the file
// ends. A host that claims more than it was asked for fails with Cause::Other.
Failure readUpTo(const Platform& platform, FileHandle file, std::size_t capacity,
                 unsigned char* bytes, std::size_t* bytesRead);

// Writes all `size` bytes, looping over partial writes. A write that makes no
// progress (a full disk, say) or claims too much fails with Cause::Other.
Failure writeAll(const Platform& platform, FileHandle file, const unsigned char* bytes,
                 std::size_t size);

// The failure of a host that misreports a transfer, or makes none: no system
// error stands behind it.
constexpr Failure kShortTransfer = {Cause::Other, 0};

enum class SourceStatus {
    Read,
    NotOpened,  // missing, a folder, locked, no rights
    BadHeader,  // a .pal whose header is not "EDGE PAL" 00 00
    Failed,     // an I/O error while reading or closing
};

// What became of a source, and for NotOpened and Failed the first failure;
// for Read, the identity of the file read (a new output takes from it).
struct SourceResult {
    SourceStatus status;
    Failure failure;
    FileIdentity identity;
};

// What is done with a source while it is open: handed the file, its
// identity and `context`; a failure makes the source Failed.
using ReadOpenFile = Failure (*)(void* context, const Platform& platform, FileHandle file,
                                 const FileIdentity& identity);

// Opens the file at `path`, takes its identity, hands it to `read` and
// closes it, whatever `read` did. Status Read, NotOpened or Failed.
SourceResult readOpenSource(const Platform& platform, const char* path, ReadOpenFile read,
                            void* context);

// Opens the file at `path`, reads up to `capacity` bytes of it into `bytes`
// (their count into `size`) and closes it. Status Read, NotOpened or Failed.
SourceResult readSourceBytes(const Platform& platform, const char* path, unsigned char* bytes,
                             std::size_t capacity, std::size_t* size);

enum class ExistingOutput {
    // The window's rule: whatever has the output's name is replaced, and the
    // new bytes are flushed to the disk before they take the name.
    Replace,
    // The command line's: an output that holds the new bytes already is left
    // as it is (not rewritten, its time kept); one that differs is replaced,
    // flushed first, as an output the user had must never be lost to a power
    // cut; a new output is not flushed, as its source still holds the data.
    ReplaceIfChanged,
    // An existing output, or anything else of that name, stays as it is.
    Keep,
};

enum class WriteStatus {
    Written,
    Unchanged,  // ExistingOutput::ReplaceIfChanged and the output held the bytes
    Kept,       // ExistingOutput::Keep and the name was taken: nothing written
    Failed,
};

// What became of an output, and for Failed the first failure: the clean-up
// after it may fail too, but is not the cause.
struct WriteResult {
    WriteStatus status;
    Failure failure;
};

// Writes the `size` bytes at `bytes` to `directory` + `name`
// (`directory` empty for the current directory, else ending in a separator),
// completely or not at all: into a new temporary file there, whose name is
// no longer than `name` (so it fits wherever the output does), which takes
// the target's name only once every byte is written (and flushed, as
// `existing` says) and the file closed. On any failure the temporary file is
// removed and an existing target is untouched. With ExistingOutput::Keep the
// complete file takes the name only if nothing has it, checked in the same
// step as the move; Kept means the temporary file is gone again too (a
// removal that fails is reported as Failed).
//
// An output that replaces a file keeps that file's identity (its mode and
// owner, or attributes and creation time); a new one takes its `source`'s,
// as a copy would. A name that is a symbolic link stays one: the file it
// leads to is replaced, the temporary file beside that. Failed, with nothing
// written, for a link to nothing (Cause::Dangling) and for a name that leads
// to the source itself (Cause::Source).
WriteResult writeOutput(const Platform& platform, const unsigned char* bytes, std::size_t size,
                        const char* directory, const char* name, ExistingOutput existing,
                        const FileIdentity& source);

// The name of the `attempt`th temporary file (from 0) for an output named
// `name`, into a kMaxPath buffer: "~" and hexadecimal digits, as long as
// `name` up to 12 bytes, so never longer than it. The digits come from the
// target's path and the attempt, so that outputs written side by side, by
// one process or several, seldom try the same name.
void temporaryName(const char* target, const char* name, unsigned attempt, char* temporary);

}  // namespace kolorvane
