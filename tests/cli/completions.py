"""The shell completions of kolorvane-cli, each run in its own shell: bash
through the completion function with COMP_WORDS and COMP_CWORD, fish with
`complete -C`, zsh in an interactive session on a pseudo-terminal, its
candidates caught as they are handed to compadd. What they offer is checked
against the program itself: the options and formats its --help lists, and
which names each format option takes, found by running it with each.

    python3 completions.py --cli PROGRAM --scripts DIR [--fixture PROGRAM] --work DIR
    python3 completions.py --cli PROGRAM --installed --work DIR

DIR holds bash/kolorvane-cli, zsh/_kolorvane-cli and fish/kolorvane-cli.fish
as the build writes them. --fixture is the test's own generator, whose
tables hold what the program's do not (a format read but never written, an
option that takes any format's name). With --installed the scripts are the
installed ones: bash sources /usr/share/bash-completion/completions/
kolorvane-cli and also finds it through bash-completion's loader, fish and
zsh find theirs with no configuration at all.
"""

import argparse
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

CONFIG = {}
TIMEOUT = 30  # seconds for any one shell or program run
INSTALLED_BASH = "/usr/share/bash-completion/completions/kolorvane-cli"


def run(command, cwd=None, env=None):
    return subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT,
                          check=False)


def quiet_env(home):
    """An environment that reads none of the user's shell configuration."""
    os.makedirs(home, exist_ok=True)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "LANG": "C.UTF-8",
           "XDG_CONFIG_HOME": os.path.join(home, "config"),
           "XDG_DATA_HOME": os.path.join(home, "data"), "TERM": "xterm"}
    return env


def plain(candidate):
    """A candidate as a name: without the backslashes zsh quotes it with
    and the slash fish puts after a folder."""
    return re.sub(r"\\(.)", r"\1", candidate).rstrip("/")


def bash_words(line):
    """The words bash hands a completion function for `line`: split at
    unescaped spaces, and at "=" as COMP_WORDBREAKS says."""
    words = []
    for word in re.split(r"(?<!\\) ", line):
        parts = [part for part in re.split(r"(=)", word) if part] if "=" in word else [word]
        words += parts
    return words


# -- the shells ---------------------------------------------------------------

BASH_DRIVER = r"""
if [ -n "$1" ]; then
    source "$1" || exit 3
else
    source /usr/share/bash-completion/bash_completion && _completion_loader kolorvane-cli
fi
spec=$(complete -p kolorvane-cli) || exit 4
function=${spec#*-F }
function=${function%% *}
shift
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE="$*"
COMP_POINT=${#COMP_LINE}
COMPREPLY=()
"$function" kolorvane-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
((${#COMPREPLY[@]} == 0)) || printf '%s\0' "${COMPREPLY[@]}"
"""


def bash_complete(script, line, cwd):
    """COMPREPLY for `line`, its last word the one completed; `script` is
    sourced, or with None bash-completion's loader finds the installed one."""
    result = run(["bash", "--norc", "--noprofile", "-c", BASH_DRIVER, "bash", script or ""] +
                 bash_words(line), cwd=cwd, env=quiet_env(os.path.join(CONFIG["work"], "home")))
    if result.returncode != 0 or result.stderr:
        raise AssertionError("bash failed (%d): %s" % (result.returncode, result.stderr))
    return [name for name in result.stdout.decode().split("\0") if name]


def fish_complete(script, line, cwd):
    """(candidate, description) pairs of `complete -C line`; `script` is
    sourced, or with None fish finds the installed one."""
    env = quiet_env(os.path.join(CONFIG["work"], "home"))
    if script is None:
        command = ["fish", "-c", "complete -C $argv[1]", line]
    else:
        command = ["fish", "--no-config", "-c", "source $argv[1]; complete -C $argv[2]", script,
                   line]
    result = run(command, cwd=cwd, env=env)
    if result.returncode != 0 or result.stderr:
        raise AssertionError("fish failed (%d): %s" % (result.returncode, result.stderr))
    pairs = []
    for entry in result.stdout.decode().splitlines():
        candidate, _, description = entry.partition("\t")
        pairs.append((candidate, description))
    return pairs


ZSH_SETUP = r"""
PS1='' RPS1='' PS2=''
[[ -n $KOLORVANE_FPATH ]] && fpath=($KOLORVANE_FPATH $fpath)
autoload -U compinit && compinit -u -D
# Every candidate a completion function adds, one a line, into the file
# $KOLORVANE_OUT; calls that only ask for the matches (-O, -A, -D) pass.
compadd() {
    local -a kolorvane_options kolorvane_hits
    kolorvane_options=("${@[1,${@[(i)(-|--)]}]}")
    if (( ${kolorvane_options[(I)-[OAD]*]} )); then
        builtin compadd "$@"
        return
    fi
    builtin compadd -A kolorvane_hits "$@"
    print -rl -- $kolorvane_hits >>$KOLORVANE_OUT
    builtin compadd "$@"
}
# Tab completes, then says so in the file.
kolorvane-tab() {
    zle complete-word
    print -r -- '<done>' >>$KOLORVANE_OUT
}
zle -N kolorvane-tab
bindkey '^I' kolorvane-tab
print -r -- '<ready>' >>$KOLORVANE_OUT
"""


class ZshSession:
    """An interactive zsh on a pseudo-terminal, with compinit; each line is
    typed, then Tab, and the candidates read from the file compadd writes."""

    def __init__(self, fpath, cwd):
        self.out = os.path.join(CONFIG["work"], "zsh-candidates")
        setup = os.path.join(CONFIG["work"], "zsh-setup.zsh")
        with open(setup, "w", encoding="utf-8") as handle:
            handle.write(ZSH_SETUP)
        open(self.out, "w").close()
        env = quiet_env(os.path.join(CONFIG["work"], "home"))
        env.update({"KOLORVANE_OUT": self.out, "KOLORVANE_FPATH": fpath or ""})
        self.master, slave = pty.openpty()
        self.process = subprocess.Popen(["zsh", "-f", "-i"], stdin=slave, stdout=slave,
                                        stderr=slave, cwd=cwd, env=env, start_new_session=True)
        os.close(slave)
        self.type("source %s\n" % setup)
        self.wait_for("<ready>")

    def type(self, text):
        os.write(self.master, text.encode())

    def wait_for(self, marker):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            # The terminal's output is read and dropped, so that zsh never
            # blocks on a full pseudo-terminal.
            while select.select([self.master], [], [], 0.05)[0]:
                try:
                    os.read(self.master, 65536)
                except OSError:
                    break
            with open(self.out, encoding="utf-8") as handle:
                text = handle.read()
            if marker in text:
                return text
        raise AssertionError("zsh did not finish: no %s within %d s" % (marker, TIMEOUT))

    def complete(self, line):
        open(self.out, "w").close()
        self.type(line + "\t")
        text = self.wait_for("<done>")
        self.type("\x15")  # ^U: the line is cleared for the next one
        return [entry for entry in text.splitlines() if entry and entry != "<done>"]

    def stop(self):
        try:
            self.type("exit\n")
            self.process.wait(timeout=5)
        except (OSError, subprocess.TimeoutExpired):
            os.kill(self.process.pid, signal.SIGKILL)
            self.process.wait(timeout=TIMEOUT)
        finally:
            os.close(self.master)


# -- what the program says ----------------------------------------------------

class Program:
    """The options and formats of kolorvane-cli's --help, and the names each
    format option takes, asked of the program itself."""

    def __init__(self, cli):
        self.cli = cli
        result = run([cli, "--help"])
        assert result.returncode == 0, result.stderr
        lines = result.stdout.decode().splitlines()
        self.options = {}  # spelling: what the help calls its value ("" for none)
        for line in lines:
            match = re.match(r"^  (-\w)?,?\s+(--[\w-]+)(?: ([A-Z]+))?\s", line)
            if match:
                for spelling in match.group(1, 2):
                    if spelling:
                        self.options[spelling] = match.group(3) or ""
        start = next(i for i, line in enumerate(lines) if line.startswith("Formats"))
        self.formats = [line.split()[0] for line in lines[start + 1:] if line.startswith("  ")]
        # Each format's line: its name, the extensions it is read from, its
        # title; a format that is only written is read from none.
        self.extensions = sorted({word.lower() for line in lines[start + 1:]
                                  if line.startswith("  ") and "written only)" not in line
                                  for word in line.split()[1:] if word.startswith(".")})

    def with_value(self, value):
        return sorted(spelling for spelling, taken in self.options.items() if taken == value)

    def takes(self, option, name):
        """Whether `option NAME` is a command line the program takes: a name
        it refuses is a usage error (2); a name it takes gets as far as the
        missing file (1)."""
        missing = os.path.join(CONFIG["work"], "no-such-folder", "x.pal")
        code = run([self.cli, option, name, missing]).returncode
        assert code in (1, 2), "%s %s: exit status %d" % (option, name, code)
        return code == 1


# -- the cases ----------------------------------------------------------------

def make_files(folder, files=(), folders=()):
    """`folder` holding `files` and `folders` alone. The folder itself stays,
    as the zsh session runs in it."""
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    for name in files:
        open(os.path.join(folder, name), "wb").close()
    for name in folders:
        os.makedirs(os.path.join(folder, name))
    return folder


class Shells(unittest.TestCase):
    """What each shell offers, from the scripts in `scripts`: a dict of
    bash, zsh (a folder for fpath) and fish, None where the shell is to find
    the installed one itself."""
    scripts = None
    zsh = None

    @classmethod
    def setUpClass(cls):
        cls.folder = make_files(os.path.join(CONFIG["work"], cls.__name__))
        cls.zsh = ZshSession(cls.scripts["zsh"], cls.folder)

    @classmethod
    def tearDownClass(cls):
        if cls.zsh is not None:
            cls.zsh.stop()

    def offered(self, shell, line):
        """The names `shell` offers for `line`, as a sorted list."""
        if shell == "bash":
            found = bash_complete(self.scripts["bash"], line, self.folder)
        elif shell == "fish":
            found = [candidate for candidate, _ in
                     fish_complete(self.scripts["fish"], line, self.folder)]
        else:
            found = self.zsh.complete(line)
        return sorted({plain(candidate) for candidate in found})

    def assertOffered(self, line, expected, shells=("bash", "fish", "zsh")):
        for shell in shells:
            with self.subTest(shell=shell, line=line):
                self.assertEqual(self.offered(shell, line), sorted(expected))

    def use_files(self, files=(), folders=()):
        make_files(self.folder, files, folders)


class ProgramCompletions(Shells):
    program = None

    @classmethod
    def setUpClass(cls):
        cls.program = Program(CONFIG["cli"])
        super().setUpClass()

    def test_options_long_and_short(self):
        self.use_files(["a.pal"])
        options = list(self.program.options)
        self.assertIn("--to", options)
        self.assertOffered("kolorvane-cli -", options)
        self.assertOffered("kolorvane-cli --", [o for o in options if o.startswith("--")])
        self.assertOffered("kolorvane-cli --no-c", ["--no-clobber"])
        # After "--" a word that starts with "-" is a FILE; not after "-o --",
        # where "--" is the folder (zsh takes that "--" for the end of the
        # options too).
        self.use_files(["-n.pal"])
        self.assertOffered("kolorvane-cli -- -", ["-n.pal"])
        self.assertOffered("kolorvane-cli -o -- --", [o for o in options if o.startswith("--")],
                           shells=("bash",))

    def test_format_names_are_those_the_program_takes(self):
        self.use_files(["a.pal"])
        self.assertFalse(self.program.takes("--to", "no-such-format"))
        format_options = self.program.with_value("FORMAT")
        self.assertIn("--to", format_options)
        for option in format_options:
            taken = [name for name in self.program.formats if self.program.takes(option, name)]
            self.assertTrue(taken)
            self.assertOffered("kolorvane-cli %s " % option, taken)
            self.assertOffered("kolorvane-cli -q -o out a.pal %s " % option, taken)
            first = taken[-1][0]
            self.assertOffered("kolorvane-cli %s %s" % (option, first),
                               [name for name in taken if name.startswith(first)])
            if option.startswith("--"):
                # bash completes the word after "=", fish the whole word.
                self.assertOffered("kolorvane-cli %s=" % option, taken, shells=("bash",))
                self.assertOffered("kolorvane-cli %s=" % option,
                                   [option + "=" + name for name in taken], shells=("fish",))
            else:
                # Joined to the option, alone or after others of its group.
                self.assertOffered("kolorvane-cli %s%s" % (option, first),
                                   [option + name for name in taken if name.startswith(first)],
                                   shells=("bash", "fish"))
                self.assertOffered("kolorvane-cli -q%s%s" % (option[1:], first),
                                   ["-q" + option[1:] + name for name in taken
                                    if name.startswith(first)], shells=("bash",))
                self.assertOffered("kolorvane-cli -q%s " % option[1:], taken,
                                   shells=("bash", "zsh"))

    def test_folders_after_the_output_folder(self):
        self.use_files(["a.pal", "b.gpl", "notes.doc"], ["sub", "other folder"])
        for option in self.program.with_value("DIR"):
            self.assertOffered("kolorvane-cli %s " % option, ["sub", "other folder"])
            self.assertOffered("kolorvane-cli %s o" % option, ["other folder"])

    def test_files_the_program_reads_first(self):
        self.assertIn(".gpl", self.program.extensions)
        palettes = []
        for i, extension in enumerate(self.program.extensions):
            palettes += ["p%d%s" % (i, extension), "Q%d%s" % (i, extension.upper())]
        self.use_files(palettes + ["notes.doc", "README", "pal"], ["sub"])
        self.assertOffered("kolorvane-cli ", palettes + ["sub"], shells=("bash", "zsh"))
        self.assertOffered("kolorvane-cli -n ", palettes + ["sub"], shells=("bash", "zsh"))
        # fish lists the rest too, after the palettes and the folders.
        offered = [plain(c) for c, _ in fish_complete(self.scripts["fish"], "kolorvane-cli ",
                                                      self.folder)]
        self.assertEqual(sorted(offered[:len(palettes) + 1]), sorted(palettes + ["sub"]))
        self.assertEqual(sorted(offered), sorted(palettes + ["sub", "notes.doc", "README", "pal"]))
        # With none of those, every file.
        self.assertOffered("kolorvane-cli n", ["notes.doc"])
        self.assertOffered("kolorvane-cli -- R", ["README"])

    def test_names_with_spaces(self):
        self.use_files(["My Palette.gpl", "My Notes.doc"], ["My Folder"])
        self.assertOffered("kolorvane-cli My\\ P", ["My Palette.gpl"])
        self.assertOffered("kolorvane-cli -o My\\ ", ["My Folder"])


class FixtureCompletions(Shells):
    """The scripts written from the fixture's tables."""

    def test_formats_written_after_to_and_read_after_from(self):
        self.use_files([])
        self.assertOffered("kolorvane-cli --to ", ["one", "two", "wo"])
        self.assertOffered("kolorvane-cli -t ", ["one", "two", "wo"])
        self.assertOffered("kolorvane-cli --from ", ["one", "rom", "two", "bare"])
        self.assertOffered("kolorvane-cli -f ", ["one", "rom", "two", "bare"])

    def test_extensions_read_and_files_of_any_name(self):
        # A format's other extensions are read too; one without its own
        # adds none.
        self.use_files(["x.rom", "v.more", "y.one", "Y.ONE", "z.wo", "w.doc"], ["sub"])
        self.assertOffered("kolorvane-cli ", ["x.rom", "v.more", "y.one", "Y.ONE", "sub"],
                           shells=("bash", "zsh"))
        self.assertOffered("kolorvane-cli --profile ", ["x.rom", "v.more", "y.one", "Y.ONE",
                                                        "z.wo", "w.doc", "sub"])

    def test_quotes_brackets_and_backslashes_shown_as_written(self):
        formats = dict(fish_complete(self.scripts["fish"], "kolorvane-cli --to ", self.folder))
        self.assertEqual(formats["one"], "First's \"title\": [1] a\\b")
        options = dict(fish_complete(self.scripts["fish"], "kolorvane-cli --pro", self.folder))
        self.assertEqual(options["--profile"], "it's [the] \"profile\": a\\b")
        self.assertOffered("kolorvane-cli --pro", ["--profile"], shells=("bash", "zsh"))


class Parse(unittest.TestCase):
    def test_each_script_parses_in_its_shell(self):
        for scripts in filter(None, (CONFIG.get("scripts"), CONFIG.get("fixture_scripts"))):
            for shell, check in (("bash", ["bash", "-n"]), ("fish", ["fish", "--no-execute"])):
                with self.subTest(script=scripts[shell]):
                    result = run(check + [scripts[shell]])
                    self.assertEqual((result.returncode, result.stderr), (0, b""))
            path = os.path.join(scripts["zsh"], "_kolorvane-cli")
            with self.subTest(script=path):
                result = run(["zsh", "-n", path])
                self.assertEqual((result.returncode, result.stderr), (0, b""))


class BashCompletionLoader(unittest.TestCase):
    """bash-completion finds the installed script on its own."""

    def test_loader_finds_it(self):
        folder = make_files(os.path.join(CONFIG["work"], "loader"), ["a.pal"])
        program = Program(CONFIG["cli"])
        taken = [name for name in program.formats if program.takes("--to", name)]
        self.assertEqual(sorted(bash_complete(None, "kolorvane-cli --to ", folder)), sorted(taken))


def script_paths(folder):
    return {"bash": os.path.join(folder, "bash", "kolorvane-cli"),
            "zsh": os.path.join(folder, "zsh"),
            "fish": os.path.join(folder, "fish", "kolorvane-cli.fish")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--scripts")
    parser.add_argument("--fixture")
    parser.add_argument("--installed", action="store_true")
    options = parser.parse_args()
    CONFIG.update({"cli": os.path.abspath(options.cli), "work": os.path.abspath(options.work)})
    shutil.rmtree(CONFIG["work"], ignore_errors=True)
    os.makedirs(CONFIG["work"])
    suite = unittest.TestSuite()
    loader = unittest.TestLoader()
    if options.installed:
        ProgramCompletions.scripts = {"bash": INSTALLED_BASH, "zsh": None, "fish": None}
        suite.addTests(loader.loadTestsFromTestCase(ProgramCompletions))
        suite.addTests(loader.loadTestsFromTestCase(BashCompletionLoader))
    else:
        CONFIG["scripts"] = ProgramCompletions.scripts = script_paths(options.scripts)
        suite.addTests(loader.loadTestsFromTestCase(ProgramCompletions))
        if options.fixture:
            fixture = os.path.join(CONFIG["work"], "fixture")
            for shell, path in script_paths(fixture).items():
                path = path if shell != "zsh" else os.path.join(path, "_kolorvane-cli")
                os.makedirs(os.path.dirname(path), exist_ok=True)
                subprocess.run([options.fixture, shell, path], check=True, timeout=TIMEOUT)
            CONFIG["fixture_scripts"] = FixtureCompletions.scripts = script_paths(fixture)
            suite.addTests(loader.loadTestsFromTestCase(FixtureCompletions))
        suite.addTests(loader.loadTestsFromTestCase(Parse))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
