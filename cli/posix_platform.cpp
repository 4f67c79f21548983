#include "posix_platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kolorvane {

namespace {

// Why the call that just failed failed, in the core's terms.
Failure failureOf(int error) {
    const Cause cause = error == ENOENT   ? Cause::NoSuchFile
                        : error == EISDIR ? Cause::Folder
                        : error == EEXIST ? Cause::Exists
                                          : Cause::Other;
    return {cause, static_cast<std::uint32_t>(error)};
}

Failure checked(int result) { return result == 0 ? kSucceeded : failureOf(errno); }

int toDescriptor(FileHandle file) { return static_cast<int>(file); }

Failure openSource(void*, const char* path, FileHandle* file) {
    // O_NOCTTY: a FILE naming a terminal must not become this process's
    // controlling terminal.
    int fd = -1;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    *file = static_cast<FileHandle>(fd);
    return fd >= 0 ? kSucceeded : failureOf(errno);
}

constexpr char kTemporaryPrefix[] = ".kolorvane-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr int kTemporaryDigits = 8;
constexpr int kTemporaryAttempts = 100;

// ".kolorvane-" + eight hex digits + ".tmp", from the sequence, which starts
// at a point of its own for each process.
void formatTemporaryName(PosixNames* names, char* name) {
    const unsigned long long mixed = (names->seed + names->tried++) * 0x9E3779B97F4A7C15ULL;
    const char digits[] = "0123456789abcdef";
    std::memcpy(name, kTemporaryPrefix, sizeof kTemporaryPrefix - 1);
    char* hex = name + sizeof kTemporaryPrefix - 1;
    for (int i = 0; i < kTemporaryDigits; i++) {
        hex[i] = digits[(mixed >> (60 - 4 * i)) & 0xF];
    }
    std::memcpy(hex + kTemporaryDigits, kTemporarySuffix, sizeof kTemporarySuffix);
}

Failure createTemporary(void* context, const char* directory, char* name, FileHandle* file) {
    constexpr std::size_t kNameSize =
        sizeof kTemporaryPrefix - 1 + kTemporaryDigits + sizeof kTemporarySuffix;
    const std::size_t directoryLength = std::strlen(directory);
    name[0] = '\0';
    *file = kInvalidFile;
    if (directoryLength + kNameSize > kMaxPath) {
        return failureOf(ENAMETOOLONG);
    }
    std::memcpy(name, directory, directoryLength);
    for (int attempt = 0; attempt < kTemporaryAttempts; attempt++) {
        formatTemporaryName(static_cast<PosixNames*>(context), name + directoryLength);
        // O_EXCL never opens what is there already. 0666 under the umask
        // gives the output the mode any new file of the user's gets.
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            *file = static_cast<FileHandle>(fd);
            return kSucceeded;
        }
        if (errno != EEXIST && errno != EINTR) {
            break;
        }
    }
    const Failure failure = failureOf(errno);
    name[0] = '\0';
    return failure;
}

// read() and write(): a count, or -1 with errno; EINTR is tried again.
template <typename Transfer>
Failure transfer(Transfer call, std::size_t* done) {
    ssize_t count = -1;
    do {
        count = call();
    } while (count < 0 && errno == EINTR);
    // A folder opens for reading on Linux; its read is where EISDIR shows.
    *done = count < 0 ? 0 : static_cast<std::size_t>(count);
    return count < 0 ? failureOf(errno) : kSucceeded;
}

Failure readFile(void*, FileHandle file, std::size_t capacity, unsigned char* bytes,
                 std::size_t* bytesRead) {
    return transfer([&] { return read(toDescriptor(file), bytes, capacity); }, bytesRead);
}

Failure writeFile(void*, FileHandle file, const unsigned char* bytes, std::size_t size,
                  std::size_t* bytesWritten) {
    return transfer([&] { return write(toDescriptor(file), bytes, size); }, bytesWritten);
}

// Never retried: after EINTR the descriptor is gone on Linux, and a second
// close could close a descriptor opened since. A failed close of a written
// file is a failed write (NFS reports errors here).
Failure closeFile(void*, FileHandle file) { return checked(close(toDescriptor(file))); }

Failure replaceFile(void*, const char* from, const char* to) { return checked(rename(from, to)); }

// Without renameat2: a hard link fails if the name is taken, atomically;
// the temporary name is then dropped.
Failure linkToNewName(const char* from, const char* to) {
    const Failure linked = checked(link(from, to));
    return failed(linked) ? linked : checked(unlink(from));
}

Failure moveToNewName(void*, const char* from, const char* to) {
#if defined(__linux__) && defined(RENAME_NOREPLACE)
    const Failure moved = checked(renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
    // File systems without the flag say so with EINVAL; older kernels lack
    // the call.
    if (moved.code != EINVAL && moved.code != ENOSYS) {
        return moved;
    }
#endif
    return linkToNewName(from, to);
}

Failure removeFile(void*, const char* path) { return checked(unlink(path)); }

// The command line never changes the current folder, and never shows a
// notice; this refuses so that a call by mistake cannot go unnoticed.
Failure setCurrentDirectory(void*, const char*) { return failureOf(EPERM); }

void showNotice(void*, const char*, const char*) {}

// Neither UTF-8 nor any other multibyte encoding a POSIX system uses has a
// byte of a character that reads as '/', so paths split byte by byte.
bool isLeadByte(unsigned char) { return false; }

}  // namespace

Platform makePosixPlatform(PosixNames* names) {
    // Apart for each process and each run, so that two batches writing into
    // one folder seldom try the same temporary name (O_EXCL settles it when
    // they do).
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    names->seed = (static_cast<unsigned long long>(getpid()) << 32) ^
                  static_cast<unsigned long long>(now.tv_nsec) ^
                  (static_cast<unsigned long long>(now.tv_sec) << 20);
    names->tried = 0;

    Platform platform{};
    platform.context = names;
    platform.openSource = openSource;
    platform.createTemporary = createTemporary;
    platform.readFile = readFile;
    platform.writeFile = writeFile;
    platform.closeFile = closeFile;
    platform.replaceFile = replaceFile;
    platform.moveToNewName = moveToNewName;
    platform.removeFile = removeFile;
    platform.setCurrentDirectory = setCurrentDirectory;
    platform.showNotice = showNotice;
    platform.isLeadByte = isLeadByte;
    return platform;
}

}  // namespace kolorvane
