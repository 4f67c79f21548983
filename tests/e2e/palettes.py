"""Palettes for the end-to-end suites, made and converted here independently
of the program: random entries, the two layouts, and the expected output of
a source of any length."""

import random

HEADER = b"EDGE PAL\x00\x00"


def random_entries(seed):
    generator = random.Random(seed)
    return [bytes(generator.randrange(256) for _ in range(3)) for _ in range(256)]


def pal_file(entries, header=HEADER):
    return header + b"".join(entries)


def act_file(entries):
    return b"".join(entries)


def reversed_entries(entries):
    return list(reversed(entries))


def _reversed_body(body):
    """The 256 entries of a 768-byte body in reverse order; a short body is
    padded with zero bytes first, a long one cut."""
    body = body[:768].ljust(768, b"\x00")
    return b"".join(body[3 * (255 - k):3 * (255 - k) + 3] for k in range(256))


def as_act(pal_bytes):
    """The .act the program must write for a .pal file's bytes."""
    return _reversed_body(pal_bytes[10:])


def as_pal(act_bytes):
    """The .pal the program must write for an .act file's bytes."""
    return HEADER + _reversed_body(act_bytes)


def write(path, data):
    with open(path, "wb") as file:
        file.write(data)


def read(path):
    with open(path, "rb") as file:
        return file.read()
