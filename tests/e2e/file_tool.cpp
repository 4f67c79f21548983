// Does to a file, from another process of the same Wine session, what a
// user's other programs do: hides it, tells its attributes, or holds it
// open for a while, as a virus scanner or the search indexer does.
//
//     file-tool hide PATH            sets the hidden attribute
//     file-tool attributes PATH      prints the attributes in hexadecimal
//     file-tool hold PATH MS         opens PATH sharing reading and writing
//                                    but not deletion, prints "held" once
//                                    it is open, and closes it after MS
//                                    milliseconds
//
// Exits with 0, or with 1 when the file could not be had.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int hide(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
                   SetFileAttributesA(path, attributes | FILE_ATTRIBUTE_HIDDEN) != FALSE
               ? 0
               : 1;
}

int printAttributes(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return 1;
    }
    std::printf("%08lx\n", static_cast<unsigned long>(attributes));
    return 0;
}

int hold(const char* path, DWORD milliseconds) {
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "hide") == 0) {
        return hide(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "attributes") == 0) {
        return printAttributes(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
        return hold(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    }
    std::fprintf(stderr, "usage: file-tool hide|attributes PATH, file-tool hold PATH MS\n");
    return 2;
}
