#!/usr/bin/env bash
# Builds the Windows release twice, as a user would (the mingw preset, the
# dist target), from two copies of the sources in folders of different names
# and depths, one after the other, and fails unless the two dist/ folders
# hold the same bytes: ZIP, programs and SHA256SUMS. The builds are seconds
# apart, so a link time or a file's time anywhere in them would differ; so
# would a build path. SHA256SUMS must also check, the ZIP's entries be
# dated SOURCE_DATE_EPOCH, by default the last commit's time, its
# LICENSE be the sources' and its web/ the page the build made.
#   reproducible.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$(realpath "$1")
work=$2

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# The working tree as it is (uncommitted changes included) and its .git, for
# the default SOURCE_DATE_EPOCH.
copy_sources() {
    local target=$1
    mkdir -p "$target"
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do
            # A file deleted but not yet committed is still listed.
            if [ -e "$file" ]; then cp --parents -- "$file" "$target"; fi
        done)
    cp -a "$source_dir/.git" "$target/.git"
}

build_release() {
    local tree=$1
    copy_sources "$tree"
    (cd "$tree" && cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null &&
        cmake --build --preset dist >/dev/null)
    echo "$tree/build/mingw/dist"
}

first=$(build_release "$work/a")
second=$(build_release "$work/second/folder/of/another/length")
ls "$first"
(cd "$first" && sha256sum -c SHA256SUMS)
status=0
if ! diff -r "$first" "$second"; then
    echo "the two builds differ" >&2
    status=1
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
python3 - "$first"/*.zip "$epoch" "$source_dir/LICENSE" "$work/a/build/mingw/web/web/page" <<'EOF' || status=1
import os, sys, time, zipfile
expected = time.gmtime(int(sys.argv[2]))[:6]
expected = expected[:5] + (expected[5] // 2 * 2,)  # a ZIP time has 2-second steps
archive = zipfile.ZipFile(sys.argv[1])
for info in archive.infolist():
    if info.date_time != expected:
        sys.exit("%s is dated %s, not %s" % (info.filename, info.date_time, expected))
# The licence beside the programs, as it stands in the sources.
folder = os.path.basename(sys.argv[1])[:-len(".zip")]
with open(sys.argv[3], "rb") as licence:
    if archive.read(folder + "/LICENSE") != licence.read():
        sys.exit("the ZIP's LICENSE is not the sources' LICENSE")
# The page in web/, each file as the build made it.
page = sys.argv[4]
for name in sorted(os.listdir(page)):
    with open(os.path.join(page, name), "rb") as built:
        if archive.read(folder + "/web/" + name) != built.read():
            sys.exit("the ZIP's web/%s is not the page built" % name)
EOF
exit $status
