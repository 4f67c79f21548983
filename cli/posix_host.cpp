#include "posix_host.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace kolorvane {

namespace {

PosixHostState& stateOf(void* context) { return *static_cast<PosixHostState*>(context); }

// Keeps the first failure of a file's steps: the clean-up after it (closing,
// removing the temporary file) may fail too, but is not the cause.
void recordFailure(void* context, int error) {
    PosixHostState& state = stateOf(context);
    if (state.error == 0) {
        state.error = error;
    }
}

int toDescriptor(FileHandle file) { return static_cast<int>(file); }

FileHandle openSource(void* context, const char* path) {
    // O_NOCTTY: a FILE naming a terminal must not become this process's
    // controlling terminal.
    int fd = -1;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        recordFailure(context, errno);
        return kInvalidFile;
    }
    return static_cast<FileHandle>(fd);
}

constexpr char kTemporaryPrefix[] = ".kolorvane-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr int kTemporaryDigits = 8;
constexpr int kTemporaryAttempts = 100;

// ".kolorvane-" + eight hex digits + ".tmp", from the state's sequence, which
// starts at a point of its own for each process.
void formatTemporaryName(PosixHostState* state, char* name) {
    const unsigned long long mixed =
        (state->nameSeed + state->namesTried++) * 0x9E3779B97F4A7C15ULL;
    const char digits[] = "0123456789abcdef";
    std::memcpy(name, kTemporaryPrefix, sizeof kTemporaryPrefix - 1);
    char* hex = name + sizeof kTemporaryPrefix - 1;
    for (int i = 0; i < kTemporaryDigits; i++) {
        hex[i] = digits[(mixed >> (60 - 4 * i)) & 0xF];
    }
    std::memcpy(hex + kTemporaryDigits, kTemporarySuffix, sizeof kTemporarySuffix);
}

FileHandle createTemporary(void* context, const char* directory, char* name) {
    constexpr std::size_t kNameSize =
        sizeof kTemporaryPrefix - 1 + kTemporaryDigits + sizeof kTemporarySuffix;
    const std::size_t directoryLength = std::strlen(directory);
    name[0] = '\0';
    if (directoryLength + kNameSize > kMaxPath) {
        recordFailure(context, ENAMETOOLONG);
        return kInvalidFile;
    }
    std::memcpy(name, directory, directoryLength);
    for (int attempt = 0; attempt < kTemporaryAttempts; attempt++) {
        formatTemporaryName(&stateOf(context), name + directoryLength);
        // O_EXCL never opens what is there already. 0666 under the umask
        // gives the output the mode any new file of the user's gets.
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            return static_cast<FileHandle>(fd);
        }
        if (errno != EEXIST && errno != EINTR) {
            break;
        }
    }
    recordFailure(context, errno);
    name[0] = '\0';
    return kInvalidFile;
}

bool readFile(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
              std::size_t* bytesRead) {
    *bytesRead = 0;
    ssize_t got = -1;
    do {
        got = read(toDescriptor(file), bytes, capacity);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        // A folder opens for reading on Linux; this is where it shows.
        recordFailure(context, errno);
        return false;
    }
    *bytesRead = static_cast<std::size_t>(got);
    return true;
}

bool writeFile(void* context, FileHandle file, const unsigned char* bytes, std::size_t size,
               std::size_t* bytesWritten) {
    *bytesWritten = 0;
    ssize_t written = -1;
    do {
        written = write(toDescriptor(file), bytes, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        recordFailure(context, errno);
        return false;
    }
    *bytesWritten = static_cast<std::size_t>(written);
    return true;
}

bool closeFile(void* context, FileHandle file) {
    // Never retried: after EINTR the descriptor is gone on Linux, and a
    // second close could close a descriptor opened since. A failed close of
    // a written file is a failed write (NFS reports errors here).
    if (close(toDescriptor(file)) != 0) {
        recordFailure(context, errno);
        return false;
    }
    return true;
}

bool replaceFile(void* context, const char* from, const char* to) {
    if (rename(from, to) != 0) {
        recordFailure(context, errno);
        return false;
    }
    return true;
}

// Without renameat2: a hard link fails if the name is taken, atomically;
// the temporary name is then dropped.
MoveStatus linkToNewName(void* context, const char* from, const char* to) {
    if (link(from, to) != 0) {
        if (errno == EEXIST) {
            return MoveStatus::TargetExists;
        }
        recordFailure(context, errno);
        return MoveStatus::Failed;
    }
    if (unlink(from) != 0) {
        recordFailure(context, errno);
        return MoveStatus::Failed;
    }
    return MoveStatus::Moved;
}

MoveStatus moveToNewName(void* context, const char* from, const char* to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return MoveStatus::Moved;
    }
    if (errno == EEXIST) {
        return MoveStatus::TargetExists;
    }
    // File systems without the flag say so with EINVAL; older kernels lack
    // the call.
    if (errno != EINVAL && errno != ENOSYS) {
        recordFailure(context, errno);
        return MoveStatus::Failed;
    }
#endif
    return linkToNewName(context, from, to);
}

bool removeFile(void* context, const char* path) {
    if (unlink(path) != 0) {
        recordFailure(context, errno);
        return false;
    }
    return true;
}

// The command line never changes the current folder, and never shows a
// notice; these refuse so that a call by mistake cannot go unnoticed.
bool setCurrentDirectory(void* context, const char*) {
    recordFailure(context, EPERM);
    return false;
}

void showNotice(void*, const char*, const char*) {}

// Neither UTF-8 nor any other multibyte encoding a POSIX system uses has a
// byte of a character that reads as '/', so paths split byte by byte.
bool isLeadByte(void*, unsigned char) { return false; }

FailureCause failureCause(void* context) {
    switch (stateOf(context).error) {
        case 0:
            return FailureCause::None;
        case ENOENT:
            return FailureCause::NoSuchFile;
        case EISDIR:
            return FailureCause::Folder;
        default:
            return FailureCause::Other;
    }
}

void failureText(void* context, char* text, std::size_t capacity) {
    const int error = stateOf(context).error;
    if (capacity == 0) {
        return;
    }
    text[0] = '\0';
    if (error == 0) {
        return;
    }
    // Single-threaded, so strerror's shared buffer is safe here.
    const char* message = std::strerror(error);
    const std::size_t length = std::strlen(message);
    const std::size_t copied = length < capacity ? length : capacity - 1;
    std::memcpy(text, message, copied);
    text[copied] = '\0';
}

void forgetFailure(void* context) { stateOf(context).error = 0; }

int streamDescriptor(Stream stream) {
    return stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

bool isTerminal(void*, Stream stream) { return isatty(streamDescriptor(stream)) == 1; }

bool writeStream(void*, Stream stream, const char* bytes, std::size_t size) {
    std::size_t total = 0;
    while (total < size) {
        const ssize_t written = write(streamDescriptor(stream), bytes + total, size - total);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        total += static_cast<std::size_t>(written);
    }
    return true;
}

// Interrupts (^C, ^\, a hang-up, a polite kill) end the process at once,
// as their default actions would, except while an output is being written:
// one that comes then waits until the output has its name. Handled this way
// rather than by blocking the signals around each write, which costs two
// system calls a file.
//
// These two are the only state outside PosixHostState: a signal handler is
// handed nothing but the signal's number. Only this thread touches them, the
// handler included, so volatile sig_atomic_t keeps every access whole and in
// program order with respect to it.
volatile std::sig_atomic_t writingOutput = 0;
volatile std::sig_atomic_t deferredSignal = 0;

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The signal's default action, so that the shell sees the process ended by
// it. Raised from the handler, it is delivered as the handler returns.
void endBySignal(int number) {
    // Neither fails for these signals; were one to, the run would go on.
    static_cast<void>(signal(number, SIG_DFL));
    static_cast<void>(raise(number));
}

void onInterrupt(int number) {
    if (writingOutput != 0) {
        deferredSignal = number;
        return;
    }
    endBySignal(number);
}

// A signal ignored when the program started (nohup, a background job of a
// script) stays ignored.
void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    // A write under way finishes rather than failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : kInterrupts) {
        sigaddset(&action.sa_mask, number);
    }
    for (const int number : kInterrupts) {
        struct sigaction before {};
        if (sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(number, &action, nullptr);
        }
    }
}

void holdInterrupts(void*) { writingOutput = 1; }

void releaseInterrupts(void*) {
    writingOutput = 0;
    const int number = deferredSignal;
    if (number != 0) {
        endBySignal(number);
    }
}

}  // namespace

Host makePosixHost(PosixHostState* state) {
    state->error = 0;
    // Apart for each process and each run, so that two batches writing into
    // one folder seldom try the same temporary name (O_EXCL settles it when
    // they do).
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    state->nameSeed = (static_cast<unsigned long long>(getpid()) << 32) ^
                      static_cast<unsigned long long>(now.tv_nsec) ^
                      (static_cast<unsigned long long>(now.tv_sec) << 20);
    state->namesTried = 0;
    catchInterrupts();

    const Platform platform{
        state,       openSource, createTemporary,     readFile,   writeFile,  closeFile,
        replaceFile, removeFile, setCurrentDirectory, showNotice, isLeadByte, moveToNewName};
    return Host{platform,      "/",        "\n",        failureCause,   failureText,
                forgetFailure, isTerminal, writeStream, holdInterrupts, releaseInterrupts};
}

}  // namespace kolorvane
