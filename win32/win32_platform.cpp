#include "win32_platform.h"

#include <windows.h>

#include "notices.h"
#include "output_paths.h"

namespace kolorvane {

namespace {

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(file)); }

FileHandle fromHandle(HANDLE handle) {
    return static_cast<FileHandle>(reinterpret_cast<INT_PTR>(handle));
}

// ReadFile and WriteFile take a DWORD count; larger requests are split by the
// caller's loop.
DWORD clampToDword(std::size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

// Why the Win32 call that just failed failed, in the core's terms.
Failure lastFailure() {
    const DWORD error = GetLastError();
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {Cause::NoSuchFile, error};
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return {Cause::Exists, error};
        default:
            return {Cause::Other, error != 0 ? error : static_cast<DWORD>(ERROR_GEN_FAILURE)};
    }
}

Failure checked(BOOL ok) { return ok != FALSE ? kSucceeded : lastFailure(); }

// A folder fails as "access denied", like a locked file: telling the two
// apart is left to a front end that says which.
Failure openSource(void*, const char* path, FileHandle* file) {
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_ARCHIVE, nullptr);
    *file = fromHandle(handle);
    return checked(handle != INVALID_HANDLE_VALUE);
}

// CREATE_NEW never opens or truncates what is there already.
// A new file gets its folder's inherited security, as any new file there
// does; one that is to replace a file is given that file's by ReplaceFile.
Failure createNewFile(void*, const char* path, const FileIdentity*, FileHandle* file) {
    const HANDLE handle =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    *file = fromHandle(handle);
    return checked(handle != INVALID_HANDLE_VALUE);
}

Failure readFile(void*, FileHandle file, std::size_t capacity, unsigned char* bytes,
                 std::size_t* bytesRead) {
    DWORD got = 0;
    const BOOL ok = ReadFile(toHandle(file), bytes, clampToDword(capacity), &got, nullptr);
    *bytesRead = got;
    return checked(ok);
}

// ReadFile at an offset, given in the OVERLAPPED structure of a handle opened
// for synchronous reads; one at or past the end is refused with
// ERROR_HANDLE_EOF, which is the end of the file here, as for readFile.
Failure readFileAt(void*, FileHandle file, std::uint64_t offset, std::size_t capacity,
                   unsigned char* bytes, std::size_t* bytesRead) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const BOOL ok = ReadFile(toHandle(file), bytes, clampToDword(capacity), &got, &at);
    *bytesRead = got;
    return ok == FALSE && GetLastError() == ERROR_HANDLE_EOF ? kSucceeded : checked(ok);
}

Failure writeFile(void*, FileHandle file, const unsigned char* bytes, std::size_t size,
                  std::size_t* bytesWritten) {
    DWORD written = 0;
    const BOOL ok = WriteFile(toHandle(file), bytes, clampToDword(size), &written, nullptr);
    *bytesWritten = written;
    return checked(ok);
}

std::uint64_t joined(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& information) {
    const FILETIME created = information.ftCreationTime;
    const bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return {information.dwVolumeSerialNumber,
            joined(information.nFileIndexHigh, information.nFileIndexLow),
            information.dwFileAttributes,
            0,
            0,
            joined(created.dwHighDateTime, created.dwLowDateTime),
            folder ? kUnknownSize : joined(information.nFileSizeHigh, information.nFileSizeLow)};
}

Failure identifyFile(void*, FileHandle file, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION information = {};
    const Failure failure = checked(GetFileInformationByHandle(toHandle(file), &information));
    *identity = identityOf(information);
    return failure;
}

// Opened for its attributes alone, with every sharing allowed, so that a
// file another program holds open, even one that shares nothing, is seen;
// backup semantics let a folder of that name be seen too.
Failure findTarget(void*, const char* folder, const char* name, TargetPlace* place,
                   FileIdentity* identity) {
    char path[MAX_PATH] = {};
    if (!joinPath("", folder, place->folder) || !joinPath("", name, place->name) ||
        !joinPath(folder, name, path)) {
        return {Cause::Other, ERROR_FILENAME_EXCED_RANGE};
    }
    const HANDLE handle = CreateFileA(path, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastFailure();
    }
    const Failure failure = identifyFile(nullptr, fromHandle(handle), identity);
    CloseHandle(handle);
    return failure;
}

// The attributes a user sets on a file and a replacement keeps. Read-only is
// not among them (such a file is not replaced at all), and the archive
// attribute is always set: the bytes are new, and a backup should take them.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A replacement gets the attributes and creation time of the file it
// replaces here, before the move: ReplaceFile merges them too, with the security descriptor, but
// not every system's ReplaceFile keeps the attributes.
Failure keepIdentity(void*, FileHandle file, const FileIdentity& identity) {
    FILE_BASIC_INFO information = {};
    information.CreationTime.QuadPart = static_cast<LONGLONG>(identity.created);
    information.FileAttributes = (identity.mode & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    return checked(SetFileInformationByHandle(toHandle(file), FileBasicInfo, &information,
                                              sizeof information));
}

Failure flushFile(void*, FileHandle file) { return checked(FlushFileBuffers(toHandle(file))); }

Failure closeFile(void*, FileHandle file) { return checked(CloseHandle(toHandle(file))); }

// A virus scanner, the search indexer or a preview pane opens a new or
// changed file for a moment, and a move meanwhile is refused with a sharing
// violation or "access denied" (ReplaceFile says it could not remove the file
// replaced). Such a move is tried again, for about a second in all.
bool isBriefLock(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_LOCK_VIOLATION || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

template <typename Move>
Failure retried(Move move) {
    constexpr int kAttempts = 10;
    constexpr DWORD kPause = 100;  // milliseconds
    for (int attempt = 1;; attempt++) {
        if (move() != FALSE) {
            return kSucceeded;
        }
        const DWORD error = GetLastError();
        if (attempt == kAttempts || !isBriefLock(error)) {
            SetLastError(error);
            return lastFailure();
        }
        Sleep(kPause);
    }
}

// Write-through: the success notice must not precede the rename's reaching
// the disk.
BOOL moveOver(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// Whether `path` opens with `access` and `share`; the error is the open's.
BOOL opens(const char* path, DWORD access, DWORD share) {
    const HANDLE handle = CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) != FALSE;
}

// ReplaceFile gives the new file the old one's security descriptor and
// creation time, and more (its short name, object id). It takes full paths
// only. The two files are first opened as it opens them, so that a lock it
// would fail on fails here, where failing leaves nothing behind: Wine's
// ReplaceFile leaves an empty file of its own beside them when it fails.
// Should it have removed the old file and then failed to move the new one
// in, the new one is moved in by name.
BOOL replaceKeepingIdentity(const char* from, const char* to) {
    char fullFrom[MAX_PATH] = {};
    char fullTo[MAX_PATH] = {};
    const DWORD fromLength = GetFullPathNameA(from, MAX_PATH, fullFrom, nullptr);
    const DWORD toLength = GetFullPathNameA(to, MAX_PATH, fullTo, nullptr);
    if (fromLength == 0 || fromLength >= MAX_PATH || toLength == 0 || toLength >= MAX_PATH) {
        return moveOver(from, to);
    }
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (opens(fullTo, GENERIC_READ | DELETE | SYNCHRONIZE, kShareAll) == FALSE ||
        opens(fullFrom, GENERIC_READ | DELETE | SYNCHRONIZE, 0) == FALSE) {
        return FALSE;
    }
    if (ReplaceFileA(fullTo, fullFrom, nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr) != FALSE) {
        return TRUE;
    }
    return GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT ? moveOver(from, to) : FALSE;
}

Failure replaceFile(void*, const char* from, const char* to) {
    const DWORD attributes = GetFileAttributesA(to);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return retried([&] { return moveOver(from, to); });
    }
    // A read-only output is one the user protects: it is not replaced, and
    // waiting would not change that. Nor would it change a folder.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return {Cause::Other, ERROR_ACCESS_DENIED};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return checked(moveOver(from, to));
    }
    return retried([&] { return replaceKeepingIdentity(from, to); });
}

Failure moveToNewName(void*, const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move itself refuses a taken name.
    return retried([&] { return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH); });
}

Failure removeFile(void*, const char* path) { return checked(DeleteFileA(path)); }

Failure setCurrentDirectory(void*, const char* directory) {
    return checked(SetCurrentDirectoryA(directory));
}

// A notice's text in UTF-16, read as the code page its bytes are stored in.
bool noticeText(const char* text, wchar_t* wide, int capacity) {
    return MultiByteToWideChar(kNoticeCodePage, MB_ERR_INVALID_CHARS, text, -1, wide, capacity) > 0;
}

void showNotice(void*, const char* text, const char* caption) {
    // Handed to the ANSI message box, the bytes would be read in the
    // system's code page, and come out as mojibake wherever that is not 932;
    // in UTF-16 they read as Japanese on every Windows. No owner: the main
    // window stays enabled, so a drop made while the notice is open is
    // handled at once, from the notice's own message loop.
    constexpr int kNoticeSize = 64;  // characters; the longest text has 16
    wchar_t wideText[kNoticeSize] = {};
    wchar_t wideCaption[kNoticeSize] = {};
    if (noticeText(text, wideText, kNoticeSize) && noticeText(caption, wideCaption, kNoticeSize)) {
        MessageBoxW(nullptr, wideText, wideCaption, MB_OK);
        return;
    }
    // Only a system without code page 932 gets here: the bytes as they are
    // still say that something happened.
    MessageBoxA(nullptr, text, caption, MB_OK);
}

bool isLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

Platform makeWin32Platform() {
    return KOLORVANE_PLATFORM_TABLE(nullptr);  // no context: the system is the state
}

}  // namespace kolorvane
