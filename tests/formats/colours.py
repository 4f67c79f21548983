"""Swatches of every colour space of .aco and .ase, converted by kolorvane-cli
and checked against converters that are not this program: Lab against
colorjs.io and culori (npm; neither uses LittleCMS), HSB against Python's
colorsys, CMYK against LittleCMS's own transicc with the same profile, and
the reference values Photoshop shows. Files are written here from the
formats' layouts, and by ase-utils, which writes CMYK, LAB and Gray.

    python3 colours.py --cli PROGRAM --work DIR --npm NODE_MODULES
                       --cmyk-profile ICC --other-cmyk-profile ICC --rgb-profile ICC
                       [unittest args]
"""

import argparse
import colorsys
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import unittest

RUN_TIMEOUT = 120
CONFIG = {}
ISO_COATED = "ISO Coated v2 300% (basICColor)"
# Photoshop's and LittleCMS's values for these, within a level (8-bit sRGB).
REFERENCE_LAB = [((50, 0, 0), (119, 119, 119), False), ((50, 50, 50), (202, 75, 34), False),
                 ((30, 20, -60), (31, 63, 166), False), ((75, -40, 20), (107, 204, 146), False),
                 ((53.24, 80.09, 67.20), (250, 0, 7), True)]
REFERENCE_CMYK = [((100, 0, 0, 0), (0, 158, 227), True), ((0, 0, 0, 100), (24, 23, 21), False),
                  ((0, 35, 15, 0), (247, 189, 195), False), ((0, 0, 0, 0), (255, 255, 255), False)]
REFERENCE_HSB = [((0, 65535, 65535), (255, 0, 0)), ((7955, 65273, 65535), (255, 186, 1)),
                 ((32768, 32768, 52428), (102, 204, 204))]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


# -- the layouts -------------------------------------------------------------

def aco_color(space, values):
    return struct.pack(">5H", space, *(list(values) + [0] * (4 - len(values))))


def aco(colors, names=None):
    """`colors`: (space, four 16-bit values); a version 2 section with
    `names` after version 1."""
    data = struct.pack(">HH", 1, len(colors)) + b"".join(aco_color(*c) for c in colors)
    if names is not None:
        data += struct.pack(">HH", 2, len(colors))
        for color, name in zip(colors, names):
            units = (name + "\0").encode("utf-16-be")
            data += aco_color(*color) + struct.pack(">I", len(units) // 2) + units
    return data


def aco_lab(lab):
    """Lab as .aco holds it: L in 100ths, a and b in signed 100ths."""
    lightness, a, b = (round(v * 100) for v in lab)
    return (7, (lightness, a & 0xFFFF, b & 0xFFFF))


def aco_cmyk(inks):
    """Inks in percent, as .aco holds them: inverted, 65535 no ink."""
    return (2, tuple(65535 - round(v * 65535 / 100) for v in inks))


def aco_inks(color):
    """The inks in percent an .aco colour holds."""
    return [(65535 - v) * 100 / 65535 for v in color[1]]


def ase_block(kind, body):
    return struct.pack(">HI", kind, len(body)) + body


def ase_name(name):
    units = (name + "\0").encode("utf-16-be")
    return struct.pack(">H", len(units) // 2) + units


def ase(entries):
    """`entries`: (name, model, floats) colours, or a group's name alone."""
    blocks = []
    for entry in entries:
        if isinstance(entry, str):
            blocks.append(ase_block(0xC001, ase_name(entry)))
            blocks.append(ase_block(0xC002, b""))
            continue
        name, model, values = entry
        blocks.append(ase_block(1, ase_name(name) + model + struct.pack(
            ">%df" % len(values), *values) + struct.pack(">H", 2)))
    return b"ASEF" + struct.pack(">HHI", 1, 0, len(blocks)) + b"".join(blocks)


def f32(value):
    """The float an .ase holds for `value`."""
    return struct.unpack(">f", struct.pack(">f", value))[0]


# -- the oracles -------------------------------------------------------------

def lab_oracles(labs):
    """Unclipped sRGB (0 to 255) of each Lab (D50) colour by colorjs.io and by
    culori."""
    script = """
const Color = require(process.argv[1]).default;
const culori = require(process.argv[2]);
const toRgb = culori.converter("rgb");
const labs = JSON.parse(require("fs").readFileSync(0, "utf8"));
const out = labs.map(([l, a, b]) => {
  const c = new Color("lab", [l, a, b]).to("srgb").coords.map(v => v * 255);
  const k = toRgb({mode: "lab", l: l, a: a, b: b});
  return [c, [k.r * 255, k.g * 255, k.b * 255]];
});
process.stdout.write(JSON.stringify(out));
"""
    modules = CONFIG["npm"]
    completed = subprocess.run(
        ["node", "-e", script, os.path.join(modules, "colorjs.io"), os.path.join(modules, "culori")],
        input=json.dumps(labs).encode(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
        timeout=RUN_TIMEOUT, check=False)
    if completed.returncode != 0:
        raise AssertionError("node: %s" % completed.stderr.decode(errors="replace"))
    return json.loads(completed.stdout)


def transicc(profile, colors, lab=False):
    """Unclipped sRGB (0 to 255) of each colour by LittleCMS's transicc, in
    floating point: CMYK (inks in percent) through `profile`, relative
    colorimetric with black-point compensation; or Lab through its own Lab
    profile, relative colorimetric."""
    options = ["-t1", "-i*Lab"] if lab else ["-t1", "-b", "-i" + profile]
    lines = "".join(" ".join("%.10f" % v for v in color) + "\n" for color in colors)
    completed = subprocess.run(["transicc"] + options + ["-o*sRGB"], input=lines.encode(),
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=RUN_TIMEOUT, check=False)
    if completed.returncode != 0:
        raise AssertionError("transicc: %s" % completed.stderr.decode(errors="replace"))
    found = re.findall(rb"R=(\S+) G=(\S+) B=(\S+)", completed.stdout)
    if len(found) != len(colors):
        raise AssertionError("transicc gave %d colours for %d" % (len(found), len(colors)))
    return [tuple(float(v) for v in rgb) for rgb in found]


def hsb_oracle(hue, saturation, brightness):
    """colorsys's HSV, each channel round(255 v), halves up."""
    rgb = colorsys.hsv_to_rgb(hue / 65536, saturation / 65535, brightness / 65535)
    return tuple(int(v * 255 + 0.5) for v in rgb)


def to_byte(level):
    return min(255, max(0, int(level + 0.5)))


def outside(levels):
    return any(v < -0.5 or v > 255.5 for v in levels)


def near_a_half(level):
    """A level the last digits of a print could round either way."""
    return abs(level - int(level) - 0.5) < 0.002 if 0 <= level <= 255 else False


# -- running the program -----------------------------------------------------

def cli(*arguments):
    completed = subprocess.run([CONFIG["cli"]] + list(arguments), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=RUN_TIMEOUT, check=False)
    return completed


def hex_colors(path):
    return [tuple(bytes.fromhex(line)) for line in read(path).decode().split()]


class Colours(unittest.TestCase):
    def setUp(self):
        name = self.id().rsplit(".", 1)[-1]
        self.folder = os.path.join(CONFIG["work"], name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def convert(self, names, *options, to="hex"):
        """Converts the files; their colours, and the warning lines by file."""
        completed = cli("--to", to, *options, *[self.path(n) for n in names])
        self.assertEqual(completed.returncode, 0, completed.stderr)
        warnings = {}
        for line in completed.stderr.decode().splitlines():
            file, words = line[len("kolorvane-cli: "):].split(": ", 1)
            warnings[os.path.basename(file)] = words
        return warnings

    def assert_within_a_level(self, got, levels, what):
        expected = tuple(to_byte(v) for v in levels)
        self.assertTrue(all(abs(g - e) <= 1 for g, e in zip(got, expected)),
                        "%s: %s, oracle %s" % (what, got, levels))

    # -- Lab -----------------------------------------------------------------

    def lab_grid(self):
        labs = [lab for lab, _, _ in REFERENCE_LAB]
        labs += [(lightness, a, b) for lightness in (0, 5, 25, 50, 75, 95, 100)
                 for a in (-128, -90, -40, -10, 0, 15, 60, 127)
                 for b in (-128, -70, -25, 0, 30, 80, 127)]
        generator = random.Random(26)
        labs += [(round(generator.uniform(0, 100), 2), round(generator.uniform(-128, 127), 2),
                  round(generator.uniform(-128, 127), 2)) for _ in range(200)]
        return labs

    def test_lab_matches_colorjs_and_culori(self):
        labs = self.lab_grid()
        chunks = [labs[i:i + 256] for i in range(0, len(labs), 256)]
        names = []
        for i, chunk in enumerate(chunks):
            write(self.path("lab%d.aco" % i), aco([aco_lab(lab) for lab in chunk]))
            write(self.path("lab%d.ase" % i), ase([("", b"LAB ", [lab[0] / 100, lab[1], lab[2]])
                                                    for lab in chunk]))
            names += ["lab%d.aco" % i, "lab%d.ase" % i]

        warnings = self.convert(names)

        for i, chunk in enumerate(chunks):
            # What the .ase holds is each value as a float.
            as_floats = [(f32(lab[0] / 100) * 100, f32(lab[1]), f32(lab[2])) for lab in chunk]
            for name, values in (("lab%d.aco" % i, chunk), ("lab%d.ase" % i, as_floats)):
                oracles = lab_oracles(values)
                got = hex_colors(self.path(name[:-4] + ".hex"))
                certain = uncertain = 0
                for lab, rgb, (colorjs, culori) in zip(values, got, oracles):
                    self.assert_within_a_level(rgb, colorjs, "%s %s by colorjs.io" % (name, lab))
                    self.assert_within_a_level(rgb, culori, "%s %s by culori" % (name, lab))
                    if any(abs(abs(v - 127.5) - 128) < 0.05 for v in colorjs):
                        uncertain += 1  # a level this close to the edge may fall either side
                    elif outside(colorjs):
                        certain += 1
                counted = re.search(r"; (\d+) outside sRGB", warnings[name])
                clipped = int(counted.group(1)) if counted else 0
                self.assertTrue(certain <= clipped <= certain + uncertain,
                                "%s: %d clipped, %d to %d by colorjs.io"
                                % (name, clipped, certain, certain + uncertain))
                self.assertTrue(warnings[name].startswith(
                    "%d colour%s converted to sRGB: %d Lab" % (
                        len(chunk), "s" if len(chunk) > 1 else "", len(chunk))), warnings[name])

    def test_lab_reference_values(self):
        write(self.path("reference.aco"), aco([aco_lab(lab) for lab, _, _ in REFERENCE_LAB]))

        warnings = self.convert(["reference.aco"])

        for (lab, expected, _), got in zip(REFERENCE_LAB, hex_colors(self.path("reference.hex"))):
            self.assert_within_a_level(got, expected, "Lab %s" % (lab,))
        self.assertEqual(warnings["reference.aco"],
                         "5 colours converted to sRGB: 5 Lab; 1 outside sRGB, clipped")

    # -- HSB and grey ----------------------------------------------------------

    def test_hsb_matches_colorsys(self):
        values = [hsb for hsb, _ in REFERENCE_HSB]
        values += [(hue, saturation, brightness) for hue in range(0, 65536, 4369)
                   for saturation in (0, 1, 21845, 43690, 65534, 65535)
                   for brightness in (0, 257, 32768, 52428, 65535)]
        generator = random.Random(1)
        values += [(generator.randrange(65536), generator.randrange(65536),
                    generator.randrange(65536)) for _ in range(400)]
        chunks = [values[i:i + 256] for i in range(0, len(values), 256)]
        for i, chunk in enumerate(chunks):
            write(self.path("hsb%d.aco" % i), aco([(1, hsb) for hsb in chunk]))

        warnings = self.convert(["hsb%d.aco" % i for i in range(len(chunks))])

        self.assertEqual(warnings, {})  # formulas, no warning
        for i, chunk in enumerate(chunks):
            for hsb, got in zip(chunk, hex_colors(self.path("hsb%d.hex" % i))):
                self.assertEqual(got, hsb_oracle(*hsb), "HSB %s" % (hsb,))
        for (hsb, expected), got in zip(REFERENCE_HSB, hex_colors(self.path("hsb0.hex"))):
            self.assertEqual(got, expected, "HSB %s" % (hsb,))

    def test_grey_is_the_share_of_black(self):
        # 10000ths of black: none is white, all of it black.
        blacks = list(range(0, 10001, 40)) + [10000]
        write(self.path("grey.aco"), aco([(8, (w,)) for w in blacks]))

        self.assertEqual(self.convert(["grey.aco"]), {})

        for black, got in zip(blacks, hex_colors(self.path("grey.hex"))):
            level = (10000 - black) * 255
            expected = level // 10000 + (1 if level % 10000 >= 5000 else 0)
            self.assertEqual(got, (expected,) * 3, "grey %d" % black)

    # -- CMYK ------------------------------------------------------------------

    def cmyk_grid(self):
        inks = [cmyk for cmyk, _, _ in REFERENCE_CMYK]
        inks += [(c, m, y, k) for c in (0, 25, 50, 75, 100) for m in (0, 25, 50, 75, 100)
                 for y in (0, 30, 60, 100) for k in (0, 40, 80, 100)]
        generator = random.Random(2)
        inks += [tuple(generator.uniform(0, 100) for _ in range(4)) for _ in range(200)]
        return inks

    def assert_cmyk_as_transicc(self, names_and_inks, profile, *options):
        """Each file's colours are transicc's through `profile`, clipped,
        a level apart only where transicc's printed digits cannot tell."""
        warnings = self.convert([name for name, _ in names_and_inks], *options)
        for name, inks in names_and_inks:
            oracle = transicc(profile, inks)
            got = hex_colors(self.path(name[:-4] + ".hex"))
            self.assertEqual(len(got), len(inks))
            for ink, rgb, levels in zip(inks, got, oracle):
                for channel, level in zip(rgb, levels):
                    allowed = 1 if near_a_half(level) else 0
                    self.assertLessEqual(abs(channel - to_byte(level)), allowed,
                                         "%s CMYK %s: %s, transicc %s" % (name, ink, rgb, levels))
            clipped = sum(1 for levels in oracle if outside(levels))
            self.assertIn("%d CMYK through" % len(inks), warnings[name])
            if clipped:
                self.assertTrue(warnings[name].endswith("; %d outside sRGB, clipped" % clipped),
                                warnings[name])
        return warnings

    def cmyk_files(self, prefix):
        inks = self.cmyk_grid()
        files = []
        for i in range(0, len(inks), 256):
            chunk = inks[i:i + 256]
            colors = [aco_cmyk(ink) for ink in chunk]
            write(self.path("%s%d.aco" % (prefix, i)), aco(colors))
            files.append(("%s%d.aco" % (prefix, i), [aco_inks(c) for c in colors]))
            floats = [[f32(v / 100) for v in ink] for ink in chunk]
            write(self.path("%s%d.ase" % (prefix, i)), ase([("", b"CMYK", f) for f in floats]))
            files.append(("%s%d.ase" % (prefix, i), [[v * 100 for v in f] for f in floats]))
        return files

    def test_cmyk_matches_transicc_through_iso_coated(self):
        warnings = self.assert_cmyk_as_transicc(self.cmyk_files("cmyk"), CONFIG["cmyk_profile"])
        for words in warnings.values():
            self.assertIn('CMYK through "%s"' % ISO_COATED, words)

    def test_cmyk_reference_values(self):
        write(self.path("reference.aco"), aco([aco_cmyk(c) for c, _, _ in REFERENCE_CMYK]))

        warnings = self.convert(["reference.aco"])

        for (cmyk, expected, _), got in zip(REFERENCE_CMYK, hex_colors(self.path("reference.hex"))):
            self.assert_within_a_level(got, expected, "CMYK %s" % (cmyk,))
        self.assertEqual(warnings["reference.aco"], "4 colours converted to sRGB: 4 CMYK through "
                         "\"%s\"; 1 outside sRGB, clipped" % ISO_COATED)

    def test_another_cmyk_profile_gives_its_own_numbers(self):
        other = CONFIG["other_cmyk_profile"]
        files = self.cmyk_files("other")

        self.assert_cmyk_as_transicc(files, other, "--cmyk-profile", other)

        # Not the numbers of the built-in profile: most colours differ.
        name, inks = files[0]
        through_iso = [tuple(to_byte(v) for v in levels)
                       for levels in transicc(CONFIG["cmyk_profile"], inks)]
        got = hex_colors(self.path(name[:-4] + ".hex"))
        differing = sum(1 for a, b in zip(got, through_iso)
                        if max(abs(x - y) for x, y in zip(a, b)) > 2)
        self.assertGreater(differing, len(inks) // 2)

    def test_a_profile_that_is_no_cmyk_profile_is_a_usage_error(self):
        write(self.path("a.aco"), aco([aco_cmyk((0, 0, 0, 100))]))
        write(self.path("text.icc"), b"not a profile\n" * 40)
        cases = [(CONFIG["rgb_profile"], "not a CMYK profile: its colours are RGB"),
                 (self.path("none.icc"), "no such file"),
                 (self.path("text.icc"), "not an ICC profile")]
        for profile, problem in cases:
            with self.subTest(problem=problem):
                completed = cli("--cmyk-profile", profile, self.path("a.aco"))

                self.assertEqual((completed.returncode, completed.stdout), (2, b""))
                self.assertEqual(completed.stderr.decode(), "kolorvane-cli: --cmyk-profile %s: %s\n"
                                 "Try 'kolorvane-cli --help' for more information.\n"
                                 % (profile, problem))
                self.assertEqual(sorted(os.listdir(self.folder)), ["a.aco", "text.icc"])

    # -- files of every space ---------------------------------------------------

    def expected_mixed(self):
        """One colour of each space, its name, and what it must become (Lab
        by colorjs.io, within a level; CMYK by transicc)."""
        lab = (62.5, -31.25, 44)
        cmyk = (12.5, 80, 0, 5)
        colorjs, _ = lab_oracles([lab])[0]
        through = transicc(CONFIG["cmyk_profile"], [aco_inks(aco_cmyk(cmyk))])[0]
        return [("Rouge", (0, (65535, 0, 0)), (255, 0, 0)),
                ("HSB \u9ec4", (1, (7955, 65273, 65535)), hsb_oracle(7955, 65273, 65535)),
                ("Press \U0001F5A8", aco_cmyk(cmyk), tuple(to_byte(v) for v in through)),
                ("Lab", aco_lab(lab), tuple(to_byte(v) for v in colorjs)),
                ("Grey", (8, (2500,)), (191, 191, 191))]

    def test_a_file_of_every_space_keeps_its_order_and_names(self):
        expected = self.expected_mixed()
        colors = [color for _, color, _ in expected]
        names = [name for name, _, _ in expected]
        write(self.path("v1.aco"), aco(colors))
        write(self.path("v2.aco"), aco(colors, names))

        warnings = self.convert(["v1.aco", "v2.aco"], to="gpl")

        for name in ("v1", "v2"):
            lines = read(self.path(name + ".gpl")).decode().split("\n")[4:-1]
            self.assertEqual(len(lines), len(expected))
            for line, (color_name, _, rgb) in zip(lines, expected):
                fields = line.split("\t")
                got = tuple(int(v) for v in fields[0].split())
                self.assert_within_a_level(got, rgb, color_name)
                self.assertEqual(fields[1:], [color_name] if name == "v2" else [])
            self.assertEqual(warnings[name + ".aco"], "2 colours converted to sRGB: 1 CMYK "
                             "through \"%s\", 1 Lab" % ISO_COATED)

    def test_ase_utils_writes_cmyk_lab_and_gray_that_are_read(self):
        lab = (40, 55.5, -20)
        cmyk = (0.1, 0.2, 0.3, 0.4)
        swatches = {"version": "1.0", "groups": [], "colors": [
            {"name": "ink", "model": "CMYK", "color": cmyk, "type": "spot"},
            {"name": "lab", "model": "LAB", "color": [lab[0] / 100, lab[1], lab[2]],
             "type": "global"},
            {"name": "lower", "model": "Lab", "color": [lab[0] / 100, lab[1], lab[2]],
             "type": "normal"},
            {"name": "grey", "model": "Gray", "color": [0.25], "type": "normal"},
            {"name": "red", "model": "RGB", "color": [1, 0, 0], "type": "normal"}]}
        script = ("const ase = require(process.argv[1]);"
                  "require('fs').writeFileSync(process.argv[3], "
                  "ase.encode(JSON.parse(process.argv[2])))")
        completed = subprocess.run(
            ["node", "-e", script, os.path.join(CONFIG["npm"], "ase-utils"), json.dumps(swatches),
             self.path("peer.ase")], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            timeout=RUN_TIMEOUT, check=False)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        self.assertIn(b"Lab ", read(self.path("peer.ase")))  # the model in its own case

        warnings = self.convert(["peer.ase"], to="gpl")

        lines = read(self.path("peer.gpl")).decode().split("\n")[4:-1]
        colorjs, _ = lab_oracles([(f32(lab[0] / 100) * 100, f32(lab[1]), f32(lab[2]))])[0]
        ink = transicc(CONFIG["cmyk_profile"], [[f32(v) * 100 for v in cmyk]])[0]
        expected = [("ink", tuple(to_byte(v) for v in ink)),
                    ("lab", tuple(to_byte(v) for v in colorjs)),
                    ("lower", tuple(to_byte(v) for v in colorjs)),
                    ("grey", (64, 64, 64)), ("red", (255, 0, 0))]
        self.assertEqual([line.split("\t")[1] for line in lines], [n for n, _ in expected])
        for line, (name, rgb) in zip(lines, expected):
            got = tuple(int(v) for v in line.split("\t")[0].split())
            self.assert_within_a_level(got, rgb, name)
        self.assertEqual(warnings["peer.ase"], "3 colours converted to sRGB: 1 CMYK through "
                         "\"%s\", 2 Lab" % ISO_COATED)


def main():
    parser = argparse.ArgumentParser()
    for option in ("cli", "work", "npm", "cmyk-profile", "other-cmyk-profile", "rgb-profile"):
        parser.add_argument("--" + option, required=True)
    options, rest = parser.parse_known_args()
    CONFIG.update({key: os.path.abspath(value) for key, value in vars(options).items()})
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
