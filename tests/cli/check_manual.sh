#!/usr/bin/env bash
# Renders a manual page with every groff warning on and fails on any output
# to standard error:
#   check_manual.sh GROFF PAGE
set -euo pipefail
groff=$1
page=$2
warnings=$("$groff" -ww -man -z "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings" >&2
    exit 1
fi
echo "$page: no warnings"
