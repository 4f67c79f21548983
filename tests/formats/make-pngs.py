#!/usr/bin/python3
"""PNG images for the command line's tests, made by real writers: Pillow and
ImageMagick (/usr/bin/convert), never by kolorvane-cli. Run with Debian's
/usr/bin/python3, which has Pillow (python3-pil).

    make-pngs.py cases DIR    NAME.png and NAME.expect for each case
    make-pngs.py big FILE     a 4096 x 4096 RGB image of 256 colours
    make-pngs.py samples DIR  five.png and five-rgb.png, the five colours of
                              make-samples.py: indexed, by Pillow; 16-bit
                              interlaced RGB with alpha, by ImageMagick
    make-pngs.py describe FILE
                              the image as Pillow reads it, as JSON: mode,
                              size, PLTE (RRGGBB each) and every pixel's index

NAME.expect holds what reading NAME.png must give: the palette's colours as
RRGGBB lines, in order, or "error: " and the reason. The damaged images are
a good one with bytes changed and its chunks' CRCs put right again, so that
each has the one fault it is named for.
"""
import io
import json
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image

CONVERT = "/usr/bin/convert"  # ImageMagick's own: another convert may come first on PATH


def strip(colors, size=8, vertical=False):
    """Colours as squares of `size` pixels in a row (or a column)."""
    count = len(colors)
    image = Image.new("RGB", (size, size * count) if vertical else (size * count, size))
    for i, color in enumerate(colors):
        box = (0, i * size, size, (i + 1) * size) if vertical else (i * size, 0, (i + 1) * size, size)
        image.paste(color, box)
    return image


def saved(image, **options):
    data = io.BytesIO()
    image.save(data, "PNG", **options)
    return data.getvalue()


def magick(image, *arguments):
    """`image` rewritten by ImageMagick with `arguments` before the output
    name (PNG24:-, PNG48:- ... pick the colour type and depth)."""
    result = subprocess.run([CONVERT, "png:-"] + list(arguments[:-1]) + [arguments[-1]],
                            input=saved(image), stdout=subprocess.PIPE, check=True, timeout=60)
    return result.stdout


def chunks(png):
    """The chunks of a PNG: (type, data)."""
    found, position = [], 8
    while position < len(png):
        length, kind = struct.unpack(">I4s", png[position:position + 8])
        found.append((kind, png[position + 8:position + 8 + length]))
        position += 12 + length
    return found


def assemble(parts):
    """A PNG from (type, data) chunks, each with its right CRC."""
    return b"\x89PNG\r\n\x1a\n" + b"".join(
        struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        for kind, data in parts)


def edited(png, kind, change):
    """`png` with the data of each chunk of `kind` passed through `change`
    (None drops the chunk), CRCs put right."""
    parts = []
    for chunk_kind, data in chunks(png):
        if chunk_kind == kind:
            data = change(data)
        if data is not None:
            parts.append((chunk_kind, data))
    return assemble(parts)


def colors_of(count, seed):
    return [((seed + 37 * i) % 256, (seed * 3 + 101 * i) % 256, (7 * i * i + seed) % 256)
            for i in range(count)]


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


def hex_lines(colors):
    return "".join("%02x%02x%02x\n" % tuple(c) for c in colors)


def good_cases():
    """name: (PNG bytes, the colours it must give)."""
    thirty_two = colors_of(32, 1)
    cases = {"strip.png": (saved(strip(thirty_two)), thirty_two)}
    # A column of 1-pixel squares, a colour again further down: taken once.
    column = colors_of(6, 2)
    cases["column.png"] = (saved(strip(column + [column[1]], 1, vertical=True)), column)
    # Every PLTE entry in order, an unused one and a duplicate too; tRNS ignored.
    entries = colors_of(5, 3) + [colors_of(5, 3)[0]]
    indexed = Image.new("P", (2, 1))
    indexed.putpalette([v for c in entries for v in c])
    indexed.putpixel((1, 0), 2)
    cases["indexed.png"] = (saved(indexed, transparency=bytes([0, 128, 255, 0, 0, 0])), entries)
    # A 2-bit indexed image by ImageMagick.
    four = colors_of(4, 4)
    cases["two-bit.png"] = (magick(strip(four, 2), "-define", "png:bit-depth=2", "PNG8:-"), four)
    # Alpha: 0 skips the pixel whatever its colour, any other is ignored.
    rgba = Image.new("RGBA", (4, 2), (9, 9, 9, 0))
    rgba.putpixel((1, 0), (10, 20, 30, 255))
    rgba.putpixel((3, 0), (40, 50, 60, 1))
    rgba.putpixel((0, 1), (10, 20, 30, 7))
    cases["alpha.png"] = (saved(rgba), [(10, 20, 30), (40, 50, 60)])
    # Interlaced (its passes meet the colours in another order), 16 bits a
    # sample, with gAMA and cHRM, which change nothing.
    cases["interlaced.png"] = (magick(strip(thirty_two, 3), "-interlace", "PNG", "PNG48:-"),
                               thirty_two)
    cases["grey.png"] = (saved(strip([(0, 0, 0), (200, 200, 200), (90, 90, 90)]).convert("L")),
                         [(0, 0, 0), (200, 200, 200), (90, 90, 90)])
    # 16-bit grey: v / 257 rounded, so 0x12FF gives 0x13 where v >> 8 gives 0x12.
    deep = Image.new("I;16", (3, 1))
    for x, value in enumerate((0x12FF, 0xFFFF, 0x0080)):
        deep.putpixel((x, 0), value)
    cases["grey16.png"] = (saved(deep), [(0x13,) * 3, (0xFF,) * 3, (0, 0, 0)])
    # A colour key (tRNS in a grey or RGB image) is fully transparent: its
    # pixels are skipped, as a pixel of alpha 0 is.
    keyed = [(0, 0, 0), (200, 200, 200), (90, 90, 90)]
    cases["grey-key.png"] = (saved(strip(keyed).convert("L"), transparency=200),
                             [keyed[0], keyed[2]])
    rgb = colors_of(4, 7)
    cases["rgb-key.png"] = (saved(strip(rgb), transparency=rgb[1]), [rgb[0]] + rgb[2:])
    cases["many.png"] = (saved(many_colours()), first_seen(many_colours()))
    return cases


def bad_cases():
    """name: (PNG bytes, the reason it is refused)."""
    good = saved(strip(colors_of(32, 1)))
    idat = [data for kind, data in chunks(good) if kind == b"IDAT"][0]
    gif = io.BytesIO()
    strip(colors_of(3, 5)).save(gif, "GIF")
    crc = bytearray(good)
    crc[-13] ^= 1  # the last byte of the IDAT's CRC, before IEND's 12 bytes
    indexed = saved(strip(colors_of(4, 6)).convert("P"))
    # 65,536 colours, one a pixel: one more than a palette holds.
    every = Image.frombytes("RGB", (256, 256), bytes(
        v for i in range(65536) for v in (i >> 8, i & 0xFF, (i * 7) & 0xFF)))

    def ihdr(width, height):
        return lambda data: struct.pack(">II", width, height) + data[8:]

    return {
        "gif.png": (gif.getvalue(), "not a PNG image"),
        "truncated.png": (good[:-30], "offset %d: the file ends early" % (len(good) - 30)),
        "crc.png": (bytes(crc), "a chunk's CRC does not match its data"),
        "no-plte.png": (edited(indexed, b"PLTE", lambda data: None),
                        "an indexed image without a valid PLTE chunk"),
        "plte-length.png": (edited(indexed, b"PLTE", lambda data: data[:-1]),
                            "an indexed image without a valid PLTE chunk"),
        "zero-width.png": (edited(good, b"IHDR", ihdr(0, 8)),
                           "the width or height is 0 or more than 16384 pixels"),
        # 100,000 x 100,000 pixels claimed in a few hundred bytes.
        "bomb.png": (edited(good, b"IHDR", ihdr(100000, 100000)),
                     "the width or height is 0 or more than 16384 pixels"),
        "bad-deflate.png": (edited(good, b"IDAT", lambda data: data[:2] + b"\xff" * 8 + data[10:]),
                            "the image data is damaged or ends early"),
        "short-data.png": (edited(good, b"IDAT", lambda data: zlib.compress(
            zlib.decompress(idat)[:-100])), "the image data is damaged or ends early"),
        "too-many.png": (saved(every), "more than 65535 colours: not a palette image"),
        "clear.png": (saved(Image.new("RGBA", (3, 3), (9, 9, 9, 0))), "no colours"),
    }


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_cases(folder):
    os.makedirs(folder, exist_ok=True)
    for name, (png, colors) in good_cases().items():
        write(os.path.join(folder, name), png)
        write(os.path.join(folder, name[:-4] + ".expect"), hex_lines(colors).encode())
    for name, (png, reason) in bad_cases().items():
        write(os.path.join(folder, name), png)
        write(os.path.join(folder, name[:-4] + ".expect"), ("error: %s\n" % reason).encode())


def make_big(path):
    """4096 x 4096 pixels of 256 colours in random order; FILE.expect gives
    them in the order they first appear."""
    side = 4096
    indices = os.urandom(side * side)
    image = Image.frombytes("P", (side, side), indices)
    palette = colors_of(256, 7)
    image.putpalette([v for c in palette for v in c])
    image.convert("RGB").save(path, compress_level=1)
    order = []
    seen = set()
    for index in indices:
        if index not in seen:
            seen.add(index)
            order.append(palette[index])
            if len(order) == 256:
                break
    write(path[:-4] + ".expect", hex_lines(order).encode())


FIVE = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (18, 52, 86), (171, 205, 239)]


def make_samples(folder):
    indexed = Image.new("P", (5, 1))
    indexed.putpalette([v for c in FIVE for v in c])
    indexed.putdata(range(5))
    write(os.path.join(folder, "five.png"), saved(indexed))
    # A transparent pixel of another colour first, skipped.
    rgba = strip([(1, 2, 3)] + FIVE, 2).convert("RGBA")
    rgba.paste((1, 2, 3, 0), (0, 0, 2, 2))
    write(os.path.join(folder, "five-rgb.png"),
          magick(rgba, "-interlace", "PNG", "-define", "png:exclude-chunks=date,time", "PNG64:-"))


def describe(path):
    image = Image.open(path)
    plte = image.palette.palette if image.mode == "P" else b""
    return {"mode": image.mode, "size": list(image.size),
            "plte": [plte[i:i + 3].hex() for i in range(0, len(plte), 3)],
            "pixels": list(image.getdata()) if image.mode == "P" else []}


def main():
    command, path = sys.argv[1:3]
    if command == "cases":
        make_cases(path)
    elif command == "samples":
        make_samples(path)
    elif command == "big":
        make_big(path)
    elif command == "describe":
        json.dump(describe(path), sys.stdout)
    else:
        sys.exit("make-pngs.py: unknown command %r" % command)


if __name__ == "__main__":
    main()
