#include "win32_platform.h"

#include <windows.h>

#include "notices.h"

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
Failure createNewFile(void*, const char* path, FileHandle* file) {
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

Failure writeFile(void*, FileHandle file, const unsigned char* bytes, std::size_t size,
                  std::size_t* bytesWritten) {
    DWORD written = 0;
    const BOOL ok = WriteFile(toHandle(file), bytes, clampToDword(size), &written, nullptr);
    *bytesWritten = written;
    return checked(ok);
}

Failure flushFile(void*, FileHandle file) { return checked(FlushFileBuffers(toHandle(file))); }

Failure closeFile(void*, FileHandle file) { return checked(CloseHandle(toHandle(file))); }

Failure replaceFile(void*, const char* from, const char* to) {
    // Write-through: the success notice must not precede the rename's
    // reaching the disk.
    return checked(MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

Failure moveToNewName(void*, const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move itself refuses a taken name.
    return checked(MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH));
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
