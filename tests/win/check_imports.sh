#!/usr/bin/env bash
# Fails when a Windows executable imports any DLL but the system's own, so
# that it runs on a fresh Windows with no runtime installed, or when it has
# grown past the size budget, or is not of the subsystem given (GUI for the
# window, CUI for a console program).
#   check_imports.sh OBJDUMP MAX_BYTES GUI|CUI EXE...
set -euo pipefail
objdump=$1
max_bytes=$2
subsystem=$3
shift 3

allowed='^(KERNEL32|USER32|GDI32|SHELL32|msvcrt)\.dll$'
status=0
for exe in "$@"; do
    headers=$("$objdump" -p "$exe")
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    if ! grep -qE "^Subsystem[[:space:]].*\(Windows $subsystem\)" <<<"$headers"; then
        echo "$exe: not a Windows $subsystem program" >&2
        status=1
    fi
    if [ -z "$dlls" ]; then
        echo "$exe: no import table found" >&2
        status=1
    fi
    while IFS= read -r dll; do
        [ -n "$dll" ] || continue
        if ! grep -qiE "$allowed" <<<"$dll"; then
            echo "$exe: imports $dll, which Windows does not ship" >&2
            status=1
        fi
    done <<<"$dlls"
    size=$(stat -c %s "$exe")
    echo "$exe: $size bytes; imports: $(tr '\n' ' ' <<<"$dlls")"
    if [ "$size" -gt "$max_bytes" ]; then
        echo "$exe: $size bytes is over the budget of $max_bytes" >&2
        status=1
    fi
done
exit $status
