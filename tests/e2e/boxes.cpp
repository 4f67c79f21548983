// Looks at Kolorvane from another process of the same Wine session, as a
// user looks at the screen: lists the message boxes with their caption and
// text as bytes, presses OK, reads the main window's
// rectangle, and closes the main window.
//
//     boxes wait COUNT MILLISECONDS   list the boxes once at least COUNT are
//                                     open and all are shown (exit 1 if that
//                                     takes too long)
//     boxes press BOX MILLISECONDS    press OK on BOX, wait until it is gone
//     boxes rect                      the main window's outer rectangle
//     boxes close                     send WM_CLOSE to the main window
//
// A box is listed as: box HANDLE LEFT TOP RIGHT BOTTOM CAPTION TEXT WCAPTION
// WTEXT, with caption and text in hexadecimal, first as the ANSI calls give
// them (in the ANSI code page), then as the wide calls do (UTF-16LE); "-"
// when empty. Boxes come in Z order, the topmost first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxBoxes = 16;
constexpr int kTextSize = 1024;

struct BoxList {
    HWND boxes[kMaxBoxes];
    int count;
};

BOOL CALLBACK collectBox(HWND window, LPARAM context) {
    BoxList* list = reinterpret_cast<BoxList*>(context);
    char className[16] = "";
    // A box whose dialog loop has not yet run is not shown yet but is open all
    // the same, so visibility is not asked.
    if (GetClassNameA(window, className, sizeof className) > 0 &&
        std::strcmp(className, "#32770") == 0 && list->count < kMaxBoxes) {
        list->boxes[list->count++] = window;
    }
    return TRUE;
}

BoxList findBoxes() {
    BoxList list = {};
    EnumWindows(collectBox, reinterpret_cast<LPARAM>(&list));
    return list;
}

void printHex(const char* text, int length) {
    if (length <= 0) {
        std::fputs(" -", stdout);
        return;
    }
    std::fputc(' ', stdout);
    for (int i = 0; i < length; i++) {
        std::printf("%02x", static_cast<unsigned char>(text[i]));
    }
}

void printWideHex(const wchar_t* text, int length) {
    if (length <= 0) {
        std::fputs(" -", stdout);
        return;
    }
    std::fputc(' ', stdout);
    for (int i = 0; i < length; i++) {
        const unsigned unit = text[i];
        std::printf("%02x%02x", unit & 0xFF, unit >> 8);
    }
}

void printBox(HWND box) {
    char caption[kTextSize] = "";
    char text[kTextSize] = "";
    const int captionLength = GetWindowTextA(box, caption, kTextSize);
    // 0xFFFF is the static control that holds a message box's text.
    const int textLength = static_cast<int>(GetDlgItemTextA(box, 0xFFFF, text, kTextSize));
    RECT rect = {};
    GetWindowRect(box, &rect);
    std::printf("box %llx %ld %ld %ld %ld",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(box)), rect.left,
                rect.top, rect.right, rect.bottom);
    printHex(caption, captionLength);
    printHex(text, textLength);
    wchar_t wideCaption[kTextSize] = L"";
    wchar_t wideText[kTextSize] = L"";
    printWideHex(wideCaption, GetWindowTextW(box, wideCaption, kTextSize));
    printWideHex(wideText, static_cast<int>(GetDlgItemTextW(box, 0xFFFF, wideText, kTextSize)));
    std::fputc('\n', stdout);
}

bool parseNumber(const char* text, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 0);
    return end != text && *end == '\0';
}

bool parseBox(const char* text, HWND* box) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 16);
    *box = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
    return end != text && *end == '\0' && IsWindow(*box);
}

// A box is shown once its dialog has set its caption and text; until all
// are, a listing could catch one half made.
bool allShown(const BoxList& list) {
    for (int i = 0; i < list.count; i++) {
        if (!IsWindowVisible(list.boxes[i])) {
            return false;
        }
    }
    return true;
}

int waitForBoxes(long count, long timeoutMs) {
    const DWORD start = GetTickCount();
    BoxList list = findBoxes();
    while ((list.count < count || !allShown(list)) &&
           static_cast<long>(GetTickCount() - start) < timeoutMs) {
        Sleep(50);
        list = findBoxes();
    }
    for (int i = 0; i < list.count; i++) {
        printBox(list.boxes[i]);
    }
    return list.count >= count && allShown(list) ? 0 : 1;
}

int pressOk(HWND box, long timeoutMs) {
    // What a click on the OK button sends its dialog.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    const DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (static_cast<long>(GetTickCount() - start) >= timeoutMs) {
            std::fprintf(stderr, "boxes: the box is still open after %ld ms\n", timeoutMs);
            return 1;
        }
        Sleep(20);
    }
    return 0;
}

HWND findMainWindow() { return FindWindowA("Default Class Name", "Kolorvane"); }

int printMainRect() {
    const HWND window = findMainWindow();
    RECT rect = {};
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        std::fprintf(stderr, "boxes: no main window\n");
        return 1;
    }
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    return 0;
}

int closeMainWindow() {
    const HWND window = findMainWindow();
    if (window == nullptr || !PostMessageA(window, WM_CLOSE, 0, 0)) {
        std::fprintf(stderr, "boxes: no main window\n");
        return 1;
    }
    return 0;
}

int usage() {
    std::fputs("usage: boxes wait COUNT MS | press BOX MS | rect | close\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long a = 0;
    long b = 0;
    HWND box = nullptr;
    int status = 2;
    if (argc == 4 && std::strcmp(argv[1], "wait") == 0 && parseNumber(argv[2], &a) &&
        parseNumber(argv[3], &b)) {
        status = waitForBoxes(a, b);
    } else if (argc == 4 && std::strcmp(argv[1], "press") == 0 && parseBox(argv[2], &box) &&
               parseNumber(argv[3], &a)) {
        status = pressOk(box, a);
    } else if (argc == 2 && std::strcmp(argv[1], "rect") == 0) {
        status = printMainRect();
    } else if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
        status = closeMainWindow();
    } else {
        return usage();
    }
    std::fflush(stdout);
    return status;
}
