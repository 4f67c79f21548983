"""The headless run of run.sh: kolorvane.exe on a virtual screen, a sample
palette dropped on its window, the notice's text and the file written
printed, a screenshot of the window and its notice saved (as PICTURE, by
default DIR/kolorvane.png), the program closed.

    python3 demo.py --exe K.exe --boxes B.exe --xdnd XDND --work DIR [--picture PICTURE] PALETTE
"""

import argparse
import os
import shutil
import sys

import harness


def convert_one(session, source, picture):
    program, rect = harness.start_program(session)
    try:
        before = set(os.listdir(os.path.dirname(source)))
        if harness.drop(session, harness.centre(rect), [source]) != 0:
            raise harness.HarnessError("the drop did not reach the window")
        found = harness.open_boxes(session, 1, 5000)
        if not found:
            raise harness.HarnessError("no notice after the drop")
        notice = found[0]
        print("notice: %s: %s" % (notice.caption.decode("cp932"), notice.text.decode("cp932")))
        written = sorted(set(os.listdir(os.path.dirname(source))) - before)
        for name in written:
            print("written: %s" % os.path.join(os.path.dirname(source), name))
        harness.screenshot(session, picture, [rect, notice.rect])
        print("screenshot: %s" % picture)
        harness.press_ok(session, notice)
    finally:
        code = harness.close_program(session, program)
    print("exit code: %d" % code)
    return 0 if code == 0 and written else 1


def main():
    parser = argparse.ArgumentParser()
    for option in ("exe", "boxes", "xdnd", "work"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--picture")
    parser.add_argument("palette")
    options = parser.parse_args()
    work = os.path.abspath(options.work)
    files = os.path.join(work, "files")
    shutil.rmtree(files, ignore_errors=True)
    os.makedirs(files)
    # A copy, so that the output lands in the work folder, not in examples/.
    source = shutil.copy(options.palette, files)
    session = harness.start_session(work, os.path.abspath(options.exe),
                                    os.path.abspath(options.boxes), os.path.abspath(options.xdnd))
    harness.stop_on_signal(session)
    try:
        picture = os.path.abspath(options.picture or os.path.join(work, "kolorvane.png"))
        return convert_one(session, source, picture)
    finally:
        harness.stop_session(session)


if __name__ == "__main__":
    sys.exit(main())
