#!/usr/bin/env python3
"""The palettes of retro tools and games, and IFF images, for the command
line's tests: ILBM images written by netpbm's ppmtoilbm, the others made from
their formats' public layouts (make-samples.py's), never by kolorvane-cli;
and the ILBM images kolorvane-cli writes, as netpbm's ilbmtoppm reads them.

    make-retro.py cases DIR   NAME.EXT and NAME.expect for each case; a
                              NAME starting "nes-" or "vga-" is read with
                              --from nes or --from vga
    make-retro.py ilbm FILE   the image as ilbmtoppm reads it, as JSON: its
                              size and every pixel's colour (RRGGBB), and its
                              CMAP as ilbmtoppm -cmaponly gives it
    make-retro.py wad FILE SIZE RRGGBB,...
                              a WAD of SIZE bytes, sparse where the system
                              allows: a lump of zeros, PLAYPAL in the middle
                              (the colours, then black), the directory at
                              the end

The end-to-end suite imports it and calls write_cases, ilbm_image and
large_wad, which these commands run.

NAME.expect holds what reading NAME must give: the palette's colours as
RRGGBB lines, in order, or "error: " and the reason.
"""
import importlib.util
import json
import os
import random
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TIMEOUT = 60


def load_samples():
    spec = importlib.util.spec_from_file_location("samples", os.path.join(HERE, "make-samples.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


LAYOUTS = load_samples()


def colors_of(seed, count):
    generator = random.Random(seed)
    return [tuple(generator.randrange(256) for _ in range(3)) for _ in range(count)]


def hex_lines(colors):
    return "".join("%02x%02x%02x\n" % tuple(c) for c in colors)


def ppm(colors, size=4):
    """A strip of `size`-pixel squares, one a colour, as a binary PPM."""
    row = b"".join(bytes(c) * size for c in colors)
    return b"P6\n%d %d\n255\n" % (size * len(colors), size) + row * size


def parse_ppm(data):
    """(width, height, [(r, g, b)...]) of a P3 or P6 image of maxval 255."""
    fields, position = [], 2
    kind = data[:2]
    while len(fields) < 3:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position)
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(int(data[position:end]))
        position = end
    width, height, maxval = fields
    assert maxval == 255, maxval
    if kind == b"P6":
        samples = data[position + 1:position + 1 + 3 * width * height]
    else:
        samples = [int(v) for v in data[position:].split()]
    pixels = [tuple(samples[i:i + 3]) for i in range(0, 3 * width * height, 3)]
    return width, height, pixels


def netpbm(program, arguments, data):
    result = subprocess.run([program] + arguments, input=data, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, check=True, timeout=TIMEOUT)
    return result.stdout


def cmap_of(ilbm):
    """The CMAP as ilbmtoppm -cmaponly reads it: one pixel an entry."""
    return parse_ppm(netpbm("ilbmtoppm", ["-cmaponly"], ilbm))[2]


def ppmtoilbm_cases():
    """ILBM images as ppmtoilbm writes them: each depth from 1 to 8 planes,
    compressed (its default, ByteRun1) and not, a colour-map file, and a
    24-bit image, which holds no palette."""
    cases = {}
    for name, count, options in [
        ("ilbm-1-plane.lbm", 2, []),
        ("ilbm-4-planes.lbm", 16, []),
        ("ilbm-5-planes-uncompressed.iff", 32, ["-nocompress"]),
        ("ilbm-8-planes.lbm", 256, ["-maxplanes", "8"]),
        ("ilbm-8-fixed-planes.bbm", 3, ["-fixplanes", "8"]),
        ("ilbm-colour-map.ilbm", 7, ["-cmaponly"]),
    ]:
        colors = colors_of(len(cases) + 1, count)
        image = netpbm("ppmtoilbm", options, ppm(colors))
        cmap = cmap_of(image)
        # ppmtoilbm orders the colours its own way; its CMAP holds them all.
        assert set(cmap) >= set(colors), name
        cases[name] = (image, hex_lines(cmap))
    deep = netpbm("ppmtoilbm", ["-24force"], ppm(colors_of(9, 5)))
    cases["ilbm-24-bit.lbm"] = (deep, "error: no CMAP chunk")
    # Cut short, the FORM's length passes the end of the file.
    cut = cases["ilbm-4-planes.lbm"][0]
    cases["ilbm-cut.lbm"] = (cut[:len(cut) // 2], "error: offset 4: a size points past the end "
                                                  "of the file")
    return cases


def iff_cases():
    """IFF images made from the layout: Deluxe Paint's chunky PBM, of an odd
    width and an odd CMAP (padded), also as a .col; a chunk no reader knows
    and a second CMAP; a BODY that runs past its FORM; a FORM that is no
    image."""
    colors = colors_of(20, 7)
    rows = [[(x + y) % 7 for x in range(5)] for y in range(3)]
    chunky = LAYOUTS.pbm(colors, rows)
    form = LAYOUTS.iff_form(b"ILBM", [LAYOUTS.iff_chunk(b"ANNO", b"made by hand"),
                                      LAYOUTS.cmap(colors[:3]),
                                      LAYOUTS.iff_chunk(b"CMAP", b"\x01\x02\x03")])
    body = b"ILBM" + LAYOUTS.cmap(colors) + b"BODY" + struct.pack(">I", 100)
    past = b"FORM" + struct.pack(">I", len(body)) + body
    return {
        "pbm.lbm": (chunky, hex_lines(colors)),
        "deluxe.col": (chunky, hex_lines(colors)),
        "first-cmap.iff": (form, hex_lines(colors[:3])),
        "body-past-form.lbm": (past, "error: offset 46: a size points past the end of the "
                                     "file"),
        "sound.iff": (LAYOUTS.iff_form(b"8SVX", [LAYOUTS.cmap(colors)]),
                      "error: not an IFF ILBM image"),
    }


def widen(value):
    return (value << 2) | (value >> 4)


def col_cases():
    """Animator Pro's .col (256 entries, and fewer), the older Animator's
    6-bit one, and a .col that is none of them."""
    pro = colors_of(30, 256)
    short = colors_of(31, 16)
    six = bytes(random.Random(32).randrange(64) for _ in range(768))
    wide = [tuple(widen(v) for v in six[i:i + 3]) for i in range(0, 768, 3)]
    eight = bytes(range(256)) * 3
    return {
        "pro.col": (LAYOUTS.col_pro(pro), hex_lines(pro)),
        "pro-16.col": (LAYOUTS.col_pro(short, entries=16), hex_lines(short)),
        "animator.col": (six, hex_lines(wide)),
        "eight-bit.col": (eight, "error: not an Animator Pro palette, 6-bit VGA palette or "
                                 "IFF ILBM image"),
        "vga-dos.dat": (six, hex_lines(wide)),
        "vga-eight-bit.dat": (eight, "error: offset 64: 6-bit value 64 is not supported"),
    }


def nes_cases():
    colors = colors_of(40, 512)
    table = b"".join(bytes(c) for c in colors)
    return {
        "nes-64.pal": (table[:192], hex_lines(colors[:64])),
        "nes-emphasis.pal": (table, hex_lines(colors[:64])),
        "nes-short.pal": (table[:190], "error: offset 190: the file ends early"),
    }


def doom_cases():
    """Quake's palette.lmp, Doom's PLAYPAL.lmp, and WADs as Doom's are laid
    out, PLAYPAL in the middle among other lumps, the directory at the end
    (or, as some tools write it, after the header)."""
    quake = colors_of(50, 256)
    doom = colors_of(51, 256)
    other = colors_of(52, 256)
    playpal = LAYOUTS.lmp(doom, palettes=14)
    lumps = ([("MAP01", b""), ("THINGS", bytes(100)), ("LINEDEFS", bytes(333))]
             + [("PLAYPAL", playpal), ("COLORMAP", bytes(8704))]
             + [("STBAR%d" % i, bytes(range(i + 1))) for i in range(40)])
    replaced = lumps + [("playpal", LAYOUTS.lmp(other))]
    no_palette = [lump for lump in lumps if lump[0] != "PLAYPAL"]
    past = LAYOUTS.wad("PWAD", [("PLAYPAL", LAYOUTS.lmp(doom))])
    past = past[:-16] + struct.pack("<II", 12, 5000) + past[-8:]
    return {
        "quake.lmp": (LAYOUTS.lmp(quake), hex_lines(quake)),
        "playpal.lmp": (playpal, hex_lines(doom)),
        "colormap.lmp": (bytes(8704), "error: offset 8448: data past the last colour"),
        "doom.wad": (LAYOUTS.wad("IWAD", lumps), hex_lines(doom)),
        "add-on.wad": (LAYOUTS.wad("PWAD", lumps, directory_first=True), hex_lines(doom)),
        "replaced.wad": (LAYOUTS.wad("PWAD", replaced), hex_lines(other)),
        "maps.wad": (LAYOUTS.wad("PWAD", no_palette), "error: no PLAYPAL lump"),
        "past.wad": (past, "error: offset 780: a size points past the end of the file"),
    }


def write_cases(folder):
    os.makedirs(folder, exist_ok=True)
    for group in (ppmtoilbm_cases, iff_cases, col_cases, nes_cases, doom_cases):
        for name, (data, expected) in group().items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            with open(os.path.join(folder, name.rsplit(".", 1)[0] + ".expect"), "w") as f:
                f.write(expected)


def ilbm_image(path):
    """The ILBM at `path` as ilbmtoppm reads it: its size, every pixel's
    colour and its CMAP, as RRGGBB."""
    with open(path, "rb") as f:
        data = f.read()
    width, height, pixels = parse_ppm(netpbm("ilbmtoppm", [], data))
    return {"size": [width, height], "pixels": ["%02x%02x%02x" % p for p in pixels],
            "cmap": ["%02x%02x%02x" % c for c in cmap_of(data)]}


def large_wad(path, size, colors):
    """Header, a lump of zeros up to the middle, PLAYPAL (`colors`, RRGGBB,
    then black), a lump of zeros, the directory: written with a hole where
    the zeros are."""
    table = b"".join(bytes.fromhex(c) for c in colors).ljust(14 * 768, b"\x00")
    middle = size // 2
    directory_at = size - 3 * 16
    entries = [(12, middle - 12, b"E1M1"), (middle, len(table), b"PLAYPAL"),
               (middle + len(table), directory_at - middle - len(table), b"E1M2")]
    with open(path, "wb") as f:
        f.write(b"IWAD" + struct.pack("<II", len(entries), directory_at))
        f.seek(middle)
        f.write(table)
        f.seek(directory_at)
        f.write(b"".join(struct.pack("<II8s", *entry) for entry in entries))


def main():
    command = sys.argv[1]
    if command == "cases":
        write_cases(sys.argv[2])
    elif command == "ilbm":
        print(json.dumps(ilbm_image(sys.argv[2])))
    elif command == "wad":
        large_wad(sys.argv[2], int(sys.argv[3]), sys.argv[4].split(","))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
