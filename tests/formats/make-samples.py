#!/usr/bin/env python3
"""Writes the sample palettes in tests/formats/samples/, each from the
layout its format's description gives, and each holding the same five
colours (FIVE). They are checked in; run this again only to change them.

The samples named after a format (edge.pal, five.gpl...) are the bytes
kolorvane-cli writes for those five colours; the others use what a reader
must also take: other line breaks, comments, names, groups, gray, alpha,
other chunks and blocks.
"""
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIVE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (18, 52, 86), (171, 205, 239)]
# Names from both ends of Unicode: Japanese, and an emoji outside the Basic
# Multilingual Plane (two UTF-16 units).
NAMED = ["Black", "White", "\u8d64", "Deep blue \U0001f30a", "Pale blue"]


def edge(colors):
    entries = [(0, 0, 0)] * 256
    for i, color in enumerate(colors):
        entries[255 - i] = color
    return b"EDGE PAL\x00\x00" + b"".join(bytes(c) for c in entries)


def act(colors):
    table = b"".join(bytes(c) for c in colors).ljust(768, b"\x00")
    return table + struct.pack(">HH", len(colors), 0xFFFF)


def jasc(colors, newline="\r\n"):
    lines = ["JASC-PAL", "0100", str(len(colors))] + ["%d %d %d" % c for c in colors]
    return "".join(line + newline for line in lines).encode()


def riff(colors, extra=b""):
    data = struct.pack("<HH", 0x0300, len(colors)) + b"".join(bytes(c) + b"\x00" for c in colors)
    chunks = extra + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"PAL " + chunks


def gpl(colors, name, names=None):
    names = names or [""] * len(colors)
    return ("GIMP Palette\nName: %s\nColumns: 16\n#\n" % name
            + "".join("%3d %3d %3d%s\n" % (c + ("\t" + n if n else "",))
                      for c, n in zip(colors, names))).encode()


def hex_lines(colors):
    return "".join("%02x%02x%02x\n" % c for c in colors).encode()


def paintnet(colors):
    return ("; Paint.NET palette, written by Kolorvane\r\n"
            "; One colour per line: AARRGGBB, alpha, red, green, blue\r\n"
            + "".join("FF%02X%02X%02X\r\n" % c for c in colors)).encode()


def aco_color(color):
    return struct.pack(">5H", 0, *(257 * v for v in color), 0)


def aco(colors, names=None):
    data = struct.pack(">HH", 1, len(colors)) + b"".join(aco_color(c) for c in colors)
    if names is not None:
        data += struct.pack(">HH", 2, len(colors))
        for color, name in zip(colors, names):
            units = (name + "\0").encode("utf-16-be")
            data += aco_color(color) + struct.pack(">I", len(units) // 2) + units
    return data


def ase_name(name):
    units = (name + "\0").encode("utf-16-be")
    return struct.pack(">H", len(units) // 2) + units


def ase_block(kind, body):
    return struct.pack(">HI", kind, len(body)) + body


def ase_color(name, model, values, extra=b""):
    body = ase_name(name) + model + b"".join(struct.pack(">f", v) for v in values)
    return ase_block(0x0001, body + struct.pack(">H", 2) + extra)


def ase(blocks):
    return b"ASEF" + struct.pack(">HHI", 1, 0, len(blocks)) + b"".join(blocks)



def many(count, seed=1):
    """`count` distinct colours, in a shuffled order, and a name for each
    (Japanese and an emoji among them): a palette past 256 colours."""
    colors = [((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF)
              for v in random.Random(seed).sample(range(1 << 24), count)]
    return colors, ["Colour %d \u8272%s" % (i, "\U0001f30a" if i % 7 == 0 else "")
                    for i in range(count)]


# The palettes of retro tools and games, each from its public layout.

SOC_NAMESPACES = {
    "ooo": ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
            'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
            'xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:svg="http://www.w3.org/2000/svg" '
            'xmlns:ooo="http://openoffice.org/2004/office"'),
    "office": ('xmlns:office="http://openoffice.org/2000/office" '
               'xmlns:draw="http://openoffice.org/2000/drawing"'),
}


def soc(colors, names, root="ooo", indent="  ", hex_form="#%02x%02x%02x"):
    """A LibreOffice palette, in the namespaces of `root`'s form."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<%s:color-table %s>" % (root, SOC_NAMESPACES[root])]
    lines += ['%s<draw:color draw:name="%s" draw:color="%s"/>' % (indent, n, hex_form % c)
              for c, n in zip(colors, names)]
    return ("\n".join(lines + ["</%s:color-table>" % root]) + "\n").encode()


def scribus(name, colors):
    """Scribus swatches: `colors` are (name, attributes) pairs."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<SCRIBUSCOLORS Name="%s">' % name]
    lines += [' <COLOR NAME="%s"%s/>' % (n, attributes) for n, attributes in colors]
    return ("\n".join(lines + ["</SCRIBUSCOLORS>"]) + "\n").encode()


def acb_string(text):
    units = text.encode("utf-16-be")
    return struct.pack(">I", len(units) // 2) + units


def acb(colors, names, space=0, components=None, tail=b"spflproc"):
    """An Adobe colour book: RGB unless `space` and each colour's
    `components` say otherwise; names after the prefix "Five " and before
    the suffix " C"."""
    data = b"8BCB" + struct.pack(">HH", 1, 3000)
    for text in ("$$$/colorbook/five/title=Five", "Five ", "$$$/colorbook/five/suffix= C", "Test"):
        data += acb_string(text)
    data += struct.pack(">HHHH", len(colors), 5, 2, space)
    for i, (color, name) in enumerate(zip(colors, names)):
        data += acb_string(name) + b"FIVE%02d" % i
        data += bytes(components[i] if components is not None else color)
    return data + tail


def hex_name(color):
    return "#%02x%02x%02x" % color


def col_pro(colors, entries=256):
    """Animator Pro's .col: file size, magic 0xB123, version 0 (little-endian),
    then `entries` entries of R G B."""
    table = b"".join(bytes(c) for c in colors).ljust(3 * entries, b"\x00")
    return struct.pack("<IHH", 8 + len(table), 0xB123, 0) + table


def lmp(colors, palettes=1):
    """A palette lump: `palettes` tables of 256 entries, the first `colors`."""
    first = b"".join(bytes(c) for c in colors).ljust(768, b"\x00")
    return first + bytes(range(256)) * 3 * (palettes - 1)


def wad(kind, lumps, directory_first=False):
    """A WAD: the header, the lumps' data and the directory (at the end, or
    right after the header). `lumps` are (name, data); a marker's data is
    empty and its offset 0, as Doom's tools write them."""
    start = 12 + (16 * len(lumps) if directory_first else 0)
    data, entries = b"", b""
    for name, body in lumps:
        offset = start + len(data) if body else 0
        entries += struct.pack("<II8s", offset, len(body), name.encode())
        data += body
    directory = 12 if directory_first else 12 + len(data)
    header = kind.encode() + struct.pack("<II", len(lumps), directory)
    return header + (entries + data if directory_first else data + entries)


def iff_chunk(kind, data):
    """An IFF chunk: type, big-endian length, the data and a pad byte after
    an odd length."""
    return kind + struct.pack(">I", len(data)) + data + (b"\x00" if len(data) % 2 else b"")


def iff_form(kind, chunks):
    body = kind + b"".join(chunks)
    return b"FORM" + struct.pack(">I", len(body)) + body


def bmhd(width, height, planes, compression=0, masking=0):
    return iff_chunk(b"BMHD", struct.pack(">HHhhBBBBHBBhh", width, height, 0, 0, planes, masking,
                                          compression, 0, 0, 1, 1, width, height))


def cmap(colors):
    return iff_chunk(b"CMAP", b"".join(bytes(c) for c in colors))


def pbm(colors, rows):
    """Deluxe Paint's chunky IFF ("PBM "): a byte a pixel, each row padded to
    an even length, uncompressed."""
    width = len(rows[0])
    body = b"".join(bytes(row) + (b"\x00" if width % 2 else b"") for row in rows)
    return iff_form(b"PBM ", [bmhd(width, len(rows), 8), cmap(colors), iff_chunk(b"BODY", body)])


def ilbm(colors, width, height, planes, body, extra=()):
    """An ILBM around `body`, which no palette reader decodes."""
    return iff_form(b"ILBM", [bmhd(width, height, planes)] + list(extra)
                    + [cmap(colors), iff_chunk(b"BODY", body)])


def retro_samples():
    five_rows = [[i % 5 for i in range(5)], [4 - i for i in range(5)]]
    return {
        "five.col": col_pro(FIVE),
        "short.col": col_pro(FIVE, entries=len(FIVE)),
        "six-bit.col": bytes((7 * i) % 64 for i in range(768)),
        "iff.col": pbm(FIVE, five_rows),
        "pbm.lbm": pbm(FIVE, five_rows),
        "five.lbm": ilbm(FIVE, 16, 2, 3, bytes(12),
                         extra=[iff_chunk(b"CAMG", struct.pack(">I", 0))]),
        "five.lmp": lmp(FIVE),
        "playpal.lmp": lmp(FIVE, palettes=14),
        "iwad.wad": wad("IWAD", [("MAP01", b""), ("THINGS", bytes(range(10))),
                                 ("PLAYPAL", lmp(FIVE, palettes=14)), ("COLORMAP", bytes(8704))]),
        "pwad.wad": wad("PWAD", [("PLAYPAL", lmp(FIVE)), ("DEMO1", b"odd")],
                        directory_first=True),
        "nes.pal": b"".join(bytes(c) for c in FIVE).ljust(192, b"\x11"),
        "nes-emphasis.pal": b"".join(bytes(c) for c in FIVE).ljust(1536, b"\x22"),
    }


def swatch_rows(count):
    """The swatch grid's rows of indices, from the top: 16 x 16 squares, 16
    to a row, square i of index i, the squares a last row leaves empty 0."""
    width = 16 * min(count, 16)
    rows = []
    for y in range(16 * ((count + 15) // 16)):
        squares = [y // 16 * 16 + x // 16 for x in range(width)]
        rows.append(bytes(i if i < count else 0 for i in squares))
    return rows


def bmp(colors):
    rows = swatch_rows(len(colors))
    table = b"".join(bytes(reversed(c)) + b"\x00" for c in colors)
    offset = 14 + 40 + len(table)
    data = b"".join(reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, len(rows[0]), len(rows), 1, 8, 0, len(data),
                       2835, 2835, len(colors), 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + table + data


def pcx_runs(row):
    coded, x = b"", 0
    while x < len(row):
        length = 1
        while x + length < len(row) and length < 63 and row[x + length] == row[x]:
            length += 1
        coded += (bytes([0xC0 | length]) if length > 1 or row[x] >= 0xC0 else b"") + row[x:x + 1]
        x += length
    return coded


def pcx(colors):
    rows = swatch_rows(len(colors))
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1, 8, 0, 0, len(rows[0]) - 1, len(rows) - 1, 72, 72)
    header += bytes(49) + struct.pack("<BHH", 1, len(rows[0]), 1)
    table = b"".join(bytes(c) for c in colors).ljust(768, b"\x00")
    return header.ljust(128, b"\x00") + b"".join(pcx_runs(r) for r in rows) + b"\x0c" + table


def tga(colors):
    rows = swatch_rows(len(colors))
    header = struct.pack("<BBBHHBHHHHBB", 0, 1, 1, 0, len(colors), 24, 0, 0, len(rows[0]),
                         len(rows), 8, 0)
    table = b"".join(bytes(reversed(c)) for c in colors)
    return (header + table + b"".join(reversed(rows)) + bytes(8) + b"TRUEVISION-XFILE.\x00")


def samples():
    named = NAMED
    return {
        "edge.pal": edge(FIVE),
        "act.act": act(FIVE),
        "jasc.pal": jasc(FIVE),
        "riff.pal": riff(FIVE),
        "five.gpl": gpl(FIVE, "five"),
        "five.hex": hex_lines(FIVE),
        "five.txt": paintnet(FIVE),
        "five.aco": aco(FIVE, [""] * len(FIVE)),
        "five.ase": ase([ase_color("R=%d G=%d B=%d" % c, b"RGB ", [v / 255 for v in c])
                         for c in FIVE]),
        "named-five.gpl": gpl(FIVE, "Five \u4e94", named),
        "named-five.ase": ase([ase_color(n, b"RGB ", [v / 255 for v in c])
                               for c, n in zip(FIVE, named)]),
        "named-five.aco": aco(FIVE, named),
        "five.bmp": bmp(FIVE),
        "five.pcx": pcx(FIVE),
        "five.tga": tga(FIVE),
        "five.acb": acb(FIVE, named),
        "five.soc": soc(FIVE, [hex_name(c) for c in FIVE]),
        "five.xml": scribus("five", [(hex_name(c), ' RGB="%s"' % hex_name(c)) for c in FIVE]),
        # LibreOffice's older form, and Scribus's SPACE values, which win
        # over its hex.
        "named-five.soc": soc(FIVE, named, root="office", indent="\t", hex_form="#%02X%02X%02X"),
        "named-five.xml": scribus("Five \u4e94", [
            (named[0], ' SPACE="RGB" RGB="#ffffff"'),
            (named[1], ' SPACE="RGB" R="255" G="255.0" B="2.55e2"'),
            (named[2], ' RGB="#FF0000"'),
            (named[3], ' SPACE="RGB" R="18" G="52" B="86" RGB="#000000"'),
            (named[4], ' RGB="#abcdef" Spot="1" Register="0"')]),
        # What the readers also take.
        "jasc-lf.pal": b"JASC-PAL\n0100\n5\n0 0 0\n255  255\t255\n255 0 0\n\n18 52 86\n171 205 239 \n\n",
        "riff-chunks.pal": riff(FIVE, extra=b"note" + struct.pack("<I", 3) + b"abc\x00"),
        "named.gpl": ("GIMP Palette\r\nName: Five\r\nColumns: 5\r\n# comment\r\n\r\n"
                      + "".join("%d\t%d\t%d\t%s\r\n" % (c + (n,)) for c, n in zip(FIVE, named))
                      ).encode(),
        "upper.hex": b"000000\r\nFFFFFF\r\n\r\nFF0000\r\n123456\r\nABCDEF",
        "alpha.txt": b";comment\n00000000\n80ffffff\n; another\nffff0000\nFF123456\n7fabcdef\n",
        "v1.aco": aco(FIVE),
        "v2.aco": aco(FIVE, named)[4 + 10 * len(FIVE):],
        # Aseprite's palette with alpha, and its hex lines.
        "aseprite.gpl": ("GIMP Palette\nChannels: RGBA\n#\n"
                         + "".join("%3d %3d %3d %3d\t%s\n" % (c + (a, n))
                                   for c, a, n in zip(FIVE, [255, 0, 128, 255, 1], named))
                         ).encode(),
        "hash.hex": b"#000000\n#FFFFFF\n#ff0000\n#123456\n#abcdef\n",
        "latin1.gpl": b"GIMP Palette\nName: Caf\xe9\n0 0 0 Cr\xe8me\n255 255 255\n255 0 0\n"
                      b"18 52 86\n171 205 239\n",
        "groups.ase": ase([
            ase_block(0xC001, ase_name("Five")),
            ase_color(named[0], b"Gray", [0.0]),
            ase_color(named[1], b"Gray", [1.0]),
            ase_color(named[2], b"RGB ", [1.0, 0.0, 0.0]),
            ase_color(named[3], b"RGB ", [18 / 255, 52 / 255, 86 / 255], extra=b"\x00\x01"),
            ase_color(named[4], b"RGB ", [171 / 255, 205 / 255, 239 / 255]),
            ase_block(0xC002, b""),
        ]),
    }


def main():
    folder = os.path.join(HERE, "samples")
    os.makedirs(folder, exist_ok=True)
    for name, data in list(samples().items()) + list(retro_samples().items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
