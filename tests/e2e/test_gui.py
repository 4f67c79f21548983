"""End-to-end tests of kolorvane.exe under Wine: real XDND drops on its window,
its message boxes read back as code page 932 bytes, the files on disk
compared byte for byte with palettes converted here independently.

    python3 test_gui.py --exe K.exe --boxes B.exe --xdnd XDND --work DIR [unittest args]
"""

import argparse
import os
import shutil
import sys
import unittest

import harness
from harness import BAD_HEADER, CONFIRM, CONVERTED, UNSUPPORTED, WARNING
from palettes import (act_file, as_act, as_pal, pal_file, random_entries, read, reversed_entries,
                      write)

CONFIG = {}


def in_locale(locale):
    """Runs the decorated case's program under `locale` (and so its ANSI code
    page) instead of the Japanese one."""
    def mark(case):
        case.locale = locale
        return case
    return mark


def at_dpi(dpi):
    """Runs the decorated case's program on a screen of `dpi` instead of 96;
    the prefix is set back to 96 after the case."""
    def mark(case):
        case.dpi = dpi
        return case
    return mark


class KolorvaneUnderWine(unittest.TestCase):
    session = None

    @classmethod
    def setUpClass(cls):
        cls.session = harness.start_session(CONFIG["work"], CONFIG["exe"], CONFIG["boxes"],
                                            CONFIG["xdnd"])
        harness.stop_on_signal(cls.session)

    @classmethod
    def tearDownClass(cls):
        if cls.session is not None:
            harness.stop_session(cls.session)
            left = harness.wait_for(lambda: not harness.leftover_processes(cls.session))
            if not left:
                raise AssertionError("still running in the prefix: %s"
                                     % harness.leftover_processes(cls.session))

    def setUp(self):
        name = self.id().rsplit(".", 1)[-1]
        self.folder = os.path.join(CONFIG["work"], "cases", name)
        self.sentinels = os.path.join(CONFIG["work"], "sentinels", name)
        for folder in (self.folder, self.sentinels):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        case = getattr(self, self._testMethodName)
        self.locale = getattr(case, "locale", None)
        if hasattr(case, "dpi"):
            self.addCleanup(harness.set_dpi, self.session, 96)
            harness.set_dpi(self.session, case.dpi)
        self.program, self.rect = harness.start_program(self.session, self.locale)
        self.closed = False

    def tearDown(self):
        if self.closed:
            return
        # A failed case may leave boxes open; dismiss them so that the window
        # closes and the next case starts clean.
        for _ in range(8):
            open_now = harness.open_boxes(self.session)
            if not open_now:
                break
            try:
                harness.press_ok(self.session, open_now[0])
            except harness.HarnessError:
                break
        code = harness.close_program(self.session, self.program)
        self.assertEqual(code, 0, "exit code after WM_CLOSE")

    # -- what a user does and sees ----------------------------------------

    def path(self, *names):
        return os.path.join(self.folder, *names)

    def drop(self, paths, point=None):
        status = harness.drop(self.session, point or harness.centre(self.rect), paths)
        self.assertEqual(status, 0, "xdnd-drop status for %s" % (paths,))

    def expect_notice(self, caption, text):
        """The one notice open reads as the Japanese `text` and `caption` (code
        page 932 bytes), in UTF-16 under any code page, and as exactly those
        bytes to the ANSI calls under 932."""
        found = harness.open_boxes(self.session, 1, 5000)
        self.assertEqual(len(found), 1, "one notice open")
        self.assertEqual((found[0].wide_caption, found[0].wide_text),
                         (caption.decode("cp932"), text.decode("cp932")))
        if self.locale is None:
            self.assertEqual((found[0].caption, found[0].text), (caption, text))
        harness.press_ok(self.session, found[0])

    def expect_no_notice(self):
        """Proves the last drop showed nothing: a second drop is handled only
        after everything the first did, so had the first left a notice, the
        second would be nested inside it and two would be open."""
        sentinel = os.path.join(self.sentinels, "sentinel%d.pal" % len(os.listdir(self.sentinels)))
        write(sentinel, pal_file(random_entries(0)))
        self.drop([sentinel])
        written = sentinel[:-4] + ".act"
        self.assertTrue(harness.wait_for(lambda: os.path.exists(written)), "sentinel converted")
        found = harness.open_boxes(self.session, 1, 5000)
        self.assertEqual([(box.caption, box.text) for box in found], [(CONFIRM, CONVERTED)],
                         "the sentinel's notice alone is open")
        harness.press_ok(self.session, found[0])

    def assert_folder(self, expected, folder=None):
        self.assertEqual(sorted(os.listdir(folder or self.folder)), sorted(expected))

    def file_tool(self, verb, path):
        return harness.file_tool(self.session, CONFIG["file_tool"], verb,
                                 harness.windows_path(path))

    # -- cases -------------------------------------------------------------

    def test_replaced_output_stays_hidden_once_a_brief_lock_goes(self):
        # As a virus scanner holds a file for a moment: the move waits it out.
        entries = random_entries(40)
        write(self.path("vis.pal"), pal_file(entries))
        write(self.path("vis.act"), b"old")
        self.assertEqual(self.file_tool("hide", self.path("vis.act"))[0], 0)
        holder = harness.hold_file(self.session, CONFIG["file_tool"], self.path("vis.act"), 300)
        self.drop([self.path("vis.pal")])
        self.expect_notice(CONFIRM, CONVERTED)
        harness.end_hold(self.session, holder)
        self.assertEqual(read(self.path("vis.act")), act_file(reversed_entries(entries)))
        status, attributes = self.file_tool("attributes", self.path("vis.act"))
        self.assertEqual(status, 0)
        self.assertTrue(int(attributes, 16) & 0x2, attributes)  # hidden
        self.assert_folder(["vis.pal", "vis.act"])

    def test_output_locked_for_long_is_left_as_it_was(self):
        write(self.path("busy.pal"), pal_file(random_entries(41)))
        write(self.path("busy.act"), b"old")
        holder = harness.hold_file(self.session, CONFIG["file_tool"], self.path("busy.act"), 5000)
        self.drop([self.path("busy.pal")])
        self.expect_no_notice()
        harness.end_hold(self.session, holder)
        self.assertEqual(read(self.path("busy.act")), b"old")
        self.assert_folder(["busy.pal", "busy.act"])

    def test_window_is_centred_on_the_screen(self):
        self.assertEqual(self.rect, (412, 284, 612, 484))

    @at_dpi(144)
    def test_window_keeps_its_size_to_the_eye_at_144_dpi(self):
        # 200 x 200 at 96 DPI is 300 x 300 at 144, still centred.
        self.assertEqual(self.rect, (362, 234, 662, 534))

    def test_closing_the_window_ends_the_program_with_zero(self):
        self.closed = True
        self.assertEqual(harness.close_program(self.session, self.program), 0)

    def test_pal_becomes_act_byte_for_byte(self):
        entries = random_entries(1)
        write(self.path("sky.pal"), pal_file(entries))
        self.drop([self.path("sky.pal")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path("sky.act")), act_file(reversed_entries(entries)))
        self.assert_folder(["sky.pal", "sky.act"])

    def test_act_becomes_pal_byte_for_byte(self):
        entries = random_entries(2)
        write(self.path("sea.act"), act_file(entries))
        self.drop([self.path("sea.act")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path("sea.pal")), pal_file(reversed_entries(entries)))
        self.assert_folder(["sea.act", "sea.pal"])

    def test_mixed_case_extensions_and_header(self):
        entries = random_entries(3)
        write(self.path("Dusk.PaL"), pal_file(entries, b"edge Pal\x00\x00"))
        write(self.path("DAWN.ACT"), act_file(entries))
        self.drop([self.path("Dusk.PaL")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.drop([self.path("DAWN.ACT")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path("Dusk.act")), act_file(reversed_entries(entries)))
        self.assertEqual(read(self.path("DAWN.pal")), pal_file(reversed_entries(entries)))
        self.assert_folder(["Dusk.PaL", "Dusk.act", "DAWN.ACT", "DAWN.pal"])

    def test_short_sources_are_filled_with_zeros(self):
        entries = random_entries(4)
        write(self.path("short.act"), act_file(entries)[:300])
        self.drop([self.path("short.act")])
        self.expect_notice(CONFIRM, CONVERTED)
        padded = [entries[k] if k < 100 else b"\x00\x00\x00" for k in range(256)]
        self.assertEqual(read(self.path("short.pal")), pal_file(reversed_entries(padded)))

    def test_bad_header_leaves_existing_output_untouched(self):
        write(self.path("bad.pal"), pal_file(random_entries(5), b"EDGE_PAL\x00\x00"))
        write(self.path("bad.act"), b"keep me")
        self.drop([self.path("bad.pal")])
        self.expect_notice(WARNING, BAD_HEADER)
        self.assertEqual(read(self.path("bad.act")), b"keep me")
        self.assert_folder(["bad.pal", "bad.act"])

    def test_unsupported_file(self):
        write(self.path("notes.txt"), b"not a palette")
        self.drop([self.path("notes.txt")])
        self.expect_notice(WARNING, UNSUPPORTED)
        self.assert_folder(["notes.txt"])

    def test_folder_named_like_a_palette_gives_no_notice(self):
        os.mkdir(self.path("x.pal"))
        self.drop([self.path("x.pal")])
        self.expect_no_notice()
        self.assert_folder(["x.pal"])
        self.assert_folder([], self.path("x.pal"))

    def test_output_name_taken_by_a_folder_gives_no_notice(self):
        write(self.path("a.pal"), pal_file(random_entries(6)))
        os.mkdir(self.path("a.act"))
        self.drop([self.path("a.pal")])
        self.expect_no_notice()
        self.assert_folder(["a.pal", "a.act"])
        self.assert_folder([], self.path("a.act"))

    def test_existing_output_is_replaced(self):
        entries = random_entries(7)
        write(self.path("old.act"), act_file(entries))
        write(self.path("old.pal"), b"an older, longer file than the new one" * 40)
        self.drop([self.path("old.act")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path("old.pal")), pal_file(reversed_entries(entries)))
        self.assert_folder(["old.act", "old.pal"])

    def test_three_files_convert_only_the_first(self):
        names = ["one.pal", "two.pal", "three.act"]
        for index, name in enumerate(names):
            entries = random_entries(10 + index)
            write(self.path(name), act_file(entries) if name.endswith(".act") else pal_file(entries))
        self.drop([self.path(name) for name in names])
        self.expect_notice(CONFIRM, CONVERTED)
        self.expect_no_notice()
        self.assert_folder(names + ["one.act"])

    def test_drop_while_a_notice_is_open_is_converted_at_once(self):
        write(self.path("first.pal"), pal_file(random_entries(20)))
        write(self.path("second.act"), act_file(random_entries(21)))
        self.drop([self.path("first.pal")])
        first = harness.open_boxes(self.session, 1, 5000)
        self.assertEqual(len(first), 1)
        # On the part of the window the notice leaves free, as a user would.
        self.drop([self.path("second.act")], harness.uncovered_point(self.rect, first))
        self.assertTrue(harness.wait_for(lambda: os.path.exists(self.path("second.pal"))),
                        "converted while the first notice is open")
        both = harness.open_boxes(self.session, 2, 5000)
        self.assertEqual(len(both), 2)
        self.assertIn(first[0].handle, [box.handle for box in both])
        self.assertEqual(read(self.path("second.pal")),
                         pal_file(reversed_entries(random_entries(21))))
        # The nested notice is on top and must close first.
        for box in both:
            self.assertEqual((box.caption, box.text), (CONFIRM, CONVERTED))
            harness.press_ok(self.session, box)
        self.assert_folder(["first.pal", "first.act", "second.act", "second.pal"])

    def test_double_byte_names_with_5c_trail_bytes(self):
        # ソ is 83 5C, 表 is 95 5C, 能 is 94 5C: each ends in the backslash
        # byte, which must not split the path.
        cases = [("表", "ソ.pal", "ソ.act"), ("能ソ", "表能.ACT", "表能.pal"),
                 ("ソ表能", "能.pal", "能.act")]
        for index, (folder, source, output) in enumerate(cases):
            os.makedirs(self.path(folder))
            entries = random_entries(30 + index)
            data = pal_file(entries) if source.lower().endswith(".pal") else act_file(entries)
            write(self.path(folder, source), data)
            self.drop([self.path(folder, source)])
            self.expect_notice(CONFIRM, CONVERTED)
            expected = (act_file(reversed_entries(entries)) if output.endswith(".act")
                        else pal_file(reversed_entries(entries)))
            self.assertEqual(read(self.path(folder, output)), expected)
            self.assert_folder([source, output], self.path(folder))
        self.assert_folder([folder for folder, _, _ in cases])

    def long_path(self, windows_length, name):
        """A path whose Windows form (Z: and the Unix path) has exactly
        `windows_length` bytes."""
        base = self.path("")
        room = windows_length - len("Z:") - len(base.encode()) - len(name)
        folders = []
        while room > 0:
            # Each folder takes its name and a slash; never leave one byte over.
            size = min(room, 101) - 1
            if room - (size + 1) == 1:
                size -= 1
            if size < 1:
                raise AssertionError("cannot make a path of %d bytes" % windows_length)
            folders.append("d" * size)
            room -= size + 1
        path = os.path.join(base, *folders, name)
        self.assertEqual(len("Z:") + len(path.encode()), windows_length)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return path

    def test_path_of_259_bytes_converts(self):
        path = self.long_path(259, "edge.pal")
        entries = random_entries(40)
        write(path, pal_file(entries))
        self.drop([path])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(path[:-4] + ".act"), act_file(reversed_entries(entries)))
        self.assert_folder(["edge.pal", "edge.act"], os.path.dirname(path))

    def test_path_longer_than_the_limit_is_unsupported(self):
        # Cut to the 259 bytes that fit, the dropped path would name cut.pal,
        # another file, which must not be converted in its place.
        path = self.long_path(263, "cut.pal.act")
        write(path, act_file(random_entries(41)))
        write(path[:-4], pal_file(random_entries(42)))
        self.drop([path])
        self.expect_notice(WARNING, UNSUPPORTED)
        self.assert_folder(["cut.pal", "cut.pal.act"], os.path.dirname(path))

    # -- names the ANSI code page cannot spell ------------------------------

    def assert_unchanged(self, contents):
        """Every file under the case's folder is one of `contents` (relative
        path to bytes), as it was, and nothing else is there."""
        found = {}
        for folder, _, names in os.walk(self.folder):
            for name in names:
                path = os.path.join(folder, name)
                found[os.path.relpath(path, self.folder)] = read(path)
        self.assertEqual(found, contents)

    def make_files(self, contents):
        for name, data in contents.items():
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            write(self.path(name), data)

    def test_names_the_code_page_lacks_convert_nothing(self):
        # Best fit would make é an e and the yen sign a backslash, naming
        # cafe.pal and a\b.pal, and an emoji a question mark.
        contents = {"cafe.pal": pal_file(random_entries(50)), "cafe.act": b"keep",
                    "café.pal": pal_file(random_entries(51)),
                    os.path.join("a", "b.pal"): pal_file(random_entries(52)),
                    "a¥b.pal": pal_file(random_entries(53)),
                    os.path.join("x", "y", "p.act"): act_file(random_entries(54)),
                    os.path.join("x¥y", "p.act"): act_file(random_entries(55)),
                    "\U0001F3A8.pal": pal_file(random_entries(56))}
        self.make_files(contents)
        for name in ("café.pal", "a¥b.pal", os.path.join("x¥y", "p.act"), "\U0001F3A8.pal"):
            self.drop([self.path(name)])
            self.expect_notice(WARNING, UNSUPPORTED)
        self.assert_unchanged(contents)

    def test_names_the_code_page_has_convert(self):
        # Fullwidth yen and half-width katakana are characters of code page 932.
        for index, (source, output) in enumerate([("円￥.pal", "円￥.act"), ("ｶﾗｰ.act", "ｶﾗｰ.pal")]):
            entries = random_entries(60 + index)
            data = pal_file(entries) if source.endswith(".pal") else act_file(entries)
            write(self.path(source), data)
            self.drop([self.path(source)])
            self.expect_notice(CONFIRM, CONVERTED)
            self.assertEqual(read(self.path(output)), as_act(data) if output.endswith(".act")
                             else as_pal(data))

    @in_locale("en_US.UTF-8")
    def test_code_page_1252_spells_its_own_names_and_shows_japanese_notices(self):
        entries = random_entries(70)
        self.make_files({"café.pal": pal_file(entries), "ソ.pal": b"", "Āb.pal": b""})
        self.drop([self.path("café.pal")])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path("café.act")), act_file(reversed_entries(entries)))
        for name in ("ソ.pal", "Āb.pal"):  # no form in 1252; Ā would pass for A
            self.drop([self.path(name)])
            self.expect_notice(WARNING, UNSUPPORTED)
        self.assert_folder(["café.pal", "café.act", "ソ.pal", "Āb.pal"])

    def convert_in_folder(self, folder, source, output, seed):
        """Drops `folder`/`source` and expects `output` beside it."""
        entries = random_entries(seed)
        data = pal_file(entries) if source.endswith(".pal") else act_file(entries)
        self.make_files({os.path.join(folder, source): data})
        self.drop([self.path(folder, source)])
        self.expect_notice(CONFIRM, CONVERTED)
        self.assertEqual(read(self.path(folder, output)),
                         as_act(data) if output.endswith(".act") else as_pal(data))
        self.assert_folder([source, output], self.path(folder))

    @in_locale("zh_CN.UTF-8")
    def test_code_page_936_name_with_5c_second_byte(self):
        self.convert_in_folder("乗", "乗.pal", "乗.act", 71)  # 乗 is 81 5C

    @in_locale("zh_TW.UTF-8")
    def test_code_page_950_name_with_5c_second_byte(self):
        self.convert_in_folder("么", "么.act", "么.pal", 72)  # 么 is A4 5C

    @in_locale("ko_KR.UTF-8")
    def test_code_page_949_name(self):
        self.convert_in_folder("색", "팔레트.pal", "팔레트.act", 73)


def main():
    parser = argparse.ArgumentParser()
    for option in ("exe", "boxes", "xdnd", "file-tool", "work"):
        parser.add_argument("--" + option, required=True)
    options, rest = parser.parse_known_args()
    CONFIG.update({key: os.path.abspath(value) for key, value in vars(options).items()})
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
