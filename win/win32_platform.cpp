#include "win32_platform.h"

#include <windows.h>

#include <cstring>

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

FileHandle openSource(void*, const char* path) {
    return fromHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_ARCHIVE, nullptr));
}

// "~kv" + eight hex digits + ".tmp".
void formatTemporaryName(DWORD unique, char* name) {
    const char digits[] = "0123456789abcdef";
    // The ".tmp" copied last brings the terminator.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(name, "~kv", 3);
    for (int i = 0; i < 8; i++) {
        name[3 + i] = digits[(unique >> (28 - 4 * i)) & 0xF];
    }
    std::memcpy(name + 11, ".tmp", 5);
}

FileHandle createTemporary(void*, const char* directory, char* name) {
    constexpr std::size_t kNameSize = 16;  // "~kv01234567.tmp" and its terminator
    const std::size_t directoryLength = std::strlen(directory);
    if (directoryLength + kNameSize > kMaxPath) {
        return kInvalidFile;
    }
    std::memcpy(name, directory, directoryLength);
    // CREATE_NEW never touches an existing file; on a clash the next name is
    // tried. Tick count and process id keep two instances apart.
    DWORD unique = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 64; attempt++, unique += 0x9E3779B9u) {
        formatTemporaryName(unique, name + directoryLength);
        const HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_ARCHIVE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return fromHandle(file);
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    name[0] = '\0';
    return kInvalidFile;
}

bool readFile(void*, FileHandle file, std::size_t capacity, unsigned char* bytes,
              std::size_t* bytesRead) {
    DWORD got = 0;
    const BOOL ok = ReadFile(toHandle(file), bytes, clampToDword(capacity), &got, nullptr);
    *bytesRead = got;
    return ok != FALSE;
}

bool writeFile(void*, FileHandle file, const unsigned char* bytes, std::size_t size,
               std::size_t* bytesWritten) {
    DWORD written = 0;
    const BOOL ok = WriteFile(toHandle(file), bytes, clampToDword(size), &written, nullptr);
    *bytesWritten = written;
    return ok != FALSE;
}

bool closeFile(void*, FileHandle file) { return CloseHandle(toHandle(file)) != FALSE; }

bool replaceFile(void*, const char* from, const char* to) {
    // Write-through: the success notice must not precede the rename's
    // reaching the disk.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

MoveStatus moveToNewName(void*, const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move itself refuses a taken name.
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != FALSE) {
        return MoveStatus::Moved;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveStatus::TargetExists
                                                                       : MoveStatus::Failed;
}

bool removeFile(void*, const char* path) { return DeleteFileA(path) != FALSE; }

bool setCurrentDirectory(void*, const char* directory) {
    return SetCurrentDirectoryA(directory) != FALSE;
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

bool isLeadByte(void*, unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

Platform makeWin32Platform() {
    return Platform{
        nullptr,     openSource, createTemporary,     readFile,   writeFile,  closeFile,
        replaceFile, removeFile, setCurrentDirectory, showNotice, isLeadByte, moveToNewName};
}

}  // namespace kolorvane
