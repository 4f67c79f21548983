#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace kolorvane {
namespace {

struct Parsed {
    Command command;
    std::string outputDirectory;  // "(none)" when not given
    bool noClobber;
    bool quiet;
    std::vector<std::string> files;
    std::string problem;
    std::string from;  // the format's name; "(none)" when not given
    std::string to;
};

Parsed parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "kolorvane-cli");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Options options{};
    const Command command =
        parseArguments(static_cast<int>(arguments.size()), argv.data(), &options);
    Parsed parsed{command,
                  options.outputDirectory != nullptr ? options.outputDirectory : "(none)",
                  options.noClobber,
                  options.quiet,
                  {},
                  options.problem,
                  options.from != nullptr ? options.from->name : "(none)",
                  options.to != nullptr ? options.to->name : "(none)"};
    for (int i = 0; i < options.fileCount; i++) {
        parsed.files.emplace_back(options.files[i]);
    }
    return parsed;
}

using Files = std::vector<std::string>;

TEST(Options, ConvertCommandLines) {
    struct Case {
        std::vector<std::string> arguments;
        std::string outputDirectory;
        bool noClobber;
        bool quiet;
        Files files;
    };
    const Case cases[] = {
        {{"a.pal"}, "(none)", false, false, {"a.pal"}},
        {{"a.pal", "b.act", "c.pal"}, "(none)", false, false, {"a.pal", "b.act", "c.pal"}},
        // Options anywhere, FILEs kept in their order.
        {{"a.pal", "-n", "b.act", "-q"}, "(none)", true, true, {"a.pal", "b.act"}},
        {{"-nq", "a.pal"}, "(none)", true, true, {"a.pal"}},
        {{"--no-clobber", "--quiet", "a.pal"}, "(none)", true, true, {"a.pal"}},
        // Every spelling of the output folder; the last one given counts.
        {{"-o", "out", "a.pal"}, "out", false, false, {"a.pal"}},
        {{"-oout", "a.pal"}, "out", false, false, {"a.pal"}},
        {{"-nqo", "out", "a.pal"}, "out", true, true, {"a.pal"}},
        {{"-nqoout", "a.pal"}, "out", true, true, {"a.pal"}},
        {{"--output-dir", "out", "a.pal"}, "out", false, false, {"a.pal"}},
        {{"--output-dir=out", "a.pal"}, "out", false, false, {"a.pal"}},
        {{"--output-dir=a=b", "a.pal"}, "a=b", false, false, {"a.pal"}},
        {{"-o", "one", "-o", "two", "a.pal"}, "two", false, false, {"a.pal"}},
        // The value of -o is taken whatever it looks like.
        {{"-o", "-n", "a.pal"}, "-n", false, false, {"a.pal"}},
        {{"-o", "--", "a.pal"}, "--", false, false, {"a.pal"}},
        // "--" ends the options; "-" alone is a FILE.
        {{"--", "-n", "--quiet", "a.pal"}, "(none)", false, false, {"-n", "--quiet", "a.pal"}},
        {{"-q", "--", "--"}, "(none)", false, true, {"--"}},
        {{"-", "-q"}, "(none)", false, true, {"-"}},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(parsed.command, Command::Convert);
        EXPECT_EQ(parsed.outputDirectory, c.outputDirectory);
        EXPECT_EQ(parsed.noClobber, c.noClobber);
        EXPECT_EQ(parsed.quiet, c.quiet);
        EXPECT_EQ(parsed.files, c.files);
        EXPECT_EQ(parsed.problem, "");
    }
}

TEST(Options, FormatsAreNamedForBothEnds) {
    struct Case {
        std::vector<std::string> arguments;
        std::string from;
        std::string to;
    };
    const Case cases[] = {
        {{"--from", "act", "a.dat"}, "act", "(none)"},
        {{"--from=act", "-t", "gpl", "a.dat"}, "act", "gpl"},
        {{"-tpng", "--from", "edge", "a.act"}, "edge", "png"},
        {{"--to=hex", "a.pal"}, "(none)", "hex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.command, Command::Convert);
        EXPECT_EQ(parsed.from, c.from);
        EXPECT_EQ(parsed.to, c.to);
    }
}

TEST(Options, ShowTakesWhatReadingTakes) {
    struct Case {
        std::vector<std::string> arguments;
        Files files;
        std::string from;
        bool quiet;
    };
    const Case cases[] = {
        {{"--show", "a.pal"}, {"a.pal"}, "(none)", false},
        {{"a.gpl", "--show", "b.hex"}, {"a.gpl", "b.hex"}, "(none)", false},
        {{"--from", "act", "--show", "raw.dat"}, {"raw.dat"}, "act", false},
        {{"-q", "--show", "--", "--show"}, {"--show"}, "(none)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.command, Command::Show);
        EXPECT_EQ(parsed.files, c.files);
        EXPECT_EQ(parsed.from, c.from);
        EXPECT_EQ(parsed.quiet, c.quiet);
    }
    EXPECT_EQ(parse({"--", "--show"}).command, Command::Convert);
    EXPECT_EQ(parse({"--show", "--help"}).command, Command::Help);
}

// The profile's file is taken as it is given, to be read once the whole
// command line is.
TEST(Options, CmykProfileNamesAFile) {
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"kolorvane-cli", "--cmyk-profile", "-p.icc", "a.pal"},
          std::vector<std::string>{"kolorvane-cli", "a.pal", "--cmyk-profile=-p.icc"}}) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        Options options{};
        ASSERT_EQ(parseArguments(static_cast<int>(argv.size()), argv.data(), &options),
                  Command::Convert);
        EXPECT_STREQ(options.cmykProfile, "-p.icc");
        ASSERT_EQ(options.fileCount, 1);
        EXPECT_STREQ(options.files[0], "a.pal");
    }
    EXPECT_EQ(parse({"a.pal"}).command, Command::Convert);
}

TEST(Options, HelpAndVersionStopAtTheFirstOneSeen) {
    struct Case {
        std::vector<std::string> arguments;
        Command command;
    };
    const Case cases[] = {
        {{"--help"}, Command::Help},
        {{"-h"}, Command::Help},
        {{"a.pal", "-qh"}, Command::Help},
        {{"--version"}, Command::Version},
        {{"--version", "--help"}, Command::Version},
        {{"--help", "--bogus"}, Command::Help},  // read left to right, like GNU tools
        {{"--bogus", "--help"}, Command::UsageError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        EXPECT_EQ(parse(c.arguments).command, c.command);
    }
    // After "--" the word is a FILE to convert.
    EXPECT_EQ(parse({"--", "--help"}).command, Command::Convert);
    EXPECT_EQ(parse({"--", "--help"}).files, Files{"--help"});
}

TEST(Options, UsageErrorsSayWhatWasWrong) {
    struct Case {
        std::vector<std::string> arguments;
        std::string problem;
    };
    const Case cases[] = {
        {{}, "no FILE given"},
        {{"-q", "-n"}, "no FILE given"},
        {{"--"}, "no FILE given"},
        {{"-x", "a.pal"}, "unknown option '-x'"},
        {{"-nqx", "a.pal"}, "unknown option '-x'"},
        {{"--bogus", "a.pal"}, "unknown option '--bogus'"},
        {{"--bogus=1", "a.pal"}, "unknown option '--bogus'"},
        {{"--quiet=yes", "a.pal"}, "option '--quiet' takes no value"},
        {{"--help=me"}, "option '--help' takes no value"},
        // Abbreviations would change meaning as options are added.
        {{"--out", "d", "a.pal"}, "unknown option '--out'"},
        {{"a.pal", "-o"}, "option '-o' needs a folder"},
        {{"a.pal", "--output-dir"}, "option '--output-dir' needs a folder"},
        {{"-o", "", "a.pal"}, "option '-o' was given an empty folder name"},
        {{"--output-dir=", "a.pal"}, "option '--output-dir' was given an empty folder name"},
        {{"--from", "bogus", "a.pal"}, "unknown format 'bogus'"},
        {{"--to=bogus", "a.pal"}, "unknown format 'bogus'"},
        {{"a.pal", "--from"}, "option '--from' needs a format"},
        // --show writes nothing: what says where or how to write is wrong.
        {{"--show", "-t", "gpl", "a.pal"}, "--show cannot go with --to (-t): it converts nothing"},
        {{"--to=gpl", "a.pal", "--show"}, "--show cannot go with --to (-t): it converts nothing"},
        {{"--show", "-oout", "a.pal"},
         "--show cannot go with --output-dir (-o): it writes nothing"},
        {{"-nq", "--show", "a.pal"}, "--show cannot go with --no-clobber (-n): it writes nothing"},
        {{"--show"}, "no FILE given"},
        {{"--show=yes", "a.pal"}, "option '--show' takes no value"},
        {{"a.pal", "--cmyk-profile"}, "option '--cmyk-profile' needs a file"},
        {{"--cmyk-profile=", "a.pal"}, "option '--cmyk-profile' was given an empty file name"},
        // A long argument is cut in the line, which still ends the sentence.
        {{"--" + std::string(100, 'z'), "a.pal"},
         "unknown option '--" + std::string(64, 'z') + "'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.command, Command::UsageError);
        EXPECT_EQ(parsed.problem, c.problem);
    }
}

TEST(Options, FilesAreGatheredInPlaceWithoutLosingAnArgument) {
    // argv is rearranged in place: every operand must survive the moves,
    // however options and operands interleave.
    std::vector<std::string> arguments;
    Files expected;
    for (int i = 0; i < 40; i++) {
        if (i % 3 == 0) {
            arguments.emplace_back(i % 2 == 0 ? "-n" : "-o");
            if (i % 2 != 0) {
                arguments.emplace_back("dir" + std::to_string(i));
            }
        }
        arguments.push_back("f" + std::to_string(i) + ".pal");
        expected.push_back(arguments.back());
    }
    const Parsed parsed = parse(arguments);
    EXPECT_EQ(parsed.command, Command::Convert);
    EXPECT_EQ(parsed.files, expected);
    EXPECT_EQ(parsed.outputDirectory, "dir39");
}

}  // namespace
}  // namespace kolorvane
