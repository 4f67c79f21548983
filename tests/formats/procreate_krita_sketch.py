"""Procreate's, Krita's and Sketch's palettes as the programs that own them
read and write them: procreate-swatches (npm) makes .swatches files and reads
those kolorvane-cli writes; Krita 5.1, headless, reads the .kpl files
kolorvane-cli writes and those this test makes with Python's zipfile in
Krita's layout, which kolorvane-cli must read as Krita does; Python's json
makes and reads .sketchpalette files. Hostile and broken files are refused
with their line, quickly, in little memory, and nothing is written for them.

    python3 procreate_krita_sketch.py --cli PROGRAM --work DIR --npm NODE_MODULES [unittest args]

Krita runs as kritarunner with its own data folder under DIR, where it finds
the palettes at start-up; a script of this test's writes what it loaded as
JSON. Every program started is stopped by its process id should it outlast
its time.
"""

import argparse
import io
import json
import math
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import unittest
import zipfile

RUN_TIMEOUT = 60
KRITA_TIMEOUT = 240
CONFIG = {}

PALETTE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (18, 52, 86), (171, 205, 239), (1, 2, 3),
           (254, 128, 127), (0, 255, 128)]
NAMES = ["Black", "White", "\u8d64", "Deep blue \U0001f30a", "Pale & <blue>", "", "Q\"uote", "x"]


def edge(colors):
    entries = list(colors) + [(0, 0, 0)] * (256 - len(colors))
    return b"EDGE PAL\x00\x00" + b"".join(bytes(c) for c in reversed(entries))


def gpl(colors, names, name="Test palette"):
    lines = ["GIMP Palette", "Name: " + name, "#"]
    lines += ["%3d %3d %3d\t%s" % (c + (n,)) for c, n in zip(colors, names)]
    return ("\n".join(lines) + "\n").encode("utf-8")


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(arguments, timeout=RUN_TIMEOUT):
    """kolorvane-cli's exit status, standard error, seconds and its own
    resource use (ru_maxrss: peak memory in KiB)."""
    errors = os.path.join(CONFIG["work"], "stderr.txt")
    start = time.monotonic()
    with open(errors, "wb") as err:
        process = subprocess.Popen([CONFIG["cli"]] + arguments, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=err)
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid != 0:
            break
        if time.monotonic() - start > timeout:
            process.kill()
            os.wait4(process.pid, 0)
            raise AssertionError("kolorvane-cli %s outlasted %d s" % (arguments, timeout))
        time.sleep(0.005)
    seconds = time.monotonic() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    return process.returncode, read(errors).decode("utf-8", "replace"), seconds, usage


def convert(source, to, *options):
    code, err, _, _ = run(["-q", "--to", to] + list(options) + [source])
    if code != 0:
        raise AssertionError("kolorvane-cli --to %s %s: %s" % (to, source, err))
    return os.path.splitext(source)[0] + "." + {"swatches": "swatches", "kpl": "kpl",
                                                "sketch": "sketchpalette", "gpl": "gpl",
                                                "edge": "pal"}[to]


def shown(path):
    """The colours and their names as --show lists them."""
    completed = subprocess.run([CONFIG["cli"], "--show", path], stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=RUN_TIMEOUT, check=True)
    colors = []
    for line in completed.stdout.decode("utf-8").split("\n")[1:-1]:
        fields = line.split("\t")
        value = int(fields[1][1:], 16)
        colors.append(((value >> 16, (value >> 8) & 255, value & 255),
                       fields[2] if len(fields) > 2 else ""))
    return colors


def gpl_name(path):
    """The palette's name, from the GIMP palette written from it."""
    for line in read(convert(path, "gpl")).decode("utf-8").split("\n"):
        if line.startswith("Name: "):
            return line[len("Name: "):]
    return ""


def folder(name):
    path = os.path.join(CONFIG["work"], name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


# --- Procreate -----------------------------------------------------------

NODE_READ = """
import { readSwatchesFile } from 'procreate-swatches';
import { readFileSync } from 'fs';
const result = [];
for (const path of process.argv.slice(2)) {
  const palette = await readSwatchesFile(readFileSync(path));
  result.push({ name: palette.name,
                colors: palette.colors.filter(c => c !== null).map(c => c[0]) });
}
console.log(JSON.stringify(result));
"""

NODE_WRITE = """
import { createSwatchesFile } from 'procreate-swatches';
import { writeFileSync } from 'fs';
const [path, name, colors] = process.argv.slice(2);
const entries = JSON.parse(colors).map(c => c === null ? null : [c, 'rgb']);
writeFileSync(path, await createSwatchesFile(name, entries));
"""


def node(script, *arguments):
    # An ES module finds packages in the node_modules beside it.
    modules = os.path.join(CONFIG["work"], "node_modules")
    if not os.path.lexists(modules):
        os.symlink(CONFIG["npm"], modules)
    path = os.path.join(CONFIG["work"], "script.mjs")
    write(path, script.encode())
    completed = subprocess.run(["node", path] + list(arguments), capture_output=True,
                               timeout=RUN_TIMEOUT, check=False)
    if completed.returncode != 0:
        raise AssertionError("node: %s" % completed.stderr.decode())
    return completed.stdout.decode()


def hsv_to_rgb(h, s, v):
    """procreate-swatches' HSV (degrees, percent) to 8-bit RGB, by Python's
    colorsys, not the program's formula."""
    import colorsys
    return tuple(round(x * 255) for x in colorsys.hsv_to_rgb(h / 360 % 1.0, s / 100, v / 100))


def near(a, b):
    return all(abs(x - y) <= 1 for x, y in zip(a, b))


class Procreate(unittest.TestCase):
    def test_its_files_and_its_samples_read_within_one_level(self):
        out = folder("procreate-in")
        made = os.path.join(out, "made.swatches")
        colors = [list(c) for c in PALETTE]
        node(NODE_WRITE, made, "Made by procreate-swatches",
             json.dumps(colors[:3] + [None] + colors[3:]))
        samples = os.path.join(CONFIG["npm"], "procreate-swatches", "test", "sample")
        paths = [made]
        for name in sorted(os.listdir(samples)):
            paths.append(os.path.join(out, name.replace("&", "and")))
            shutil.copy(os.path.join(samples, name), paths[-1])
        expected = json.loads(node(NODE_READ, *paths))
        for path, palette in zip(paths, expected):
            got = [c for c, _ in shown(path)]
            want = [hsv_to_rgb(*c) for c in palette["colors"]]
            self.assertEqual(len(got), len(want), path)
            for g, w in zip(got, want):
                self.assertTrue(near(g, w), "%s: %s, not %s" % (path, g, w))
            self.assertEqual(gpl_name(path), palette["name"].strip(), path)
        self.assertEqual([c for c, _ in shown(made)], PALETTE)

    def test_what_it_writes_reads_back_in_procreate_swatches(self):
        out = folder("procreate-out")
        source = os.path.join(out, "named.gpl")
        write(source, gpl(PALETTE, NAMES, "Kolorvane \u8d64"))
        written = convert(source, "swatches")
        with zipfile.ZipFile(written) as archive:
            self.assertEqual(archive.namelist(), ["Swatches.json"])
        palette = json.loads(node(NODE_READ, written))[0]
        self.assertEqual(palette["name"], "Kolorvane \u8d64")
        self.assertEqual([hsv_to_rgb(*c) for c in palette["colors"]], PALETTE)
        # And back: exact, through the program's own reader.
        self.assertEqual([c for c, _ in shown(written)], PALETTE)


# --- Krita ---------------------------------------------------------------

KRITA_SCRIPT = """
import json
from krita import Krita, Palette

def __main__(args):
    found = {}
    for name, resource in Krita.instance().resources('palette').items():
        if not resource.filename().endswith('.kpl'):
            continue
        palette = Palette(resource)
        columns = palette.columnCount()
        colors = []
        for group in palette.groupNames():
            # Krita's scripting numbers a group's slots column by column:
            # slot s is row s % columns of column s // columns. The colours
            # are listed as its palette shows them, row by row.
            placed = []
            for slot in range(columns * columns):
                entry = palette.colorSetEntryFromGroup(slot, group)
                if entry.isValid():
                    bgr = entry.color().components()
                    placed.append(((slot % columns, slot // columns),
                                   [[round(v * 255) for v in (bgr[2], bgr[1], bgr[0])],
                                    entry.name()]))
            colors += [color for _, color in sorted(placed, key=lambda p: p[0])]
        found[resource.filename()] = {"name": name, "colors": colors}
    with open(args[0], "w") as out:
        json.dump(found, out)
"""


def run_krita(palettes):
    """What Krita loads of each .kpl in the list, by file name."""
    home = folder("krita")
    os.makedirs(os.path.join(home, "data", "kritarunner", "palettes"))
    for path in palettes:
        shutil.copy(path, os.path.join(home, "data", "kritarunner", "palettes"))
    write(os.path.join(home, "dumppalettes.py"), KRITA_SCRIPT.encode())
    out = os.path.join(home, "loaded.json")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_CONFIG_HOME=os.path.join(home, "config"), PYTHONPATH=home,
               PATH="/usr/bin:" + os.environ.get("PATH", ""), LC_ALL="C.UTF-8")
    process = subprocess.Popen(["kritarunner", "-s", "dumppalettes", out], env=env, cwd=home,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        log, _ = process.communicate(timeout=KRITA_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise
    if not os.path.exists(out):
        raise AssertionError("Krita failed: %s" % log.decode(errors="replace")[-3000:])
    with open(out) as f:
        return json.load(f)


def kpl(path, name, groups, columns=4, compress_mimetype=False):
    """A Krita palette in Krita's layout: groups is [(group name or None for
    the default group, [(rgb shares, name, (row, column))])]."""
    def entries(items):
        xml = ""
        for i, (rgb, entry_name, (row, column)) in enumerate(items):
            xml += ('  <ColorSetEntry name="%s" id="%d" spot="false" bitdepth="U8">'
                    '<RGB space="sRGB-elle-V2-srgbtrc.icc" r="%r" g="%r" b="%r"/>'
                    '<Position row="%d" column="%d"/></ColorSetEntry>\n'
                    % ((entry_name, i) + tuple(rgb) + (row, column)))
        return xml
    body = ""
    for group, items in groups:
        if group is None:
            body += entries(items)
        else:
            body += ' <Group name="%s" rows="4">\n%s </Group>\n' % (group, entries(items))
    colorset = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<ColorSet version="2.0" name="%s" comment="" columns="%d" readonly="false">\n'
                '%s</ColorSet>\n' % (name, columns, body))
    with zipfile.ZipFile(path, "w") as archive:
        method = zipfile.ZIP_DEFLATED if compress_mimetype else zipfile.ZIP_STORED
        archive.writestr(zipfile.ZipInfo("mimetype"), "krita/x-colorset", compress_type=method)
        archive.writestr("colorset.xml", colorset, compress_type=zipfile.ZIP_DEFLATED)
        archive.writestr("profiles.xml", "<Profiles/>", compress_type=zipfile.ZIP_DEFLATED)


class Krita(unittest.TestCase):
    def test_krita_and_kolorvane_read_the_same_and_krita_reads_what_it_writes(self):
        out = folder("krita-files")
        grouped = os.path.join(out, "grouped.kpl")
        # Out of grid order in the file, in three groups, floats that are
        # not exact 8-bit levels.
        kpl(grouped, "Grouped", [
            (None, [((1.0, 0.0, 0.0), "second", (0, 1)), ((0.2, 0.4, 0.6), "first", (0, 0))]),
            ("Warm", [((0.50196, 0.25, 0.1), "warm", (1, 2)), ((0.9, 0.8, 0.7), "warmer", (0, 3))]),
            ("Cool", [((0.0, 0.0, 1.0), "cool \u8d64", (0, 0))]),
        ])
        source = os.path.join(out, "written.gpl")
        write(source, gpl(PALETTE, NAMES, "Written \U0001f30a"))
        written = convert(source, "kpl")
        with zipfile.ZipFile(written) as archive:
            first = archive.infolist()[0]
            self.assertEqual((first.filename, first.compress_type), ("mimetype", zipfile.ZIP_STORED))
        loaded = run_krita([grouped, written])
        self.assertEqual(set(loaded), {"grouped.kpl", "written.kpl"})
        krita_written = loaded["written.kpl"]
        self.assertEqual(krita_written["name"], "Written \U0001f30a")
        self.assertEqual([(tuple(c), n) for c, n in krita_written["colors"]],
                         list(zip(PALETTE, NAMES)))
        krita_grouped = [(tuple(c), n) for c, n in loaded["grouped.kpl"]["colors"]]
        self.assertEqual([n for _, n in krita_grouped],
                         ["first", "second", "warmer", "warm", "cool \u8d64"])
        self.assertEqual(shown(grouped), krita_grouped)
        self.assertEqual(gpl_name(grouped), "Grouped")


# --- Sketch --------------------------------------------------------------

class Sketch(unittest.TestCase):
    def test_old_and_new_forms_read_and_what_it_writes_reads_in_python(self):
        out = folder("sketch")
        new = os.path.join(out, "new.sketchpalette")
        colors = [{"red": r / 255, "green": g / 255, "blue": b / 255, "alpha": 1}
                  for r, g, b in PALETTE]
        colors.insert(2, {"red": 0.5, "green": 0.5, "blue": 0.5, "alpha": 0})  # skipped
        colors[0]["alpha"] = 0.5  # dropped
        write(new, json.dumps({"compatibleVersion": "2.0", "pluginVersion": "2.22",
                               "colors": colors}, indent=2).encode())
        old = os.path.join(out, "old.sketchpalette")
        write(old, json.dumps({"compatibleVersion": "1.0", "pluginVersion": "1.1",
                               "colors": ["#%02X%02X%02x" % c for c in PALETTE]}).encode())
        for path in (new, old):
            self.assertEqual([c for c, _ in shown(path)], PALETTE, path)
        source = os.path.join(out, "written.pal")
        write(source, edge(PALETTE))
        with open(convert(source, "sketch")) as f:
            document = json.load(f)
        got = [tuple(round(c[k] * 255) for k in ("red", "green", "blue"))
               for c in document["colors"]]
        self.assertEqual(got[:len(PALETTE)], PALETTE)
        self.assertEqual(len(got), 256)
        self.assertTrue(all(c["alpha"] == 1 for c in document["colors"]))


# --- Round trips and refusals --------------------------------------------

class RoundTrips(unittest.TestCase):
    def test_edge_pal_through_each_format_and_back_is_exact(self):
        out = folder("round-trips")
        full = [((i * 37) % 256, (i * 101 + 7) % 256, (255 - i * 3) % 256) for i in range(256)]
        for to, count in (("kpl", 256), ("sketch", 256), ("swatches", 30)):
            source = os.path.join(out, "%s.pal" % to)
            original = edge(full[:count])
            write(source, original)
            # EDGE PAL holds 256 colours: Procreate's 30 are its first, the
            # rest black as they were.
            written = convert(source, to, *(["--truncate"] if count < 256 else []))
            back = os.path.join(out, "back-" + to)
            os.makedirs(back)
            code, err, _, _ = run(["-q", "--to", "edge", "-o", back, written])
            self.assertEqual(code, 0, err)
            self.assertEqual(read(os.path.join(back, to + ".pal")), original, to)


def zip_of(entries):
    """A zip archive of (name, bytes, stored) entries."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data, stored in entries:
            archive.writestr(name, data, zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED)
    return buffer.getvalue()


def lying_bomb(name, size):
    """A zip of one entry of `size` zero bytes whose headers claim 100."""
    data = bytearray(zip_of([(name, b"\0" * size, False)]))
    claimed = struct.pack("<I", size)
    return bytes(data).replace(claimed, struct.pack("<I", 100))


def swatches_json(text):
    return zip_of([("Swatches.json", text.encode(), False)])


SWATCH = '{"hue": 0.5, "saturation": 0.5, "brightness": 0.5, "alpha": 1}'
BAD = [
    # name, bytes, words the refusal says
    ("bomb.swatches", lambda: zip_of([("Swatches.json", b" " * (200 << 20), False)]),
     "claims more bytes"),
    ("liar.swatches", lambda: lying_bomb("Swatches.json", 50 << 20), "another size"),
    ("missing.swatches", zip_of([("other.json", b"{}", False)]), "no Swatches.json"),
    ("many.swatches", zip_of([("%d" % i, b"", True) for i in range(100)]), "more entries"),
    ("notzip.swatches", b"PK\x03\x04 not really", "not a Procreate"),
    ("malformed.swatches", swatches_json('{"name": "x",\n "swatches": [\n' + SWATCH + ',\n}'),
     "line 4: malformed"),
    ("nan.swatches", swatches_json('{"swatches": [\n NaN\n]}'), "line 2: malformed"),
    ("type.swatches", swatches_json('{"swatches": [\n' + SWATCH + ',\n "red"\n]}'),
     "line 3: colour 2 is malformed"),
    ("range.swatches", swatches_json('{"swatches": [\n' + SWATCH.replace("0.5", "1.5", 1) + ']}'),
     "line 2: colour 1 has a value that is not a number from 0 to 1"),
    ("deep.sketchpalette", b"[" * 100000, "line 1:"),
    ("hex.sketchpalette", b'{"colors": [\n"#12345G"]}', "line 2: a character that is not a hexadecimal"),
    ("wrong.sketchpalette", b'{"colors": [\n{"red": "1", "green": 0, "blue": 0}]}',
     "line 2: colour 1 has a value"),
    ("laughs.kpl", zip_of([("mimetype", b"krita/x-colorset", True), ("colorset.xml", (
        '<?xml version="1.0"?>\n<!DOCTYPE l [\n<!ENTITY a "aaaaaaaaaa">\n'
        + "".join('<!ENTITY %s "%s">\n' % (chr(98 + i), ("&%s;" % chr(97 + i)) * 10)
                  for i in range(9))
        + ']>\n<ColorSet name="&j;"/>\n').encode(), False)]), "line 2: a DTD, which is not read"),
    ("broken.kpl", zip_of([("colorset.xml", b"<ColorSet>\n<ColorSetEntry>\n</ColorSet>", False)]),
     "line 3: malformed"),
    ("range.kpl", zip_of([("colorset.xml", b'<ColorSet>\n<ColorSetEntry name="a">'
                           b'<RGB r="2" g="0" b="0"/></ColorSetEntry></ColorSet>', False)]),
     "line 2: colour 1 has a value"),
    ("kplbomb.kpl", lambda: zip_of([("colorset.xml", b" " * (100 << 20), False)]),
     "claims more bytes"),
]


def make_bad(out):
    """Writes the bad files into `out`: in a process of its own, as the
    bombs take hundreds of megabytes to make, which a program started from
    this process would be counted as having used."""
    for name, data, _ in BAD:
        write(os.path.join(out, name), data() if callable(data) else data)


class Refusals(unittest.TestCase):
    def test_each_bad_file_is_refused_at_its_line_quickly_and_nothing_is_written(self):
        out = folder("bad")
        subprocess.run([sys.executable, os.path.abspath(__file__), "--make-bad", out],
                       timeout=RUN_TIMEOUT, check=True)
        for name, _, words in BAD:
            with self.subTest(name):
                path = os.path.join(out, name)
                code, err, seconds, usage = run(["--to", "edge", path])
                self.assertEqual(code, 1, err)
                self.assertIn(words, err)
                self.assertFalse(os.path.exists(os.path.splitext(path)[0] + ".pal"))
                self.assertLess(seconds, 1.0 * CONFIG["slowdown"], name)
                self.assertLess(usage.ru_maxrss, 64 * 1024 * CONFIG["slowdown"], name)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--make-bad":
        make_bad(sys.argv[2])
        return
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--npm", required=True, help="the node_modules folder")
    # Time and memory allowances are multiplied by this under the sanitizers.
    parser.add_argument("--slowdown", type=float, default=1.0)
    options, rest = parser.parse_known_args()
    CONFIG.update(cli=os.path.abspath(options.cli), work=os.path.abspath(options.work),
                  npm=os.path.abspath(options.npm), slowdown=options.slowdown)
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
