#!/usr/bin/python3
"""Draws what kolorvane-cli --show prints in a terminal as a PNG, for the
README: the program runs on a pseudo-terminal, as a user's shell runs it,
and its text and colour escapes are drawn cell by cell. Nothing on the
picture is written by hand but the prompt.

    /usr/bin/python3 scripts/terminal-picture.py --cli build/default/cli/kolorvane-cli \\
        --out docs/show.png --cwd examples sunset.gpl

With --check it draws the picture again and fails unless the file holds
the same bytes: the docs.show_picture test. Pillow is Debian's, for
/usr/bin/python3. The program is given 30 seconds,
then stopped by its process id.
"""
import argparse
import io
import os
import pty
import re
import select
import signal
import sys
import time

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"
SIZE = 15
BACKGROUND = (30, 30, 30)
FOREGROUND = (215, 215, 215)
PROMPT = (120, 200, 120)
MARGIN = 12
TIMEOUT = 30.0
ESCAPE = re.compile(r"\x1b\[([0-9;]*)m")


def run_on_terminal(command, cwd):
    """What `command` writes to a pseudo-terminal of 100 columns."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        env = {"PATH": "/usr/bin:/bin", "TERM": "xterm-256color", "COLUMNS": "100", "LANG": "C.UTF-8"}
        os.execve(command[0], command, env)
    output = b""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.5)
        if not ready:
            if os.waitpid(pid, os.WNOHANG) != (0, 0):
                break
            continue
        try:
            chunk = os.read(fd, 65536)
        except OSError:  # the program has ended and the terminal closed
            break
        if not chunk:
            break
        output += chunk
    else:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        sys.exit("terminal-picture: the program did not end within %d seconds" % TIMEOUT)
    _, status = os.waitpid(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("terminal-picture: the program failed: %r" % output[-300:])
    return output.decode("utf-8").replace("\r\n", "\n")


def cells(text):
    """Each line as (character, bold, background or None) cells."""
    lines, line = [], []
    bold, background = False, None
    position = 0
    for match in list(ESCAPE.finditer(text)) + [None]:
        end = match.start() if match else len(text)
        for character in text[position:end]:
            if character == "\n":
                lines.append(line)
                line = []
            else:
                line.append((character, bold, background))
        if match is None:
            break
        position = match.end()
        codes = [int(c) for c in match.group(1).split(";") if c] or [0]
        if codes[0] == 0:
            bold, background = False, None
        elif codes[0] == 1:
            bold = True
        elif codes[:2] == [48, 2] and len(codes) == 5:
            background = tuple(codes[2:])
        else:
            sys.exit("terminal-picture: an escape this script does not draw: %r" % match.group(0))
    if line:
        lines.append(line)
    return lines


def draw(lines, prompt, path):
    font = ImageFont.truetype(FONT, SIZE)
    bold_font = ImageFont.truetype(BOLD, SIZE)
    width = round(font.getlength("M"))
    ascent, descent = font.getmetrics()
    height = ascent + descent + 2
    columns = max([len(prompt)] + [len(line) for line in lines]) + 1
    image = Image.new("RGB", (2 * MARGIN + columns * width, 2 * MARGIN + (len(lines) + 1) * height),
                      BACKGROUND)
    canvas = ImageDraw.Draw(image)
    canvas.text((MARGIN, MARGIN), prompt, font=font, fill=PROMPT)
    for row, line in enumerate(lines, start=1):
        y = MARGIN + row * height
        for column, (character, bold, background) in enumerate(line):
            x = MARGIN + column * width
            if background is not None:
                canvas.rectangle([x, y, x + width - 1, y + height - 1], fill=background)
            if character != " ":
                canvas.text((x, y), character, font=bold_font if bold else font, fill=FOREGROUND)
    image.save(path, format="PNG", optimize=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--cwd", default=".")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()
    command = [os.path.abspath(options.cli), "--show"] + options.files
    text = run_on_terminal(command, options.cwd)
    prompt = "$ kolorvane-cli --show " + " ".join(options.files)
    if not options.check:
        draw(cells(text), prompt, options.out)
        print("picture: %s" % options.out)
        return 0
    drawn = io.BytesIO()
    draw(cells(text), prompt, drawn)
    with open(options.out, "rb") as picture:
        if picture.read() != drawn.getvalue():
            print("%s is not what --show prints now; refresh it as the README says" % options.out)
            return 1
    print("%s is what --show prints" % options.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
