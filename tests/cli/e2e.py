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
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
# The Wine session and the palettes of the window's suite.
import harness  # noqa: E402
from palettes import act_file, as_act, as_pal, pal_file, random_entries, read, write  # noqa: E402

RUN_TIMEOUT = 60  # seconds for any one run of the program
CONFIG = {}
NOT_A_PALETTE = "not a .pal, .act, .gpl, .hex, .txt, .aco, .ase or .png file name"
FORMATS = {"edge": ".pal", "act": ".act", "jasc": ".pal", "riff": ".pal", "gpl": ".gpl",
           "hex": ".hex", "paintnet": ".txt", "aco": ".aco", "ase": ".ase", "png": ".png"}
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
# The PNG images are made and read back by Pillow and ImageMagick, through
# Debian's own Python, which has Pillow.
MAKE_PNGS = ["/usr/bin/python3", os.path.join(ROOT, "tests", "formats", "make-pngs.py")]
PROCESS_MEMORY_LIMIT = 32 * 1024 * 1024  # bytes of resident memory reading a large PNG


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

    # -- PNG -----------------------------------------------------------------

    def test_png_images_give_their_palettes(self):
        subprocess.run(MAKE_PNGS + ["cases", self.folder], check=True, timeout=RUN_TIMEOUT)
        names = sorted(name for name in os.listdir(self.folder) if name.endswith(".png"))
        expected = {name: read(self.path(name[:-4] + ".expect")).decode() for name in names}
        good = [name for name in names if not expected[name].startswith("error: ")]

        result = self.run_cli("--to", "hex", *names)

        self.assertEqual(result.code, 1)
        self.assertEqual(result.out, self.lines(*[n + " -> " + n[:-4] + ".hex" for n in good]))
        self.assertEqual(result.err, self.lines(*[
            "kolorvane-cli: %s: %s" % (n, expected[n][len("error: "):].rstrip("\n"))
            for n in names if n not in good]))
        for name in good:
            self.assertEqual(read(self.path(name[:-4] + ".hex")).decode(), expected[name], name)
        self.assert_folder(names + [n[:-4] + ".expect" for n in names] +
                           [n[:-4] + ".hex" for n in good])

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

    def test_a_large_png_is_read_in_little_memory(self):
        if self.host.wine:
            self.skipTest("resident memory is measured natively")
        subprocess.run(MAKE_PNGS + ["big", self.path("big.png")], check=True,
                       timeout=RUN_TIMEOUT)
        program = subprocess.Popen(self.host.command(["--to", "hex", "big.png"]), cwd=self.folder,
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
        self.assertEqual(os.waitstatus_to_exitcode(status), 0)
        self.assertLessEqual(usage.ru_maxrss * 1024, PROCESS_MEMORY_LIMIT)
        self.assertEqual(read(self.path("big.hex")), read(self.path("big.expect")))

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
            (["--to", "bmp", "a.pal"], "unknown format 'bmp'"),
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
                for option in ("--to", "--output-dir", "--no-clobber", "--quiet", "--help",
                               "--version"):
                    self.assertIn(option, text)
                listed = [line.split()[:2] for line in text.splitlines() if line.startswith("  ")]
                for name, extension in FORMATS.items():
                    self.assertIn([name, extension], listed)
                self.assertTrue(all(line.endswith(self.host.newline)
                                    for line in result.out.splitlines(keepends=True)))
                self.assert_folder(["a.pal"])
        result = self.run_cli("--version")
        self.assertEqual((result.code, result.err), (0, b""))
        self.assertEqual(result.out, self.lines("kolorvane-cli " + CONFIG["version"]))

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
