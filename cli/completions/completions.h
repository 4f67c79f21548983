// The shell completions of kolorvane-cli, written from the very tables the
// program reads its options and formats from, so that an option or a format
// added there is offered without another edit. The build runs
// make_completions to write them; the program itself carries none of this.
//
// What each shell offers: the options, long and short; after an option that
// takes a format, the names it takes (for a target, only formats with a
// writer); after one that takes a folder, folders; otherwise files, those
// with an extension the program reads first.
#pragma once

#include <cstddef>
#include <cstdio>

#include "format.h"
#include "options.h"

namespace kolorvane {

enum class Shell { Bash, Zsh, Fish };

struct CompletionTables {
    const OptionSpelling* options;
    std::size_t optionCount;
    const Format* formats;
    std::size_t formatCount;
};

// Writes `shell`'s completion script for kolorvane-cli to `out`. False when
// a write failed, or when a short option is not a letter or a digit, which
// the scripts' patterns assume.
bool writeCompletions(Shell shell, const CompletionTables& tables, std::FILE* out);

}  // namespace kolorvane
