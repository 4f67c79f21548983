// What the command line asks of the system beyond the core's operations:
// why the last operation failed, the standard streams, and holding off
// interrupts while an output is being written. One table per system, bound
// to a state of its own through platform.context.
#pragma once

#include <cstddef>

#include "platform.h"

namespace kolorvane {

enum class Stream { Output, Error };

enum class FailureCause {
    None,
    NoSuchFile,
    Folder,  // the path names a folder, not a file
    Other,
};

struct Host {
    // The core's operations; their context is the context of every function
    // below too.
    Platform platform;

    // The bytes that separate folders in a path; the first is the one added
    // to a folder named without a trailing separator.
    const char* separators;
    const char* newline;

    // Why the first operation that failed since forgetFailure failed, and the
    // system's own words for it ("" when it has none), into `text`, a buffer
    // of `capacity` bytes. Only the first failure counts: the clean-up after
    // it must not hide the cause.
    FailureCause (*failureCause)(void* context);
    void (*failureText)(void* context, char* text, std::size_t capacity);
    void (*forgetFailure)(void* context);

    bool (*isTerminal)(void* context, Stream stream);

    // Writes every byte, looping over partial writes; false on an error.
    bool (*writeStream)(void* context, Stream stream, const char* bytes, std::size_t size);

    // Between these two calls an interrupt from the terminal or a polite kill
    // cannot end the process: on POSIX it waits, to be acted on at the
    // release; Windows keeps none for later, so there it is ignored. Either
    // way no file is left half written, nor a temporary file behind, by one.
    void (*holdInterrupts)(void* context);
    void (*releaseInterrupts)(void* context);
};

}  // namespace kolorvane
