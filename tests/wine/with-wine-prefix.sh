#!/bin/sh
# Runs commands in a Wine prefix of their own, made fresh in a temporary folder and removed after.
#
#   with-wine-prefix.sh COMMAND [ARGS...]     one prefix for one command (made, used, removed)
#   with-wine-prefix.sh create LINK           make a prefix and point LINK at it; its wineserver stays up
#   with-wine-prefix.sh run LINK COMMAND...   run a command in the prefix LINK points at
#   with-wine-prefix.sh remove LINK           stop the prefix's wineserver, delete it and LINK
#
# create/run/remove let a test run share one prefix between many tests (wineboot takes a while).
# COMMAND sees WINEPREFIX, WINEDEBUG=-all (unless set) and WINE64/WINE32: the loaders for 64- and
# 32-bit programs (WINE32 is empty where 32-bit programs can't run, e.g. a kernel without 32-bit
# support; `with-wine-prefix.sh loaders` prints why).
set -eu

find_loader() {  # $1: wine64 | wine
    for candidate in "/usr/lib/wine/$1" "/usr/lib64/wine/$1" "/opt/wine-stable/bin/$1"; do
        [ -x "$candidate" ] && { echo "$candidate"; return 0; }
    done
    command -v "$1" 2>/dev/null || true
}

# A loader counts only if it starts: an i386 loader on a kernel without 32-bit support doesn't.
usable() {
    [ -n "$1" ] && "$1" --version >/dev/null 2>&1
}

WINE64=$(find_loader wine64)
WINE32=$(find_loader wine)
usable "$WINE64" || WINE64=
usable "$WINE32" || WINE32=
# The loader that sets a prefix up: 64-bit where there is one (its prefix runs both kinds).
BOOT_LOADER=${WINE64:-$WINE32}
WINESERVER_BIN=$(command -v wineserver 2>/dev/null || true)
export WINE64 WINE32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko install prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

require_wine() {
    if [ -z "$BOOT_LOADER" ] || [ -z "$WINESERVER_BIN" ]; then
        echo "with-wine-prefix: no usable Wine (apt-get install wine wine64; see scripts/install-deps)" >&2
        exit 1
    fi
}

create() {  # $1: link to the new prefix
    require_wine
    dir=$(mktemp -d "${TMPDIR:-/tmp}/ostrabel1-wine.XXXXXX")
    ln -sfn "$dir" "$1"
    WINEPREFIX=$dir
    export WINEPREFIX
    if ! timeout 900 "$BOOT_LOADER" wineboot -i >"$dir/wineboot.log" 2>&1; then
        cat "$dir/wineboot.log" >&2
        echo "with-wine-prefix: wineboot failed in $dir" >&2
        exit 1
    fi
    timeout 300 "$WINESERVER_BIN" -w
    # Keep the server and Wine's own services up between tests, so each program starts quickly.
    # Started here, on /dev/null: started by a test, they would hold on to its output pipes.
    "$WINESERVER_BIN" -p </dev/null >/dev/null 2>&1
    timeout 300 "$BOOT_LOADER" wineboot </dev/null >>"$dir/wineboot.log" 2>&1 || true
}

remove() {  # $1: link made by create
    [ -L "$1" ] || [ -d "$1" ] || return 0
    dir=$(readlink -f "$1")
    if [ -n "$WINESERVER_BIN" ] && [ -d "$dir" ]; then
        WINEPREFIX=$dir "$WINESERVER_BIN" -k 2>/dev/null || true
        WINEPREFIX=$dir timeout 60 "$WINESERVER_BIN" -w 2>/dev/null || true
    fi
    # This Wine build keeps the server's socket folder in the temporary folder and names it in
    # the prefix's "wineserver" file; it outlives the server.
    if [ -f "$dir/wineserver" ]; then
        server_dir=$(cat "$dir/wineserver")
        case "$server_dir" in
            wine-??????) for base in "${TMPDIR:-/tmp}" /tmp; do rm -rf "${base:?}/$server_dir"; done ;;
        esac
    fi
    case "$dir" in
        */ostrabel1-wine.*) rm -rf "$dir" ;;
    esac
    [ -L "$1" ] && rm -f "$1"
    return 0
}

run() {  # $1: link made by create, then the command
    require_wine
    link=$1
    shift
    WINEPREFIX=$(readlink -f "$link")
    export WINEPREFIX
    if [ ! -d "$WINEPREFIX/dosdevices" ]; then
        echo "with-wine-prefix: $link is not a prefix made by '$0 create'" >&2
        exit 1
    fi
    exec "$@"
}

case "${1:-}" in
    "")
        sed -n '2,13p' "$0" >&2
        exit 2 ;;
    loaders)
        echo "WINE64=${WINE64:-(none)}"
        echo "WINE32=${WINE32:-(none)}"
        loader=$(find_loader wine)
        if [ -z "$WINE32" ] && [ -n "$loader" ]; then
            "$loader" --version 2>&1 | sed 's/^/32-bit loader: /' || true
        fi
        exit 0 ;;
    create) create "$2" ;;
    remove) remove "$2" ;;
    run) shift; run "$@" ;;
    *)
        link=$(mktemp -u "${TMPDIR:-/tmp}/ostrabel1-wine-link.XXXXXX")
        create "$link"
        status=0
        (run "$link" "$@") || status=$?
        remove "$link"
        exit "$status" ;;
esac
