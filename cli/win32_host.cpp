#include "win32_host.h"

#include <cstring>

#include "win32_platform.h"

namespace kolorvane {

namespace {

Win32HostState& stateOf(void* context) { return *static_cast<Win32HostState*>(context); }

const Platform& systemOf(void* context) { return stateOf(context).system; }

bool namesFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Called straight after the failed call, before anything else can change the
// thread's last error. The first failure is the cause; the clean-up after
// it may fail too.
void recordFailure(void* context, const char* path) {
    Win32HostState& state = stateOf(context);
    if (state.error != 0) {
        return;
    }
    state.error = GetLastError();
    if (state.error == 0) {
        state.error = ERROR_GEN_FAILURE;
    }
    // Windows refuses to open a folder as a file with "access denied"; only
    // on that path is it worth asking what the name is.
    state.folder = path != nullptr && namesFolder(path);
}

FileHandle openSource(void* context, const char* path) {
    stateOf(context).opening = path;
    const FileHandle file = systemOf(context).openSource(systemOf(context).context, path);
    if (file == kInvalidFile) {
        recordFailure(context, path);
    }
    return file;
}

FileHandle createTemporary(void* context, const char* directory, char* name) {
    const FileHandle file =
        systemOf(context).createTemporary(systemOf(context).context, directory, name);
    if (file == kInvalidFile) {
        recordFailure(context, nullptr);
    }
    return file;
}

bool readFile(void* context, FileHandle file, std::size_t capacity, unsigned char* bytes,
              std::size_t* bytesRead) {
    if (!systemOf(context).readFile(systemOf(context).context, file, capacity, bytes, bytesRead)) {
        recordFailure(context, stateOf(context).opening);
        return false;
    }
    return true;
}

bool writeFile(void* context, FileHandle file, const unsigned char* bytes, std::size_t size,
               std::size_t* bytesWritten) {
    if (!systemOf(context).writeFile(systemOf(context).context, file, bytes, size, bytesWritten)) {
        recordFailure(context, nullptr);
        return false;
    }
    return true;
}

bool closeFile(void* context, FileHandle file) {
    if (!systemOf(context).closeFile(systemOf(context).context, file)) {
        recordFailure(context, nullptr);
        return false;
    }
    return true;
}

bool replaceFile(void* context, const char* from, const char* to) {
    if (!systemOf(context).replaceFile(systemOf(context).context, from, to)) {
        recordFailure(context, nullptr);
        return false;
    }
    return true;
}

MoveStatus moveToNewName(void* context, const char* from, const char* to) {
    const MoveStatus status = systemOf(context).moveToNewName(systemOf(context).context, from, to);
    if (status == MoveStatus::Failed) {
        recordFailure(context, nullptr);
    }
    return status;
}

bool removeFile(void* context, const char* path) {
    if (!systemOf(context).removeFile(systemOf(context).context, path)) {
        recordFailure(context, nullptr);
        return false;
    }
    return true;
}

// The command line never changes the current folder, and never shows a
// notice; these refuse so that a call by mistake cannot go unnoticed.
bool setCurrentDirectory(void* context, const char*) {
    SetLastError(ERROR_ACCESS_DENIED);
    recordFailure(context, nullptr);
    return false;
}

void showNotice(void*, const char*, const char*) {}

bool isLeadByte(void* context, unsigned char byte) {
    return systemOf(context).isLeadByte(systemOf(context).context, byte);
}

FailureCause failureCause(void* context) {
    const Win32HostState& state = stateOf(context);
    if (state.error == 0) {
        return FailureCause::None;
    }
    if (state.folder) {
        return FailureCause::Folder;
    }
    if (state.error == ERROR_FILE_NOT_FOUND || state.error == ERROR_PATH_NOT_FOUND) {
        return FailureCause::NoSuchFile;
    }
    return FailureCause::Other;
}

void failureText(void* context, char* text, std::size_t capacity) {
    if (capacity == 0) {
        return;
    }
    text[0] = '\0';
    const DWORD error = stateOf(context).error;
    if (error == 0) {
        return;
    }
    const DWORD size = capacity > 0xFFFF ? 0xFFFF : static_cast<DWORD>(capacity);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, size, nullptr);
    if (length >= size) {
        length = 0;
    }
    // The message ends in a line break, and often a full stop, that a report
    // line does not want.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.')) {
        length--;
    }
    text[length] = '\0';
}

void forgetFailure(void* context) {
    Win32HostState& state = stateOf(context);
    state.error = 0;
    state.folder = false;
    state.opening = nullptr;
}

HANDLE streamHandle(Stream stream) {
    return GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool isTerminal(void*, Stream stream) {
    return GetFileType(streamHandle(stream)) == FILE_TYPE_CHAR;
}

bool writeStream(void*, Stream stream, const char* bytes, std::size_t size) {
    const HANDLE handle = streamHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::size_t total = 0;
    while (total < size) {
        const std::size_t rest = size - total;
        const DWORD chunk = rest > MAXDWORD ? MAXDWORD : static_cast<DWORD>(rest);
        DWORD written = 0;
        if (WriteFile(handle, bytes + total, chunk, &written, nullptr) == FALSE || written == 0) {
            return false;
        }
        total += written;
    }
    return true;
}

// Ctrl+C is ignored while an output is written, rather than ending the
// process with a temporary file left. Windows does not keep it for later:
// one pressed in that short moment is lost, and the next one acts.
void holdInterrupts(void*) { SetConsoleCtrlHandler(nullptr, TRUE); }

void releaseInterrupts(void*) { SetConsoleCtrlHandler(nullptr, FALSE); }

}  // namespace

Host makeWin32Host(Win32HostState* state) {
    state->system = makeWin32Platform();
    state->error = 0;
    state->folder = false;
    state->opening = nullptr;
    const Platform platform{
        state,       openSource, createTemporary,     readFile,   writeFile,  closeFile,
        replaceFile, removeFile, setCurrentDirectory, showNotice, isLeadByte, moveToNewName};
    return Host{platform,      "\\/:",     "\r\n",      failureCause,   failureText,
                forgetFailure, isTerminal, writeStream, holdInterrupts, releaseInterrupts};
}

}  // namespace kolorvane
