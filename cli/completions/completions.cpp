#include "completions.h"

#include <cstring>

#include "output_paths.h"

namespace kolorvane {

namespace {

void put(std::FILE* out, const char* text) { static_cast<void>(std::fputs(text, out)); }

void putChar(std::FILE* out, char c) { static_cast<void>(std::fputc(c, out)); }

bool isAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Names go into word lists, patterns and case labels unquoted: letters,
// digits and (not first) '-' or '_' only.
bool isPlainName(const char* name) {
    if (!isAlphanumeric(name[0])) {
        return false;
    }
    for (const char* c = name; *c != '\0'; c++) {
        if (!isAlphanumeric(*c) && *c != '-' && *c != '_') {
            return false;
        }
    }
    return true;
}

// The `n`th extension `format` is read from, without its dot, into
// `extension` (kMaxPath bytes), and in `plain` whether it is a dot and a
// plain name; false past the last.
bool extensionAt(const Format& format, std::size_t n, char* extension, bool* plain) {
    char dotted[kMaxPath] = {};
    if (!readExtension(format, n, dotted)) {
        return false;
    }
    *plain = dotted[0] == '.' && isPlainName(dotted + 1);
    const std::size_t length = std::strlen(dotted + 1);
    std::memcpy(extension, dotted + 1, length);
    extension[length] = '\0';
    return true;
}

bool tablesArePlain(const CompletionTables& tables) {
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        const OptionSpelling& option = tables.options[i];
        if (!isPlainName(option.longName) ||
            (option.shortName != '\0' && !isAlphanumeric(option.shortName))) {
            return false;
        }
    }
    for (std::size_t i = 0; i < tables.formatCount; i++) {
        const Format& format = tables.formats[i];
        char extension[kMaxPath] = {};
        bool plain = true;
        for (std::size_t n = 0; plain && extensionAt(format, n, extension, &plain);) {
            n++;
        }
        if (!isPlainName(format.name) || !plain) {
            return false;
        }
    }
    return true;
}

// `text` as it goes inside single quotes: sh's way, a quote as '\'', or
// fish's, where a backslash escapes a quote or a backslash.
void putQuotedBody(std::FILE* out, Shell shell, const char* text) {
    for (const char* c = text; *c != '\0'; c++) {
        if (*c == '\'') {
            put(out, shell == Shell::Fish ? "\\'" : "'\\''");
        } else if (*c == '\\' && shell == Shell::Fish) {
            put(out, "\\\\");
        } else {
            putChar(out, *c);
        }
    }
}

void putQuoted(std::FILE* out, Shell shell, const char* text) {
    putChar(out, '\'');
    putQuotedBody(out, shell, text);
    putChar(out, '\'');
}

bool isRead(const Format& format) { return format.read != nullptr || format.readStream != nullptr; }

// Whether an option whose value is `value` takes `format`'s name: any
// format that is read as a source's; as a target's, only one that can be
// written.
bool takesFormat(OptionValue value, const Format& format) {
    return (value == OptionValue::SourceFormat && isRead(format)) ||
           (value == OptionValue::TargetFormat && format.write != nullptr);
}

// Whether row `index` is the first row of its name that `value` takes, so
// that each name is offered once.
bool offersName(const CompletionTables& tables, OptionValue value, std::size_t index) {
    const Format& format = tables.formats[index];
    if (!takesFormat(value, format)) {
        return false;
    }
    for (std::size_t i = 0; i < index; i++) {
        if (takesFormat(value, tables.formats[i]) &&
            std::strcmp(tables.formats[i].name, format.name) == 0) {
            return false;
        }
    }
    return true;
}

// Whether extension `n` of row `index` is read by no row before it and is
// not one of the row's own before it (several formats share .pal).
bool offersExtension(const CompletionTables& tables, std::size_t index, std::size_t n,
                     const char* extension) {
    char earlier[kMaxPath] = {};
    bool plain = true;
    for (std::size_t i = 0; i <= index; i++) {
        const Format& format = tables.formats[i];
        const std::size_t last = i < index ? ~std::size_t{0} : n;
        for (std::size_t m = 0;
             isRead(format) && m < last && extensionAt(format, m, earlier, &plain); m++) {
            const std::size_t length = std::strlen(extension);
            if (std::strlen(earlier) == length && equalsIgnoreCaseN(earlier, extension, length)) {
                return false;
            }
        }
    }
    return isRead(tables.formats[index]);
}

// The extensions read, without their dots, in lower case (bash compares
// them with a lower-case copy of the name), each after `before`, separated
// by `separator`: "*.pal | *.act" for a case label, "pal|act" for a pattern.
void putExtensions(std::FILE* out, const CompletionTables& tables, const char* before,
                   const char* separator) {
    const char* between = "";
    char extension[kMaxPath] = {};
    bool plain = true;
    for (std::size_t i = 0; i < tables.formatCount; i++) {
        for (std::size_t n = 0; extensionAt(tables.formats[i], n, extension, &plain); n++) {
            if (!offersExtension(tables, i, n, extension)) {
                continue;
            }
            put(out, between);
            put(out, before);
            for (const char* c = extension; *c != '\0'; c++) {
                putChar(out, *c >= 'A' && *c <= 'Z' ? static_cast<char>(*c - 'A' + 'a') : *c);
            }
            between = separator;
        }
    }
}

// The format names `value` takes, separated by spaces.
void putNames(std::FILE* out, const CompletionTables& tables, OptionValue value) {
    const char* between = "";
    for (std::size_t i = 0; i < tables.formatCount; i++) {
        if (offersName(tables, value, i)) {
            put(out, between);
            put(out, tables.formats[i].name);
            between = " ";
        }
    }
}

// The short names of the options that take a value (`withValue`), or of
// those that take none.
void putShortNames(std::FILE* out, const CompletionTables& tables, bool withValue) {
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        const OptionSpelling& option = tables.options[i];
        if (option.shortName != '\0' && (option.value != OptionValue::None) == withValue) {
            putChar(out, option.shortName);
        }
    }
}

bool hasShortNames(const CompletionTables& tables, bool withValue) {
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        const OptionSpelling& option = tables.options[i];
        if (option.shortName != '\0' && (option.value != OptionValue::None) == withValue) {
            return true;
        }
    }
    return false;
}

// A regular expression for a group of short options that ends in `last`
// ("-nq" then "t"): those that take no value may come before one that does.
void putShortGroup(std::FILE* out, const CompletionTables& tables, const char* last) {
    put(out, "-");
    if (hasShortNames(tables, false)) {
        put(out, "[");
        putShortNames(out, tables, false);
        put(out, "]*");
    }
    put(out, last);
}

// What bash's script calls each kind of value.
const char* bashKind(OptionValue value) {
    switch (value) {
        case OptionValue::TargetFormat:
            return "target";
        case OptionValue::SourceFormat:
            return "source";
        case OptionValue::Folder:
            return "folder";
        case OptionValue::File:
            return "file";
        case OptionValue::None:
            break;
    }
    return "";
}

constexpr char kBashStart[] =
    R"(# bash completion for kolorvane-cli                      -*- shell-script -*-
# Written by make_completions from the program's own tables of options and
# formats when it was built: edit those, not this.

# The word typed, unquoted as the shell will read it ('My P, My\ P), into
# `dequoted`: enough to look names up, without expansions.
_kolorvane_cli_dequote() {
    local text=$1 i
    dequoted=
    if [[ $text == \'* || $text == \"* ]]; then
        dequoted=${text:1}
        return
    fi
    for ((i = 0; i < ${#text}; i++)); do
        [[ ${text:i:1} == \\ ]] && ((++i))
        dequoted+=${text:i:1}
    done
}

# Files with an extension the program reads, and folders; every file when
# no name has one of those extensions.
_kolorvane_cli_files() {
    local dequoted name
    local -a names palettes=() folders=() others=()
    _kolorvane_cli_dequote "$1"
    mapfile -t names < <(compgen -f -- "$dequoted")
    for name in "${names[@]}"; do
        if [[ -d $name ]]; then
            folders+=("$name")
        else
            case ${name,,} in
                )";

constexpr char kBashFilesEnd[] = R"() palettes+=("$name") ;;
                *) others+=("$name") ;;
            esac
        fi
    done
    compopt -o filenames 2>/dev/null
    if ((${#palettes[@]} > 0)); then
        COMPREPLY=("${palettes[@]}" "${folders[@]}")
    else
        COMPREPLY=("${folders[@]}" "${others[@]}")
    fi
}

# Sets `kind` to what the option $1, alone or ending a group of short
# options, takes as its value: target, source, folder or file; empty when it
# takes none.
_kolorvane_cli_value() {
    kind=
)";

// One test of _kolorvane_cli_value: the option's long name, or a group of
// short options that ends in its short name.
void putBashValueTest(std::FILE* out, const CompletionTables& tables, const OptionSpelling& option,
                      bool first) {
    put(out, first ? "    if [[ $1 == --" : "    elif [[ $1 == --");
    put(out, option.longName);
    if (option.shortName != '\0') {
        const char shortName[] = {option.shortName, '\0'};
        put(out, " || $1 =~ ^");
        putShortGroup(out, tables, shortName);
        put(out, "$");
    }
    put(out, " ]]; then\n        kind=");
    put(out, bashKind(option.value));
    put(out, "\n");
}

void putBashValue(std::FILE* out, const CompletionTables& tables) {
    bool first = true;
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        if (tables.options[i].value != OptionValue::None) {
            putBashValueTest(out, tables, tables.options[i], first);
            first = false;
        }
    }
    put(out, first ? "}\n" : "    fi\n}\n");
}

constexpr char kBashMainStart[] = R"(
_kolorvane_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev= kind= prefix= dequoted i
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    # After "--" every word is a FILE. An option's value is skipped: "-o --"
    # names a folder "--".
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            _kolorvane_cli_files "$cur"
            return 0
        fi
        _kolorvane_cli_value "${COMP_WORDS[i]}"
        [[ -n $kind ]] && ((++i))
    done
    if [[ $cur == = && $prev == --?* ]]; then
        # "--to=": bash breaks the words at "=", which is then the word.
        _kolorvane_cli_value "$prev"
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        # "--to=g"
        _kolorvane_cli_value "${COMP_WORDS[COMP_CWORD - 2]}"
    else
        _kolorvane_cli_value "$prev"
        if [[ -z $kind && $cur == --?*=* ]]; then
            # "--to=g" in one word, where "=" breaks no words
            _kolorvane_cli_value "${cur%%=*}"
            prefix=${cur%%=*}=
            cur=${cur#*=}
)";

// Written only when some short option takes a value.
constexpr char kBashJoinedStart[] = R"(        elif [[ -z $kind && $cur =~ ^()";

constexpr char kBashJoinedEnd[] = R"()(.+)$ ]]; then
            # "-tg", "-qtg": the value joined to its short option
            prefix=${BASH_REMATCH[1]}
            cur=${BASH_REMATCH[2]}
            _kolorvane_cli_value "-${prefix: -1}"
)";

constexpr char kBashMainMiddle[] = R"(        fi
    fi
    case $kind in
        target) mapfile -t COMPREPLY < <(compgen -W ")";

constexpr char kBashMainEnd[] = R"(" -- "$cur") ;;
        folder | file)
            compopt -o filenames 2>/dev/null
            _kolorvane_cli_dequote "$cur"
            if [[ $kind == folder ]]; then
                mapfile -t COMPREPLY < <(compgen -d -- "$dequoted")
            else
                mapfile -t COMPREPLY < <(compgen -f -- "$dequoted")
            fi
            ;;
        *)
            if [[ $cur == -* ]]; then
                mapfile -t COMPREPLY < <(compgen -W ")";

constexpr char kBashEnd[] = R"(" -- "$cur")
            else
                _kolorvane_cli_files "$cur"
            fi
            ;;
    esac
    for i in "${!COMPREPLY[@]}"; do
        COMPREPLY[i]=$prefix${COMPREPLY[i]}
    done
}

complete -F _kolorvane_cli kolorvane-cli
)";

// Every option, long names first: "--to --output-dir ... -t -o".
void putBashOptions(std::FILE* out, const CompletionTables& tables) {
    const char* between = "";
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        put(out, between);
        put(out, "--");
        put(out, tables.options[i].longName);
        between = " ";
    }
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        if (tables.options[i].shortName != '\0') {
            put(out, " -");
            putChar(out, tables.options[i].shortName);
        }
    }
}

void writeBash(std::FILE* out, const CompletionTables& tables) {
    put(out, kBashStart);
    putExtensions(out, tables, "*.", " | ");
    put(out, kBashFilesEnd);
    putBashValue(out, tables);
    put(out, kBashMainStart);
    if (hasShortNames(tables, true)) {
        put(out, kBashJoinedStart);
        putShortGroup(out, tables, "[");
        putShortNames(out, tables, true);
        put(out, "]");
        put(out, kBashJoinedEnd);
    }
    put(out, kBashMainMiddle);
    putNames(out, tables, OptionValue::TargetFormat);
    put(out, "\" -- \"$cur\") ;;\n        source) mapfile -t COMPREPLY < <(compgen -W \"");
    putNames(out, tables, OptionValue::SourceFormat);
    put(out, kBashMainEnd);
    putBashOptions(out, tables);
    put(out, kBashEnd);
}

// The formats `value` takes as zsh's _describe reads them, 'name:title'
// (a name has no colon in it).
void putZshFormats(std::FILE* out, const CompletionTables& tables, OptionValue value) {
    for (std::size_t i = 0; i < tables.formatCount; i++) {
        if (offersName(tables, value, i)) {
            put(out, "    '");
            put(out, tables.formats[i].name);
            putChar(out, ':');
            putQuotedBody(out, Shell::Zsh, tables.formats[i].title);
            put(out, "'\n");
        }
    }
}

// An option's explanation in _arguments' brackets, where a backslash, a
// bracket or a colon would be read as syntax.
void putZshSummary(std::FILE* out, const char* summary) {
    putChar(out, '[');
    for (const char* c = summary; *c != '\0'; c++) {
        if (*c == '\'') {
            put(out, "'\\''");
            continue;
        }
        if (*c == '\\' || *c == '[' || *c == ']' || *c == ':') {
            putChar(out, '\\');
        }
        putChar(out, *c);
    }
    putChar(out, ']');
}

// What _arguments completes an option's value with.
const char* zshAction(OptionValue value) {
    switch (value) {
        case OptionValue::TargetFormat:
            return ":format:{_describe -t formats format kolorvane_targets}'";
        case OptionValue::SourceFormat:
            return ":format:{_describe -t formats format kolorvane_sources}'";
        case OptionValue::Folder:
            return ":folder:_files -/'";
        case OptionValue::File:
            return ":file:_files'";
        case OptionValue::None:
            break;
    }
    return "'";
}

// One option as _arguments takes it, "'(-t --to)'{-t+,--to=}'[...]:...'": the two
// spellings exclude each other; a value comes joined or as the next word.
void putZshOption(std::FILE* out, const OptionSpelling& option) {
    const bool takesValue = option.value != OptionValue::None;
    put(out, "    ");
    if (option.shortName != '\0') {
        const char shortName[] = {option.shortName, '\0'};
        put(out, "'(-");
        put(out, shortName);
        put(out, " --");
        put(out, option.longName);
        put(out, ")'{-");
        put(out, shortName);
        put(out, takesValue ? "+,--" : ",--");
        put(out, option.longName);
        put(out, takesValue ? "=}'" : "}'");
    } else {
        put(out, "'--");
        put(out, option.longName);
        put(out, takesValue ? "=" : "");
    }
    putZshSummary(out, option.summary);
    put(out, zshAction(option.value));
    put(out, " \\\n");
}

void writeZsh(std::FILE* out, const CompletionTables& tables) {
    put(out,
        "#compdef kolorvane-cli\n"
        "# zsh completion for kolorvane-cli. Written by make_completions from the\n"
        "# program's own tables of options and formats when it was built: edit\n"
        "# those, not this.\n\n"
        "local -a kolorvane_targets kolorvane_sources\n"
        "kolorvane_targets=(\n");
    putZshFormats(out, tables, OptionValue::TargetFormat);
    put(out, ")\nkolorvane_sources=(\n");
    putZshFormats(out, tables, OptionValue::SourceFormat);
    put(out,
        ")\n\n"
        "# Short options group (-s); \"--\" ends the options (-S).\n"
        "_arguments -s -S \\\n");
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        putZshOption(out, tables.options[i]);
    }
    put(out, "    '*:file:_files -g \"*.(#i)(");
    putExtensions(out, tables, "", "|");
    put(out, ")(-.)\"'\n");
}

// A fish function that prints the formats `value` takes, "name<tab>title"
// a line.
void putFishFormats(std::FILE* out, const CompletionTables& tables, OptionValue value,
                    const char* function) {
    put(out, "function ");
    put(out, function);
    put(out, "\n    printf '%s\\t%s\\n'");
    for (std::size_t i = 0; i < tables.formatCount; i++) {
        if (offersName(tables, value, i)) {
            put(out, " ");
            put(out, tables.formats[i].name);
            put(out, " ");
            putQuoted(out, Shell::Fish, tables.formats[i].title);
        }
    }
    put(out, "\nend\n\n");
}

// What fish completes an option's value with.
const char* fishAction(OptionValue value) {
    switch (value) {
        case OptionValue::TargetFormat:
            return " -x -a '(__kolorvane_cli_target_formats)'";
        case OptionValue::SourceFormat:
            return " -x -a '(__kolorvane_cli_source_formats)'";
        case OptionValue::Folder:
            return " -x -a '(__fish_complete_directories (commandline -ct))'";
        case OptionValue::File:
            return " -r -F";
        case OptionValue::None:
            break;
    }
    return "";
}

void putFishOption(std::FILE* out, const OptionSpelling& option) {
    put(out, "complete -c kolorvane-cli");
    if (option.shortName != '\0') {
        const char shortName[] = {option.shortName, '\0'};
        put(out, " -s ");
        put(out, shortName);
    }
    put(out, " -l ");
    put(out, option.longName);
    put(out, " -d ");
    putQuoted(out, Shell::Fish, option.summary);
    put(out, fishAction(option.value));
    put(out, "\n");
}

void writeFish(std::FILE* out, const CompletionTables& tables) {
    put(out,
        "# fish completion for kolorvane-cli. Written by make_completions from the\n"
        "# program's own tables of options and formats when it was built: edit\n"
        "# those, not this.\n\n");
    putFishFormats(out, tables, OptionValue::TargetFormat, "__kolorvane_cli_target_formats");
    putFishFormats(out, tables, OptionValue::SourceFormat, "__kolorvane_cli_source_formats");
    put(out,
        "# The files fish offers for the word: those with an extension the program\n"
        "# reads first, then folders, then the rest (in that order: complete -k).\n"
        "function __kolorvane_cli_files\n"
        "    set -l token (commandline -ct)\n"
        "    set -l files (complete -C \"__kolorvane_cli_no_such_command $token\")\n"
        "    string match -ri -- '^.*\\.(?:");
    putExtensions(out, tables, "", "|");
    put(out,
        ")$' $files\n"
        "    string match -r -- '^.*/$' $files\n"
        "    string join \\n -- $files\n"
        "end\n\n"
        "complete -c kolorvane-cli -f -k -a '(__kolorvane_cli_files)'\n");
    for (std::size_t i = 0; i < tables.optionCount; i++) {
        putFishOption(out, tables.options[i]);
    }
}

}  // namespace

bool writeCompletions(Shell shell, const CompletionTables& tables, std::FILE* out) {
    if (!tablesArePlain(tables)) {
        return false;
    }
    switch (shell) {
        case Shell::Bash:
            writeBash(out, tables);
            break;
        case Shell::Zsh:
            writeZsh(out, tables);
            break;
        case Shell::Fish:
            writeFish(out, tables);
            break;
    }
    return std::ferror(out) == 0;
}

}  // namespace kolorvane
