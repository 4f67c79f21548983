"""End-to-end tests of kolorvane-cli: the built program run on real files in
a folder of their own, its output, error lines and exit status compared
exactly, and the files compared byte for byte with palettes converted here
independently.

    python3 e2e.py --cli PROGRAM --work DIR [--wine] [--version-text V] [unittest args]

With --wine, PROGRAM is kolorvane-cli.exe and runs under Wine 8 with a
Japanese locale (ANSI code page 932), in a Wine prefix of its own under DIR
whose server is stopped by its id at the end. The same cases run either way;
the few that need a POSIX system (signals, /dev/full) only natively.
"""

import argparse
import fcntl
import importlib.util
import json
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import termios
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
# The Wine session and the palettes of the window's suite.
import harness  # noqa: E402
from palettes import act_file, as_act, as_pal, pal_file, random_entries, read, write  # noqa: E402

RUN_TIMEOUT = 60  # seconds for any one run of the program
CONFIG = {}
NOT_A_PALETTE = ("not a .pal, .act, .gpl, .hex, .txt, .aco, .ase, .swatches, .kpl, .sketchpalette, "
                 ".png, .bmp, .pcx, .tga, .gif, .col, .lbm, .iff, .bbm, .ilbm, .lmp, .wad, .acb, "
                 ".soc or .xml file name")
FORMATS = {"edge": ".pal", "act": ".act", "jasc": ".pal", "riff": ".pal", "gpl": ".gpl",
           "hex": ".hex", "paintnet": ".txt", "aco": ".aco", "ase": ".ase", "png": ".png",
           "bmp": ".bmp", "pcx": ".pcx", "tga": ".tga", "gif": ".gif", "col": ".col",
           "ilbm": ".lbm", "lmp": ".lmp", "wad": ".wad", "acb": ".acb", "soc": ".soc",
           "scribus": ".xml", "css": ".css", "swatches": ".swatches", "kpl": ".kpl",
           "sketch": ".sketchpalette"}
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
# The PNG images are made and read back by Pillow and ImageMagick, through
# Debian's own Python, which has Pillow.
MAKE_PNGS = ["/usr/bin/python3", os.path.join(ROOT, "tests", "formats", "make-pngs.py")]
# Bytes of resident memory reading a large image, past what the program
# holds before it reads a byte (--version's: the libraries it is linked
# with and, in the sanitizers' build, their shadow memory).
PROCESS_MEMORY_LIMIT = 16 * 1024 * 1024
# BMP, PCX and TGA images made and read back by Pillow and ImageMagick.
MAKE_RASTER = ["/usr/bin/python3", os.path.join(ROOT, "tests", "formats", "make-raster.py")]
RASTERS = (".bmp", ".pcx", ".tga")

# The GIF images, by Pillow and ImageMagick, and Pillow's and giflib's
# gifbuild's reading of a GIF written.
MAKE_GIFS = ["/usr/bin/python3", os.path.join(ROOT, "tests", "formats", "make-gifs.py")]


def load_retro():
    """The palettes of retro tools and games, and IFF images: ILBM written by
    netpbm's ppmtoilbm, the others from their layouts; netpbm reads back the
    ILBM images written."""
    path = os.path.join(ROOT, "tests", "formats", "make-retro.py")
    spec = importlib.util.spec_from_file_location("retro", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


RETRO = load_retro()


LAYOUTS = RETRO.LAYOUTS
# Palettes past 256 colours: the formats that hold any count, those of them
# that keep the colours' names, the swatch grids (16,384 colours), and the
# formats written at 256 colours.
LARGE = ("gpl", "hex", "riff", "aco", "ase")
NAMED = ("gpl", "aco", "ase")
GRIDS = ("png", "bmp", "tga")
SMALL = ("edge", "act", "jasc", "pcx", "gif", "col", "ilbm", "lmp")
CAPACITY_TITLES = {"edge": "an EDGE PAL", "act": "an Adobe colour table",
                   "jasc": "a JASC-PAL palette", "pcx": "a PCX image", "gif": "a GIF image",
                   "col": "an Animator Pro palette", "ilbm": "an IFF ILBM image",
                   "lmp": "a Quake or Doom palette lump", "paintnet": "a Paint.NET palette",
                   "png": "a PNG image", "bmp": "a BMP image", "tga": "a TGA image"}
GIMP_PALETTES = "/usr/share/gimp/2.0/palettes"


def gpl_swatches(data):
    """The colours and names of a GIMP palette kolorvane-cli wrote."""
    return [(tuple(int(v) for v in line[:11].split()), line[12:])
            for line in data.decode("utf-8").split("\n")[4:-1]]


def kept_names(first, second, colors, names):
    """The names a palette has after going through `first` then `second`:
    its own where both keep names; .ase names a colour without one by its
    numbers, as Illustrator does."""
    if first in NAMED and second in NAMED:
        return names
    if second == "ase":
        return ["R=%d G=%d B=%d" % c for c in colors]
    return [""] * len(colors)

def stock_swatches(data):
    """The colours and names of one of GIMP's own palettes, read here: three
    numbers, then the name; comments, Name and Columns skipped."""
    swatches = []
    for line in data.decode("utf-8").splitlines()[1:]:
        if line.startswith(("#", "Name:", "Columns:")) or not line.strip():
            continue
        fields = line.split(None, 3)
        swatches.append((tuple(int(v) for v in fields[:3]), (fields[3:] or [""])[0].strip()))
    return swatches


# --show: the five colours of the samples and their names, as
# tests/formats/make-samples.py writes them.
FIVE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (18, 52, 86), (171, 205, 239)]
FIVE_NAMES = ["Black", "White", "\u8d64", "Deep blue \U0001f30a", "Pale blue"]
SAMPLES = os.path.join(ROOT, "tests", "formats", "samples")
# A GIMP palette whose names would move the cursor, clear the screen and
# retitle the terminal, were they written as they are.
HOSTILE_GPL = ("GIMP Palette\nName: 夕焼け\x1b[2J!\nColumns: 4\n#\n"
               "255  94  58\tCoral\n 38  20  71\n  0   0   0\tTab\there\x1b]0;pwned\x07!\n"
               "  1   2   3\tnext\x85line\x9b31m\n").encode()
HOSTILE_COLORS = [(255, 94, 58), (38, 20, 71), (0, 0, 0), (1, 2, 3)]
HOSTILE_NAMES = ["Coral", "", "Tab\ufffdhere\ufffd]0;pwned\ufffd!", "next\ufffdline\ufffd31m"]
HOSTILE_TITLE = "夕焼け\ufffd[2J!"
TERMINAL_SIZE = (50, 1000)  # rows, columns: wide enough that Wine's console wraps no line
# The escapes a listing may hold: bold, back to normal, a 24-bit background.
OUR_ESCAPE = re.compile(rb"\x1b\[(?:0|1|48;2;\d{1,3};\d{1,3};\d{1,3})m")
SWATCH = re.compile(r"\x1b\[48;2;(\d+);(\d+);(\d+)m( +)\x1b\[0m")
# Wine's console hides the cursor around each write, which a terminal shows.
WINE_CURSOR = re.compile(rb"\x1b\[\?25[lh]")


def listed(file, title, colors, names=None, name=None):
    """The lines --show writes for a palette when not to a terminal."""
    names = names or [""] * len(colors)
    lines = ["\t".join(["#", file, title, str(len(colors))] + ([name] if name else []))]
    for index, (color, colour_name) in enumerate(zip(colors, names)):
        lines.append("\t".join([str(index), "#%02X%02X%02X" % tuple(color)]
                               + ([colour_name] if colour_name else [])))
    return lines


def edge_colors(data):
    """The 256 colours of an EDGE PAL file: colour i is entry 255 - i."""
    return [tuple(data[10 + 3 * (255 - i):13 + 3 * (255 - i)]) for i in range(256)]


def terminal_listing(text):
    """A listing in a terminal, read back: for each palette its FILE line, its
    grid (for each row, each swatch's colour and width) and for each colour
    line its index, the swatch's colour and width, #RRGGBB and name."""
    palettes = []
    part = None
    for line in text.split("\n"):
        if line.startswith("\x1b[1m"):
            palettes.append((line, [], []))
            part = "grid"
        elif line == "":
            part = "colours" if part == "grid" else None
        elif part == "grid":
            palettes[-1][1].append([(tuple(map(int, m.group(1, 2, 3))), len(m.group(4)))
                                    for m in SWATCH.finditer(line)])
        else:
            found = re.fullmatch(r" *(\d+) (\x1b\S+ +\x1b\[0m) #([0-9A-F]{6})(?: (.*))?", line)
            assert found and part == "colours", repr(line)
            swatch = SWATCH.fullmatch(found.group(2))
            palettes[-1][2].append((int(found.group(1)), tuple(map(int, swatch.group(1, 2, 3))),
                                    len(swatch.group(4)), found.group(3), found.group(4) or ""))
    return palettes


def temporaries(folder):
    """Anything under `folder` that looks like a temporary file of ours."""
    found = []
    for root, _, files in os.walk(folder):
        found += [os.path.join(root, name) for name in files if name.startswith("~")]
    return found


class Result:
    def __init__(self, code, out, err):
        self.code = code
        self.out = out
        self.err = err


class Native:
    """The program built for this system."""
    wine = False
    encoding = "utf-8"
    newline = b"\n"
    separator = "/"

    def __init__(self, program):
        self.program = program
        self.env = dict(os.environ)

    def command(self, arguments):
        return [self.program] + arguments

    def stop(self):
        pass


class UnderWine:
    """kolorvane-cli.exe in a Wine session of its own. Its arguments reach it
    in code page 932, and so do its lines."""
    wine = True
    encoding = "cp932"
    newline = b"\r\n"
    separator = "\\"

    def __init__(self, program, work):
        self.session = harness.start_console_session(work, program)
        harness.stop_on_signal(self.session)
        self.env = self.session.env

    def command(self, arguments):
        return [self.session.wine, self.session.exe] + arguments

    def file_tool(self, *arguments):
        """file-tool.exe (hide, attributes) in the same session."""
        return subprocess.run([self.session.wine, CONFIG["file_tool"]] + list(arguments),
                              env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT, check=False)

    def stop(self):
        harness.stop_session(self.session)
        if not harness.wait_for(lambda: not harness.leftover_processes(self.session)):
            raise AssertionError("still running in the prefix: %s"
                                 % harness.leftover_processes(self.session))


class CommandLine(unittest.TestCase):
    host = None

    @classmethod
    def setUpClass(cls):
        if CONFIG["wine"]:
            cls.host = UnderWine(CONFIG["cli"], CONFIG["work"])
        else:
            cls.host = Native(CONFIG["cli"])

    @classmethod
    def tearDownClass(cls):
        if cls.host is not None:
            cls.host.stop()

    def setUp(self):
        name = self.id().rsplit(".", 1)[-1]
        self.folder = os.path.join(CONFIG["work"], "cases", name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        self.streams = os.path.join(CONFIG["work"], "streams")
        os.makedirs(self.streams, exist_ok=True)

    # -- running the program and reading what it said ----------------------

    def run_cli(self, *arguments, stdout_path=None, locale=None):
        """Runs the program in the case's folder, under Wine in `locale` when
        given. Its streams go to files, not pipes: a Wine service started on
        the way would hold a pipe open."""
        encoded = [a.encode("utf-8") if isinstance(a, str) else a for a in arguments]
        out_path = stdout_path or os.path.join(self.streams, "stdout")
        err_path = os.path.join(self.streams, "stderr")
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            completed = subprocess.run(self.host.command(encoded), cwd=self.folder,
                                       env=harness.in_locale(self.host.env, locale),
                                       stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=err, timeout=RUN_TIMEOUT, check=False)
        out_bytes = b"" if stdout_path is not None else read(out_path)
        return Result(completed.returncode, out_bytes, read(err_path))

    def lines(self, *texts, encoding=None):
        """The bytes the program prints for these lines."""
        return b"".join(t.encode(encoding or self.host.encoding) + self.host.newline
                        for t in texts)

    def native_path(self, *parts):
        """A path relative to the case's folder, as written on this system."""
        return self.host.separator.join(parts)

    def path(self, *names):
        return os.path.join(self.folder, *names)

    def full_path(self, *names):
        """An absolute path of a file in the case's folder, as the program's
        system spells it (Wine's Z: drive is the Unix root)."""
        unix = self.path(*names)
        return "Z:" + unix.replace("/", "\\") if self.host.wine else unix

    def assert_folder(self, expected, folder=None):
        """The folder holds exactly these names: nothing lost, nothing left."""
        self.assertEqual(sorted(os.listdir(folder or self.folder)), sorted(expected))

    def assert_usage_error(self, result, problem):
        self.assertEqual(result.code, 2)
        self.assertEqual(result.out, b"")
        self.assertEqual(result.err, self.lines("kolorvane-cli: " + problem,
                                                "Try 'kolorvane-cli --help' for more information."))

    # -- the conversion ------------------------------------------------------

    def test_both_directions_byte_for_byte(self):
        pal = pal_file(random_entries(1), header=b"edge pal\x00\x00")  # any case is accepted
        act = act_file(random_entries(2))
        write(self.path("Sunset.PAL"), pal)
        write(self.path("Ocean.Act"), act)

        result = self.run_cli("Sunset.PAL", "Ocean.Act")

        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines("Sunset.PAL -> Sunset.act",
                                                "Ocean.Act -> Ocean.pal"))
        self.assertEqual(read(self.path("Sunset.act")), act_file(reversed(random_entries(1))))
        self.assertEqual(read(self.path("Ocean.pal")), pal_file(reversed(random_entries(2))))
        self.assert_folder(["Sunset.PAL", "Sunset.act", "Ocean.Act", "Ocean.pal"])

    def test_sources_of_other_lengths(self):
        sources = {
            "long1.act": act_file(random_entries(3)) + b"tail",
            "short1.act": act_file(random_entries(4))[:100],
            "empty.act": b"",
            "header.pal": b"EDGE PAL",
            "short2.pal": pal_file(random_entries(5))[:160],
            "long2.pal": pal_file(random_entries(6)) + b"more bytes",
        }
        for name, data in sources.items():
            write(self.path(name), data)

        result = self.run_cli(*sources)

        self.assertEqual((result.code, result.err), (0, b""))
        for name, data in sources.items():
            output = name[:-4] + (".pal" if name.endswith(".act") else ".act")
            expected = as_pal(data) if name.endswith(".act") else as_act(data)
            self.assertEqual(read(self.path(output)), expected, output)
        self.assertEqual(len(os.listdir(self.folder)), 2 * len(sources))

    def test_existing_output_is_replaced(self):
        write(self.path("a.pal"), pal_file(random_entries(7)))
        write(self.path("a.act"), b"an older, longer file that must not show through" * 40)

        result = self.run_cli("a.pal")

        self.assertEqual((result.code, result.out), (0, self.lines("a.pal -> a.act")))
        self.assertEqual(read(self.path("a.act")), act_file(reversed(random_entries(7))))
        self.assert_folder(["a.pal", "a.act"])

    def test_unchanged_output_is_left_as_it_is(self):
        write(self.path("a.pal"), pal_file(random_entries(60)))
        self.assertEqual(self.run_cli("a.pal").code, 0)
        before = os.stat(self.path("a.act"))

        result = self.run_cli("a.pal")
        quiet = self.run_cli("-q", "a.pal")

        self.assertEqual((result.code, result.out, result.err),
                         (0, self.lines("a.pal -> a.act (unchanged)"), b""))
        self.assertEqual((quiet.code, quiet.out, quiet.err), (0, b"", b""))
        after = os.stat(self.path("a.act"))
        self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns))
        self.assertEqual(read(self.path("a.act")), act_file(reversed(random_entries(60))))
        self.assert_folder(["a.pal", "a.act"])

    def test_names_the_code_page_cannot_spell_are_refused(self):
        if not self.host.wine:
            self.skipTest("POSIX names are bytes")
        # Spelled with best fit, café.pal would be cafe.pal, a¥b.pal the file
        # b.pal in the folder a; the other two the code page spells.
        contents = {"cafe.pal": pal_file(random_entries(61)), "cafe.act": b"keep",
                    "café.pal": pal_file(random_entries(62)),
                    "a¥b.pal": pal_file(random_entries(63)),
                    os.path.join("a", "b.pal"): pal_file(random_entries(64)),
                    "\U0001F3A8.pal": pal_file(random_entries(65)),
                    "円￥.pal": pal_file(random_entries(66)),
                    "ｶﾗｰ.act": act_file(random_entries(67))}
        for name, data in contents.items():
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            write(self.path(name), data)
        refused = "the name has characters the system's code page cannot spell"

        named = self.run_cli("café.pal", "a¥b.pal", "円￥.pal", "ｶﾗｰ.act")
        matched = self.run_cli("-q", "*.pal")

        self.assertEqual((named.code, named.out), (1, self.lines("円￥.pal -> 円￥.act",
                                                                  "ｶﾗｰ.act -> ｶﾗｰ.pal")))
        self.assertEqual(named.err, self.lines("kolorvane-cli: caf?.pal: " + refused,
                                               "kolorvane-cli: a?b.pal: " + refused))
        # Each file the pattern matches comes once, by its own name.
        self.assertEqual((matched.code, matched.out), (1, b""))
        errors = sorted(matched.err.splitlines())
        self.assertEqual(len(errors), 3, matched.err)
        self.assertEqual(errors[1:], sorted(self.lines("kolorvane-cli: caf?.pal: " + refused,
                                                       "kolorvane-cli: a?b.pal: " + refused)
                                            .splitlines()))
        self.assertEqual(read(self.path("cafe.act")), as_act(contents["cafe.pal"]))
        self.assert_folder(["a", "a¥b.pal", "cafe.act", "cafe.pal", "café.pal", "円￥.act",
                            "円￥.pal", "ｶﾗｰ.act", "ｶﾗｰ.pal", "\U0001F3A8.pal"])
        self.assert_folder(["b.pal"], self.path("a"))

    def test_code_page_1252_spells_its_own_names(self):
        if not self.host.wine:
            self.skipTest("POSIX names are bytes")
        write(self.path("café.pal"), pal_file(random_entries(68)))
        write(self.path("ソ.act"), act_file(random_entries(69)))

        result = self.run_cli("café.pal", "ソ.act", locale="en_US.UTF-8")

        self.assertEqual((result.code, result.out),
                         (1, self.lines("café.pal -> café.act", encoding="cp1252")))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: ?.act: the name has characters the system's code page cannot spell"))
        self.assert_folder(["café.pal", "café.act", "ソ.act"])

    def test_a_batch_of_good_and_bad_files(self):
        write(self.path("first.pal"), pal_file(random_entries(8)))
        os.mkdir(self.path("folder.pal"))
        write(self.path("notes.doc"), b"not a palette")
        write(self.path("bad.pal"), pal_file(random_entries(9), header=b"EDGE_PAL\x00\x00"))
        write(self.path("bad.act"), b"kept")
        write(self.path("last.act"), act_file(random_entries(10)))

        result = self.run_cli("first.pal", "missing.pal", "folder.pal", "notes.doc", "bad.pal",
                              "last.act")

        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, self.lines("first.pal -> first.act", "last.act -> last.pal"))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: missing.pal: no such file",
            "kolorvane-cli: folder.pal: is a folder, not a file",
            "kolorvane-cli: notes.doc: " + NOT_A_PALETTE,
            'kolorvane-cli: bad.pal: the header is not "EDGE PAL"'))
        self.assertEqual(read(self.path("first.act")), act_file(reversed(random_entries(8))))
        self.assertEqual(read(self.path("last.pal")), pal_file(reversed(random_entries(10))))
        self.assertEqual(read(self.path("bad.act")), b"kept")
        self.assert_folder(["first.pal", "first.act", "folder.pal", "notes.doc", "bad.pal",
                            "bad.act", "last.act", "last.pal"])
        self.assert_folder([], self.path("folder.pal"))

    def test_output_name_taken_by_a_folder_leaves_nothing_behind(self):
        write(self.path("a.pal"), pal_file(random_entries(11)))
        os.mkdir(self.path("a.act"))
        write(self.path("a.act", "inside"), b"untouched")
        write(self.path("b.act"), act_file(random_entries(12)))

        result = self.run_cli("a.pal", "b.act")

        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, self.lines("b.act -> b.pal"))
        prefix = "kolorvane-cli: a.pal: cannot write a.act: ".encode(self.host.encoding)
        self.assertTrue(result.err.startswith(prefix), result.err)
        self.assertTrue(result.err.endswith(self.host.newline))
        self.assertGreater(len(result.err), len(prefix) + len(self.host.newline),
                           "the system's reason follows")
        self.assertEqual(result.err.count(b"\n"), 1)
        self.assert_folder(["a.pal", "a.act", "b.act", "b.pal"])
        self.assert_folder(["inside"], self.path("a.act"))
        self.assertEqual(read(self.path("a.act", "inside")), b"untouched")

    def test_outputs_keep_what_the_user_set_on_them(self):
        if self.host.wine:
            self.skipTest("POSIX modes, owners and links")
        entries = {name: random_entries(70 + i) for i, name in enumerate("abcd")}
        for name, data in entries.items():
            write(self.path(name + ".pal"), pal_file(data))
        os.chmod(self.path("a.pal"), 0o600)  # a private source: a private output
        write(self.path("b.act"), b"old")  # replaced: keeps its mode and owners
        os.chmod(self.path("b.act"), 0o640)
        as_root = os.geteuid() == 0
        if as_root:
            os.chown(self.path("b.act"), 1234, 1234)
        os.mkdir(self.path("real"))  # a link stays a link; its file is replaced
        write(self.path("real", "c.act"), b"old")
        os.symlink(os.path.join("real", "c.act"), self.path("c.act"))
        os.symlink("nowhere.act", self.path("d.act"))  # a link to nothing is refused

        result = self.run_cli("a.pal", "b.pal", "c.pal", "d.pal")

        self.assertEqual((result.code, result.out), (1, self.lines(
            "a.pal -> a.act", "b.pal -> b.act", "c.pal -> c.act")))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: d.pal: cannot write d.act: "
            "it is a symbolic link to a file that does not exist"))
        for output in ("a.act", "b.act", os.path.join("real", "c.act")):
            name = os.path.basename(output)[0]
            self.assertEqual(read(self.path(output)), act_file(reversed(entries[name])), output)
        self.assertEqual(os.stat(self.path("a.act")).st_mode & 0o7777, 0o600)
        status = os.stat(self.path("b.act"))
        self.assertEqual(status.st_mode & 0o7777, 0o640)
        if as_root:
            self.assertEqual((status.st_uid, status.st_gid), (1234, 1234))
        self.assertEqual(os.readlink(self.path("c.act")), os.path.join("real", "c.act"))
        self.assertEqual(os.readlink(self.path("d.act")), "nowhere.act")
        self.assert_folder(["a.pal", "a.act", "b.pal", "b.act", "c.pal", "c.act", "d.pal",
                            "d.act", "real"])
        self.assert_folder(["c.act"], self.path("real"))

    def test_hidden_output_stays_hidden(self):
        if not self.host.wine:
            self.skipTest("Windows attributes")
        write(self.path("a.pal"), pal_file(random_entries(75)))
        write(self.path("a.act"), b"old")
        self.assertEqual(self.host.file_tool("hide", self.full_path("a.act")).returncode, 0)

        result = self.run_cli("a.pal")

        self.assertEqual((result.code, result.out), (0, self.lines("a.pal -> a.act")))
        self.assertEqual(read(self.path("a.act")), act_file(reversed(random_entries(75))))
        attributes = self.host.file_tool("attributes", self.full_path("a.act"))
        self.assertTrue(int(attributes.stdout, 16) & 0x2, attributes.stdout)  # hidden
        self.assert_folder(["a.pal", "a.act"])

    def test_other_formats_into_and_out_of_edge_pal(self):
        colors = [bytes(entry) for entry in random_entries(70)[:16]]
        write(self.path("Sunset.GPL"), b"GIMP Palette\nName: Sunset\n# sixteen\n" + b"".join(
            b"%d %d %d\tcolour %d\n" % (c[0], c[1], c[2], i) for i, c in enumerate(colors)))
        write(self.path("ocean.pal"), pal_file(random_entries(71)))
        write(self.path("jasc.pal"), b"JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n4 5 6\r\n")

        result = self.run_cli("Sunset.GPL", "jasc.pal")
        out = self.run_cli("--to", "gpl", "ocean.pal")

        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines("Sunset.GPL -> Sunset.pal", "jasc.pal -> jasc.act"))
        # Colour i is EDGE PAL entry 255 - i; the entries the source lacks are zero.
        self.assertEqual(read(self.path("Sunset.pal")),
                         pal_file([b"\0\0\0"] * 240 + list(reversed(colors))))
        self.assertEqual(read(self.path("jasc.act")), b"\1\2\3\4\5\6" + bytes(762) + b"\0\2\xff\xff")
        self.assertEqual((out.code, out.err, out.out), (0, b"", self.lines("ocean.pal -> ocean.gpl")))
        # A palette without a name of its own is named after the output's file,
        # in UTF-8 whatever the system's code page.
        self.assertEqual(read(self.path("ocean.gpl")), b"GIMP Palette\nName: ocean\nColumns: 16\n#\n"
                         + b"".join(b"%3d %3d %3d\n" % tuple(c) for c in reversed(random_entries(71))))
        write(self.path("夕焼け.act"), act_file(random_entries(72)))
        evening = self.run_cli("--to", "gpl", "夕焼け.act")
        self.assertEqual((evening.code, evening.err), (0, b""))
        self.assertTrue(read(self.path("夕焼け.gpl")).startswith(
            "GIMP Palette\nName: 夕焼け\nColumns: 16\n".encode()))
        self.assert_folder(["Sunset.GPL", "Sunset.pal", "ocean.pal", "ocean.gpl", "jasc.pal",
                            "jasc.act", "夕焼け.act", "夕焼け.gpl"])

    def test_a_palette_that_lies_is_refused(self):
        write(self.path("bad.hex"), b"123456\r\n12345G\r\n")
        write(self.path("bad.pal"), b"kept")

        result = self.run_cli("bad.hex")

        self.assertEqual((result.code, result.out), (1, b""))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: bad.hex: line 2: a character that is not a hexadecimal digit"))
        self.assert_folder(["bad.hex", "bad.pal"])
        self.assertEqual(read(self.path("bad.pal")), b"kept")

    def test_an_output_never_replaces_its_source(self):
        jasc = b"JASC-PAL\r\n0100\r\n1\r\n1 2 3\r\n"
        write(self.path("sunset.pal"), jasc)
        os.mkdir(self.path("out"))

        refused = self.run_cli("--to", "edge", "sunset.pal")
        elsewhere = self.run_cli("--to", "edge", "-o", "out", "sunset.pal")

        self.assertEqual((refused.code, refused.out), (1, b""))
        self.assertEqual(refused.err, self.lines(
            "kolorvane-cli: sunset.pal: the output sunset.pal would replace the source itself; "
            "-o can name another folder"))
        self.assertEqual(read(self.path("sunset.pal")), jasc)
        self.assertEqual((elsewhere.code, elsewhere.err), (0, b""))
        self.assertEqual(read(self.path("out", "sunset.pal")),
                         pal_file([b"\0\0\0"] * 255 + [b"\1\2\3"]))
        self.assert_folder(["sunset.pal", "out"])

    def test_from_reads_every_file_as_the_format_named(self):
        entries = random_entries(256)
        write(self.path("raw.dat"), act_file(entries))
        write(self.path("own.pal"), act_file(entries))
        write(self.path("noext"), act_file(entries))
        write(self.path("short.dat"), act_file(entries[:20]))
        os.mkdir(self.path("out"))

        named = self.run_cli("--from", "act", "raw.dat", "noext")
        own = self.run_cli("--from=act", "own.pal")
        elsewhere = self.run_cli("--from", "act", "-o", "out", "own.pal")
        lying = self.run_cli("--from", "png", "short.dat")

        self.assertEqual((named.code, named.err), (0, b""))
        self.assertEqual(named.out, self.lines("raw.dat -> raw.pal", "noext -> noext.pal"))
        for name in ("raw.pal", "noext.pal", os.path.join("out", "own.pal")):
            self.assertEqual(read(self.path(name)), as_pal(act_file(entries)), name)
        self.assertEqual((own.code, own.out), (1, b""))
        self.assertEqual(own.err, self.lines(
            "kolorvane-cli: own.pal: the output own.pal would replace the source itself; "
            "-o can name another folder"))
        self.assertEqual(read(self.path("own.pal")), act_file(entries))
        self.assertEqual((elsewhere.code, elsewhere.err), (0, b""))
        self.assertEqual((lying.code, lying.out), (1, b""))
        self.assertEqual(lying.err, self.lines("kolorvane-cli: short.dat: not a PNG image"))
        self.assert_folder(["raw.dat", "raw.pal", "own.pal", "noext", "noext.pal", "short.dat",
                            "out"])

    # -- PNG -----------------------------------------------------------------

    def assert_images_read(self, maker, extension):
        """The images `maker` makes, NAME.EXTENSION each with NAME.expect:
        read in one run as the colours NAME.expect lists, or refused with
        its reason ("error: " and the reason)."""
        subprocess.run(maker + ["cases", self.folder], check=True, timeout=RUN_TIMEOUT)
        names = sorted(name for name in os.listdir(self.folder) if name.endswith(extension))
        stem = len(extension)
        expected = {name: read(self.path(name[:-stem] + ".expect")).decode() for name in names}
        good = [name for name in names if not expected[name].startswith("error: ")]

        result = self.run_cli("--to", "hex", *names)

        self.assertEqual(result.code, 1)
        self.assertEqual(result.out,
                         self.lines(*[n + " -> " + n[:-stem] + ".hex" for n in good]))
        self.assertEqual(result.err, self.lines(*[
            "kolorvane-cli: %s: %s" % (n, expected[n][len("error: "):].rstrip("\n"))
            for n in names if n not in good]))
        for name in good:
            self.assertEqual(read(self.path(name[:-stem] + ".hex")).decode(), expected[name],
                             name)
        self.assert_folder(names + [n[:-stem] + ".expect" for n in names] +
                           [n[:-stem] + ".hex" for n in good])

    def test_png_images_give_their_palettes(self):
        self.assert_images_read(MAKE_PNGS, ".png")

    def assert_swatches(self, path, colors):
        """An 8-bit indexed image: PLTE the colours, square i (16 x 16, 16 in
        a row) index i, the squares a last row leaves empty index 0."""
        checked = subprocess.run(["pngcheck", "-q", path], stdout=subprocess.PIPE,
                                 timeout=RUN_TIMEOUT, check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout)
        described = subprocess.run(MAKE_PNGS + ["describe", path], stdout=subprocess.PIPE,
                                   timeout=RUN_TIMEOUT, check=True)
        image = json.loads(described.stdout)
        columns = min(len(colors), 16)
        rows = (len(colors) + 15) // 16
        self.assertEqual((image["mode"], image["size"]), ("P", [16 * columns, 16 * rows]))
        self.assertEqual(image["plte"], colors)
        squares = [(y // 16) * 16 + x // 16 for y in range(16 * rows) for x in range(16 * columns)]
        self.assertEqual(image["pixels"], [i if i < len(colors) else 0 for i in squares])

    def test_png_written_is_an_indexed_image_of_squares(self):
        for count in (1, 15, 16, 17, 256):
            with self.subTest(count=count):
                colors = ["%02x%02x%02x" % tuple(e) for e in random_entries(80 + count)[:count]]
                write(self.path("p%d.hex" % count), "".join(c + "\n" for c in colors).encode())

                result = self.run_cli("--to", "png", "p%d.hex" % count)

                self.assertEqual((result.code, result.err), (0, b""))
                self.assertEqual(result.out, self.lines("p%d.hex -> p%d.png" % (count, count)))
                self.assert_swatches(self.path("p%d.png" % count), colors)
        # The README's picture is what the program writes for the sample.
        shutil.copy(os.path.join(ROOT, "examples", "sunset.pal"), self.path("sunset.pal"))
        result = self.run_cli("--to", "png", "sunset.pal")
        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(read(self.path("sunset.png")),
                         read(os.path.join(ROOT, "docs", "sunset-swatches.png")))
        # A PNG's output never replaces it, as for every format.
        refused = self.run_cli("--to", "png", "sunset.png")
        self.assertEqual((refused.code, refused.out), (1, b""))
        self.assertIn(b"would replace the source itself", refused.err)

    def run_measured(self, arguments, env=None):
        """Runs the program in the case's folder: its exit code and the most
        resident memory it had, in bytes (getrusage of the child)."""
        program = subprocess.Popen(self.host.command(arguments), cwd=self.folder, env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + RUN_TIMEOUT
            pid, status, usage = 0, 0, None
            while pid == 0 and time.monotonic() < deadline:
                pid, status, usage = os.wait4(program.pid, os.WNOHANG)
                time.sleep(0.01)
            self.assertNotEqual(pid, 0, "the program did not finish in time")
        finally:
            harness.stop_process(program)
        return os.waitstatus_to_exitcode(status), usage.ru_maxrss * 1024

    def resident_at_start(self, env=None):
        """The resident memory of a run that reads nothing: --version's."""
        code, memory = self.run_measured(["--version"], env)
        self.assertEqual(code, 0)
        return memory

    def test_a_large_png_is_read_in_little_memory(self):
        if self.host.wine:
            self.skipTest("resident memory is measured natively")
        subprocess.run(MAKE_PNGS + ["big", self.path("big.png")], check=True,
                       timeout=RUN_TIMEOUT)
        code, memory = self.run_measured(["--to", "hex", "big.png"])
        self.assertEqual(code, 0)
        self.assertLessEqual(memory, self.resident_at_start() + PROCESS_MEMORY_LIMIT)
        self.assertEqual(read(self.path("big.hex")), read(self.path("big.expect")))

    # -- BMP, PCX and TGA ----------------------------------------------------

    def test_bmp_pcx_and_tga_images_give_their_palettes(self):
        subprocess.run(MAKE_RASTER + ["cases", self.folder], check=True, timeout=RUN_TIMEOUT)
        made = sorted(os.listdir(self.folder))
        for extension in RASTERS:
            with self.subTest(extension=extension):
                names = [name for name in made if name.endswith(extension)]
                expected = {name: read(self.path(name + ".expect")).decode() for name in names}
                good = [name for name in names if not expected[name].startswith("error: ")]
                out = extension[1:]
                os.mkdir(self.path(out))

                result = self.run_cli("--to", "hex", "-o", out, *names)

                self.assertEqual(result.code, 1)
                self.assertEqual(result.out, self.lines(*[
                    n + " -> " + self.native_path(out, n[:-4] + ".hex") for n in good]))
                self.assertEqual(result.err, self.lines(*[
                    "kolorvane-cli: %s: %s" % (n, expected[n][len("error: "):].rstrip("\n"))
                    for n in names if n not in good]))
                for name in good:
                    self.assertEqual(read(self.path(out, name[:-4] + ".hex")).decode(),
                                     expected[name], name)
                self.assert_folder([n[:-4] + ".hex" for n in good], self.path(out))
        self.assert_folder(made + [e[1:] for e in RASTERS])

    def test_bmp_pcx_and_tga_written_are_indexed_images_of_squares(self):
        counts = (1, 15, 16, 17, 256)
        palettes = {}
        for count in counts:
            colors = ["%02x%02x%02x" % tuple(e) for e in random_entries(90 + count)[:count]]
            palettes[count] = colors
            write(self.path("p%d.hex" % count), "".join(c + "\n" for c in colors).encode())
        for extension in RASTERS:
            with self.subTest(extension=extension):
                result = self.run_cli("--to", extension[1:], *["p%d.hex" % c for c in counts])

                self.assertEqual((result.code, result.err), (0, b""))
                self.assertEqual(result.out, self.lines(*[
                    "p%d.hex -> p%d%s" % (c, c, extension) for c in counts]))
                for count in counts:
                    # PCX holds 256 entries, those past the palette black.
                    padding = ["000000"] * (256 - count) if extension == ".pcx" else []
                    self.assert_raster_swatches(self.path("p%d%s" % (count, extension)),
                                                extension, palettes[count] + padding, count)

    def assert_raster_swatches(self, path, extension, table, count):
        """Pillow reads an 8-bit indexed image of the format: its palette
        `table`, square i (16 x 16, 16 in a row) index i, the squares a last
        row leaves empty index 0."""
        described = subprocess.run(MAKE_RASTER + ["describe", path], stdout=subprocess.PIPE,
                                   timeout=RUN_TIMEOUT, check=True)
        image = json.loads(described.stdout)
        columns = min(count, 16)
        rows = (count + 15) // 16
        self.assertEqual((image["format"], image["mode"], image["size"]),
                         (extension[1:].upper(), "P", [16 * columns, 16 * rows]))
        self.assertEqual(image["palette"], table)
        squares = [(y // 16) * 16 + x // 16 for y in range(16 * rows) for x in range(16 * columns)]
        self.assertEqual(image["pixels"], [i if i < count else 0 for i in squares])

    def test_edge_pal_through_bmp_pcx_and_tga_and_back(self):
        # EDGE PAL into each format and back, and the palettes of images
        # Pillow made, through EDGE PAL into each format and back: the same
        # EDGE PAL, byte for byte.
        os.mkdir(self.path("pal"))
        shutil.copy(os.path.join(ROOT, "examples", "sunset.pal"), self.path("pal", "sunset.pal"))
        subprocess.run(MAKE_RASTER + ["cases", self.path("made")], check=True,
                       timeout=RUN_TIMEOUT)
        made = ["indexed-8.bmp", "rgb.pcx", "indexed.tga"]
        self.assertEqual(self.run_cli("-o", "pal", *[self.native_path("made", n) for n in made])
                         .code, 0)
        stems = ["sunset"] + [name[:-4] for name in made]
        for extension in RASTERS:
            with self.subTest(extension=extension):
                kind = extension[1:]
                back = "back-" + kind
                os.mkdir(self.path(kind))
                os.mkdir(self.path(back))

                there = self.run_cli("--to", kind, "-o", kind,
                                     *[self.native_path("pal", s + ".pal") for s in stems])
                again = self.run_cli("-o", back,
                                     *[self.native_path(kind, s + extension) for s in stems])

                self.assertEqual((there.code, there.err, again.code, again.err), (0, b"", 0, b""))
                for stem in stems:
                    self.assertEqual(read(self.path(back, stem + ".pal")),
                                     read(self.path("pal", stem + ".pal")), stem)

    # -- GIF -----------------------------------------------------------------

    def test_gif_images_give_their_palettes(self):
        self.assert_images_read(MAKE_GIFS, ".gif")

    def assert_gif_swatches(self, path, colors):
        """A GIF89a whose global table is the colours and black after them,
        a power of two entries from 2, and whose image is square i (16 x 16,
        16 in a row) of index i, the squares a last row leaves empty index
        0: as Pillow reads it, and as giflib's gifbuild does."""
        described = subprocess.run(MAKE_GIFS + ["describe", path], stdout=subprocess.PIPE,
                                   timeout=RUN_TIMEOUT, check=True)
        image = json.loads(described.stdout)
        size = 2
        while size < len(colors):
            size *= 2
        columns = min(len(colors), 16)
        rows = (len(colors) + 15) // 16
        squares = [(y // 16) * 16 + x // 16 for y in range(16 * rows) for x in range(16 * columns)]
        self.assertEqual(image["version"], "GIF89a")
        self.assertEqual(image["pillow"]["mode"], "P")
        for reader in ("pillow", "gifbuild"):
            self.assertEqual(image[reader]["size"], [16 * columns, 16 * rows], reader)
            self.assertEqual(image[reader]["table"], colors + ["000000"] * (size - len(colors)),
                             reader)
            self.assertEqual(image[reader]["pixels"],
                             [i if i < len(colors) else 0 for i in squares], reader)

    def test_gif_written_is_a_table_and_a_grid_of_squares(self):
        counts = (1, 5, 16, 17, 256)
        palettes = {}
        for count in counts:
            palettes[count] = ["%02x%02x%02x" % tuple(e) for e in random_entries(90 + count)[:count]]
            write(self.path("g%d.hex" % count), "".join(c + "\n" for c in palettes[count]).encode())

        result = self.run_cli("--to", "gif", *["g%d.hex" % count for count in counts])

        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines(*["g%d.hex -> g%d.gif" % (c, c) for c in counts]))
        for count in counts:
            with self.subTest(count=count):
                self.assert_gif_swatches(self.path("g%d.gif" % count), palettes[count])
        # The sample's GIF is the same bytes from every build, Linux's and
        # Windows': the one checked in.
        shutil.copy(os.path.join(ROOT, "examples", "sunset.pal"), self.path("sunset.pal"))
        result = self.run_cli("--to", "gif", "sunset.pal")
        self.assertEqual((result.code, result.err), (0, b""))
        expected = os.path.join(ROOT, "tests", "formats", "samples", "sunset-swatches.gif")
        self.assertEqual(read(self.path("sunset.gif")), read(expected))
        self.assert_gif_swatches(expected, [bytes(e).hex() for e in reversed(
            [read(self.path("sunset.pal"))[10 + 3 * i:13 + 3 * i] for i in range(256)])])

    def test_kpl_and_swatches_are_read_and_written_alike_on_every_system(self):
        """A .kpl and a .swatches, zip archives through libzip and XML and
        JSON through pugixml and nlohmann-json, give the same bytes from
        every build, Linux's and Windows': those checked in, which Krita
        and procreate-swatches read (tests/formats/procreate_krita_sketch.py
        checks what the writers write)."""
        for name in ("five.gpl", "five.hex"):
            shutil.copy(os.path.join(SAMPLES, name), self.path(name))
        for name in ("five.kpl", "five.swatches"):
            shutil.copy(os.path.join(SAMPLES, name), self.path("from-" + name[5:] + name[4:]))
        os.mkdir(self.path("back"))

        kpl = self.run_cli("--to", "kpl", "five.gpl")
        swatches = self.run_cli("--to", "swatches", "five.gpl")
        back = self.run_cli("--to", "hex", "-o", "back", "from-kpl.kpl", "from-swatches.swatches")

        for result in (kpl, swatches, back):
            self.assertEqual((result.code, result.err), (0, b""))
        for name in ("five.kpl", "five.swatches"):
            self.assertEqual(read(self.path(name)), read(os.path.join(SAMPLES, name)), name)
            self.assertEqual(read(self.path("back", "from-" + name[5:] + ".hex")),
                             read(self.path("five.hex")), name)

    def test_gif_round_trips_through_edge_pal(self):
        subprocess.run(MAKE_GIFS + ["cases", self.folder], check=True, timeout=RUN_TIMEOUT)
        pal = pal_file(random_entries(99))
        write(self.path("start.pal"), pal)
        os.mkdir(self.path("back"))

        there = self.run_cli("--to", "gif", "start.pal", "-o", "back")
        back = self.run_cli(self.native_path("back", "start.gif"))
        through = self.run_cli("static.gif")
        again = self.run_cli("--to", "gif", "-o", "back", "static.pal")

        for result in (there, back, through, again):
            self.assertEqual((result.code, result.err), (0, b""))
        # EDGE PAL's 256 entries make a GIF's table whole: both ways exact.
        self.assertEqual(read(self.path("back", "start.pal")), pal)
        table = read(self.path("static.expect")).decode().split()
        self.assertEqual(len(table), 256)
        described = json.loads(subprocess.run(
            MAKE_GIFS + ["describe", self.path("back", "static.gif")], stdout=subprocess.PIPE,
            timeout=RUN_TIMEOUT, check=True).stdout)
        self.assertEqual(described["gifbuild"]["table"], table)

    def test_a_gif_of_many_frames_is_read_in_little_memory(self):
        if self.host.wine:
            self.skipTest("resident memory is measured natively")
        subprocess.run(MAKE_GIFS + ["frames", self.path("frames.gif")], check=True,
                       timeout=RUN_TIMEOUT)
        # AddressSanitizer keeps freed memory (a local table a frame) in
        # quarantine for a while; the program's own use is what is measured.
        env = dict(self.host.env, ASAN_OPTIONS="quarantine_size_mb=1")
        code, memory = self.run_measured(["--to", "hex", "frames.gif"], env)
        self.assertEqual(code, 0)
        self.assertLessEqual(memory, self.resident_at_start(env) + PROCESS_MEMORY_LIMIT)
        self.assertEqual(read(self.path("frames.hex")), read(self.path("frames.expect")))

    # -- IFF images and the palettes of retro tools and games -----------------

    def test_retro_palettes_and_iff_images_give_their_palettes(self):
        RETRO.write_cases(self.folder)
        names = sorted(n for n in os.listdir(self.folder) if not n.endswith(".expect"))
        expected = {n: read(self.path(n.rsplit(".", 1)[0] + ".expect")).decode() for n in names}
        # nes and vga have no extension of their own: --from names them.
        groups = {kind: [n for n in names if n.startswith(kind + "-")] for kind in ("nes", "vga")}
        groups[None] = [n for n in names if n not in groups["nes"] + groups["vga"]]

        for kind, group in groups.items():
            with self.subTest(source=kind):
                result = self.run_cli(*(["--from", kind] if kind else []), "--to", "hex", *group)

                good = [n for n in group if not expected[n].startswith("error: ")]
                self.assertEqual(result.code, 1 if len(good) < len(group) else 0)
                self.assertEqual(result.out, self.lines(*[
                    n + " -> " + n.rsplit(".", 1)[0] + ".hex" for n in good]))
                self.assertEqual(result.err, self.lines(*[
                    "kolorvane-cli: %s: %s" % (n, expected[n][len("error: "):].rstrip("\n"))
                    for n in group if n not in good]))
                for name in good:
                    self.assertEqual(read(self.path(name.rsplit(".", 1)[0] + ".hex")).decode(),
                                     expected[name], name)

    def test_ilbm_written_is_the_swatch_grid_as_netpbm_reads_it(self):
        os.mkdir(self.path("back"))
        for count in (1, 15, 16, 17, 256):
            with self.subTest(count=count):
                colors = ["%02x%02x%02x" % tuple(e) for e in random_entries(90 + count)[:count]]
                write(self.path("p%d.hex" % count), "".join(c + "\n" for c in colors).encode())

                result = self.run_cli("--to", "ilbm", "p%d.hex" % count)
                back = self.run_cli("--to", "hex", "-o", "back", "p%d.lbm" % count)

                self.assertEqual((result.code, result.err), (0, b""))
                self.assertEqual(result.out, self.lines("p%d.hex -> p%d.lbm" % (count, count)))
                image = RETRO.ilbm_image(self.path("p%d.lbm" % count))
                columns, rows = min(count, 16), (count + 15) // 16
                self.assertEqual(image["size"], [16 * columns, 16 * rows])
                self.assertEqual(image["cmap"], colors)
                squares = [(y // 16) * 16 + x // 16
                           for y in range(16 * rows) for x in range(16 * columns)]
                self.assertEqual(image["pixels"], [colors[i if i < count else 0] for i in squares])
                self.assertEqual((back.code, back.err), (0, b""))
                self.assertEqual(read(self.path("back", "p%d.hex" % count)),
                                 read(self.path("p%d.hex" % count)))

    def test_edge_pal_through_each_retro_format_and_back(self):
        entries = random_entries(95)
        write(self.path("sunset.pal"), pal_file(entries))
        os.mkdir(self.path("back"))
        colors = list(reversed(entries))  # colour i is EDGE PAL entry 255 - i
        table = b"".join(bytes(c) for c in colors)
        # The layouts' own bytes: Animator Pro's header, then the table;
        # Quake's palette.lmp, the table alone.
        layouts = {"col": struct.pack("<IHH", 776, 0xB123, 0) + table, "lmp": table, "ilbm": None}
        for target, layout in layouts.items():
            with self.subTest(target=target):
                extension = FORMATS[target]
                result = self.run_cli("--to", target, "sunset.pal")
                back = self.run_cli("--to", "edge", "-o", "back", "sunset" + extension)

                self.assertEqual((result.code, result.err, back.code, back.err), (0, b"", 0, b""))
                if layout is not None:
                    self.assertEqual(read(self.path("sunset" + extension)), layout)
                self.assertEqual(read(self.path("back", "sunset.pal")), pal_file(entries))

    def test_a_wad_far_larger_than_any_whole_read_gives_its_palette(self):
        # Past every limit of a whole read (1 MiB, an image's 64 MiB), sparse.
        colors = ["%02x%02x%02x" % tuple(e) for e in random_entries(96)]
        RETRO.large_wad(self.path("doom2.wad"), 200 * 1024 * 1024, colors)

        result = self.run_cli("--to", "hex", "doom2.wad")

        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(read(self.path("doom2.hex")).decode(), "".join(c + "\n" for c in colors))

    def test_a_wad_through_a_pipe(self):
        if self.host.wine:
            self.skipTest("a POSIX FIFO")
        RETRO.write_cases(self.path("cases"))
        cases = {"add-on.wad": None,  # the directory before PLAYPAL: read on
                 "doom.wad": "offset 445: the palette is before what was read already, "
                             "and a pipe cannot go back; read the file itself"}
        for name, problem in cases.items():
            with self.subTest(name=name):
                data = read(self.path("cases", name))
                self.assertLess(len(data), 65536, "the pipe holds it whole")
                fifo = self.path("pipe.wad")
                os.mkfifo(fifo)
                program = subprocess.Popen(self.host.command(["--to", "hex", "pipe.wad"]),
                                           cwd=self.folder, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                try:
                    # Opened once the program has it open to read.
                    deadline = time.monotonic() + RUN_TIMEOUT
                    descriptor = None
                    while descriptor is None and time.monotonic() < deadline:
                        try:
                            descriptor = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
                        except OSError:
                            time.sleep(0.01)
                    self.assertIsNotNone(descriptor, "the program never opened the pipe")
                    os.write(descriptor, data)
                    os.close(descriptor)
                    out, err = program.communicate(timeout=RUN_TIMEOUT)
                finally:
                    harness.stop_process(program)
                    os.remove(fifo)
                if problem is None:
                    self.assertEqual((program.returncode, err), (0, b""))
                    self.assertEqual(read(self.path("pipe.hex")),
                                     read(self.path("cases", "add-on.expect")))
                    os.remove(self.path("pipe.hex"))
                else:
                    self.assertEqual(program.returncode, 1)
                    self.assertEqual(err, self.lines("kolorvane-cli: pipe.wad: " + problem))

    def test_a_nes_palette_saved_as_pal_is_read_with_from_and_o(self):
        colors = random_entries(97)[:64]
        write(self.path("smb.pal"), b"".join(bytes(c) for c in colors))
        os.mkdir(self.path("out"))

        own = self.run_cli("--from", "nes", "smb.pal")
        elsewhere = self.run_cli("--from", "nes", "-o", "out", "smb.pal")

        self.assertEqual((own.code, own.out), (1, b""))
        self.assertEqual(own.err, self.lines(
            "kolorvane-cli: smb.pal: the output smb.pal would replace the source itself; "
            "-o can name another folder"))
        self.assertEqual((elsewhere.code, elsewhere.err), (0, b""))
        self.assertEqual(read(self.path("out", "smb.pal")),
                         pal_file([b"\0\0\0"] * 192 + [bytes(c) for c in reversed(colors)]))

    # -- options -------------------------------------------------------------

    # -- CMYK and Lab ----------------------------------------------------------

    def test_cmyk_and_lab_swatches_convert_as_littlecms_does(self):
        """The colours are transicc's, LittleCMS's own tool, through the same
        profile, so the program gives the same bytes on every system."""
        inks = [(1, 0, 0, 0), (0, 0, 0, 1), (0, 0.35, 0.15, 0), (0.2, 0.4, 0.6, 0.1)]
        labs = [(0.5, 50, 50), (0.3, 20, -60), (0.75, -40, 20)]
        blocks = [("CMYK", ink) for ink in inks] + [("LAB ", lab) for lab in labs]
        write(self.path("swatches.ase"), ase_file(blocks))
        levels = (transicc(["-b", "-i" + CONFIG["cmyk_profile"]],
                           [[f32(v) * 100 for v in ink] for ink in inks]) +
                  transicc(["-i*Lab"], [[f32(lab[0]) * 100, lab[1], lab[2]] for lab in labs]))
        for color in levels:
            # Bytes that a print's last digits could not decide would not prove
            # the same bytes.
            self.assertFalse(any(0 <= v <= 255 and abs(v % 1 - 0.5) < 0.002 for v in color), color)
        colors = [bytes(min(255, max(0, int(v + 0.5))) for v in color) for color in levels]

        result = self.run_cli("swatches.ase")
        quiet = self.run_cli("-q", "--to", "act", "swatches.ase")

        self.assertEqual((result.code, result.out), (0, self.lines("swatches.ase -> swatches.pal")))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: swatches.ase: 7 colours converted to sRGB: 4 CMYK through "
            "\"ISO Coated v2 300% (basICColor)\", 3 Lab; 1 outside sRGB, clipped"))
        self.assertEqual(read(self.path("swatches.pal")),
                         pal_file([b"\0\0\0"] * 249 + list(reversed(colors))))
        self.assertEqual((quiet.code, quiet.out, quiet.err), (0, b"", b""))
        self.assertEqual(read(self.path("swatches.act")),
                         b"".join(colors).ljust(768, b"\0") + b"\0\7\xff\xff")

    def test_colour_books_and_office_palettes_are_read_and_cmyk_kept(self):
        """The samples of an Adobe colour book, a LibreOffice palette and
        Scribus swatches, and a CMYK swatch written to .aco in its space,
        with the same bytes on every system."""
        for sample, name in (("five.acb", "book.acb"), ("named-five.soc", "office.soc"),
                             ("named-five.xml", "scribus.xml")):
            shutil.copy(os.path.join(SAMPLES, sample), self.path(name))
        ink = (0.2, 0.4, 0.6, 0.1)
        write(self.path("ink.ase"), ase_file([("CMYK", ink)]))

        result = self.run_cli("--to", "gpl", "book.acb", "office.soc", "scribus.xml")
        kept = self.run_cli("--to", "aco", "ink.ase")

        self.assertEqual((result.code, result.err), (0, b""))
        for name, title, names in (("book", "Five", ["Five %s C" % n for n in FIVE_NAMES]),
                                   ("office", "office", FIVE_NAMES),
                                   ("scribus", "Five \u4e94", FIVE_NAMES)):
            expected = ("GIMP Palette\nName: %s\nColumns: 16\n#\n" % title + "".join(
                "%3d %3d %3d\t%s\n" % (c + (n,)) for c, n in zip(FIVE, names))).encode()
            self.assertEqual(read(self.path(name + ".gpl")), expected, name)
        # Nothing converted: the inks as .aco holds them, 0 being full ink.
        self.assertEqual((kept.code, kept.err), (0, b""))
        inks = [65535 - round(f32(v) * 65535) for v in ink]
        self.assertEqual(read(self.path("ink.aco"))[:14], struct.pack(">7H", 1, 1, 2, *inks))

    def test_a_cmyk_profile_that_cannot_be_used_is_a_usage_error(self):
        write(self.path("a.ase"), ase_file([("CMYK", (0, 0, 0, 1))]))
        write(self.path("text.icc"), b"not a profile\n" * 40)
        shutil.copy(CONFIG["rgb_profile"], self.path("srgb.icc"))
        shutil.copy(CONFIG["cmyk_profile"], self.path("iso.icc"))
        names = ["a.ase", "text.icc", "srgb.icc", "iso.icc"]
        cases = [("none.icc", "no such file"), ("text.icc", "not an ICC profile"),
                 ("srgb.icc", "not a CMYK profile: its colours are RGB")]
        for profile, problem in cases:
            with self.subTest(profile=profile):
                self.assert_usage_error(self.run_cli("a.ase", "--cmyk-profile", profile),
                                        "--cmyk-profile %s: %s" % (profile, problem))
                self.assert_folder(names)
        if self.host.wine:
            # Never the look-alike file the code page would make of the name.
            shutil.copy(CONFIG["cmyk_profile"], self.path("cafe.icc"))
            self.assert_usage_error(
                self.run_cli("--cmyk-profile=caf\u00e9.icc", "a.ase"),
                "--cmyk-profile caf?.icc: the name has characters the system's code page "
                "cannot spell")
            os.remove(self.path("cafe.icc"))
        # A profile given by its full path is read as any file is.
        result = self.run_cli("--cmyk-profile=" + self.full_path("iso.icc"), "--to", "hex", "a.ase")
        self.assertEqual((result.code, result.out), (0, self.lines("a.ase -> a.hex")))
        self.assertEqual(read(self.path("a.hex")), b"181715\n")  # 24, 23, 21

    # -- palettes past 256 colours -------------------------------------------

    def large_gpl(self, name, count, seed=1):
        """A GIMP palette of `count` distinct named colours, written at
        `name`; its colours and names."""
        colors, names = LAYOUTS.many(count, seed)
        write(self.path(name), LAYOUTS.gpl(colors, "large", names))
        return colors, names

    def assert_same_swatches(self, found, expected, what):
        """Long lists compared without a diff of them all: the first that differs."""
        if found != expected:
            at = next((i for i, pair in enumerate(zip(found, expected)) if pair[0] != pair[1]),
                      min(len(found), len(expected)))
            self.fail("%s: %d swatches against %d, first differing at %d: %r against %r" % (
                what, len(found), len(expected), at, found[at:at + 1], expected[at:at + 1]))

    def test_large_palettes_through_every_pair_of_formats_and_back(self):
        if self.host.wine:
            self.skipTest("the same code as natively; the .ase case below runs under Wine")
        for count, formats in [(257, LARGE + GRIDS), (1000, LARGE + GRIDS), (65535, LARGE)]:
            with self.subTest(count=count):
                top = "c%d" % count
                for folder in ("first",) + formats + tuple("back-" + f for f in formats):
                    os.makedirs(self.path(top, folder))
                colors, names = self.large_gpl(os.path.join(top, "large.gpl"), count)
                # Each format from the GIMP palette, each of those into each
                # format, and those back into GIMP palettes: one run a step.
                for first in formats:
                    shutil.copy(self.path(top, "large.gpl"), self.path(top, first + ".gpl"))
                    self.assertEqual(self.run_cli("-q", "--to", first, "-o", top + "/first",
                                                  top + "/" + first + ".gpl").code, 0, first)
                firsts = sorted(os.listdir(self.path(top, "first")))
                for second in formats:
                    went = self.run_cli("-q", "--to", second, "-o", top + "/" + second,
                                        *[top + "/first/" + n for n in firsts])
                    back = self.run_cli("-q", "--to", "gpl", "-o", top + "/back-" + second,
                                        *[top + "/" + second + "/" + n
                                          for n in sorted(os.listdir(self.path(top, second)))])
                    self.assertEqual((went.code, went.err, back.code, back.err),
                                     (0, b"", 0, b""), second)
                    for first in formats:
                        swatches = gpl_swatches(read(self.path(top, "back-" + second,
                                                               first + ".gpl")))
                        expected = list(zip(colors, kept_names(first, second, colors, names)))
                        self.assert_same_swatches(swatches, expected, (first, second))

    def test_a_palette_larger_than_the_format_is_refused_or_truncated(self):
        cases = [(257, t) for t in SMALL] + [(97, "paintnet")] + [(16385, t) for t in GRIDS]
        # Under Wine the two the window knows; the others are the same code.
        for count, target in cases[:2] if self.host.wine else cases:
            with self.subTest(target=target):
                folder = "to-" + target
                output = os.path.join(folder, "large" + FORMATS[target])
                for made in (folder, "quiet", "alone"):
                    os.makedirs(self.path(made), exist_ok=True)
                colors, names = self.large_gpl("large.gpl", count)
                write(self.path(output), b"kept")
                capacity = count - 1
                line = "kolorvane-cli: large.gpl: %d colours; %s holds %d" % (
                    count, CAPACITY_TITLES[target], capacity)

                refused = self.run_cli("--to", target, "-o", folder, "large.gpl")
                kept = read(self.path(output))
                truncated = self.run_cli("--truncate", "--to", target, "-o", folder, "large.gpl")
                quiet = self.run_cli("-q", "--truncate", "--to", target, "-o", "quiet",
                                     "large.gpl")
                # The first colours alone, converted as any palette is.
                self.large_gpl("first.gpl", capacity)
                alone = self.run_cli("-q", "--to", target, "-o", "alone", "first.gpl")

                self.assertEqual((refused.code, refused.out, kept), (1, b"", b"kept"))
                self.assertEqual(refused.err, self.lines(
                    line + " (--truncate keeps the first %d)" % capacity))
                self.assert_folder(["large" + FORMATS[target]], self.path(folder))
                self.assertEqual(truncated.code, 0)
                self.assertEqual(truncated.out, self.lines(
                    "large.gpl -> " + self.native_path(folder, "large" + FORMATS[target])))
                self.assertEqual(truncated.err, self.lines(
                    "kolorvane-cli: large.gpl: 1 of %d colours left out; %s holds %d" % (
                        count, CAPACITY_TITLES[target], capacity)))
                self.assertEqual((quiet.code, quiet.out, quiet.err), (0, b"", b""))
                self.assertEqual(alone.code, 0)
                written = read(self.path(output))
                self.assertEqual(written, read(self.path("alone", "first" + FORMATS[target])))
                self.assertEqual(written, read(self.path("quiet", "large" + FORMATS[target])))
                if target == "edge":
                    self.assertEqual(edge_colors(written), colors[:256])

    def test_a_source_of_more_than_65535_colours_is_refused(self):
        colors = [(i >> 8, i & 0xFF, 7 * i & 0xFF) for i in range(65536)]
        blocks = [LAYOUTS.ase_color("", b"RGB ", [v / 255 for v in c]) for c in colors]
        sources = {
            "gpl.gpl": (LAYOUTS.gpl(colors, "many"), "line 65540"),
            "hex.hex": (LAYOUTS.hex_lines(colors), "line 65536"),
            "paintnet.txt": (LAYOUTS.paintnet(colors), "line 65538"),
            "jasc.pal": (LAYOUTS.jasc(colors), "line 3"),
            "ase.ase": (LAYOUTS.ase(blocks), "offset %d" % (12 + sum(map(len, blocks[:-1])))),
        }
        os.mkdir(self.path("out"))
        for name, (data, _) in sources.items():
            write(self.path(name), data)
            write(self.path("out", name[:-4] + ".aco"), b"kept")

        result = self.run_cli("--to", "aco", "-o", "out", *sources)

        self.assertEqual((result.code, result.out), (1, b""))
        self.assertEqual(result.err, self.lines(*[
            "kolorvane-cli: %s: %s: more than 65535 colours" % (n, w)
            for n, (_, w) in sources.items()]))
        self.assert_folder([n[:-4] + ".aco" for n in sources], self.path("out"))
        for name in sources:
            self.assertEqual(read(self.path("out", name[:-4] + ".aco")), b"kept", name)

    def test_a_palette_only_iff_form_gives_its_cmap(self):
        colors = LAYOUTS.many(40, 3)[0]
        only = LAYOUTS.iff_form(b"ILBM", [LAYOUTS.bmhd(0, 0, 8), LAYOUTS.cmap(colors)])
        body = LAYOUTS.iff_form(b"ILBM", [LAYOUTS.bmhd(0, 0, 8), LAYOUTS.cmap(colors),
                                          LAYOUTS.iff_chunk(b"BODY", bytes(8))])
        write(self.path("only.iff"), only)
        write(self.path("body.iff"), body)

        result = self.run_cli("--to", "hex", "only.iff", "body.iff")

        self.assertEqual((result.code, result.out), (1, self.lines("only.iff -> only.hex")))
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: body.iff: the width or height is 0 or more than 16384 pixels"))
        self.assertEqual(read(self.path("only.hex")), LAYOUTS.hex_lines(colors))
        if not self.host.wine:
            self.assertEqual(RETRO.cmap_of(only), colors)  # netpbm reads the same CMAP

    def test_gimps_own_palettes_through_gpl_ase_and_aco_and_back(self):
        if self.host.wine:
            self.skipTest("GIMP's palettes are on this system")
        stock = sorted(n for n in os.listdir(GIMP_PALETTES) if n.endswith(".gpl"))
        self.assertGreater(len(stock), 30)
        for name in stock:
            shutil.copy(os.path.join(GIMP_PALETTES, name), self.path(name))
        for folder in ("gpl", "ase", "aco", "back-ase", "back-aco"):
            os.mkdir(self.path(folder))
        written = self.run_cli("-q", "--to", "gpl", "-o", "gpl", *stock)
        self.assertEqual((written.code, written.err), (0, b""))
        for name in stock:
            self.assert_same_swatches(gpl_swatches(read(self.path("gpl", name))),
                                      stock_swatches(read(self.path(name))), name)
        for via in ("ase", "aco"):
            with self.subTest(via=via):
                went = self.run_cli("-q", "--to", via, "-o", via, *stock)
                back = self.run_cli("-q", "--to", "gpl", "-o", "back-" + via,
                                    *[via + "/" + n[:-4] + "." + via for n in stock])

                self.assertEqual((went.code, went.err, back.code, back.err), (0, b"", 0, b""))
                for name in stock:
                    colors, names = zip(*gpl_swatches(read(self.path("gpl", name))))
                    # .ase names a colour without a name by its numbers.
                    named = [n or kept_names("hex", via, [c], [n])[0]
                             for c, n in zip(colors, names)]
                    self.assert_same_swatches(gpl_swatches(read(self.path("back-" + via, name))),
                                              list(zip(colors, named)), (via, name))

    def test_a_large_ase_to_gpl_and_refused_as_act(self):
        colors, names = LAYOUTS.many(1000, 5)
        write(self.path("large.ase"), LAYOUTS.ase([
            LAYOUTS.ase_color(n, b"RGB ", [v / 255 for v in c]) for c, n in zip(colors, names)]))
        write(self.path("large.act"), b"kept")

        converted = self.run_cli("--to", "gpl", "large.ase")
        refused = self.run_cli("--to", "act", "large.ase")

        self.assertEqual((converted.code, converted.out, converted.err),
                         (0, self.lines("large.ase -> large.gpl"), b""))
        # Byte for byte what the Linux build writes, under Wine as natively.
        self.assertEqual(read(self.path("large.gpl")), LAYOUTS.gpl(colors, "large", names))
        self.assertEqual((refused.code, refused.out), (1, b""))
        self.assertEqual(refused.err, self.lines(
            "kolorvane-cli: large.ase: 1000 colours; an Adobe colour table holds 256"
            " (--truncate keeps the first 256)"))
        self.assertEqual(read(self.path("large.act")), b"kept")

    def test_output_dir(self):
        os.mkdir(self.path("src"))
        write(self.path("src", "a.pal"), pal_file(random_entries(13)))
        write(self.path("src", "b.act"), act_file(random_entries(14)))
        a = self.native_path("src", "a.pal")
        b = self.native_path("src", "b.act")
        sep = self.host.separator
        spellings = [
            (["-o", "out"], "out" + sep),
            (["-oout"], "out" + sep),
            (["--output-dir", "out"], "out" + sep),
            (["--output-dir=out"], "out" + sep),
            (["-o", "out/"], "out/"),  # a folder given with its separator keeps it
            (["-qo", "out"], None),
        ]
        if self.host.wine:
            spellings.append((["-o", "out\\"], "out\\"))
        for options, shown in spellings:
            with self.subTest(options=options):
                shutil.rmtree(self.path("out"), ignore_errors=True)
                os.mkdir(self.path("out"))

                result = self.run_cli(a, *options, b)

                self.assertEqual((result.code, result.err), (0, b""))
                expected = b"" if shown is None else self.lines(a + " -> " + shown + "a.act",
                                                                 b + " -> " + shown + "b.pal")
                self.assertEqual(result.out, expected)
                self.assertEqual(read(self.path("out", "a.act")),
                                 act_file(reversed(random_entries(13))))
                self.assertEqual(read(self.path("out", "b.pal")),
                                 pal_file(reversed(random_entries(14))))
                self.assert_folder(["a.act", "b.pal"], self.path("out"))
                self.assert_folder(["a.pal", "b.act"], self.path("src"))

    def test_output_dir_that_does_not_exist(self):
        write(self.path("a.pal"), pal_file(random_entries(15)))

        result = self.run_cli("-o", "nowhere", "a.pal")

        self.assertEqual((result.code, result.out), (1, b""))
        prefix = ("kolorvane-cli: a.pal: cannot write nowhere%sa.act: "
                  % self.host.separator).encode(self.host.encoding)
        self.assertTrue(result.err.startswith(prefix), result.err)
        self.assert_folder(["a.pal"])

    def test_no_clobber(self):
        write(self.path("a.pal"), pal_file(random_entries(16)))
        write(self.path("a.act"), b"older")
        write(self.path("b.act"), act_file(random_entries(17)))
        write(self.path("c.pal"), pal_file(random_entries(18)))
        os.mkdir(self.path("c.act"))

        result = self.run_cli("-n", "a.pal", "b.act", "c.pal")

        self.assertEqual(result.code, 0)
        self.assertEqual(result.out, self.lines("b.act -> b.pal"))
        self.assertEqual(result.err, self.lines("kolorvane-cli: a.pal: a.act exists, left alone",
                                                "kolorvane-cli: c.pal: c.act exists, left alone"))
        self.assertEqual(read(self.path("a.act")), b"older")
        self.assertEqual(read(self.path("b.pal")), pal_file(reversed(random_entries(17))))
        self.assert_folder(["a.pal", "a.act", "b.act", "b.pal", "c.pal", "c.act"])
        self.assert_folder([], self.path("c.act"))

        # Quiet as well: nothing to say, the older file still kept.
        result = self.run_cli("--no-clobber", "--quiet", "a.pal")
        self.assertEqual((result.code, result.out, result.err), (0, b"", b""))
        self.assertEqual(read(self.path("a.act")), b"older")

    def test_quiet_prints_errors_only(self):
        write(self.path("a.pal"), pal_file(random_entries(19)))
        for option in ("-q", "--quiet"):
            with self.subTest(option=option):
                result = self.run_cli(option, "a.pal", "gone.act")
                self.assertEqual((result.code, result.out), (1, b""))
                self.assertEqual(result.err, self.lines("kolorvane-cli: gone.act: no such file"))
                self.assertEqual(read(self.path("a.act")), act_file(reversed(random_entries(19))))

    def test_usage_errors_convert_nothing(self):
        write(self.path("a.pal"), pal_file(random_entries(20)))
        cases = [
            (["-x", "a.pal"], "unknown option '-x'"),
            (["a.pal", "-nqz"], "unknown option '-z'"),
            (["--bogus", "a.pal"], "unknown option '--bogus'"),
            (["--no-clob", "a.pal"], "unknown option '--no-clob'"),  # no abbreviations
            (["--quiet=yes", "a.pal"], "option '--quiet' takes no value"),
            (["a.pal", "-o"], "option '-o' needs a folder"),
            (["a.pal", "--output-dir"], "option '--output-dir' needs a folder"),
            (["--output-dir=", "a.pal"], "option '--output-dir' was given an empty folder name"),
            (["--to", "bogus", "a.pal"], "unknown format 'bogus'"),
            (["--from=bogus", "a.pal"], "unknown format 'bogus'"),
            (["a.pal", "--to"], "option '--to' needs a format"),
            ([], "no FILE given"),
            (["-q", "-o", "out"], "no FILE given"),
        ]
        for arguments, problem in cases:
            with self.subTest(arguments=arguments):
                self.assert_usage_error(self.run_cli(*arguments), problem)
                self.assert_folder(["a.pal"])

    def test_help_and_version(self):
        write(self.path("a.pal"), pal_file(random_entries(21)))
        for arguments in (["--help"], ["-h"], ["a.pal", "--help"]):
            with self.subTest(arguments=arguments):
                result = self.run_cli(*arguments)
                self.assertEqual((result.code, result.err), (0, b""))
                text = result.out.decode(self.host.encoding)
                self.assertTrue(text.startswith("Usage: kolorvane-cli [OPTIONS] FILE..."))
                for option in ("--to", "--from", "--show", "--output-dir", "--no-clobber",
                               "--quiet", "--help", "--version"):
                    self.assertIn(option, text)
                listed = [line.split()[:2] for line in text.splitlines() if line.startswith("  ")]
                for name, extension in FORMATS.items():
                    self.assertIn([name, extension], listed)
                self.assertTrue(all(line.endswith(self.host.newline)
                                    for line in result.out.splitlines(keepends=True)))
                self.assert_folder(["a.pal"])
        result = self.run_cli("--version")
        self.assertEqual((result.code, result.err), (0, b""))
        with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as licence:
            text = licence.read()
        self.assertTrue(text.startswith("MIT License\n"))
        copyright_line = next(line for line in text.splitlines() if line.startswith("Copyright"))
        self.assertRegex(copyright_line, r"^Copyright \(c\) [0-9]{4}(-[0-9]{4})? The Kolorvane authors$")
        self.assertEqual(result.out, self.lines(
            "kolorvane-cli (Kolorvane) " + CONFIG["version"],
            copyright_line,
            "License MIT: <https://opensource.org/license/mit>.",
            "This is free software: you are free to change and redistribute it.",
            "There is NO WARRANTY, to the extent permitted by law."))

    def test_double_dash_ends_the_options(self):
        write(self.path("-n.pal"), pal_file(random_entries(22)))
        write(self.path("--x.act"), act_file(random_entries(23)))

        result = self.run_cli("--", "-n.pal", "--x.act", "-")

        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, self.lines("-n.pal -> -n.act", "--x.act -> --x.pal"))
        self.assertEqual(result.err, self.lines("kolorvane-cli: -: " + NOT_A_PALETTE))
        self.assertEqual(read(self.path("-n.act")), act_file(reversed(random_entries(22))))
        self.assert_folder(["-n.pal", "-n.act", "--x.act", "--x.pal"])

    # -- paths ---------------------------------------------------------------

    def test_double_byte_names(self):
        # ソ, 表 and 能 end in 5C, the backslash, in code page 932: the
        # output must land beside the source, named after it, all the same.
        os.mkdir(self.path("表示"))
        write(self.path("表示", "ソ能.pal"), pal_file(random_entries(24)))
        write(self.path("表示", "表.act"), act_file(random_entries(25)))
        first = self.native_path("表示", "ソ能.pal")
        second = self.full_path("表示", "表.act")

        result = self.run_cli(first, second, "-o", "表示")

        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines(
            first + " -> " + self.native_path("表示", "ソ能.act"),
            second + " -> " + self.native_path("表示", "表.pal")))
        self.assertEqual(read(self.path("表示", "ソ能.act")), act_file(reversed(random_entries(24))))
        self.assertEqual(read(self.path("表示", "表.pal")), pal_file(reversed(random_entries(25))))
        self.assert_folder(["表示"])
        self.assert_folder(["ソ能.pal", "ソ能.act", "表.act", "表.pal"], self.path("表示"))

        # Beside the source, without -o.
        os.remove(self.path("表示", "ソ能.act"))
        result = self.run_cli(first)
        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines(first + " -> "
                                                + self.native_path("表示", "ソ能.act")))
        self.assertEqual(read(self.path("表示", "ソ能.act")), act_file(reversed(random_entries(24))))

    def test_paths_of_the_platform(self):
        os.makedirs(self.path("one", "two"))
        # The path given, where the source is under the case's folder, and
        # the output's path as the program names it.
        cases = [
            ("./a.pal", "a.pal", "./a.act"),
            (self.full_path("one", "b.act"), "one/b.act", self.full_path("one", "b.pal")),
        ]
        if self.host.wine:
            cases += [
                ("one/two\\c.pal", "one/two/c.pal", "one/two\\c.act"),
                ("one\\two/d.act", "one/two/d.act", "one\\two/d.pal"),
                ("Z:" + self.path("one", "e.pal"), "one/e.pal", "Z:" + self.path("one", "e.act")),
            ]
        else:
            # A backslash is an ordinary byte of a name here.
            cases += [
                ("one//two/c.pal", "one/two/c.pal", "one//two/c.act"),
                ("one/two\\d.act", "one/two\\d.act", "one/two\\d.pal"),
            ]
        for index, (given, where, shown) in enumerate(cases):
            with self.subTest(path=given):
                is_pal = given.endswith(".pal")
                data = (pal_file if is_pal else act_file)(random_entries(30 + index))
                write(self.path(where), data)

                result = self.run_cli(given)

                self.assertEqual((result.code, result.err), (0, b""))
                self.assertEqual(result.out, self.lines(given + " -> " + shown))
                output = self.path(where[:-4] + (".act" if is_pal else ".pal"))
                self.assertEqual(read(output), as_act(data) if is_pal else as_pal(data))

    def test_wildcards(self):
        write(self.path("a.pal"), pal_file(random_entries(50)))
        write(self.path("b.pal"), pal_file(random_entries(51)))
        write(self.path("c.act"), act_file(random_entries(52)))

        result = self.run_cli("*.pal", "none*.act")

        self.assertEqual(result.code, 1)
        if self.host.wine:
            # cmd.exe leaves the expansion to the program, whose C runtime
            # does it; a pattern that matches nothing stays as it is.
            self.assertEqual(sorted(result.out.splitlines(keepends=True)),
                             sorted(self.lines("a.pal -> a.act", "b.pal -> b.act")
                                    .splitlines(keepends=True)))
            self.assertTrue(result.err.startswith(b"kolorvane-cli: none*.act: "), result.err)
            self.assert_folder(["a.pal", "a.act", "b.pal", "b.act", "c.act"])
        else:
            # A POSIX shell expands them; to the program they are names.
            self.assertEqual(result.out, b"")
            self.assertEqual(result.err, self.lines("kolorvane-cli: *.pal: no such file",
                                                    "kolorvane-cli: none*.act: no such file"))
            self.assert_folder(["a.pal", "b.pal", "c.act"])

    def test_path_too_long_is_refused_not_cut(self):
        # Cut to the bytes that fit, the path would name another file.
        folder = self.native_path(*(["d" * 60] * 5))
        os.makedirs(self.path(*(["d" * 60] * 5)))
        long_name = folder + self.host.separator + "cut.pal.act"
        self.assertGreater(len(long_name), 259)
        write(self.path(*(["d" * 60] * 5), "cut.pal.act"), act_file(random_entries(40)))

        result = self.run_cli(long_name)

        self.assertEqual((result.code, result.out), (1, b""))
        self.assertEqual(result.err, self.lines("kolorvane-cli: " + long_name
                                                + ": the path is too long"))
        self.assert_folder(["cut.pal.act"], self.path(*(["d" * 60] * 5)))

    # -- --show --------------------------------------------------------------

    def run_in_terminal(self, *arguments, env=None):
        """Runs the program with a pseudo-terminal for its standard input and
        output (Wine gives a program there a console), in the case's folder;
        its exit status and what the terminal received, line ends as "\\n"
        and, under Wine, without the console's cursor escapes. Standard error
        goes to a file."""
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", *TERMINAL_SIZE, 0, 0))
        err_path = os.path.join(self.streams, "stderr")
        encoded = [a.encode("utf-8") for a in arguments]
        received = b""
        try:
            with open(err_path, "wb") as err:
                program = subprocess.Popen(self.host.command(encoded), cwd=self.folder,
                                           env=env or self.host.env, stdin=slave, stdout=slave,
                                           stderr=err)
            os.close(slave)
            slave = None
            deadline = time.monotonic() + RUN_TIMEOUT
            try:
                while time.monotonic() < deadline:
                    ready, _, _ = select.select([master], [], [], 0.2)
                    chunk = b""
                    if ready:
                        try:
                            chunk = os.read(master, 65536)
                        except OSError:  # the terminal's last holder is gone
                            pass
                    received += chunk
                    if not chunk and program.poll() is not None:
                        break
                code = program.wait(timeout=RUN_TIMEOUT)
            finally:
                harness.stop_process(program)
        finally:
            if slave is not None:
                os.close(slave)
            os.close(master)
        received = WINE_CURSOR.sub(b"", received).replace(b"\r", b"")
        return Result(code, received, read(err_path))

    def terminal_env(self, **values):
        """The host's environment for a colour terminal, with `values` set."""
        env = {k: v for k, v in self.host.env.items() if k not in ("NO_COLOR", "TERM")}
        env["TERM"] = "xterm-256color"
        env.update(values)
        return env

    def write_show_sources(self):
        """Palettes of several formats, and what each lists, piped."""
        sunset = read(os.path.join(ROOT, "examples", "sunset.pal"))
        write(self.path("夕焼け.gpl"), HOSTILE_GPL)
        write(self.path("sunset.pal"), sunset)
        shutil.copy(os.path.join(ROOT, "docs", "sunset-swatches.png"), self.path("swatches.png"))
        shutil.copy(os.path.join(SAMPLES, "named-five.ase"), self.path("five.ase"))
        write(self.path("short.act"), bytes(range(9)) + bytes(759) + b"\x00\x03\xff\xff")
        write(self.path("jasc.pal"), b"JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n250 251 252\r\n")
        return {
            "夕焼け.gpl": listed("夕焼け.gpl", "GIMP palette", HOSTILE_COLORS, HOSTILE_NAMES,
                                HOSTILE_TITLE),
            "sunset.pal": listed("sunset.pal", "EDGE PAL", edge_colors(sunset)),
            # The README's picture of that palette holds the same colours.
            "swatches.png": listed("swatches.png", "PNG image", edge_colors(sunset)),
            "five.ase": listed("five.ase", "Adobe Swatch Exchange file", FIVE, FIVE_NAMES),
            "short.act": listed("short.act", "Adobe colour table", [(0, 1, 2), (3, 4, 5), (6, 7, 8)]),
            "jasc.pal": listed("jasc.pal", "JASC-PAL palette", [(1, 2, 3), (250, 251, 252)]),
        }

    def test_show_piped_lists_each_palette_and_writes_nothing(self):
        expected = self.write_show_sources()
        write(self.path("bad.hex"), b"123456\n12345G\n")
        os.mkdir(self.path("folder.pal"))
        before = sorted(os.listdir(self.folder))

        result = self.run_cli("--show", "夕焼け.gpl", "bad.hex", "sunset.pal", "missing.pal",
                              "swatches.png", "five.ase", "folder.pal", "short.act", "jasc.pal")
        raw = self.run_cli("--show", "--from", "act", "jasc.pal")

        # The listing is UTF-8 on every system, the FILE's name included.
        self.assertEqual(result.out, self.lines(*[line for name in expected
                                                  for line in expected[name]], encoding="utf-8"))
        self.assertEqual(result.code, 1)
        self.assertEqual(result.err, self.lines(
            "kolorvane-cli: bad.hex: line 2: a character that is not a hexadecimal digit",
            "kolorvane-cli: missing.pal: no such file",
            "kolorvane-cli: folder.pal: is a folder, not a file"))
        self.assertEqual((raw.code, raw.err), (0, b""))
        jasc = read(self.path("jasc.pal")).ljust(768, b"\0")
        self.assertEqual(raw.out, self.lines(*listed("jasc.pal", "Adobe colour table", [
            tuple(jasc[3 * i:3 * i + 3]) for i in range(256)]), encoding="utf-8"))
        self.assert_folder(before)

    def test_show_in_a_terminal_draws_swatches(self):
        if self.host.wine:
            self.skipTest("the console's own case below")
        expected = self.write_show_sources()

        result = self.run_in_terminal("--show", "夕焼け.gpl", "sunset.pal", "short.act",
                                      env=self.terminal_env())

        self.assertEqual((result.code, result.err), (0, b""))
        # Every escape is one of the listing's own: none came from a name.
        self.assertEqual(result.out.count(b"\x1b"), len(OUR_ESCAPE.findall(result.out)))
        palettes = terminal_listing(result.out.decode("utf-8"))
        self.assertEqual(len(palettes), 3)
        self.assertEqual(palettes[0][0], "\x1b[1m夕焼け.gpl\x1b[0m: GIMP palette, 4 colours, \"%s\""
                         % HOSTILE_TITLE)
        self.assertEqual(palettes[1][0], "\x1b[1msunset.pal\x1b[0m: EDGE PAL, 256 colours")
        for (head, grid, colours), name in zip(palettes, ["夕焼け.gpl", "sunset.pal", "short.act"]):
            with self.subTest(file=name):
                lines = [line.split("\t") for line in expected[name][1:]]
                wanted = [tuple(int(line[1][i:i + 2], 16) for i in (1, 3, 5)) for line in lines]
                # The grid: 16 swatches a row, every colour in index order.
                self.assertEqual([len(row) for row in grid],
                                 [16] * (len(wanted) // 16) + ([len(wanted) % 16] if len(wanted) % 16 else []))
                self.assertEqual([swatch for row in grid for swatch in row],
                                 [(color, 2) for color in wanted])
                # Then each colour: its index, its swatch, #RRGGBB, its name.
                self.assertEqual(colours, [(i, color, 4, line[1][1:], line[2] if len(line) > 2 else "")
                                           for i, (color, line) in enumerate(zip(wanted, lines))])

    def test_show_in_a_terminal_without_colour(self):
        if self.host.wine:
            self.skipTest("the console's own case below")
        expected = self.write_show_sources()
        plain = [line for name in ("夕焼け.gpl", "jasc.pal") for line in expected[name]]
        cases = [({"NO_COLOR": "1"}, False), ({"TERM": "dumb"}, False),
                 ({"NO_COLOR": ""}, True)]  # set but empty: no request
        for values, swatches in cases:
            with self.subTest(env=values):
                result = self.run_in_terminal("--show", "夕焼け.gpl", "jasc.pal",
                                              env=self.terminal_env(**values))

                self.assertEqual((result.code, result.err), (0, b""))
                if swatches:
                    self.assertEqual(len(terminal_listing(result.out.decode())), 2)
                else:
                    self.assertEqual(result.out.decode(), "".join(line + "\n" for line in plain))

    def test_show_in_a_windows_console(self):
        if not self.host.wine:
            self.skipTest("a Windows console")
        self.write_show_sources()

        result = self.run_in_terminal("--show", "夕焼け.gpl", "jasc.pal", env=self.terminal_env())
        plain = self.run_in_terminal("--show", "jasc.pal", env=self.terminal_env(NO_COLOR="1"))

        # Unicode through the console, the FILE's name from code page 932;
        # swatches once the console takes escapes.
        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out.count(b"\x1b"), len(OUR_ESCAPE.findall(result.out)))
        palettes = terminal_listing(result.out.decode("utf-8"))
        self.assertEqual([head for head, _, _ in palettes], [
            "\x1b[1m夕焼け.gpl\x1b[0m: GIMP palette, 4 colours, \"%s\"" % HOSTILE_TITLE,
            "\x1b[1mjasc.pal\x1b[0m: JASC-PAL palette, 2 colours"])
        self.assertEqual(palettes[0][2], [
            (i, c, 4, "%02X%02X%02X" % c, n) for i, (c, n)
            in enumerate(zip(HOSTILE_COLORS, HOSTILE_NAMES))])
        self.assertEqual(palettes[1][1], [[((1, 2, 3), 2), ((250, 251, 252), 2)]])
        # Without colour, the list alone (the console lays its tabs out).
        self.assertEqual((plain.code, plain.err), (0, b""))
        self.assertNotIn(b"\x1b", plain.out)
        self.assertEqual([line.split() for line in plain.out.decode().splitlines()],
                         [["#", "jasc.pal", "JASC-PAL", "palette", "2"], ["0", "#010203"],
                          ["1", "#FAFBFC"]])

    def test_show_usage_errors(self):
        write(self.path("a.pal"), pal_file(random_entries(90)))
        cases = [
            (["--show", "--to", "gpl", "a.pal"], "--show cannot go with --to (-t): it converts nothing"),
            (["-o", "out", "a.pal", "--show"],
             "--show cannot go with --output-dir (-o): it writes nothing"),
            (["--show", "-nq", "a.pal"], "--show cannot go with --no-clobber (-n): it writes nothing"),
            (["--show"], "no FILE given"),
        ]
        for arguments, problem in cases:
            with self.subTest(arguments=arguments):
                self.assert_usage_error(self.run_cli(*arguments), problem)
                self.assert_folder(["a.pal"])

    # -- what only a POSIX system can show -----------------------------------

    def test_lost_standard_output_is_a_failure(self):
        if self.host.wine or not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full")
        write(self.path("a.pal"), pal_file(random_entries(41)))

        result = self.run_cli("a.pal", stdout_path="/dev/full")

        self.assertEqual(result.code, 1)
        self.assertEqual(result.err, self.lines("kolorvane-cli: cannot write to standard output"))
        self.assertEqual(read(self.path("a.act")), act_file(reversed(random_entries(41))))

    def test_interrupted_batch_leaves_no_partial_or_temporary_file(self):
        if self.host.wine:
            self.skipTest("POSIX signals")
        count = 3000
        sources = {}
        for i in range(count):
            name = "p%04d.pal" % i if i % 2 == 0 else "p%04d.act" % i
            data = (pal_file if i % 2 == 0 else act_file)(random_entries(1000 + i % 7))
            sources[name] = data
            write(self.path(name), data)
        interrupted = 0
        for number, delay in ((signal.SIGINT, 0.02), (signal.SIGTERM, 0.05),
                              (signal.SIGHUP, 0.01)):
            with self.subTest(signal=number):
                out = os.path.join(self.folder, "out")
                shutil.rmtree(out, ignore_errors=True)
                os.mkdir(out)
                program = subprocess.Popen(self.host.command(["-q", "-o", "out"] + list(sources)),
                                           cwd=self.folder, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                try:
                    time.sleep(delay)
                    program.send_signal(number)
                    code = program.wait(timeout=RUN_TIMEOUT)
                finally:
                    harness.stop_process(program)
                self.assertIn(code, (0, -number))
                interrupted += code == -number
                written = os.listdir(out)
                self.assertEqual(temporaries(out), [])
                for name in written:
                    source = name[:-4] + (".pal" if name.endswith(".act") else ".act")
                    expected = (as_act if name.endswith(".act") else as_pal)(sources[source])
                    self.assertEqual(read(os.path.join(out, name)), expected, name)
        # Had every run finished before its signal, nothing was shown.
        self.assertGreater(interrupted, 0, "no run was interrupted; raise the file count")


def f32(value):
    """`value` as the 32-bit float an .ase holds."""
    return struct.unpack(">f", struct.pack(">f", value))[0]


def ase_file(colors):
    """An .ase of unnamed colours, each its model and values."""
    blocks = b""
    for model, values in colors:
        body = b"\0\1\0\0" + model.encode() + struct.pack(">%df" % len(values), *values) + b"\0\2"
        blocks += struct.pack(">HI", 1, len(body)) + body
    return b"ASEF" + struct.pack(">HHI", 1, 0, len(colors)) + blocks


def transicc(options, colors):
    """LittleCMS's transicc, relative colorimetric to its sRGB, in floating
    point: each colour's levels, 0 to 255, not clipped."""
    lines = "".join(" ".join("%.10f" % v for v in color) + "\n" for color in colors)
    completed = subprocess.run(["transicc", "-t1"] + options + ["-o*sRGB"], input=lines.encode(),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=RUN_TIMEOUT, check=True)
    found = re.findall(rb"R=(\S+) G=(\S+) B=(\S+)", completed.stdout)
    assert len(found) == len(colors), completed.stdout
    return [[float(v) for v in color] for color in found]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--version-text", default="1.0.0")
    parser.add_argument("--file-tool", help="file-tool.exe, with --wine")
    parser.add_argument("--cmyk-profile", required=True, help="the profile built into PROGRAM")
    parser.add_argument("--rgb-profile", required=True, help="an RGB profile")
    options, rest = parser.parse_known_args()
    CONFIG.update({"cli": os.path.abspath(options.cli), "work": os.path.abspath(options.work),
                   "wine": options.wine, "version": options.version_text,
                   "file_tool": options.file_tool and os.path.abspath(options.file_tool),
                   "cmyk_profile": options.cmyk_profile, "rgb_profile": options.rgb_profile})
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
