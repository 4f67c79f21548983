#!/usr/bin/python3
"""GIF images for the command line's tests, made by real writers: Pillow and
ImageMagick (/usr/bin/convert), never by kolorvane-cli; and the GIFs
kolorvane-cli writes, as Pillow and giflib's gifbuild read them. Run with
Debian's /usr/bin/python3, which has Pillow (python3-pil).

    make-gifs.py cases DIR    NAME.gif and NAME.expect for each case
    make-gifs.py frames FILE  a GIF of 300,000 frames of Pillow's, each with
                              a local colour table, and FILE.expect
    make-gifs.py describe FILE
                              the image as Pillow and as gifbuild -d read it,
                              as JSON: the version, mode, size, colour table
                              (RRGGBB each) and every pixel's index, each twice

NAME.expect holds what reading NAME.gif must give: the colour table's
entries as RRGGBB lines, in order, or "error: " and the reason. The damaged
images are a good one with its bytes edited, so that each has the one fault
it is named for.
"""
import io
import json
import os
import struct
import subprocess
import sys

from PIL import Image

CONVERT = "/usr/bin/convert"  # ImageMagick's own: another convert may come first on PATH
GIFBUILD = "/usr/bin/gifbuild"  # giflib's own
SCREEN = 13  # "GIF89a", the logical screen descriptor


def colors_of(count, seed):
    return [((seed + 37 * i) % 256, (seed * 3 + 101 * i) % 256, (7 * i * i + seed) % 256)
            for i in range(count)]


def hex_lines(colors):
    return "".join("%02x%02x%02x\n" % tuple(c) for c in colors)


def padded(colors):
    """The table GIF holds them in: a power of two entries, from 2, black
    past the colours."""
    size = 2
    while size < len(colors):
        size *= 2
    return list(colors) + [(0, 0, 0)] * (size - len(colors))


def indexed(colors, size, pixels):
    image = Image.new("P", size)
    image.putpalette([v for c in colors for v in c])
    image.putdata(pixels)
    return image


def saved(image, **options):
    data = io.BytesIO()
    image.save(data, "GIF", optimize=False, **options)
    return data.getvalue()


def table_bytes(colors):
    return b"".join(bytes(c) for c in colors)


def table_size(packed):
    return 3 * (2 << (packed & 7)) if packed & 0x80 else 0


def records(gif):
    """The records after the screen and its table: (offset, kind), kind
    b"," for an image, b"!" for an extension, b";" for the trailer."""
    found, position = [], SCREEN + table_size(gif[10])
    while position < len(gif):
        kind = gif[position:position + 1]
        found.append((position, kind))
        if kind == b";":
            break
        if kind == b",":
            position += 10 + table_size(gif[position + 9]) + 1  # the LZW code size
        else:
            position += 2
        while gif[position] != 0:  # sub-blocks
            position += 1 + gif[position]
        position += 1
    return found


def first_image(gif):
    return next(offset for offset, kind in records(gif) if kind == b",")


def without_global_table(gif):
    """`gif` with its global table moved into its first image, as a local
    table."""
    packed = gif[10]
    table = gif[SCREEN:SCREEN + table_size(packed)]
    image = first_image(gif)
    flags = gif[image + 9]
    assert not flags & 0x80, "the first image has a table already"
    return (gif[:10] + bytes([packed & 0x70]) + gif[11:SCREEN] + gif[SCREEN + len(table):image + 9]
            + bytes([flags | 0x80 | (packed & 7)]) + table + gif[image + 10:])


def table_of(gif):
    """The global table's entries, from the file's own bytes."""
    table = gif[SCREEN:SCREEN + table_size(gif[10])]
    return [tuple(table[i:i + 3]) for i in range(0, len(table), 3)]


def good_cases():
    """name: (GIF bytes, the colours reading it must give)."""
    cases = {}
    # 200 colours in a 256-entry table, 56 black after them; unused ones too.
    many = colors_of(200, 1)
    cases["static.gif"] = (saved(indexed(many, (20, 4), [i * 3 % 200 for i in range(80)])),
                           padded(many))
    # Animated: the first frame's table is the global one; the second frame
    # has a local table of its own, a graphic control and the loop's
    # application extension go with them.
    first, second = colors_of(5, 2), colors_of(10, 3)
    frames = [indexed(first, (4, 4), [i % 5 for i in range(16)]),
              indexed(second, (4, 4), [i % 10 for i in range(16)])]
    animated = saved(frames[0], save_all=True, append_images=frames[1:], duration=100, loop=0)
    assert table_of(animated) == padded(first)
    cases["animated.gif"] = (animated, padded(first))
    # Without a global table, the first frame's local one.
    cases["local.gif"] = (without_global_table(animated), padded(first))
    # Interlaced, by ImageMagick, which orders the table its own way.
    strip = Image.new("RGB", (80, 16))
    twenty = colors_of(20, 4)
    for i, color in enumerate(twenty):
        strip.paste(color, (4 * i, 0, 4 * i + 4, 16))
    png = io.BytesIO()
    strip.save(png, "PNG")
    interlaced = subprocess.run([CONVERT, "png:-", "-interlace", "GIF", "gif:-"],
                                input=png.getvalue(), stdout=subprocess.PIPE, check=True,
                                timeout=60).stdout
    image = first_image(interlaced)
    assert interlaced[image + 9] & 0x40, "ImageMagick wrote no interlaced image"
    assert sorted(table_of(interlaced)) == sorted(padded(twenty)), "ImageMagick's table"
    cases["interlaced.gif"] = (interlaced, table_of(interlaced))
    return cases


def bad_cases():
    """name: (GIF bytes, the reason it is refused)."""
    noise = indexed(colors_of(16, 5), (64, 64), [(i * 7 + i // 64) % 16 for i in range(4096)])
    good = saved(noise)
    image = first_image(good)
    data = image + 10 + table_size(good[image + 9])  # the LZW code size
    cut = data + 200
    tiny = saved(indexed(colors_of(2, 6), (1, 1), [0]))
    tiny_image = first_image(tiny)
    return {
        "no-table.gif": (good[:10] + bytes([good[10] & 0x70]) + good[11:SCREEN]
                         + good[SCREEN + table_size(good[10]):], "no colour table"),
        "truncated.gif": (good[:cut], "offset %d: the file ends early" % cut),
        # The image data's sub-blocks end after 2 bytes, a few pixels in.
        "damaged.gif": (good[:data + 1] + b"\x02" + good[data + 2:data + 4] + b"\x00;",
                        "the image data is damaged or ends early"),
        # 65,535 x 65,535 pixels claimed in a few dozen bytes.
        "bomb.gif": (tiny[:6] + struct.pack("<HH", 65535, 65535) + tiny[10:],
                     "the width or height is 0 or more than 16384 pixels"),
        # A small screen, an image 16,385 pixels wide in it.
        "wide-image.gif": (tiny[:tiny_image + 5] + struct.pack("<H", 16385) + tiny[tiny_image + 7:],
                           "the width or height is 0 or more than 16384 pixels"),
    }


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_cases(folder):
    os.makedirs(folder, exist_ok=True)
    for name, (gif, colors) in good_cases().items():
        write(os.path.join(folder, name), gif)
        write(os.path.join(folder, name[:-4] + ".expect"), hex_lines(colors).encode())
    for name, (gif, reason) in bad_cases().items():
        write(os.path.join(folder, name), gif)
        write(os.path.join(folder, name[:-4] + ".expect"), ("error: %s\n" % reason).encode())


def make_frames(path, count=300000):
    """Pillow's second frame of an animated GIF (its graphic control, its
    local table and its image) `count` times over."""
    first, second = colors_of(2, 7), colors_of(2, 8)
    frames = [indexed(first, (1, 1), [0]), indexed(second, (1, 1), [1])]
    gif = saved(frames[0], save_all=True, append_images=frames[1:], duration=10, loop=0)
    found = records(gif)
    start = [offset for offset, kind in found if kind == b"!"][-1]
    end = found[-1][0]
    write(path, gif[:start] + gif[start:end] * count + b";")
    write(path[:-4] + ".expect", hex_lines(table_of(gif)).encode())


def gifbuild_reading(path):
    """gifbuild -d: giflib reads the whole file (DGifSlurp) and prints the
    screen's table and every image's pixels."""
    dump = subprocess.run([GIFBUILD, "-d", path], stdout=subprocess.PIPE, check=True,
                          timeout=60).stdout.decode("ascii").split("\n")
    keys = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\"#$%&'()*+,-./:<=>?@[\\]^_`{|}~"
    table = ["%02x%02x%02x" % tuple(int(v) for v in line.split()[1:4])
             for line in dump[dump.index("screen map"):dump.index("end")]
             if line.strip().startswith("rgb ")]
    header = next(i for i, line in enumerate(dump) if line.startswith("image bits "))
    width, height = (int(v) for v in dump[header].split()[2:5:2])
    hex_pixels = dump[header].endswith(" hex")
    pixels = []
    for row in dump[header + 1:header + 1 + height]:
        pixels += ([int(row[i:i + 2], 16) for i in range(0, 2 * width, 2)] if hex_pixels
                   else [keys.index(c) for c in row])
    return {"size": [width, height], "table": table, "pixels": pixels}


def describe(path):
    with open(path, "rb") as f:
        version = f.read(6).decode("ascii")
    image = Image.open(path)
    palette = image.palette.palette
    pillow = {"mode": image.mode, "size": list(image.size),
              "table": [palette[i:i + 3].hex() for i in range(0, len(palette), 3)],
              "pixels": list(image.getdata())}
    return {"version": version, "pillow": pillow, "gifbuild": gifbuild_reading(path)}


def main():
    command, path = sys.argv[1:3]
    if command == "cases":
        make_cases(path)
    elif command == "frames":
        make_frames(path)
    elif command == "describe":
        json.dump(describe(path), sys.stdout)
    else:
        sys.exit("make-gifs.py: unknown command %r" % command)


if __name__ == "__main__":
    main()
