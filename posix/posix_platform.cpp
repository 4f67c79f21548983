#include "posix_platform.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "output_paths.h"

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
Failure openFile(const char* path, int flags, mode_t mode, FileHandle* file) {
    int fd = -1;
    do {
        fd = open(path, flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    *file = static_cast<FileHandle>(fd);
    return fd >= 0 ? kSucceeded : failureOf(errno);
}

Failure openSource(void*, const char* path, FileHandle* file) {
    return openFile(path, O_RDONLY, 0, file);
}

// O_EXCL never opens what is there already. A new output is created with its
// source's permissions, which the kernel puts under the umask, as cp makes a
// copy: its final mode at once. One that is to replace a file is its
// owner's alone (0600) until keepIdentity gives it that file's mode.
Failure createNewFile(void*, const char* path, const FileIdentity* source, FileHandle* file) {
    const mode_t mode =
        source != nullptr ? static_cast<mode_t>(source->mode) & 0777 : S_IRUSR | S_IWUSR;
    return openFile(path, O_WRONLY | O_CREAT | O_EXCL, mode, file);
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

// pread(): a read at an offset that leaves the file's position alone.
Failure readFileAt(void*, FileHandle file, std::uint64_t offset, std::size_t capacity,
                   unsigned char* bytes, std::size_t* bytesRead) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        *bytesRead = 0;
        return kSucceeded;  // past any end a file can have
    }
    return transfer(
        [&] { return pread(toDescriptor(file), bytes, capacity, static_cast<off_t>(offset)); },
        bytesRead);
}

Failure writeFile(void*, FileHandle file, const unsigned char* bytes, std::size_t size,
                  std::size_t* bytesWritten) {
    return transfer([&] { return write(toDescriptor(file), bytes, size); }, bytesWritten);
}

FileIdentity identityOf(const struct stat& status) {
    // A regular file's size alone: what /proc, a FIFO or a device says is no
    // count of the bytes a read gives.
    const std::uint64_t size =
        S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : kUnknownSize;
    return {static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint32_t>(status.st_mode),
            status.st_uid,
            status.st_gid,
            0,
            size};
}

Failure identifyFile(void*, FileHandle file, FileIdentity* identity) {
    struct stat status {};
    const Failure failure = checked(fstat(toDescriptor(file), &status));
    *identity = identityOf(status);
    return failure;
}

// Into `path`, where the link at `path` leads: its target, read relative to
// the link's folder unless it is absolute.
Failure followLink(char* path) {
    char target[kMaxPath] = {};
    const ssize_t length = readlink(path, target, sizeof target);
    if (length < 0) {
        return failureOf(errno);
    }
    if (static_cast<std::size_t>(length) >= sizeof target) {
        return failureOf(ENAMETOOLONG);
    }
    char folder[kMaxPath] = {};
    const char* slash = std::strrchr(path, '/');
    if (target[0] != '/' && slash != nullptr) {
        std::memcpy(folder, path, static_cast<std::size_t>(slash - path) + 1);
    }
    return joinPath(folder, target, path) ? kSucceeded : failureOf(ENAMETOOLONG);
}

// `path` split after its last '/' into `place`; it fits, being one path.
void placeOf(const char* path, TargetPlace* place) {
    const char* slash = std::strrchr(path, '/');
    const std::size_t folder = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
    std::memcpy(place->folder, path, folder);
    place->folder[folder] = '\0';
    static_cast<void>(joinPath("", path + folder, place->name));
}

Failure findTarget(void*, const char* folder, const char* name, TargetPlace* place,
                   FileIdentity* identity) {
    char path[kMaxPath] = {};
    if (!joinPath(folder, name, path)) {
        return failureOf(ENAMETOOLONG);
    }
    placeOf(path, place);
    struct stat status {};
    if (lstat(path, &status) != 0) {
        return failureOf(errno);  // NoSuchFile: a new output, where the name says
    }
    // As many links as Linux follows in one path before ELOOP: a loop ends.
    constexpr int kMostLinks = 40;
    for (int links = 0; S_ISLNK(status.st_mode); links++) {
        const Failure followed = links < kMostLinks ? followLink(path) : failureOf(ELOOP);
        if (failed(followed)) {
            return followed;
        }
        // A link to nothing: a file made where it leads would be one the
        // user never named.
        if (lstat(path, &status) != 0) {
            return errno == ENOENT ? Failure{Cause::Dangling, ENOENT} : failureOf(errno);
        }
    }
    placeOf(path, place);
    *identity = identityOf(status);
    return kSucceeded;
}

// The replaced file's owner and group, as far as the process may give them:
// root may give any; another user only a group of theirs. Whether the group
// is the replaced file's now.
bool keepOwnership(int fd, const FileIdentity& identity) {
    if (fchown(fd, identity.owner, identity.group) == 0) {
        return true;
    }
    return fchown(fd, static_cast<uid_t>(-1), identity.group) == 0;
}

// The permissions of the file replaced, except that what that file's group
// could do is not granted to another group. The owner and group go first, as
// changing them clears the set-user-id and set-group-id bits.
Failure keepIdentity(void*, FileHandle file, const FileIdentity& identity) {
    const int fd = toDescriptor(file);
    const mode_t permissions = static_cast<mode_t>(identity.mode) & 07777;
    const bool groupKept = keepOwnership(fd, identity);
    return checked(fchmod(fd, groupKept ? permissions : permissions & ~(S_IRWXG | S_ISGID)));
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
