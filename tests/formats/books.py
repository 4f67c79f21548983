"""Adobe colour books, LibreOffice and Scribus palettes and CSS, made and
read by the programs that own them: books written by npm @atesgoral/acb in
each of their colour spaces; the palettes LibreOffice ships (Debian's
libreoffice-common, unpacked here, not installed) and those Scribus ships
(scribus-data), checked against Python's XML parser; what is written read
back by Python's XML parser, by ase-utils, and, for CSS, by headless
Chromium, whose getComputedStyle resolves each custom property. CMYK and
Lab are checked against LittleCMS's transicc, as tests/formats/colours.py
checks them.

    python3 books.py --cli PROGRAM --work DIR --npm NODE_MODULES
                     --cmyk-profile ICC [--chromium PATH] [--libreoffice DIR]
                     [unittest args]
"""

import argparse
import html
import importlib.util
import json
import os
import random
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

RUN_TIMEOUT = 120
CONFIG = {}
HERE = os.path.dirname(os.path.abspath(__file__))


def load_colours():
    spec = importlib.util.spec_from_file_location("colours", os.path.join(HERE, "colours.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


COLOURS = load_colours()
read, write, transicc, to_byte = COLOURS.read, COLOURS.write, COLOURS.transicc, COLOURS.to_byte


def cli(*arguments):
    return subprocess.run([CONFIG["cli"]] + list(arguments), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=RUN_TIMEOUT,
                          check=False)


def node(script, *arguments):
    completed = subprocess.run(["node", "-e", script] + list(arguments), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=RUN_TIMEOUT, check=False)
    if completed.returncode != 0:
        raise AssertionError("node: %s" % completed.stderr.decode(errors="replace"))
    return completed.stdout


def gpl_colors(path):
    """A GIMP palette's name and its (colour, name) lines."""
    lines = read(path).decode().split("\n")
    name = lines[1][len("Name: "):]
    colors = []
    for line in lines[4:-1]:
        numbers, own = line.split("\t")
        colors.append((tuple(int(v) for v in numbers.split()), own))
    return name, colors


SCRIBUS_SWATCHES = "/usr/share/scribus/swatches"
DRAW = "{urn:oasis:names:tc:opendocument:xmlns:drawing:1.0}"
OLD_DRAW = "{http://openoffice.org/2000/drawing}"


def libreoffice_palettes(folder):
    """LibreOffice's own palettes: Debian's libreoffice-common, fetched and
    unpacked into `folder` (once), never installed."""
    palettes = os.path.join(folder, "usr", "lib", "libreoffice", "share", "palette")
    if not os.path.isdir(palettes):
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["apt-get", "download", "libreoffice-common"], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
        package = next(f for f in os.listdir(folder) if f.endswith(".deb"))
        subprocess.run(["dpkg-deb", "-x", os.path.join(folder, package), folder], check=True,
                       timeout=RUN_TIMEOUT)
    return sorted(os.path.join(palettes, f) for f in os.listdir(palettes) if f.endswith(".soc"))


def soc_colors(path):
    """(name, rgb) of each draw:color, by Python's XML parser, in either
    namespace form."""
    root = ElementTree.parse(path).getroot()
    found = []
    for element in root:
        for draw in (DRAW, OLD_DRAW):
            if element.tag == draw + "color":
                value = element.get(draw + "color")
                found.append((element.get(draw + "name"), tuple(bytes.fromhex(value[1:]))))
    return found


def scribus_colors(path):
    """The palette's name and, for each COLOR, its name, its space (RGB,
    CMYK or Lab) and values, as Scribus reads them: SPACE first, then
    CMYK's hex (bytes of 255ths, as percent), then RGB's."""
    root = ElementTree.parse(path).getroot()
    found = []
    for color in root.iter("COLOR"):
        space = color.get("SPACE")
        if space is not None:
            keys = {"RGB": "RGB", "CMYK": "CMYK", "Lab": "LAB"}[space]
            values = tuple(float(color.get(k, "0")) for k in keys)
        elif color.get("CMYK") is not None:
            space = "CMYK"
            values = tuple(b / 2.55 for b in bytes.fromhex(color.get("CMYK")[1:]))
        else:
            space = "RGB"
            values = tuple(bytes.fromhex(color.get("RGB")[1:]))
        found.append((color.get("NAME"), space, values))
    return root.get("Name", ""), found


ENCODE_ACB = """
const {encodeAcb} = require(process.argv[1]);
require('fs').writeFileSync(process.argv[2], Buffer.concat([...encodeAcb(JSON.parse(process.argv[3]))]));
"""


class Books(unittest.TestCase):
    def setUp(self):
        name = self.id().rsplit(".", 1)[-1]
        self.folder = os.path.join(CONFIG["work"], name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(os.path.join(self.folder, "out"))

    def path(self, name):
        return os.path.join(self.folder, name)

    def assert_within_a_level(self, got, levels, what):
        expected = tuple(to_byte(v) for v in levels)
        self.assertTrue(all(abs(g - e) <= 1 for g, e in zip(got, expected)),
                        "%s: %s, transicc %s" % (what, got, levels))

    def assert_refused(self, name, line):
        completed = cli("--to", "gpl", self.path(name))
        self.assertEqual(completed.returncode, 1)
        self.assertEqual(completed.stderr.decode(), "kolorvane-cli: %s: %s\n" % (self.path(name), line))
        self.assertEqual(sorted(os.listdir(self.folder)), sorted([name, "out"]))

    # -- Adobe colour books --------------------------------------------------

    def make_book(self, name, model, components):
        book = {"id": 3100, "title": "Book \u00e9 " + model, "description": "$$$/kv/d=Test",
                "colorNamePrefix": "INK ", "colorNamePostfix": " C", "pageSize": 7,
                "pageKey": 4, "colorModel": model,
                "colors": [{"name": "n%d \u263a" % i, "code": "%06d" % i, "components": c}
                           for i, c in enumerate(components)]}
        node(ENCODE_ACB, os.path.join(CONFIG["npm"], "@atesgoral", "acb"), self.path(name),
             json.dumps(book))

    def test_books_in_every_space_read_with_names(self):
        # Inks in fifths and L in fifths are whole bytes (x 2.55), and a and
        # b are bytes less 128, so that the book holds exactly these values.
        generator = random.Random(31)
        count = 300
        rgb = [[generator.randrange(256) for _ in range(3)] for _ in range(count)]
        cmyk = [[20 * generator.randrange(6) for _ in range(4)] for _ in range(count)]
        lab = [[20 * generator.randrange(6), generator.randrange(-128, 128),
                generator.randrange(-128, 128)] for _ in range(count)]
        expected = {"RGB": rgb, "CMYK": transicc(CONFIG["cmyk_profile"], cmyk),
                    "Lab": transicc(None, lab, lab=True)}
        for model, components in (("RGB", rgb), ("CMYK", cmyk), ("Lab", lab)):
            self.make_book(model + ".acb", model, components)

        completed = cli("--to", "gpl", *[self.path(m + ".acb") for m in expected])
        self.assertEqual(completed.returncode, 0, completed.stderr)

        for model, levels in expected.items():
            name, colors = gpl_colors(self.path(model + ".gpl"))
            self.assertEqual(name, "Book \u00e9 " + model)
            self.assertEqual([n for _, n in colors],
                             ["INK n%d \u263a C" % i for i in range(count)])
            for i, (got, _) in enumerate(colors):
                if model == "RGB":
                    self.assertEqual(got, tuple(levels[i]))
                else:
                    self.assert_within_a_level(got, levels[i], "%s %d" % (model, i))

    def test_bad_books_refused_with_where_and_nothing_written(self):
        self.make_book("good.acb", "CMYK", [[0, 20, 40, 60]])
        good = read(self.path("good.acb"))
        # The one colour: its name, key and inks, then the tail.
        colours_at = len(good) - (4 + 2 * len("n0 \u263a") + 6 + 4) - 8
        cases = [("cut.acb", good[:colours_at + 3], "offset %d: the file ends early" % colours_at),
                 ("v2.acb", good[:4] + b"\x00\x02" + good[6:], "offset 4: version 2 is not supported"),
                 ("space.acb", good[:colours_at - 2] + b"\x00\x03" + good[colours_at:],
                  "offset %d: colour space 3 is not supported" % (colours_at - 2)),
                 ("tail.acb", good + b"\x00", "offset %d: data past the last colour" % len(good)),
                 ("none.acb", b"8BCA" + good[4:], "not an Adobe colour book")]
        for name, data, line in cases:
            with self.subTest(name):
                shutil.rmtree(self.folder)
                os.makedirs(self.path("out"))
                write(self.path(name), data)
                self.assert_refused(name, line)

    # -- LibreOffice and Scribus ----------------------------------------------

    def test_libreoffices_own_palettes_read_and_written(self):
        palettes = libreoffice_palettes(CONFIG["libreoffice"])
        self.assertGreaterEqual(len(palettes), 8)
        for path in palettes:
            with self.subTest(os.path.basename(path)):
                expected = soc_colors(path)
                shutil.copy(path, self.path("own.soc"))
                self.assertEqual(cli("--to", "gpl", self.path("own.soc")).returncode, 0)
                _, colors = gpl_colors(self.path("own.gpl"))
                self.assertEqual([(n, c) for c, n in colors], expected)
                # Written back, Python's parser reads the same.
                completed = cli("--to", "soc", "-o", self.path("out"), self.path("own.gpl"))
                self.assertEqual(completed.returncode, 0, completed.stderr)
                self.assertEqual(soc_colors(self.path("out/own.soc")), expected)

    def test_scribus_own_swatches_read(self):
        files = sorted(f for f in os.listdir(SCRIBUS_SWATCHES) if f.endswith(".xml"))
        self.assertGreaterEqual(len(files), 30)
        for name in files:
            with self.subTest(name):
                _, swatches = scribus_colors(os.path.join(SCRIBUS_SWATCHES, name))
                shutil.copy(os.path.join(SCRIBUS_SWATCHES, name), self.path("own.xml"))
                completed = cli("--to", "gpl", self.path("own.xml"))
                self.assertEqual(completed.returncode, 0, completed.stderr)
                _, colors = gpl_colors(self.path("own.gpl"))
                # A GIMP palette trims the spaces around a name.
                self.assertEqual([n for _, n in colors], [n.strip() for n, _, _ in swatches])
                self.check_scribus_colours(swatches, [c for c, _ in colors], name)

    def check_scribus_colours(self, swatches, colors, what):
        """RGB exactly, CMYK and Lab within a level of transicc."""
        cmyk = [v for _, space, v in swatches if space == "CMYK"]
        lab = [v for _, space, v in swatches if space == "Lab"]
        converted = {"CMYK": iter(transicc(CONFIG["cmyk_profile"], cmyk) if cmyk else []),
                     "Lab": iter(transicc(None, lab, lab=True) if lab else [])}
        for (name, space, values), got in zip(swatches, colors):
            if space == "RGB":
                self.assertEqual(got, tuple(round(v) for v in values), "%s %s" % (what, name))
            else:
                self.assert_within_a_level(got, next(converted[space]), "%s %s" % (what, name))

    def test_illustrator_cmyk_keeps_its_inks_through_aco_and_scribus(self):
        generator = random.Random(5)
        inks = [[0, 1, 1, 0], [0, 0, 0, 1]] + [[generator.random() for _ in range(4)]
                                               for _ in range(60)]
        labs = [[0.5, 20, -30.5], [0.9137, -64.25, 99.5]]
        swatches = {"version": "1.0", "groups": [], "colors": [
            {"name": "ink %d" % i, "model": "CMYK", "color": c, "type": "spot" if i % 2 else "global"}
            for i, c in enumerate(inks)] + [
            {"name": "lab %d" % i, "model": "LAB", "color": c, "type": "normal"}
            for i, c in enumerate(labs)] + [
            {"name": "rgb", "model": "RGB", "color": [1, 0.2, 0], "type": "normal"}]}
        script = ("const ase = require(process.argv[1]);"
                  "require('fs').writeFileSync(process.argv[3], ase.encode(JSON.parse(process.argv[2])))")
        node(script, os.path.join(CONFIG["npm"], "ase-utils"), json.dumps(swatches),
             self.path("start.ase"))

        for source, target in (("start.ase", "aco"), ("start.aco", "scribus"),
                               ("start.xml", "ase")):
            completed = cli("--to", target, "-o", self.path("out"), self.path(source))
            self.assertEqual(completed.returncode, 0, completed.stderr)
            self.assertEqual(completed.stderr, b"")  # nothing converted, so no warning
            shutil.move(os.path.join(self.path("out"), os.listdir(self.path("out"))[0]),
                        self.path(os.path.splitext(source)[0] + "." + {"scribus": "xml"}.get(target, target)))

        script = ("const ase = require(process.argv[1]);"
                  "process.stdout.write(JSON.stringify(ase.decode(require('fs').readFileSync(process.argv[2]))))")
        back = json.loads(node(script, os.path.join(CONFIG["npm"], "ase-utils"),
                               self.path("start.ase")))["colors"]
        self.assertEqual([c["name"] for c in back], [c["name"] for c in swatches["colors"]])
        self.assertEqual([c["model"] for c in back], ["CMYK"] * len(inks) + ["LAB"] * 2 + ["RGB"])
        # .aco holds each ink in 65535ths, Lab in 100ths: the steps the chain
        # may move a value by.
        for got, given in zip(back, swatches["colors"]):
            step = 1 / 65535 if given["model"] == "CMYK" else 0.005
            for g, v in zip(got["color"], given["color"]):
                self.assertAlmostEqual(g, v, delta=step + 1e-6, msg=given["name"])
        # Scribus's own reading: every ink as SPACE CMYK values.
        _, scribus = scribus_colors(self.path("start.xml"))
        self.assertEqual([s for _, s, _ in scribus], ["CMYK"] * len(inks) + ["Lab"] * 2 + ["RGB"])
        for (_, _, values), ink in zip(scribus, inks):
            for g, v in zip(values, ink):
                self.assertAlmostEqual(g, v * 100, delta=100 / 65535 + 1e-6)

        # Into a format of RGB alone, the warning, as ever.
        completed = cli("--to", "gpl", self.path("start.xml"))
        self.assertTrue(completed.stderr.decode().startswith(
            "kolorvane-cli: %s: 64 colours converted to sRGB: 62 CMYK through \"%s\", 2 Lab; "
            % (self.path("start.xml"), COLOURS.ISO_COATED)), completed.stderr)

    def test_bad_xml_refused_with_its_line_and_nothing_written(self):
        colors = '<COLOR NAME="a" RGB="#000000"/>\n'
        scribus = '<?xml version="1.0"?>\n<SCRIBUSCOLORS>\n%s</SCRIBUSCOLORS>\n'
        cases = [
            ("other.xml", '<?xml version="1.0"?>\n<svg/>\n', "not a Scribus swatch file"),
            ("cut.xml", scribus % colors[:20], "line 3: malformed"),
            ("hex.xml", scribus % colors.replace("#000000", "#00000g"),
             "line 3: colour 1 is malformed"),
            ("space.xml", scribus % '<COLOR NAME="a" SPACE="HSV" H="1"/>\n',
             "line 3: colour 1 is in an unknown colour model; only RGB, HSB, CMYK, Lab and "
             "grayscale colours are read"),
            ("lab.xml", scribus % (colors + '<COLOR NAME="b" SPACE="Lab" L="101"/>\n'),
             "line 4: colour 2 has a Lab value outside L 0 to 100, a and b -128 to 127"),
            ("cmyk.xml", scribus % '<COLOR NAME="a" SPACE="CMYK" C="-1"/>\n',
             "line 3: colour 1 has a value out of range"),
            ("nan.xml", scribus % '<COLOR NAME="a" SPACE="RGB" R="nan"/>\n',
             "line 3: colour 1 is malformed"),
            ("laughs.xml", '<?xml version="1.0"?>\n<!DOCTYPE a [<!ENTITY a "aaaa">]>\n'
             '<SCRIBUSCOLORS/>\n', "line 2: a DTD, which is not read: no entity is ever expanded"),
            ("empty.soc", '<ooo:color-table xmlns:ooo="x"/>\n', "no colours"),
            ("root.soc", '<office:document xmlns:office="x"/>\n', "not a LibreOffice palette"),
            ("hex.soc", '<ooo:color-table>\n<draw:color draw:name="a" draw:color="red"/>\n'
             '</ooo:color-table>\n', "line 2: colour 1 is malformed"),
        ]
        for name, data, line in cases:
            with self.subTest(name):
                shutil.rmtree(self.folder)
                os.makedirs(self.path("out"))
                write(self.path(name), data.encode())
                self.assert_refused(name, line)

    # -- CSS -----------------------------------------------------------------

    def computed_by_chromium(self, css):
        """Each custom property of the stylesheet, as Chromium computes it
        on :root and as the colour `var()` of it resolves to."""
        page = ("<!DOCTYPE html><meta charset=\"windows-1252\"><link rel=\"stylesheet\" "
                "href=\"%s\"><pre id=\"out\"></pre><script>\n"
                "const root = getComputedStyle(document.documentElement);\n"
                "const out = [];\n"
                "for (const sheet of document.styleSheets) for (const rule of sheet.cssRules)\n"
                "  for (const property of rule.style) {\n"
                "    const probe = document.createElement('div');\n"
                "    probe.style.color = 'var(' + property + ')';\n"
                "    document.body.appendChild(probe);\n"
                "    out.push([property, root.getPropertyValue(property).trim(),\n"
                "              getComputedStyle(probe).color]);\n"
                "  }\n"
                "document.getElementById('out').textContent = JSON.stringify(out);\n"
                "</script>\n" % os.path.basename(css))
        write(self.path("page.html"), page.encode())
        profile = self.path("chromium-profile")
        completed = subprocess.run(
            [CONFIG["chromium"], "--headless", "--no-sandbox", "--disable-gpu",
             "--allow-file-access-from-files", "--user-data-dir=" + profile, "--dump-dom",
             "file://" + self.path("page.html")], stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, timeout=RUN_TIMEOUT, check=False)
        self.assertEqual(completed.returncode, 0)
        dom = completed.stdout.decode()
        start = dom.index("<pre id=\"out\">") + len("<pre id=\"out\">")
        return json.loads(html.unescape(dom[start:dom.index("</pre>", start)]))

    def test_css_properties_resolve_in_chromium(self):
        names = ["Sky Blue", "sky-blue", "SKY_BLUE", "", "Été 夕焼け", "color-4", "*/ 50%!",
                 "", "#1", "sky blue", "\U0001f30a"]
        generator = random.Random(7)
        colors = [tuple(generator.randrange(256) for _ in range(3)) for _ in names]
        lines = ["GIMP Palette", "Name: Mine */ <b>", "#"]
        lines += ["%d %d %d\t%s" % (c + (n,)) for c, n in zip(colors, names)]
        write(self.path("mine.gpl"), ("\n".join(lines) + "\n").encode())

        completed = cli("--to", "css", self.path("mine.gpl"))
        self.assertEqual(completed.returncode, 0, completed.stderr)

        css = read(self.path("mine.css")).decode()
        self.assertTrue(css.startswith("@charset \"UTF-8\";\n/* Mine * / <b> */\n:root {\n"), css)
        computed = self.computed_by_chromium(self.path("mine.css"))
        self.assertEqual([p for p, _, _ in computed],
                         ["--sky-blue", "--sky-blue-2", "--sky_blue", "--color-4", "--Été-夕焼け",
                          "--color-4-6", "--50", "--color-8", "--1", "--sky-blue-10",
                          "--\U0001f30a"])
        for (_, value, resolved), color in zip(computed, colors):
            self.assertEqual(value, "#%02x%02x%02x" % color)
            self.assertEqual(resolved, "rgb(%d, %d, %d)" % color)


def main():
    parser = argparse.ArgumentParser()
    for option in ("cli", "work", "npm", "cmyk-profile"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    # Where Debian's libreoffice-common is unpacked (scripts/install-deps.sh
    # does it); fetched there when it is not.
    parser.add_argument("--libreoffice", default="libreoffice-common")
    options, rest = parser.parse_known_args()
    CONFIG.update({key: os.path.abspath(value) for key, value in vars(options).items()})
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
