#!/usr/bin/python3
"""BMP, PCX and TGA images for the command line's tests, made by real
writers: Pillow and ImageMagick (/usr/bin/convert), never by kolorvane-cli.
Run with Debian's /usr/bin/python3, which has Pillow (python3-pil).

    make-raster.py cases DIR    NAME.bmp, NAME.pcx or NAME.tga and
                                NAME.EXT.expect for each case
    make-raster.py describe FILE
                                the image as Pillow reads it, as JSON: format,
                                mode, size, palette (RRGGBB each) and every
                                pixel's index

NAME.EXT.expect holds what reading the image must give: the palette's colours as
RRGGBB lines, in order, or "error: " and the reason. The damaged images are
good ones with the bytes changed that their names say, so that each has the
one fault it is named for.
"""
import io
import json
import os
import struct
import subprocess
import sys

from PIL import Image

CONVERT = "/usr/bin/convert"  # ImageMagick's own: another convert may come first on PATH
RUN_TIMEOUT = 60


def colors_of(count, seed):
    return [((seed + 37 * i) % 256, (seed * 3 + 101 * i) % 256, (7 * i * i + seed) % 256)
            for i in range(count)]


def strip(colors, size=3):
    """Colours as squares of `size` pixels in a row, two rows of squares:
    the second row the colours reversed, so that a reader that takes the
    rows in the wrong order gives them reversed."""
    image = Image.new("RGB", (size * len(colors), 2 * size))
    for i, color in enumerate(colors):
        image.paste(color, (i * size, 0, (i + 1) * size, size))
        image.paste(colors[-1 - i], (i * size, size, (i + 1) * size, 2 * size))
    return image


def indexed(entries, count=None):
    """A P image whose palette is `entries`, every one in order, its pixels
    the first `count` indices (all unless given)."""
    used = len(entries) if count is None else count
    image = Image.new("P", (used, 2))
    image.putpalette([v for c in entries for v in c])
    image.putdata([i for i in range(used)] * 2)
    return image


def saved(image, kind, **options):
    data = io.BytesIO()
    image.save(data, kind, **options)
    return data.getvalue()


def magick(image, *arguments):
    """`image` rewritten by ImageMagick with `arguments` before the output
    name (BMP2:-, BMP3:- ... pick the kind)."""
    result = subprocess.run([CONVERT, "png:-"] + list(arguments), input=saved(image, "PNG"),
                            stdout=subprocess.PIPE, check=True, timeout=RUN_TIMEOUT)
    return result.stdout


def exact565(count):
    """Colours that 16-bit 5-6-5 pixels hold exactly, however a writer
    scales 8 bits down (shifting, rounding or truncating v * 31 / 255): 5-bit
    values of multiples of 4 and 31, 6-bit ones of 16 and 63, each widened by
    repeating its bits."""
    fives = [(v << 3) | (v >> 2) for v in (0, 4, 8, 12, 16, 20, 24, 28, 31)]
    sixes = [(v << 2) | (v >> 4) for v in (0, 16, 32, 48, 63)]
    return [(fives[i % 9], sixes[i % 5], fives[(i * 4 + 3) % 9]) for i in range(count)]


def first_seen(image):
    """The image's distinct colours in reading order, as Pillow gives its
    pixels: the palette an image of more than 256 colours reads as."""
    seen = {}
    for pixel in image.convert("RGB").getdata():
        seen.setdefault(pixel, None)
    return list(seen)


def many_colours():
    """An RGB image of 289 pixels and more than 256 colours."""
    return Image.frombytes("RGB", (17, 17), bytes(range(256)) * 3 + bytes(99))


def bmp_cases():
    """name: (bytes, the colours it must give)."""
    entries = colors_of(40, 1) + [colors_of(40, 1)[3]]  # a duplicate, and unused ones
    rgb = colors_of(30, 2)
    four = colors_of(16, 3)
    rgba = strip(colors_of(5, 4)).convert("RGBA")
    rgba.paste((9, 9, 9, 0), (0, 0, 3, 3))  # alpha 0: skipped
    bi_rgb_alpha = strip(colors_of(3, 5)).convert("RGBA")
    bi_rgb_alpha.putalpha(0)  # a BI_RGB image's fourth byte is no alpha
    sixteen = exact565(12)
    return {
        "indexed-8.bmp": (saved(indexed(entries, 20), "BMP"), entries),
        "indexed-1.bmp": (saved(Image.new("1", (9, 3), 1), "BMP"), [(0, 0, 0), (255, 255, 255)]),
        "rgb.bmp": (saved(strip(rgb), "BMP"), rgb),
        "rgba.bmp": (saved(bi_rgb_alpha, "BMP"), colors_of(3, 5)),
        "four-bit.bmp": (magick(indexed(four), "-type", "palette", "BMP3:-"), four),
        "os2.bmp": (magick(indexed(four), "-type", "palette", "BMP2:-"), four),
        "rle8.bmp": (magick(strip(rgb, 7), "-type", "palette", "-compress", "RLE", "BMP3:-"),
                     None),
        # The transparent square hides colour 0 in the top row; it comes
        # last, in the bottom one.
        "v5-alpha.bmp": (magick(rgba, "BMP:-"), colors_of(5, 4)[1:] + colors_of(5, 4)[:1]),
        "v5-565.bmp": (magick(strip(sixteen), "-type", "TrueColor", "-define",
                              "bmp:subtype=RGB565", "BMP:-"), sixteen),
        "many.bmp": (saved(many_colours(), "BMP"), first_seen(many_colours())),
    }


def pcx_cases():
    entries = colors_of(200, 7)
    rgb = colors_of(25, 8)
    return {
        "indexed-8.pcx": (saved(indexed(entries, 30), "PCX"),
                          entries + [(0, 0, 0)] * (256 - len(entries))),
        "one-bit.pcx": (saved(Image.new("1", (13, 2), 0), "PCX"), [(0, 0, 0), (255, 255, 255)]),
        "rgb.pcx": (saved(strip(rgb), "PCX"), rgb),
        "magick.pcx": (magick(indexed(colors_of(6, 9)), "-type", "palette", "PCX:-"), None),
    }


def tga_cases():
    entries = colors_of(70, 10)
    rgb = colors_of(33, 11)
    greys = [(v, v, v) for v in (0, 200, 90, 255, 17)]
    rgba = strip(colors_of(4, 12)).convert("RGBA")
    rgba.paste((1, 2, 3, 0), (0, 0, 3, 3))
    return {
        "indexed.tga": (saved(indexed(entries, 9), "TGA"), entries),
        "indexed-rle.tga": (saved(indexed(entries, 9), "TGA", compression="tga_rle"), entries),
        "rgb.tga": (saved(strip(rgb), "TGA"), rgb),
        "rgb-rle.tga": (saved(strip(rgb), "TGA", compression="tga_rle"), rgb),
        "rgb-top.tga": (saved(strip(rgb), "TGA", orientation=1), rgb),
        "grey.tga": (saved(strip(greys).convert("L"), "TGA"), greys),
        "grey-rle.tga": (saved(strip(greys).convert("L"), "TGA", compression="tga_rle"), greys),
        "rgba.tga": (saved(rgba, "TGA"), colors_of(4, 12)[1:] + colors_of(4, 12)[:1]),
    }


def changed(data, at, new):
    """`data` with the bytes at `at` replaced by `new`."""
    return data[:at] + new + data[at + len(new):]


def bad_cases():
    """name: (bytes, the reason it is refused)."""
    rgb_bmp = saved(strip(colors_of(8, 13)), "BMP")
    indexed_bmp = saved(indexed(colors_of(256, 14), 4), "BMP")
    rle = magick(strip(colors_of(10, 15), 7), "-type", "palette", "-compress", "RLE", "BMP3:-")
    pcx8 = saved(indexed(colors_of(16, 16)), "PCX")
    pcx24 = saved(strip(colors_of(9, 17)), "PCX")
    tga_map = saved(indexed(colors_of(5, 18)), "TGA")
    tga_rle = saved(strip(colors_of(9, 19)), "TGA", compression="tga_rle")
    ends = "offset %d: the file ends early"
    return {
        "truncated.bmp": (rgb_bmp[:-5], ends % (len(rgb_bmp) - 5)),
        "table-cut.bmp": (indexed_bmp[:54 + 400], ends % (54 + 400)),
        "clr-used.bmp": (changed(indexed_bmp, 46, struct.pack("<I", 1000)),
                         "offset 46: more than 256 colours"),
        "bits.bmp": (changed(rgb_bmp, 28, b"\x07"), "offset 28: bits per pixel 7 is not supported"),
        "header-size.bmp": (changed(rgb_bmp, 14, b"\x14"),
                            "offset 14: header size 20 is not supported"),
        "compression.bmp": (changed(rgb_bmp, 30, b"\x04"),
                            "offset 30: compression 4 is not supported"),
        "zero-width.bmp": (changed(rgb_bmp, 18, bytes(4)),
                           "the width or height is 0 or more than 16384 pixels"),
        # 65,535 x 65,535 pixels claimed in 54 bytes.
        "bomb.bmp": (changed(rgb_bmp, 18, struct.pack("<ii", 65535, 65535))[:54],
                     "the width or height is 0 or more than 16384 pixels"),
        "rle-cut.bmp": (rle[:-40], ends % (len(rle) - 40)),
        "gif.bmp": (saved(strip(colors_of(3, 20)), "GIF"), "not a BMP image"),
        "no-palette.pcx": (changed(pcx8, len(pcx8) - 769, b"\x00"),
                           "no 256-colour palette after a 0x0C byte at the end"),
        "version.pcx": (changed(pcx8, 1, b"\x09"), "offset 1: version 9 is not supported"),
        "planes.pcx": (changed(pcx8, 65, b"\x02"), "offset 65: planes 2 is not supported"),
        "short.pcx": (pcx8[:300], ends % 300),
        "rgb-cut.pcx": (pcx24[:140], ends % 140),
        "map-length.tga": (changed(tga_map, 5, b"\xff\xff"), "offset 5: more than 256 colours"),
        "type.tga": (changed(tga_map, 2, b"\x07"), "offset 2: image type 7 is not supported"),
        "map-cut.tga": (tga_map[:25], ends % 25),
        "rle-cut.tga": (tga_rle[:40], ends % 40),
        "zero-height.tga": (changed(tga_rle, 14, bytes(2)),
                            "the width or height is 0 or more than 16384 pixels"),
    }


def hex_lines(colors):
    return "".join("%02x%02x%02x\n" % tuple(c) for c in colors)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_cases(folder):
    os.makedirs(folder, exist_ok=True)
    for cases in (bmp_cases(), pcx_cases(), tga_cases()):
        for name, (data, colors) in cases.items():
            write(os.path.join(folder, name), data)
            if colors is None:  # the palette ImageMagick chose, as Pillow reads it
                colors = [tuple(bytes.fromhex(c)) for c in describe(os.path.join(folder, name))
                          ["palette"]]
            write(os.path.join(folder, name + ".expect"), hex_lines(colors).encode())
    for name, (data, reason) in bad_cases().items():
        write(os.path.join(folder, name), data)
        write(os.path.join(folder, name + ".expect"), ("error: %s\n" % reason).encode())


def describe(path):
    image = Image.open(path)
    image.load()
    palette = image.palette.palette if image.mode == "P" else b""
    return {"format": image.format, "mode": image.mode, "size": list(image.size),
            "palette": [palette[i:i + 3].hex() for i in range(0, len(palette), 3)],
            "pixels": list(image.getdata()) if image.mode == "P" else []}


def main():
    command, path = sys.argv[1:3]
    if command == "cases":
        make_cases(path)
    elif command == "describe":
        json.dump(describe(path), sys.stdout)
    else:
        sys.exit("make-raster.py: unknown command %r" % command)


if __name__ == "__main__":
    main()
