#!/usr/bin/python3
"""Writes the fuzz targets' seed corpus into fuzz/corpus/. Debian's Python,
whose Pillow makes the PNG images (tests/formats/make-pngs.py) and the BMP,
PCX and TGA images (tests/formats/make-raster.py).

The seeds are checked in; run this again only to change them. Each target
gets a few inputs of every shape its code tells apart, so that fuzzing starts
from the interesting paths rather than from finding the header by chance.
Where the fuzz build's targets are built (build/fuzz/fuzz, or the folder
given), each corpus is then minimised: the fewest seeds that reach every
path the seeds reach, by libFuzzer's -merge=1 into an empty folder.
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = b"EDGE PAL\x00\x00"


def entries(count, seed):
    return bytes((seed + 7 * i) & 0xFF for i in range(3 * count))


def write(target, name, data):
    with open(os.path.join(HERE, "corpus", target, name), "wb") as f:
        f.write(data)


def pal_seeds():
    return {
        "full.pal": HEADER + entries(256, 1),
        "lower-case-header.pal": b"edge pal\x00\x00" + entries(256, 2),
        "mixed-case-header.pal": b"Edge Pal\x00\x00" + entries(256, 3),
        "header-only-letters.pal": b"EDGE PAL",
        "short.pal": HEADER + entries(17, 4),
        "trailing-bytes.pal": HEADER + entries(256, 5) + b"\xAB\xCD\xEF",
        "underscore-header.pal": b"EDGE_PAL\x00\x00" + entries(256, 6),
        "nonzero-header.pal": b"EDGE PAL\x00\x01" + entries(256, 7),
        "empty.pal": b"",
    }


def act_seeds():
    return {
        "full.act": entries(256, 8),
        "short.act": entries(33, 9) + b"\x01",
        "trailing-bytes.act": entries(256, 10) + b"\x00\x11\x22\x33",
        "one-entry.act": b"\x10\x20\x30",
        "empty.act": b"",
    }


NAMING_PATHS = {
    "drive.pal": b"C:\\Palettes\\Sunset.PAL",
    "unc.act": b"\\\\server\\share\\p.act",
    "dots.pal": b"C:\\tile.set.pal",
    "extension-only.pal": b"C:\\.pal",
    "slashes.pal": b"C:\\dir/with/slashes.pal",
    "double-extension.bak": b"C:\\w\\x.pal.bak",
    "no-directory.pal": b"x.pal",
    "leading-backslash.act": b"\\x.act",
    # Code page 932: 95 5C is one character, 83 5C another.
    "double-byte.pal": b"C:\\\x95\x5C\x8E\xA6\\\x83\x5C.pal",
    "double-byte-only.act": b"\x83\x5C.act",
    "lead-byte-last": b"C:\\x\\\x83",
    "longest.pal": b"C:\\" + b"d" * 252 + b".pal",  # 259 bytes, the most that fits
    "unterminated.pal": b"C:\\" + b"d" * 253 + b".pal",  # 260: no room for the terminator
}


def drop_input(path, contents, fail=0, read_chunk=0, write_chunk=0, flags=0):
    return bytes([fail, read_chunk, write_chunk, flags]) + path + b"\x00" + contents


def drop_seeds():
    pal = HEADER + entries(256, 11)
    act = entries(256, 12)
    seeds = {
        "pal-to-act": drop_input(b"C:\\w\\Sunset.PAL", pal),
        "act-to-pal": drop_input(b"C:\\w\\p.Act", act),
        "bad-header": drop_input(b"C:\\w\\b.pal", b"EDGE_PAL\x00\x00" + entries(256, 13)),
        "short-act-chunked": drop_input(b"C:\\w\\s.act", entries(20, 14), read_chunk=7, write_chunk=100),
        "unsupported": drop_input(b"C:\\w\\x.txt", pal),
        "relative": drop_input(b"sub\\r.pal", pal),
        "unc": drop_input(b"\\\\server\\share\\u.act", act),
        "double-byte": drop_input(b"C:\\\x94\x5C\\\x95\x5C.act", act),
        "source-missing": drop_input(b"C:\\w\\m.pal", pal, flags=1),
        "source-folder": drop_input(b"C:\\w\\f.act", act, flags=2),
        "output-exists": drop_input(b"C:\\w\\e.pal", pal, flags=4),
        "output-folder": drop_input(b"C:\\w\\o.act", act, flags=8),
        "directory-gone": drop_input(b"C:\\w\\g.pal", pal, flags=16),
        "temporary-taken": drop_input(b"C:\\w\\t.act", act, flags=32 | 4),
    }
    # Each call of a conversion failed in turn: open, read, close, chdir,
    # temp, write, close, replace, and remove after a failed replace.
    for call in range(1, 10):
        seeds["fail-%d" % call] = drop_input(b"C:\\w\\c.pal", pal, fail=call, flags=4)
    seeds["fail-remove"] = drop_input(b"C:\\w\\c.act", act, fail=9, flags=8)
    return seeds


# The table's order of the formats: a formats seed's first byte picks one,
# so the seeds are made again when a row is added.
def table_formats():
    """The names of the formats in the order of the table's rows."""
    with open(os.path.join(HERE, "..", "convert", "formats", "formats.cpp")) as f:
        return re.findall(r'^    \{\.name = "([a-z0-9]+)"', f.read(), re.M)


FORMATS = table_formats()


def families():
    """Each family of fuzz/families.txt with its rows, in the order its
    target picks them by a seed's first byte: those it names that are in
    the table, then for the family marked +rest every row no family
    names."""
    listed = {}
    rest = None
    with open(os.path.join(HERE, "families.txt")) as f:
        for line in f:
            match = re.match(r"([a-z]+):(.*)$", line)
            if match:
                words = match.group(2).split()
                if "+rest" in words:
                    rest = match.group(1)
                listed[match.group(1)] = [w for w in words if w != "+rest"]
    named = {name for rows in listed.values() for name in rows}
    rows = {family: [name for name in names if name in FORMATS] for family, names in listed.items()}
    if rest is not None:
        rows[rest] += [name for name in FORMATS if name not in named]
    return rows


FAMILIES = families()
SAMPLE_FORMATS = {
    "edge.pal": "edge", "act.act": "act", "jasc.pal": "jasc", "jasc-lf.pal": "jasc",
    "riff.pal": "riff", "riff-chunks.pal": "riff", "five.gpl": "gpl", "named.gpl": "gpl",
    "five.hex": "hex", "upper.hex": "hex", "five.txt": "paintnet", "alpha.txt": "paintnet",
    "five.aco": "aco", "v1.aco": "aco", "v2.aco": "aco", "five.ase": "ase", "groups.ase": "ase",
    "named-five.gpl": "gpl", "named-five.aco": "aco", "named-five.ase": "ase",
    "aseprite.gpl": "gpl", "latin1.gpl": "gpl", "hash.hex": "hex",
    "five.png": "png", "five-rgb.png": "png",
    "five.col": "col", "short.col": "col", "six-bit.col": "vga", "iff.col": "ilbm",
    "pbm.lbm": "ilbm", "five.lbm": "ilbm", "five.lmp": "lmp", "playpal.lmp": "lmp",
    "iwad.wad": "wad", "pwad.wad": "wad", "nes.pal": "nes", "nes-emphasis.pal": "nes",
    "five.bmp": "bmp", "five.pcx": "pcx", "five.tga": "tga",
    "five.acb": "acb", "five.soc": "soc", "named-five.soc": "soc", "five.xml": "scribus",
    "named-five.xml": "scribus",
    "five.swatches": "swatches", "five.kpl": "kpl", "five.sketchpalette": "sketch",
}


def retro_format(name, data):
    """The format the end-to-end suite reads a retro palette or IFF image
    as: by the prefix that --from takes, the extension, or a .col's bytes."""
    for prefix in ("nes", "vga"):
        if name.startswith(prefix + "-"):
            return prefix
    extension = name.rsplit(".", 1)[-1]
    if extension == "col":
        return "ilbm" if data.startswith(b"FORM") else "vga" if len(data) == 768 else "col"
    return {"lbm": "ilbm", "iff": "ilbm", "bbm": "ilbm", "ilbm": "ilbm", "lmp": "lmp",
            "wad": "wad"}.get(extension)


def suite_seeds(script, format_of):
    """The files `script` of tests/formats makes for the end-to-end suite,
    each a seed of the format `format_of(name, data)` names (None: none)."""
    seeds = {}
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "tests", "formats", script),
                        "cases", folder], check=True, timeout=60)
        for name in sorted(n for n in os.listdir(folder) if not n.endswith(".expect")):
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            # Past what the targets read, or an image of more colours than a
            # palette holds, whose 65,536 pixels cost a read tens of
            # milliseconds: the unit and end-to-end suites test those.
            if len(data) > 65536 or "too-many" in name:
                continue
            kind = format_of(name, data)
            if kind is not None:
                seeds["%s-%s" % (script[len("make-"):-len(".py")], name)] = (kind, data)
    return seeds


def formats_seeds():
    """The sample palettes of tests/formats/samples and the files the
    end-to-end suite makes, each with the name of its format."""
    samples = os.path.join(HERE, "..", "tests", "formats", "samples")
    seeds = {}
    for name, format_name in SAMPLE_FORMATS.items():
        with open(os.path.join(samples, name), "rb") as f:
            seeds[name] = (format_name, f.read())
    # Swatches of every colour space .aco and .ase read, a version 2 .aco
    # with names.
    aco_colors = [(0, (65535, 0, 0, 0)), (1, (7955, 65273, 65535, 0)),
                  (2, (0, 65535, 32767, 49151)), (7, (5324, 8009, 0x10000 - 6720, 0)),
                  (8, (2500, 0, 0, 0))]
    data = struct.pack(">HH", 2, len(aco_colors))
    for i, (space, values) in enumerate(aco_colors):
        data += struct.pack(">5H", space, *values) + struct.pack(">I", 2) + struct.pack(">HH", 65 + i, 0)
    seeds["spaces.aco"] = ("aco", data)
    blocks = b""
    for model, values in [(b"CMYK", (1, 0, 0.35, 0.15)), (b"LAB ", (0.5, 50, -60)),
                          (b"Gray", (0.25,)), (b"rgb ", (1, 0, 0))]:
        body = b"\0\1\0\0" + model + struct.pack(">%df" % len(values), *values) + b"\0\2"
        blocks += struct.pack(">HI", 1, len(body)) + body
    seeds["spaces.ase"] = ("ase", b"ASEF" + struct.pack(">HHI", 1, 0, 4) + blocks)
    # The images and palettes the end-to-end suite makes, good and damaged.
    by_extension = {"png": "png", "gif": "gif", "bmp": "bmp", "pcx": "pcx", "tga": "tga"}
    for script in ("make-pngs.py", "make-gifs.py", "make-raster.py"):
        seeds.update(suite_seeds(script, lambda name, data: by_extension.get(name.rsplit(".")[-1])))
    seeds.update(suite_seeds("make-retro.py", lambda name, data: retro_format(name, data)))
    return seeds


def family_seeds():
    """The formats' seeds of each family's target, each behind the byte
    that picks its format among the family's rows."""
    seeds = formats_seeds()
    by_family = {}
    for family, rows in FAMILIES.items():
        by_family["read_" + family] = {
            name: bytes([rows.index(kind)]) + data
            for name, (kind, data) in seeds.items() if kind in rows}
    return by_family


def write_seeds():
    """A palette for each written format: the byte that picks it among the
    written formats, a count and the bytes the colours and names are taken
    from."""
    with open(os.path.join(HERE, "..", "convert", "formats", "formats.cpp")) as f:
        rows = re.split(r'\n    \{\.name = ', f.read())[1:]
    written = [re.match(r'"([a-z0-9]+)"', row).group(1) for row in rows
               if ".write = " in row and ".read = " in row]
    body = bytes(range(256))
    # Past 256 colours only where that changes what is written: an image's
    # palette becomes a true-colour grid. Elsewhere a large count finds no
    # path a small one does not, and costs the round trip a hundred times
    # the work.
    large = {"png", "bmp", "tga"}
    return {"%s-%d" % (name, count): bytes([i]) + count_bytes(count) + body
            for i, name in enumerate(written)
            for count in ((4, 300) if name in large else (4,))}


def count_bytes(count):
    """The two bytes of the round trip's count: up to 16 colours from a
    first byte below 0xE0; from one of 0xE0 or more, up to as many as the
    format does anything new with (300 for an image)."""
    if count <= 16:
        return bytes([0, count - 1])
    return bytes([0xE0 | (count - 1) >> 8, (count - 1) & 0xFF])


def main():
    built = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "fuzz", "fuzz")
    for target, seeds in list(family_seeds().items()) + [
        ("write_formats", write_seeds()),
        ("read_pal", pal_seeds()),
        ("read_act", act_seeds()),
        ("naming", NAMING_PATHS),
        ("drop", drop_seeds()),
    ]:
        folder = os.path.join(HERE, "corpus", target)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name, data in seeds.items():
            write(target, name, data)
        if seeds and os.path.exists(os.path.join(built, target + "_fuzzer")):
            minimise(os.path.join(built, target + "_fuzzer"), folder)


def minimise(binary, folder):
    """Keeps the seeds of `folder` that `binary` needs to reach every path
    they reach, the smallest first."""
    with tempfile.TemporaryDirectory() as kept:
        subprocess.run([binary, "-merge=1", "-rss_limit_mb=2048", kept, folder], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        kept_names = set(os.listdir(kept))
        for name in os.listdir(folder):
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            if hashlib.sha1(data).hexdigest() not in kept_names:
                os.remove(os.path.join(folder, name))


if __name__ == "__main__":
    main()
