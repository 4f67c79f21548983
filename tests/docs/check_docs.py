"""The README and the pages of docs/ against the sources and the program:
every relative link names a file or folder that exists, and a heading of
that page where it names one; and the README's table of formats lists the
formats `kolorvane-cli --help` lists, in its order, each with its name,
the extensions it is read from, the one it is written as, its title, the
colours it holds and whether it is read only.

    python3 check_docs.py --source DIR --cli PROGRAM

Prints each fault and fails when there is any.
"""
import argparse
import glob
import os
import re
import subprocess
import sys

LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"`+[^`]*`+")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
TABLE_HEAD = "| format | read from | written as | what it is | colours |"
READ_ONLY = "read only"
# "EDGE PAL (256 colours)", "Doom WAD (256 colours, read only)"
WRITTEN_ONLY = "written only"
HELP_TITLE = re.compile(r"^(.*) \((\d+) colours?(?:, (read only|written only))?\)$")


def prose_lines(text):
    """The lines of a page outside its code blocks, code spans blanked."""
    fenced = False
    for line in text.split("\n"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced or line.startswith("    ") and not line.lstrip().startswith(("-", "|")):
            continue
        yield CODE_SPAN.sub("``", line)


def anchor(heading):
    """The fragment GitHub gives a heading."""
    text = heading.replace("`", "").strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as page:
        text = page.read()
    found = set()
    fenced = False
    for line in text.split("\n"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        match = None if fenced else HEADING.match(line)
        if match:
            found.add(anchor(match.group(1)))
    return found


def link_faults(source, page):
    faults = []
    with open(page, encoding="utf-8") as f:
        text = f.read()
    name = os.path.relpath(page, source)
    for target in (m.group(1) for m in LINK.finditer("\n".join(prose_lines(text)))):
        if re.match(r"^[a-z][a-z0-9+.-]*:", target):
            continue  # a web address or another scheme: not checked here
        path, _, fragment = target.partition("#")
        resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(resolved):
            faults.append("%s: the link %s leads to nothing" % (name, target))
        elif fragment and resolved.endswith(".md") and fragment not in anchors(resolved):
            faults.append("%s: the link %s names no heading of %s" %
                          (name, target, os.path.relpath(resolved, source)))
    return faults


def help_formats(cli):
    """(name, extensions, title, colours, read only) of each format --help
    lists."""
    result = subprocess.run([cli, "--help"], capture_output=True, text=True, timeout=30, check=True)
    lines = result.stdout.split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("Formats"))
    while start + 1 < len(lines) and not lines[start + 1].startswith("  "):
        start += 1  # the heading's own lines
    formats = []
    for line in lines[start + 1:]:
        if not line.startswith("  "):
            break
        name, rest = line.split(None, 1)
        words = rest.split()
        extensions = [w for w in words if w.startswith(".")]
        title = " ".join(words[len(extensions):])
        match = HELP_TITLE.match(title)
        if match is None:
            formats.append((name, extensions, title, "", ""))
        else:
            formats.append((name, extensions, match.group(1), match.group(2),
                            match.group(3) or ""))
    return formats


def readme_formats(readme):
    """The same, from the README's table, and the faults of its rows."""
    with open(readme, encoding="utf-8") as f:
        lines = f.read().split("\n")
    start = next((i for i, line in enumerate(lines) if line.startswith(TABLE_HEAD)), None)
    if start is None:
        return [], ["README.md: no table of formats (%s)" % TABLE_HEAD]
    formats, faults = [], []
    for line in lines[start + 2:]:
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        name, read_from, written_as, title, colours = (cells + [""] * 5)[:5]
        name = name.strip("`")
        extensions = re.findall(r"`(\.[^`]+)`", read_from)
        mode = READ_ONLY if written_as == READ_ONLY else WRITTEN_ONLY if read_from == WRITTEN_ONLY else ""
        if mode == WRITTEN_ONLY:
            extensions = [written_as.strip("`")]
        elif mode != READ_ONLY and extensions[:1] != [written_as.strip("`")]:
            faults.append("README.md: %s is written as %s, not as the first extension it is read "
                          "from" % (name, written_as))
        formats.append((name, extensions, title, colours.replace(",", ""), mode))
    return formats, faults


def describe(entry):
    name, extensions, title, colours, mode = entry
    return "%s %s %s, %s colours%s" % (name, " ".join(extensions) or "(no extension)", title,
                                       colours or "no count of", ", " + mode if mode else "")


def table_faults(source, cli):
    listed, faults = readme_formats(os.path.join(source, "README.md"))
    expected = help_formats(cli)
    for i in range(max(len(listed), len(expected))):
        row = listed[i] if i < len(listed) else None
        want = expected[i] if i < len(expected) else None
        if row != want:
            faults.append("README.md: row %d of the table of formats is %s; --help says %s" %
                          (i + 1, describe(row) if row else "missing",
                           describe(want) if want else "nothing"))
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--cli", required=True)
    options = parser.parse_args()
    source = os.path.abspath(options.source)
    pages = [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))
    faults = [fault for page in pages for fault in link_faults(source, page)]
    faults += table_faults(source, options.cli)
    for fault in faults:
        print(fault)
    print("%d pages, %d faults" % (len(pages), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
