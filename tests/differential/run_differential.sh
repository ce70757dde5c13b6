#!/bin/sh
# Runs the differential test of the mode-string parser: Windows' BuildCommDCBA under Wine and our
# parser read the same corpus, and the two outputs are compared field by field.
#
#   run_differential.sh WINE_RUNNER PROBE_EXE DUMPER CORPUS DIVERGENCES
#
# WINE_RUNNER is tests/wine/with-wine-prefix.sh: it gives the probe a fresh prefix of its own and
# fails, saying why, when there is no usable Wine.
set -eu
runner=$1 probe=$2 dumper=$3 corpus=$4 divergences=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrabel1-differential.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The probe is a 64-bit program: 32-bit ones can't run under Wine on every machine (a kernel
# without 32-bit support), and Wine's BuildCommDCBA is the same for both.
# shellcheck disable=SC2016
if ! "$runner" sh -c '
    if [ -z "$WINE64" ]; then echo "no 64-bit Wine loader: apt-get install wine64 (see scripts/install-deps)" >&2; exit 1; fi
    "$WINE64" "$0" <"$1" >"$2"' "$probe" "$corpus" "$work/windows.txt"; then
    echo "run_differential: the Windows probe did not run under Wine" >&2
    exit 1
fi
"$dumper" "$corpus" "$work/windows.txt" "$divergences"
