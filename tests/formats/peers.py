"""The palette formats as the programs that own them read them: GIMP 2.10
loads every GIMP palette kolorvane-cli writes, from a source of each format,
with exactly that source's colours, its name and its colours' names; and
ase-utils, an npm package, reads the .ase files kolorvane-cli writes and
writes .ase files whose names kolorvane-cli reads. Palettes past 256
colours: GIMP loads those of 300, 448 and 1,000; Krita 5 loads a .gpl, .aco
and .ase of 1,000 through its Python scripting, headless (kritarunner, from
a fresh data folder whose palettes folder holds them); ase-utils reads an
.ase of 1,000; Pillow reads every square of a PNG, BMP and TGA grid of
1,000.

    python3 peers.py --cli PROGRAM --work DIR --ase-utils MODULE [unittest args]

GIMP runs headless (gimp-console-2.10) with a profile of its own under DIR
whose gimprc points its palette path at the folder of palettes written; a
Script-Fu batch writes what it loaded into a file. It is stopped by its
process id should it outlast its time.
"""

import argparse
import importlib.util
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUN_TIMEOUT = 60
GIMP_TIMEOUT = 180
CONFIG = {}


def load_samples():
    spec = importlib.util.spec_from_file_location("samples", os.path.join(HERE, "make-samples.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


SAMPLES = load_samples()
FIVE = SAMPLES.FIVE
NAMED = SAMPLES.NAMED

# GIMP's Script-Fu: every palette it loaded, its colours and their names,
# a line each, into OUT.
DUMP = r"""
(let* ((port (open-output-file "OUT"))
       (palettes (cadr (gimp-palettes-get-list ""))))
  (for-each
    (lambda (name)
      (let ((count (car (gimp-palette-get-info name))) (i 0))
        (display "palette\t" port) (display name port) (newline port)
        (while (< i count)
          (let ((color (car (gimp-palette-entry-get-color name i)))
                (entry (car (gimp-palette-entry-get-name name i))))
            (display (car color) port) (display " " port)
            (display (cadr color) port) (display " " port)
            (display (caddr color) port) (display "\t" port)
            (display entry port) (newline port))
          (set! i (+ i 1)))))
    palettes)
  (close-output-port port))
(gimp-quit 0)
"""

# What GIMP calls a colour that has no name.
UNTITLED = "Untitled"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def cli(*arguments):
    completed = subprocess.run([CONFIG["cli"]] + list(arguments), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=RUN_TIMEOUT, check=False)
    if completed.returncode != 0:
        raise AssertionError("kolorvane-cli %s: %s" % (arguments, completed.stderr))


def run_gimp(profile, palettes, out):
    """GIMP's palettes, as {name: [(r, g, b, colour name)]}."""
    shutil.rmtree(profile, ignore_errors=True)
    for folder in ("brushes", "dynamics", "gradients", "patterns", "tool-presets"):
        os.makedirs(os.path.join(profile, folder))
    with open(os.path.join(profile, "gimprc"), "w") as f:
        f.write('(palette-path "%s")\n(palette-path-writable "")\n' % palettes)
    env = dict(os.environ, GIMP2_DIRECTORY=profile, LC_ALL="C.UTF-8")
    env.pop("DISPLAY", None)
    process = subprocess.Popen(["gimp-console-2.10", "-i", "-f", "-b", DUMP.replace("OUT", out)],
                               env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        log, _ = process.communicate(timeout=GIMP_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise
    if process.returncode != 0 or not os.path.exists(out):
        raise AssertionError("GIMP failed (%d): %s" % (process.returncode, log.decode(errors="replace")))
    loaded = {}
    for line in read(out).decode("utf-8").split("\n")[:-1]:
        fields = line.split("\t")
        if fields[0] == "palette":
            colors = loaded.setdefault(fields[1], [])
        else:
            colors.append(tuple(int(v) for v in fields[0].split(" ")) + (fields[1],))
    return loaded


def ase_with_names(names):
    """An .ase file of one RGB colour a name, colour i being ramp(i)."""
    return SAMPLES.ase([SAMPLES.ase_color(name, b"RGB ", [v / 255 for v in ramp(i)])
                        for i, name in enumerate(names)])


def ramp(i):
    return (i, 255 - i, 7 * i % 256)


class GimpReads(unittest.TestCase):
    def test_every_gimp_palette_written_loads_as_its_source(self):
        work = CONFIG["work"]
        sources = os.path.join(work, "sources")
        palettes = os.path.join(work, "palettes")
        for folder in (sources, palettes):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        samples = os.path.join(HERE, "samples")
        unnamed = [UNTITLED] * 5
        five = [c + (n,) for c, n in zip(FIVE, NAMED)]
        expected = {}
        for sample, copy in [("edge.pal", "from-edge.pal"), ("act.act", "from-act.act"),
                             ("jasc.pal", "from-jasc.pal"), ("riff.pal", "from-riff.pal"),
                             ("named-five.gpl", "from-gpl.gpl"), ("five.hex", "from-hex.hex"),
                             ("five.txt", "from-paintnet.txt"), ("named-five.aco", "from-aco.aco"),
                             ("named-five.ase", "from-ase.ase"), ("five.png", "from-png.png")]:
            shutil.copy(os.path.join(samples, sample), os.path.join(sources, copy))
            named = sample.startswith("named")
            expected[copy[:-4]] = [c + (n,) for c, n in zip(FIVE, NAMED if named else unnamed)]
        # EDGE PAL holds 256 colours, the five and black.
        expected["from-edge"] += [(0, 0, 0, UNTITLED)] * 251
        expected["Five \u4e94"] = expected.pop("from-gpl")
        # The longest names, a line break and a tab, from .ase; the names of
        # a GIMP palette through .ase and .aco and back.
        longest = ["%03d" % i + "\U0001F600" * 252 for i in range(256)]
        odd = ["line\nbreak", "\ttab", "  spaced  "]
        write(os.path.join(sources, "longest.ase"), ase_with_names(longest))
        write(os.path.join(sources, "odd.ase"), ase_with_names(odd))
        expected["longest"] = [ramp(i) + (n,) for i, n in enumerate(longest)]
        expected["odd"] = [ramp(i) + (n,) for i, n in enumerate(["line break", "tab", "spaced"])]
        for trip in ("ase", "aco"):
            shutil.copy(os.path.join(samples, "named-five.gpl"), os.path.join(work, "trip-%s.gpl" % trip))
            cli("--to", trip, os.path.join(work, "trip-%s.gpl" % trip), "-o", sources)
            expected["trip-" + trip] = five
        names = sorted(os.listdir(sources))
        cli("--to", "gpl", "-o", palettes, *[os.path.join(sources, n) for n in names])

        loaded = run_gimp(os.path.join(work, "gimp-profile"), palettes, os.path.join(work, "gimp.txt"))

        loaded.pop("Color History", None)  # GIMP's own
        self.assertEqual(sorted(loaded), sorted(expected))
        for name, colors in expected.items():
            self.assertEqual(loaded[name], colors, name)
        # Through .ase and .aco and back, the same file but for the palette's name.
        start = read(os.path.join(samples, "named-five.gpl")).split(b"\n")
        for trip in ("ase", "aco"):
            back = read(os.path.join(palettes, "trip-%s.gpl" % trip)).split(b"\n")
            self.assertEqual(back[1], ("Name: trip-%s" % trip).encode())
            self.assertEqual(back[:1] + back[2:], start[:1] + start[2:])


    def test_large_gimp_palettes_written_load_with_every_colour(self):
        work = os.path.join(CONFIG["work"], "large")
        palettes = os.path.join(work, "palettes")
        for folder in (work, palettes):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        expected = {}
        for count, source in [(300, "ase"), (448, "aco"), (1000, "gpl")]:
            colors, names = SAMPLES.many(count, count)
            path = os.path.join(work, "large-%d.gpl" % count)
            write(path, SAMPLES.gpl(colors, "large-%d" % count, names))
            if source != "gpl":
                cli("--to", source, path)
                path = path[:-3] + source
            cli("--to", "gpl", "-o", palettes, path)
            expected["large-%d" % count] = [c + (n,) for c, n in zip(colors, names)]

        loaded = run_gimp(os.path.join(work, "gimp-profile"), palettes, os.path.join(work, "gimp.txt"))

        loaded.pop("Color History", None)
        self.assertEqual(loaded, expected)


class AseUtilsReads(unittest.TestCase):
    def node(self, script, *arguments):
        completed = subprocess.run(["node", "-e", script, CONFIG["ase_utils"]] + list(arguments),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=RUN_TIMEOUT, check=False)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        return completed.stdout

    def setUp(self):
        self.folder = os.path.join(CONFIG["work"], "ase-utils")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)

    def test_ase_utils_reads_the_names_written(self):
        shutil.copy(os.path.join(HERE, "samples", "named-five.gpl"), self.folder)
        cli("--to", "ase", os.path.join(self.folder, "named-five.gpl"))

        decoded = json.loads(self.node(
            "const ase = require(process.argv[1]);"
            "process.stdout.write(JSON.stringify(ase.decode("
            "require('fs').readFileSync(process.argv[2]))))",
            os.path.join(self.folder, "named-five.ase")))

        self.assertEqual([c["name"] for c in decoded["colors"]], NAMED)
        self.assertEqual([c["model"] for c in decoded["colors"]], ["RGB"] * 5)
        self.assertEqual([tuple(round(v * 255) for v in c["color"]) for c in decoded["colors"]], FIVE)

    def test_ase_utils_reads_a_large_ase_written(self):
        colors, names = SAMPLES.many(1000, 2)
        write(os.path.join(self.folder, "large.gpl"), SAMPLES.gpl(colors, "large", names))
        cli("--to", "ase", os.path.join(self.folder, "large.gpl"))

        decoded = json.loads(self.node(
            "const ase = require(process.argv[1]);"
            "process.stdout.write(JSON.stringify(ase.decode("
            "require('fs').readFileSync(process.argv[2]))))",
            os.path.join(self.folder, "large.ase")))

        self.assertEqual([c["name"] for c in decoded["colors"]], names)
        self.assertEqual([tuple(round(v * 255) for v in c["color"]) for c in decoded["colors"]],
                         colors)

    def test_names_of_an_ase_it_writes_are_read(self):
        names = ["Sakura \u685c", "Wave \U0001F30A", "plain"]
        swatches = {"version": "1.0", "groups": [], "colors": [
            {"name": n, "model": "RGB", "color": [v / 255 for v in c], "type": "global"}
            for n, c in zip(names, FIVE)]}
        self.node("const ase = require(process.argv[1]);"
                  "require('fs').writeFileSync(process.argv[3], "
                  "ase.encode(JSON.parse(process.argv[2])))",
                  json.dumps(swatches), os.path.join(self.folder, "peer.ase"))

        cli("--to", "gpl", os.path.join(self.folder, "peer.ase"))

        self.assertEqual(read(os.path.join(self.folder, "peer.gpl")).decode("utf-8"),
                         "GIMP Palette\nName: peer\nColumns: 16\n#\n"
                         + "".join("%3d %3d %3d\t%s\n" % (c + (n,)) for c, n in zip(FIVE, names)))


# Pillow (Debian's Python has it): each image's mode and size, and the
# colour of each 16 x 16 square, read left to right and top to bottom, or
# null where a square's pixels differ.
SQUARES = r"""
import json, sys
from PIL import Image
found = {}
for path in sys.argv[1:]:
    image = Image.open(path)
    rgb = image.convert("RGB")
    width, height = image.size
    squares = []
    for top in range(0, height, 16):
        for left in range(0, width, 16):
            colours = set(rgb.crop((left, top, left + 16, top + 16)).getdata())
            squares.append(list(colours.pop()) if len(colours) == 1 else None)
    found[path] = [image.mode, [width, height], squares]
print(json.dumps(found))
"""


class PillowReads(unittest.TestCase):
    def test_pillow_reads_every_square_of_a_large_grid(self):
        folder = os.path.join(CONFIG["work"], "pillow")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        colors, names = SAMPLES.many(1000, 3)
        write(os.path.join(folder, "large.gpl"), SAMPLES.gpl(colors, "large", names))
        images = [os.path.join(folder, "large." + kind) for kind in ("png", "bmp", "tga")]
        for path in images:
            cli("--to", path[-3:], os.path.join(folder, "large.gpl"))

        completed = subprocess.run(["/usr/bin/python3", "-c", SQUARES] + images,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, timeout=RUN_TIMEOUT, check=False)

        self.assertEqual(completed.returncode, 0, completed.stderr)
        # Past 256 colours a true-colour grid, 16 squares a row; the squares
        # the last row leaves over take colour 0.
        grid = [list(c) for c in colors] + [list(colors[0])] * 8
        for path, found in json.loads(completed.stdout).items():
            self.assertEqual(found, ["RGB", [256, 16 * 63], grid], path)


# Krita's Python: every palette its resources hold, as name, file name, and
# each swatch's name and colour (8-bit, as the canvas would show it).
KRITA_DUMP = r"""
from krita import Krita, Palette


def __main__(*arguments):
    with open(OUT, "w", encoding="utf-8") as out:
        for resource in Krita.instance().resources("palette").values():
            palette = Palette(resource)
            out.write("palette\t%s\n" % resource.filename())
            for i in range(palette.colorsCountTotal()):
                swatch = palette.colorSetEntryByIndex(i)
                color = swatch.color().colorForCanvas(None)
                out.write("%d %d %d\t%s\n" % (color.red(), color.green(), color.blue(),
                                               swatch.name()))
"""
KRITA_TIMEOUT = 480


def run_krita(work, palettes):
    """Krita's palettes as its Python scripting loads them, headless, from a
    fresh data folder whose palettes folder holds `palettes`: {file name:
    [(r, g, b, colour name)]}."""
    data = os.path.join(work, "data")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(os.path.join(data, "kritarunner", "palettes"))  # kritarunner's own folder
    for path in palettes:
        shutil.copy(path, os.path.join(data, "kritarunner", "palettes"))
    out = os.path.join(work, "krita.txt")
    with open(os.path.join(work, "krita_dump.py"), "w") as f:
        f.write("OUT = %r\n" % out + KRITA_DUMP)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=data, PYTHONPATH=work,
               XDG_CONFIG_HOME=os.path.join(work, "config"), PATH="/usr/bin:" + os.environ["PATH"])
    process = subprocess.Popen(["kritarunner", "-s", "krita_dump"], cwd=work, env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    try:
        log, _ = process.communicate(timeout=KRITA_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise
    if process.returncode != 0 or not os.path.exists(out):
        raise AssertionError("Krita failed (%d): %s"
                             % (process.returncode, log.decode(errors="replace")[-2000:]))
    loaded = {}
    for line in read(out).decode("utf-8").split("\n")[:-1]:
        fields = line.split("\t")
        if fields[0] == "palette":
            colors = loaded.setdefault(fields[1], [])
        else:
            colors.append(tuple(int(v) for v in fields[0].split(" ")) + (fields[1],))
    return loaded


class KritaReads(unittest.TestCase):
    def test_krita_reads_large_gpl_aco_and_ase_written(self):
        work = os.path.join(CONFIG["work"], "krita")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        colors, names = SAMPLES.many(1000, 4)
        os.makedirs(os.path.join(work, "written"))
        written = []
        for kind in ("gpl", "aco", "ase"):
            source = os.path.join(work, "large-%s.gpl" % kind)
            write(source, SAMPLES.gpl(colors, "large-" + kind, names))
            cli("--to", kind, "-o", os.path.join(work, "written"), source)
            written.append(os.path.join(work, "written", "large-%s.%s" % (kind, kind)))

        loaded = run_krita(work, written)

        for path in written:
            with self.subTest(path=path):
                found = loaded.get(os.path.basename(path)) or []
                if path.endswith(".aco"):
                    # Krita keeps in the name the closing zero that .aco counts.
                    found = [c[:3] + (c[3].removesuffix("\0"),) for c in found]
                self.assertTrue(found == [c + (n,) for c, n in zip(colors, names)],
                                "%d swatches, first %r" % (len(found), found[:1]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--ase-utils", required=True)
    options, rest = parser.parse_known_args()
    CONFIG.update(cli=os.path.abspath(options.cli), work=os.path.abspath(options.work),
                  ase_utils=os.path.abspath(options.ase_utils))
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
