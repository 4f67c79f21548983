#include "posix_platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>
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

// open(), tried again after EINTR. O_NOCTTY: a path naming a terminal must
// not become this process's controlling terminal.
Failure openFile(const char* path, int flags, FileHandle* file) {
    int fd = -1;
    do {
        fd = open(path, flags | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    *file = static_cast<FileHandle>(fd);
    return fd >= 0 ? kSucceeded : failureOf(errno);
}

Failure openSource(void*, const char* path, FileHandle* file) {
    return openFile(path, O_RDONLY, file);
}

// O_EXCL never opens what is there already. 0666 under the umask gives the
// output the mode any new file of the user's gets.
Failure createNewFile(void*, const char* path, FileHandle* file) {
    return openFile(path, O_WRONLY | O_CREAT | O_EXCL, file);
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

// The data and what it takes to read it back (the size), not the times.
// macOS's fsync leaves the data in the drive's own cache; F_FULLFSYNC, where
// the file system takes it, empties that too.
Failure flushFile(void*, FileHandle file) {
    const int fd = toDescriptor(file);
#if defined(__APPLE__)
    if (fcntl(fd, F_FULLFSYNC) == 0) {
        return kSucceeded;
    }
    return checked(fsync(fd));
#elif defined(__linux__)
    return checked(fdatasync(fd));
#else
    return checked(fsync(fd));
#endif
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

Platform makePosixPlatform() {
    return KOLORVANE_PLATFORM_TABLE(nullptr);  // no context: the system is the state
}

}  // namespace kolorvane
