"""The Debian package as its users get it.

    python3 tests/package/test_package.py [--work DIR]

- Built twice by `dpkg-buildpackage -b -us -uc` from two copies of the
  sources in folders of different names and depths, the second with
  DEB_BUILD_OPTIONS=nocheck, another umask, time zone and locale; the two
  sets of .deb files must be the same bytes. The first build must have run
  the unit tests and nothing else, the second no test at all.
- lintian over the first, with no error and no warning.
- What the package holds: exactly the program, its manual page, the three
  completions and its documents; Depends worked out from the libraries it
  links; the copyright file in the machine-readable format, with LICENSE's
  copyright and text; the version the sources say.
- Installed with dpkg -i and used as a user would, in a mount namespace in
  which the sources and the build folders are hidden under empty folders:
  kolorvane-cli found on PATH, --version, a conversion to .act and one to
  PNG (through the system's libspng), `man kolorvane-cli`, and bash, zsh
  and fish completing with the installed scripts (completions.py
  --installed). Then dpkg -r, after which none of its files may remain.

The machine is left as it was found: the test refuses to start when
kolorvane is installed already, and removes what it installed however it
ends. Needs root, debhelper, lintian, man-db, bash-completion, fish and zsh
(scripts/install-deps.sh installs them).
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.realpath(os.path.join(HERE, "..", ".."))
BUILD_TIMEOUT = 900  # seconds for one package build
STEP_TIMEOUT = 300  # seconds for anything else, dpkg's lock included
PACKAGE = "kolorvane"
STARTED = time.monotonic()
FILES = {
    "/usr/bin/kolorvane-cli",
    "/usr/share/bash-completion/completions/kolorvane-cli",
    "/usr/share/doc/kolorvane/README.md.gz",
    "/usr/share/doc/kolorvane/changelog.gz",
    "/usr/share/doc/kolorvane/copyright",
    "/usr/share/fish/vendor_completions.d/kolorvane-cli.fish",
    "/usr/share/man/man1/kolorvane-cli.1.gz",
    "/usr/share/zsh/vendor-completions/_kolorvane-cli",
}
# Tests that need more than GoogleTest, which a package's build must not run.
NOT_UNIT_TESTS = re.compile(r"^(cli\.|formats\.|e2e|lint\.|memcheck\.)")


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


def run(command, timeout=STEP_TIMEOUT, **options):
    """The command's result; fails the test when it fails."""
    result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=timeout, check=False, **options)
    text = result.stdout.decode(errors="replace")
    if result.returncode != 0:
        raise Failed("%s failed (%d):\n%s" % (" ".join(command), result.returncode, text))
    return text


def step(name):
    print("[%6.1f s] %s" % (time.monotonic() - STARTED, name), flush=True)


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"project\(Kolorvane\s+VERSION\s+([0-9.]+)", cmake.read()).group(1)


def licence():
    """LICENSE's copyright line and the licence's text after it."""
    with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as handle:
        lines = handle.read().splitlines()
    at = next(i for i, line in enumerate(lines) if line.startswith("Copyright "))
    return lines[at], "\n".join(lines[at + 1:]).strip("\n")


# -- building -----------------------------------------------------------------

def copy_sources(target):
    """The working tree as it is, uncommitted changes included, as
    tests/win/reproducible.sh copies it."""
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                             "--exclude-standard"], stdout=subprocess.PIPE, check=True,
                            timeout=STEP_TIMEOUT).stdout.decode().split("\0")
    for name in filter(None, listed):
        source = os.path.join(ROOT, name)
        if os.path.lexists(source):
            os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
            shutil.copy2(source, os.path.join(target, name), follow_symlinks=False)


def build(folder, version, environment):
    """The package built in `folder`/kolorvane-VERSION; its build log."""
    tree = os.path.join(folder, "kolorvane-" + version)
    copy_sources(tree)
    env = {key: value for key, value in os.environ.items() if key != "DEB_BUILD_OPTIONS"}
    env.update(environment)
    umask = int(env.pop("UMASK", "022"), 8)
    return run(["dpkg-buildpackage", "-b", "-us", "-uc"], timeout=BUILD_TIMEOUT, cwd=tree,
               env=env, preexec_fn=lambda: os.umask(umask))


def check_tests_run(checked_log, unchecked_log):
    names = re.findall(r"Test +#\d+: (\S+)", checked_log)
    check(names, "the build ran no test")
    check(re.search(r"100%% tests passed, 0 tests failed out of %d\b" % len(names), checked_log),
          "the build's tests did not all pass")
    others = [name for name in names if NOT_UNIT_TESTS.match(name)]
    check(not others, "the build ran more than the unit tests: %s" % others)
    check("Test project" not in unchecked_log and "kolorvane_unit_tests" not in unchecked_log,
          "DEB_BUILD_OPTIONS=nocheck still built or ran the tests")
    return len(names)


def debs(folder):
    return sorted(name for name in os.listdir(folder) if name.endswith(".deb"))


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def check_same_bytes(first, second):
    check(debs(first) == debs(second), "the builds made %s and %s" % (debs(first), debs(second)))
    for name in debs(first):
        a, b = sha256(os.path.join(first, name)), sha256(os.path.join(second, name))
        check(a == b, "%s differs between the two builds" % name)
        print("    %s  %s (%d bytes)" % (a, name, os.path.getsize(os.path.join(first, name))))


# -- what the package holds ---------------------------------------------------

def check_contents(deb, version):
    listing = run(["dpkg-deb", "--contents", deb])
    files = {line.split()[-1][1:] for line in listing.splitlines() if not line.startswith("d")}
    check(files == FILES, "the package holds %s, not %s" % (sorted(files), sorted(FILES)))
    fields = {name: run(["dpkg-deb", "--field", deb, name]).strip()
              for name in ("Version", "Depends")}
    check(fields["Version"] == version,
          "debian/changelog says %s, CMakeLists.txt %s" % (fields["Version"], version))
    check(all(re.search(r"\b%s \(>= " % re.escape(library), fields["Depends"])
              for library in ("libspng0", "libgif7", "liblcms2-2", "libc6")),
          "Depends is not what the program links: %s" % fields["Depends"])


def copyright_paragraphs(text):
    """The paragraphs of a machine-readable copyright file, each a dict of
    its fields, a field's continuation lines unindented ("." a blank line)."""
    paragraphs = []
    for block in text.strip("\n").split("\n\n"):
        fields, name = {}, None
        for line in block.splitlines():
            if line.startswith(" "):
                fields[name] += "\n" + ("" if line.strip() == "." else line[1:])
            else:
                name, _, value = line.partition(":")
                fields[name] = value.strip()
        paragraphs.append(fields)
    return paragraphs


def check_copyright(text):
    header, files, licence_paragraph = copyright_paragraphs(text)
    check(header.get("Format") ==
          "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/",
          "the copyright file is not in the machine-readable format")
    copyright_line, licence_text = licence()
    holder = re.match(r"Copyright \(c\) (.+)$", copyright_line).group(1)
    check((files.get("Files"), files.get("Copyright"), files.get("License")) ==
          ("*", holder, "Expat"), "the copyright file's Files paragraph: %s" % files)
    name, _, body = licence_paragraph["License"].partition("\n")
    check(name == "Expat" and body == licence_text,
          "the copyright file's licence is not LICENSE's text")


# -- installed ----------------------------------------------------------------

def dpkg(*arguments):
    """dpkg, waiting while another process holds its lock."""
    deadline = time.monotonic() + STEP_TIMEOUT
    while True:
        result = subprocess.run(["dpkg"] + list(arguments), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=STEP_TIMEOUT, check=False)
        text = result.stdout.decode(errors="replace")
        if result.returncode == 0:
            return text
        if "lock" not in text or time.monotonic() > deadline:
            raise Failed("dpkg %s failed:\n%s" % (" ".join(arguments), text))
        time.sleep(2)


def installed():
    result = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Abbrev}", PACKAGE],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False,
                            timeout=STEP_TIMEOUT)
    return result.returncode == 0 and result.stdout.decode().strip() not in ("", "un")


# Run in a mount namespace of its own, the sources and the builds hidden.
AS_A_USER = r"""
set -euo pipefail
for hidden in "$@"; do
    mount -t tmpfs -o size=1m none "$hidden"
    [ -z "$(ls -A "$hidden")" ]
done
cd "$USER_FOLDER"
[ "$(command -v kolorvane-cli)" = /usr/bin/kolorvane-cli ]
[ "$(kolorvane-cli --version | head -n 1)" = "kolorvane-cli (Kolorvane) $VERSION" ]
[ "$(kolorvane-cli sunset.pal)" = "sunset.pal -> sunset.act" ]
cmp sunset.act expected.act
[ "$(kolorvane-cli --to png sunset.pal)" = "sunset.pal -> sunset.png" ]
[ "$(head -c 8 sunset.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]
[ "$(man -w kolorvane-cli)" = /usr/share/man/man1/kolorvane-cli.1.gz ]
MANWIDTH=80 MANPAGER=cat man kolorvane-cli 2>&1 | grep -q 'convert palettes between EDGE PAL'
python3 completions.py --cli /usr/bin/kolorvane-cli --installed --work completions
echo "used as a user: every check passed"
"""


def use_as_a_user(user_folder, hidden, version):
    entries = bytes((i * 7 + k) % 256 for i in range(256) for k in range(3))
    with open(os.path.join(user_folder, "sunset.pal"), "wb") as pal:
        pal.write(b"EDGE PAL\0\0" + entries)
    with open(os.path.join(user_folder, "expected.act"), "wb") as act:
        act.write(b"".join(entries[3 * i:3 * i + 3] for i in reversed(range(256))))
    shutil.copy(os.path.join(ROOT, "tests", "cli", "completions.py"), user_folder)
    env = dict(os.environ, USER_FOLDER=user_folder, VERSION=version)
    print(run(["unshare", "--mount", "--propagation", "private", "bash", "-c", AS_A_USER,
               "bash"] + hidden, env=env), end="")


def check_removed():
    dpkg("-r", PACKAGE)
    left = sorted(path for path in FILES | {"/usr/share/doc/kolorvane"} if os.path.lexists(path))
    check(not left, "dpkg -r left %s" % left)
    check(not installed(), "dpkg -r left the package installed")


def install_use_remove(deb, work, version):
    user_folder = tempfile.mkdtemp(prefix="kolorvane-package-")
    try:
        dpkg("-i", deb)
        step("installed with dpkg -i")
        listed = {path for path in dpkg("-L", PACKAGE).splitlines() if os.path.isfile(path)}
        check(listed == FILES, "dpkg -L lists %s" % sorted(listed))
        with open("/usr/share/doc/kolorvane/copyright", encoding="utf-8") as handle:
            check_copyright(handle.read())
        hidden = [work, ROOT] if not work.startswith(ROOT + os.sep) else [ROOT]
        use_as_a_user(user_folder, hidden, version)
        step("used as a user, the sources and builds hidden")
        check_removed()
        step("removed with dpkg -r: no file left")
    finally:
        if installed():
            dpkg("--purge", PACKAGE)
        shutil.rmtree(user_folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "package"))
    work = os.path.realpath(parser.parse_args().work)
    version = project_version()
    check(os.geteuid() == 0, "the package test installs a package: run it as root")
    check(not installed(), "%s is installed on this machine; the test installs its own build "
          "and removes it, so remove it first (dpkg -r %s)" % (PACKAGE, PACKAGE))
    shutil.rmtree(work, ignore_errors=True)
    first, second = os.path.join(work, "a"), os.path.join(work, "second", "of", "other-depth")
    step("building in %s" % first)
    checked = build(first, version, {"UMASK": "022", "TZ": "UTC", "LC_ALL": "C.UTF-8"})
    step("building in %s with nocheck" % second)
    unchecked = build(second, version, {"DEB_BUILD_OPTIONS": "nocheck", "UMASK": "002",
                                        "TZ": "Asia/Tokyo", "LC_ALL": "ja_JP.UTF-8"})
    count = check_tests_run(checked, unchecked)
    step("built twice; %d unit tests run by the first build, none by the second" % count)
    check_same_bytes(first, second)
    changes = os.path.join(first, "kolorvane_%s_amd64.changes" % version)
    print(run(["lintian", "--pedantic", "--display-info", "--display-experimental",
               "--fail-on", "error,warning", changes]), end="")
    step("lintian: no error, no warning")
    deb = os.path.join(first, "kolorvane_%s_amd64.deb" % version)
    check_contents(deb, version)
    install_use_remove(deb, work, version)
    print("package test passed")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (Failed, subprocess.TimeoutExpired) as failure:
        print("package test FAILED: %s" % failure, file=sys.stderr)
        sys.exit(1)
