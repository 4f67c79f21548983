"""Packs the Windows release into OUT: NAME.zip (a folder NAME holding the
programs, and the other FILEs at their paths in DIR), the programs beside it,
and SHA256SUMS over the ZIP and the programs.

    python3 package.py --source DIR --out OUT --name NAME
                       --program EXE [--program EXE...] [--file FILE...]
                       [--licence NAME=FILE...] [--page DIR]

Each --licence FILE, the licence of a library the programs carry, goes into
the ZIP's licences/ folder as NAME; the files of the page's folder DIR into
its web/ folder.

The same inputs give the same ZIP, byte for byte, wherever and whenever it is
made: the entries come in the order of their names, each dated
SOURCE_DATE_EPOCH (when unset, the time of the last commit in DIR) in UTC,
with fixed permissions, and nothing else of the machine (owner, times of the
files, time zone) is written. CPack's ZIP takes the files' own times and
owners, hence this script.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01, the earliest time a ZIP entry can hold
PROGRAM_MODE = 0o100755
FILE_MODE = 0o100644


def source_date_epoch(source):
    """SOURCE_DATE_EPOCH, or the last commit's time when it is unset."""
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        result = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                check=False, timeout=30)
        value = result.stdout.decode().strip()
        if result.returncode != 0 or not value:
            sys.exit("package.py: %s is not a git checkout; set SOURCE_DATE_EPOCH" % source)
    if not value.isdigit():
        sys.exit("package.py: SOURCE_DATE_EPOCH is not a number of seconds: %r" % value)
    return int(value)


def entry(name, epoch, mode):
    """A ZIP entry that says nothing but its name, date and permissions."""
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(epoch, DOS_EPOCH))[:6])
    info.create_system = 3  # Unix, so that the permissions below are read
    info.external_attr = mode << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def write_zip(path, folder, members, epoch):
    """`members`: (path on disk, name in the ZIP, mode), stored as
    folder/name in the order of the names."""
    with zipfile.ZipFile(path, "w") as archive:
        for source, name, mode in sorted(members, key=lambda m: m[1]):
            with open(source, "rb") as data:
                archive.writestr(entry(folder + "/" + name, epoch, mode), data.read(),
                                 compresslevel=9)


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def write_sums(out, names):
    """SHA256SUMS in sha256sum's own format, so that `sha256sum -c` reads it."""
    lines = ["%s  %s\n" % (sha256(os.path.join(out, name)), name) for name in sorted(names)]
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as sums:
        sums.writelines(lines)


def main():
    parser = argparse.ArgumentParser()
    for option in ("source", "out", "name"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--program", action="append", required=True)
    parser.add_argument("--file", action="append", default=[])
    parser.add_argument("--licence", action="append", default=[])
    parser.add_argument("--page")
    options = parser.parse_args()
    epoch = source_date_epoch(options.source)
    # Only what this run writes, so that nothing stale is published.
    shutil.rmtree(options.out, ignore_errors=True)
    os.makedirs(options.out)
    # The programs at the top; the other files where they stand in the
    # sources, so that the README finds its picture in docs/.
    members = ([(p, os.path.basename(p), PROGRAM_MODE) for p in options.program] +
               [(f, os.path.relpath(f, options.source).replace(os.sep, "/"), FILE_MODE)
                for f in options.file] +
               [(path, "licences/" + name, FILE_MODE)
                for name, path in (licence.split("=", 1) for licence in options.licence)] +
               [(os.path.join(options.page, name), "web/" + name, FILE_MODE)
                for name in (os.listdir(options.page) if options.page else [])])
    zip_name = options.name + ".zip"
    write_zip(os.path.join(options.out, zip_name), options.name, members, epoch)
    for program in options.program:
        shutil.copyfile(program, os.path.join(options.out, os.path.basename(program)))
    write_sums(options.out, [zip_name] + [os.path.basename(p) for p in options.program])
    print("%s: %s and the programs, dated %s" % (
        os.path.join(options.out, "SHA256SUMS"), zip_name,
        time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(epoch))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
