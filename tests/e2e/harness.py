"""Runs kolorvane.exe under Wine on a virtual X screen and works it as a user
does: drops files on its window through XDND, reads its message boxes and
presses their OK buttons, and closes it.

A session owns its Xvfb, its Wine prefix and that prefix's wineserver; every
process it starts is stopped by its own id when the session ends. Every wait
is bounded.
"""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass, field

SCREEN = (1024, 768)
STEP_TIMEOUT = 10  # seconds for any one helper call
START_TIMEOUT = 20  # seconds for the window to appear
PREFIX_TIMEOUT = 180  # seconds to create a fresh Wine prefix

# The texts the program shows, as the ANSI code page 932 bytes Wine hands to
# another process.
CONFIRM = "確認".encode("cp932")
WARNING = "警告".encode("cp932")
CONVERTED = "変換を完了しました".encode("cp932")
BAD_HEADER = "読込エラー1".encode("cp932")
UNSUPPORTED = "取り扱えるファイルではありません".encode("cp932")


class HarnessError(Exception):
    pass


@dataclass
class Box:
    handle: str
    rect: tuple
    caption: bytes  # as the ANSI calls read them, in the ANSI code page
    text: bytes
    wide_caption: str = ""  # as the wide calls read them
    wide_text: str = ""


@dataclass
class Session:
    work: str
    exe: str
    boxes: str
    xdnd: str
    wine: str
    wineserver: str
    env: dict
    display: str
    xvfb: subprocess.Popen
    server: subprocess.Popen = None
    programs: list = field(default_factory=list)


# personality(2)'s flag for an address space laid out the same every run.
ADDR_NO_RANDOMIZE = 0x0040000


def fix_address_space():
    """Every program this process starts from now on, Wine's included, gets
    the same address layout each run. Debian's Wine has no preloader, which
    would keep the addresses Windows fixes free before anything else is
    mapped; wine64 is not position-independent, and the kernel starts its
    heap anywhere in the gigabyte after it, which holds the shared user data
    page at 0x7ffe0000. Now and then (1 start in 10,293 here) a start found
    that page taken by its own heap and exited 1 before the program ran,
    saying why ("failed to map the shared user data") only in an error that
    WINEDEBUG=-all hides. Not randomised, the heap starts right after
    wine64, 16 MB below that page."""
    libc = ctypes.CDLL(None, use_errno=True)
    current = libc.personality(0xFFFFFFFF)  # reads it
    if current == -1 or libc.personality(current | ADDR_NO_RANDOMIZE) == -1:
        raise HarnessError("personality: %s" % os.strerror(ctypes.get_errno()))


def find_wine():
    """The 64-bit Wine loader and its wineserver."""
    for loader in (shutil.which("wine64"), "/usr/lib/wine/wine64", "/usr/bin/wine64"):
        if loader and os.access(loader, os.X_OK):
            folder = os.path.dirname(os.path.realpath(loader))
            for server in (os.path.join(folder, "wineserver"), shutil.which("wineserver"),
                           "/usr/lib/wine/wineserver"):
                if server and os.access(server, os.X_OK):
                    return loader, server
    raise HarnessError("wine64 not found (Debian package wine64)")


def start_xvfb():
    """Xvfb at 1024 x 768 x 24 on a display number it picks itself."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
         "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + STEP_TIMEOUT
    try:
        while not number.endswith(b"\n"):
            if time.monotonic() > deadline or xvfb.poll() is not None:
                raise HarnessError("Xvfb did not start")
            ready, _, _ = select.select([read_end], [], [], 0.2)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise HarnessError("Xvfb did not start")
                number += chunk
    except BaseException:
        stop_process(xvfb)
        raise
    finally:
        os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def stop_process(process, grace=5):
    """Ends a process this harness started, by its id: politely, then not."""
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=grace)


def fresh_prefix(work):
    """An empty folder for a new Wine prefix under `work`. The server runs in
    the prefix's folder, so that must exist first; wineboot fills it."""
    prefix = os.path.join(work, "wineprefix")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    return prefix


def wine_environment(prefix, display):
    """This process's environment for Wine in `prefix`, with a Japanese
    locale, and on `display` unless that is None."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("WINE", "LC_", "WAYLAND", "DISPLAY"))}
    env.update({
        "WINEPREFIX": prefix,
        "WINEARCH": "win64",
        "WINEDEBUG": "-all",
        # No prompts to install Mono or Gecko into the new prefix.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Wine's ANSI code page follows the locale of each program started:
        # 932 under Japanese.
        "LC_ALL": "ja_JP.UTF-8",
        "LANG": "ja_JP.UTF-8",
    })
    if display is not None:
        env["DISPLAY"] = display
    return env


def boot_prefix(session, warm_up):
    """Starts the session's own wineserver and fills its prefix; `warm_up`,
    a Windows program's command line, runs once the prefix is made. On any
    failure the session is stopped."""
    try:
        fix_address_space()
        # A server of our own, in the foreground, so that it has an id to stop.
        session.server = subprocess.Popen([session.wineserver, "--foreground", "--persistent"],
                                          env=session.env, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.DEVNULL)
        time.sleep(0.2)
        if session.server.poll() is not None:
            raise HarnessError("wineserver ended at start with %d" % session.server.returncode)
        run_quietly([session.wine, "wineboot", "--init"], session.env, PREFIX_TIMEOUT)
        if session.display is not None:
            install_wine_fonts(session)
            # No window manager runs on the virtual screen: Wine draws frames
            # and captions itself, as Windows does, so that screenshots show
            # them.
            run_quietly([session.wine, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v",
                         "Managed", "/d", "N", "/f"], session.env, PREFIX_TIMEOUT)
        # The prefix's services may still be starting after wineboot; the
        # first program of the session waits for them, the cases do not.
        run_quietly([session.wine] + warm_up, session.env, PREFIX_TIMEOUT)
    except BaseException:
        stop_session(session)
        raise


def install_wine_fonts(session):
    """Copies Wine's own fonts into the prefix's Fonts folder. Debian's Wine
    loads fonts from there and from fontconfig only, not from its data folder
    where fonts-wine puts them: without Marlett the caption buttons would
    draw as the letters "0 1 r"."""
    data = os.path.join(os.path.dirname(os.path.realpath(session.wine)), "..", "..", "share",
                        "wine", "fonts")
    target = os.path.join(session.env["WINEPREFIX"], "drive_c", "windows", "Fonts")
    if os.path.isfile(os.path.join(data, "marlett.ttf")):
        shutil.copy(os.path.join(data, "marlett.ttf"), target)


def start_session(work, exe, boxes, xdnd):
    """A fresh prefix under `work` and a screen of its own."""
    wine, wineserver = find_wine()
    prefix = fresh_prefix(work)
    xvfb, display = start_xvfb()
    env = wine_environment(prefix, display)
    session = Session(work, exe, boxes, xdnd, wine, wineserver, env, display, xvfb)
    boot_prefix(session, [boxes, "wait", "0", "0"])
    return session


def start_console_session(work, exe):
    """A fresh prefix under `work` for a console program: no screen."""
    wine, wineserver = find_wine()
    prefix = fresh_prefix(work)
    env = wine_environment(prefix, None)
    session = Session(work, exe, None, None, wine, wineserver, env, None, None)
    boot_prefix(session, [exe, "--version"])
    return session


def stop_session(session):
    for program in list(session.programs):
        stop_process(program)
    session.programs.clear()
    if session.server is not None:
        # Ends the Wine processes of this prefix alone (its services and
        # desktop) through the prefix's server, then the server itself.
        subprocess.run([session.wineserver, "--kill"], env=session.env, timeout=STEP_TIMEOUT,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        try:
            session.server.wait(timeout=STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            stop_process(session.server)
    stop_process(session.xvfb)


def leftover_processes(session):
    """Ids of processes still running in this session's prefix."""
    marker = ("WINEPREFIX=" + session.env["WINEPREFIX"]).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if marker in environ.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue  # ended meanwhile, or not ours to read
    return found


def stop_on_signal(session):
    """Stops the session's processes should the run itself be stopped (by
    CTest's timeout, say, or ^C), then ends the run."""
    def stop(number, _frame):
        stop_session(session)
        os._exit(128 + number)
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, stop)


def run(command, env, timeout=STEP_TIMEOUT):
    result = subprocess.run(command, env=env, timeout=timeout, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, check=False)
    return result.returncode, result.stdout.decode("ascii", "replace")


def run_quietly(command, env, timeout):
    """For Wine commands that may start the prefix's services: those outlive
    the command, and would hold a pipe for its output open."""
    return subprocess.run(command, env=env, timeout=timeout, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=False).returncode


def boxes(session, *arguments, timeout=STEP_TIMEOUT):
    return run([session.wine, session.boxes] + [str(a) for a in arguments], session.env, timeout)


def parse_boxes(listing):
    found = []
    for line in listing.splitlines():
        parts = line.split()
        if len(parts) != 10 or parts[0] != "box":
            continue
        text = [b"" if p == "-" else bytes.fromhex(p) for p in parts[6:10]]
        found.append(Box(parts[1], tuple(int(p) for p in parts[2:6]), text[0], text[1],
                         text[2].decode("utf-16-le"), text[3].decode("utf-16-le")))
    return found


def open_boxes(session, count=0, wait_ms=0):
    """The message boxes open now, topmost first, after waiting up to
    `wait_ms` for at least `count` of them."""
    _, listing = boxes(session, "wait", count, wait_ms)
    return parse_boxes(listing)


def press_ok(session, box):
    status, _ = boxes(session, "press", box.handle, 5000)
    if status != 0:
        raise HarnessError("the box %s did not close" % box.handle)


def main_rect(session):
    try:
        status, listing = boxes(session, "rect")
    except subprocess.TimeoutExpired:
        return None
    if status != 0:
        return None
    return tuple(int(p) for p in listing.split())


def windows_path(path):
    """A Unix path as the programs under Wine name it: Z: is the root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def file_tool(session, tool, *arguments):
    """file-tool.exe run to its end in the session: its status and output."""
    return run([session.wine, tool] + [str(a) for a in arguments], session.env)


def hold_file(session, tool, path, milliseconds):
    """file-tool.exe holding `path` open, without delete sharing, for
    `milliseconds`; returned once the file is held. The session stops it by
    its id at the end, should it still run."""
    holder = subprocess.Popen([session.wine, tool, "hold", windows_path(path), str(milliseconds)],
                              env=session.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    session.programs.append(holder)
    ready, _, _ = select.select([holder.stdout], [], [], STEP_TIMEOUT)
    if not ready or holder.stdout.readline().strip() != b"held":
        raise HarnessError("file-tool did not hold %s" % path)
    return holder


def end_hold(session, holder):
    """Waits, bounded, for a holder to let go; stops it by its id."""
    try:
        holder.wait(timeout=STEP_TIMEOUT)
    finally:
        stop_process(holder)
        holder.stdout.close()
        session.programs.remove(holder)


def in_locale(env, locale):
    """`env` with another Unix locale, and so another ANSI code page for the
    Wine programs started with it; the prefix and its server stay the same."""
    return dict(env, LC_ALL=locale, LANG=locale) if locale else env


# Where Wine reads the DPI it reports, at each program's start: the user's
# setting, and the machine's.
DPI_KEYS = (r"HKCU\Control Panel\Desktop",
            r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")


def set_dpi(session, dpi):
    """The DPI of the session's screen for the programs started after this."""
    for key in DPI_KEYS:
        status = run_quietly([session.wine, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD",
                              "/d", str(dpi), "/f"], session.env, STEP_TIMEOUT)
        if status != 0:
            raise HarnessError("LogPixels not set in %s" % key)


def start_program(session, locale=None):
    """kolorvane.exe, started from the work folder, once its window is up;
    under `locale` when given, else the session's Japanese one."""
    program = subprocess.Popen([session.wine, session.exe], env=in_locale(session.env, locale),
                               cwd=session.work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    session.programs.append(program)
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        rect = main_rect(session)
        if rect is not None:
            return program, rect
        if program.poll() is not None:
            raise HarnessError("kolorvane.exe ended at start with %d" % program.returncode)
        time.sleep(0.1)
    raise HarnessError("no main window in %d s" % START_TIMEOUT)


def close_program(session, program):
    """WM_CLOSE to the main window; the program's exit code."""
    status, _ = boxes(session, "close")
    if status != 0:
        raise HarnessError("no main window to close")
    try:
        code = program.wait(timeout=STEP_TIMEOUT)
    finally:
        stop_process(program)
        session.programs.remove(program)
    return code


def drop(session, point, paths):
    """Drops `paths` on the window at screen `point`; the helper's status
    (0 dropped, 2 refused, 3 nothing there, 4 timed out)."""
    command = [session.xdnd, "-t", "5000", str(point[0]), str(point[1])] + list(paths)
    result = subprocess.run(command, env=session.env, timeout=STEP_TIMEOUT,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    return result.returncode


def centre(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


def uncovered_point(rect, covering):
    """A point of the window's client area that none of `covering` hides."""
    caption_height = 32  # title bar and frame, generously
    for y in range(rect[3] - 12, rect[1] + caption_height, -8):
        for x in range(rect[0] + 12, rect[2] - 12, 8):
            if all(not (r[0] - 4 <= x < r[2] + 4 and r[1] - 4 <= y < r[3] + 4)
                   for r in (box.rect for box in covering)):
                return (x, y)
    raise HarnessError("the boxes cover the whole window")


def wait_for(predicate, timeout=5.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def screenshot(session, path, rects):
    """A PNG of the part of the screen that holds `rects`, with a margin."""
    left = max(0, min(r[0] for r in rects) - 16)
    top = max(0, min(r[1] for r in rects) - 16)
    right = min(SCREEN[0], max(r[2] for r in rects) + 16)
    bottom = min(SCREEN[1], max(r[3] for r in rects) + 16)
    geometry = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
    # No time chunks: the same screen gives the same file, so that a picture
    # kept in the repository changes only when the window does.
    subprocess.run(["import", "-display", session.display, "-window", "root", "-crop", geometry,
                    "+repage", "-define", "png:exclude-chunks=date,time", path], env=session.env, timeout=STEP_TIMEOUT, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
