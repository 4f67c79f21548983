#include "win32_host.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "console_text.h"
#include "win32_platform.h"

namespace kolorvane {

namespace {

bool namesFolder(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The window's openSource, telling a folder apart: Windows refuses to open
// one as a file with "access denied", as it does a locked file, so only
// after a failure is it worth asking what the name is.
Failure openSource(void* context, const char* path, FileHandle* file) {
    Failure failure = makeWin32Platform().openSource(context, path, file);
    if (failed(failure) && namesFolder(path)) {
        failure.cause = Cause::Folder;
    }
    return failure;
}

void describe(std::uint32_t code, char* text, std::size_t capacity) {
    text[0] = '\0';
    if (code == 0) {
        return;
    }
    const DWORD size = capacity > 0xFFFF ? 0xFFFF : static_cast<DWORD>(capacity);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, size, nullptr);
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

// The output's name for a palette's: the ANSI code page's bytes, which were
// made from the UTF-16 arguments without look-alikes, back to UTF-16 and
// into UTF-8.
std::size_t nameToUtf8(const char* name, std::size_t size, char* utf8, std::size_t capacity) {
    wchar_t wide[MAX_PATH];
    if (size == 0 || size >= MAX_PATH || capacity > 0x7FFFFFFF) {
        return 0;
    }
    const int units = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(size), wide, MAX_PATH);
    const int bytes = units <= 0
                          ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8,
                                                static_cast<int>(capacity), nullptr, nullptr);
    return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

// --show's listing in a console: its Unicode output, and its escapes once
// asked for. Redirected, standard output is no console, and none of these
// is called.
bool writeUnicode(const char* utf8, std::size_t size) {
    return writeConsoleUtf8(GetStdHandle(STD_OUTPUT_HANDLE), utf8, size);
}

bool startEscapes(std::uint32_t* saved) {
    DWORD mode = 0;
    const bool started = startVirtualTerminal(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
    *saved = mode;
    return started;
}

void endEscapes(std::uint32_t saved) { restoreConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved); }

// Ctrl+C is ignored while an output is written, rather than ending the
// process with a temporary file left. Windows does not keep it for later:
// one pressed in that short moment is lost, and the next one acts.
void holdInterrupts(void*) { SetConsoleCtrlHandler(nullptr, TRUE); }

void releaseInterrupts(void*) { SetConsoleCtrlHandler(nullptr, FALSE); }

}  // namespace

Host makeWin32Host(const AnsiArguments& arguments) {
    Host host{};
    host.platform = makeWin32Platform();
    host.platform.openSource = openSource;
    // The drive's colon too: "C:x.pal" is x.pal in C:'s current folder.
    host.rules.separators = "\\/:";
    host.rules.isLeadByte = host.platform.isLeadByte;
    host.output = stdout;
    host.error = stderr;
    host.interactive = _isatty(_fileno(stdout)) != 0;
    host.noColor = std::getenv("NO_COLOR");
    host.term = std::getenv("TERM");
    if (isConsole(GetStdHandle(STD_OUTPUT_HANDLE))) {
        host.startEscapes = startEscapes;
        host.endEscapes = endEscapes;
        host.writeUnicode = writeUnicode;
    }
    host.unspelled = arguments.unspelled;
    host.unspelledCount = arguments.unspelledCount;
    host.describe = describe;
    host.nameToUtf8 = nameToUtf8;
    host.holdInterrupts = holdInterrupts;
    host.releaseInterrupts = releaseInterrupts;
    return host;
}

}  // namespace kolorvane
