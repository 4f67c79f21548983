#include "win32_arguments.h"

#include <cstdlib>
#include <cwchar>

#include "ansi_names.h"

namespace kolorvane {

namespace {

int capacityFor(const wchar_t* name) {
    return ansiNameCapacity(static_cast<int>(std::wcslen(name)));
}

}  // namespace

bool makeAnsiArguments(int count, wchar_t** wide, AnsiArguments* arguments) {
    std::size_t bytes = 0;
    for (int i = 0; i < count; i++) {
        bytes += static_cast<std::size_t>(capacityFor(wide[i]));
    }
    // The pointers first, so that they are aligned; the strings after them.
    const std::size_t pointers = 2 * static_cast<std::size_t>(count) + 1;
    void* block = std::malloc(pointers * sizeof(char*) + bytes);
    if (block == nullptr) {
        return false;
    }
    arguments->count = count;
    arguments->values = static_cast<char**>(block);
    arguments->unspelled = arguments->values + count + 1;
    arguments->unspelledCount = 0;
    char* next = reinterpret_cast<char*>(arguments->values + pointers);
    for (int i = 0; i < count; i++) {
        arguments->values[i] = next;
        if (exactAnsiName(GetACP(), wide[i], next, capacityFor(wide[i])) != AnsiName::Exact) {
            arguments->unspelled[arguments->unspelledCount++] = next;
        }
        next += capacityFor(wide[i]);
    }
    arguments->values[count] = nullptr;
    return true;
}

void freeAnsiArguments(AnsiArguments* arguments) {
    std::free(arguments->values);
    arguments->values = nullptr;
    arguments->unspelled = nullptr;
}

}  // namespace kolorvane
