"""Adobe colour books, LibreOffice and Scribus palettes and CSS, made and
read by the programs that own them: books written by npm @atesgoral/acb in
each of their colour spaces; CSS read back by headless Chromium, whose
getComputedStyle resolves each custom property. CMYK and Lab are checked
against LittleCMS's transicc, as tests/formats/colours.py checks them.

    python3 books.py --cli PROGRAM --work DIR --npm NODE_MODULES
                     --cmyk-profile ICC [--chromium PATH] [unittest args]
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


ENCODE_ACB = """
const {encodeAcb} = require(process.argv[1]);
require('fs').writeFileSync(process.argv[2], Buffer.concat([...encodeAcb(JSON.parse(process.argv[3]))]));
"""


class Books(unittest.TestCase):
    def setUp(self):
        name = self.id().rsplit(".", 1)[-1]
        self.folder = os.path.join(CONFIG["work"], name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)

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
        self.assertEqual(sorted(os.listdir(self.folder)), [name])

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
        count = 200
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
                os.makedirs(self.folder)
                write(self.path(name), data)
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
    options, rest = parser.parse_known_args()
    CONFIG.update({key: os.path.abspath(value) for key, value in vars(options).items()})
    os.makedirs(CONFIG["work"], exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
