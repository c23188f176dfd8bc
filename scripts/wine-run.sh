#!/usr/bin/env bash
# Runs one Windows program under Wine in a throwaway prefix and on a private Xvfb display,
# with the Korean locale (ANSI code page 949), and returns the program's exit code.
#
#   wine-run.sh [--timeout SECONDS] [--keep] [--shell] -- PROGRAM.exe [ARGS...]
#
# The throwaway prefix is a hard-linked copy of a base prefix made once under the build folder's
# wine/ (KV_WINE_ROOT, else $KV_BUILD/wine, else build/wine): wineboot takes 5 to 20 s, the copy
# well under one. The base is keyed by `wine --version` and by the recipe below, so another Wine
# or a changed recipe gets a fresh base. Only what this script started is stopped: the prefix's
# wineserver and the Xvfb it started (by pid).
#
# Programs start through scripts/wine-bin/wine (first in PATH for the program and its children):
# Wine's 64-bit loader, so that only genuinely 32-bit programs start the 32-bit loader. How this
# machine runs 32-bit code ("native", or "emulated" through a qemu-i386 binfmt_misc handler) and
# how long a 32-bit Wine program takes to start here are measured once per base prefix and
# handed to the program as KV_I386_MODE and KV_I386_START (seconds): tests bound the time of
# anything that starts 32-bit programs on top of that figure, never by a fixed number alone.
#   --shell   run PROGRAM as a Linux command instead (a test driver that calls `wine` itself);
#             WINEPREFIX, DISPLAY and the locale are exported to it.
#   --keep    keep the throwaway prefix (its path is printed) for a look afterwards.
# KV_SCREEN: the private display's size (default 1280x900x24); a pane at 200% needs more.
set -u
timeout_s=120
keep=0
shell=0
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout_s="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    --shell) shell=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--timeout S] [--keep] [--shell] -- PROGRAM [ARGS...]" >&2; exit 2; }

top="$(cd "$(dirname "$0")/.." && pwd)"
root="${KV_WINE_ROOT:-${KV_BUILD:-$top/build}/wine}"
mkdir -p "$root"
root="$(cd "$root" && pwd)"  # Wine takes only a full WINEPREFIX

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
export WINEARCH=win64
# KV_WINE_BIN: another folder of Wine commands (the launcher's own test uses stand-ins).
export PATH="${KV_WINE_BIN:-$top/scripts/wine-bin}:$PATH"

# The recipe of the base prefix. Its text (and the environment it runs in) is part of the key.
make_base() {
  rm -rf "$base"
  WINEPREFIX="$base" timeout 180 wineboot -i >/dev/null 2>&1
  WINEPREFIX="$base" timeout 60 wineserver -w >/dev/null 2>&1
  [ -f "$base/system.reg" ]
}
wine_version="$(wine --version 2>/dev/null)"
[ -n "$wine_version" ] || { echo "wine-run: wine not found (scripts/deps.sh installs it)" >&2; exit 1; }
key="$(printf '%s\n' "$wine_version" "$WINEARCH" "$WINEDLLOVERRIDES" "$LANG" "$(declare -f make_base)" | sha256sum | cut -c1-16)"
base="$root/base-$key"

xpid=""
start_xvfb() {
  local n
  for n in $(seq 90 250); do
    [ -e "/tmp/.X$n-lock" ] && continue
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${KV_SCREEN:-1280x900x24}" -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    for _ in $(seq 1 50); do
      # Ours only if the lock names our server: two launchers may race for the same number.
      if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xpid" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$xpid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; xpid=""
  done
  echo "wine-run: no free X display" >&2
  return 1
}

prefix=""
cleanup() {
  if [ -n "$prefix" ] && [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$prefix" timeout 20 wineserver -w >/dev/null 2>&1
    if [ "$keep" = 1 ]; then echo "wine-run: prefix kept at $prefix" >&2; else rm -rf "$prefix"; fi
  fi
  if [ -n "$xpid" ]; then kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

start_xvfb || exit 1

# The base prefix, made once; a lock keeps parallel tests from racing on it.
(
  flock 9
  if [ ! -f "$base/.kv-ready" ]; then
    echo "wine-run: making base prefix for $wine_version ($base)" >&2
    if make_base; then
      printf '%s\n' "$wine_version" >"$base/.kv-ready"
    else
      echo "wine-run: wineboot failed" >&2; exit 1
    fi
  fi
) 9>"$root/.base.lock" || exit 1

prefix="$(mktemp -d "$root/run.XXXXXX")"
rmdir "$prefix"
# Hard links for the bulk; real copies of the registry files, which Wine rewrites.
cp -al "$base" "$prefix" || { echo "wine-run: prefix copy failed" >&2; exit 1; }
for f in system.reg user.reg userdef.reg; do
  [ -f "$base/$f" ] && { rm -f "$prefix/$f"; cp "$base/$f" "$prefix/$f"; }
done
rm -f "$prefix/.kv-ready"
# wineboot links the user's shell folders (Documents, Desktop, ...) to $HOME. A test must never
# write into the real home folder, so each run gets real, empty folders of its own instead.
for link in "$prefix"/drive_c/users/*/*; do
  [ -L "$link" ] || continue
  rm -f "$link" && mkdir -p "$link"
done
export WINEPREFIX="$prefix"

# A handler enabled for i386 ELF programs comes before the kernel's own loader: then every 32-bit
# program runs in the emulator.
if grep -qsx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then KV_I386_MODE=emulated; else KV_I386_MODE=native; fi
export KV_I386_MODE
# The start-up of a 32-bit program, measured in the first run of a base and mode.
startup_file="$base.i386-start-$KV_I386_MODE"
(
  flock 9
  if [ ! -s "$startup_file" ]; then
    if bash "$top/scripts/i386-startup.sh" >"$startup_file.tmp"; then
      mv "$startup_file.tmp" "$startup_file"
      echo "wine-run: a 32-bit program starts in $(cat "$startup_file") s here ($KV_I386_MODE)" >&2
    else
      rm -f "$startup_file.tmp"
      echo "wine-run: a 32-bit program did not start ($KV_I386_MODE); scripts/deps.sh sets this machine up" >&2
      exit 1
    fi
  fi
) 9>"$root/.i386.lock" || exit 1
export KV_I386_START="$(cat "$startup_file")"

prog="$1"; shift
if [ "$shell" = 1 ]; then
  timeout --kill-after=10 "$timeout_s" "$prog" "$@"
  rc=$?
else
  case "$prog" in /*) ;; *) prog="$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog")" ;; esac
  (cd "$(dirname "$prog")" && timeout --kill-after=10 "$timeout_s" wine "$prog" "$@")
  rc=$?
fi
[ "$rc" = 124 ] && echo "wine-run: timed out after ${timeout_s}s" >&2
exit "$rc"
