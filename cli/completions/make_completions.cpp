// Writes one shell's completions of kolorvane-cli from the program's own
// tables of options and formats, for the build to install:
//   make_completions bash|zsh|fish OUTPUT
#include <cstdio>
#include <cstring>

#include "completions.h"

namespace {

constexpr std::size_t kMostOptions = 64;

bool shellNamed(const char* name, kolorvane::Shell* shell) {
    constexpr struct {
        const char* name;
        kolorvane::Shell shell;
    } kShells[] = {{"bash", kolorvane::Shell::Bash},
                   {"zsh", kolorvane::Shell::Zsh},
                   {"fish", kolorvane::Shell::Fish}};
    for (const auto& known : kShells) {
        if (std::strcmp(known.name, name) == 0) {
            *shell = known.shell;
            return true;
        }
    }
    return false;
}

// The script into `path`; on any failure nothing is left under that name,
// so that the build does not take a partial script for a finished one.
bool writeScript(kolorvane::Shell shell, const char* path) {
    kolorvane::OptionSpelling options[kMostOptions] = {};
    const std::size_t count = kolorvane::optionCount();
    if (count > kMostOptions) {
        return false;
    }
    for (std::size_t i = 0; i < count; i++) {
        options[i] = kolorvane::optionSpelling(i);
    }
    const kolorvane::CompletionTables tables = {options, count, kolorvane::kFormats,
                                                kolorvane::kFormatCount};
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = kolorvane::writeCompletions(shell, tables, out);
    if (std::fclose(out) != 0 || !written) {
        static_cast<void>(std::remove(path));
        return false;
    }
    return true;
}

void say(const char* text) { static_cast<void>(std::fputs(text, stderr)); }

}  // namespace

int main(int argc, char** argv) {
    kolorvane::Shell shell = kolorvane::Shell::Bash;
    if (argc != 3 || !shellNamed(argv[1], &shell)) {
        say("usage: make_completions bash|zsh|fish OUTPUT\n");
        return 2;
    }
    if (!writeScript(shell, argv[2])) {
        say("make_completions: could not write ");
        say(argv[2]);
        say(", or a name in the tables is more than letters, digits, '-' and '_'\n");
        return 1;
    }
    return 0;
}
