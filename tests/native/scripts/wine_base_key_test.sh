#!/usr/bin/env bash
# scripts/wine-run.sh keys its base prefix by `wine --version`: a base made by one Wine is never
# reused by another. Wine, wineboot, wineserver and Xvfb are stand-ins on PATH here, so the
# test runs without Wine and in a second.
#   wine_base_key_test.sh PATH/TO/wine-run.sh
set -u
launcher="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cat >"$work/bin/wine" <<'EOS'
#!/usr/bin/env bash
[ "${1:-}" = --version ] && { echo "$FAKE_WINE_VERSION"; exit 0; }
# The 32-bit program whose start-up the launcher measures: it takes 0.3 s here.
case "${1:-}" in *syswow64*) echo x >>"$FAKE_WINE_LOG"; sleep 0.3 ;; esac
exit 0
EOS
cat >"$work/bin/wineboot" <<'EOS'
#!/usr/bin/env bash
mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/system.reg" && echo "$FAKE_WINE_VERSION" >"$WINEPREFIX/made-by"
EOS
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
# The display stand-in: the lock naming its pid and the socket path, removed when it is stopped.
cat >"$work/bin/Xvfb" <<'EOS'
#!/usr/bin/env bash
n="${1#:}"
lock="/tmp/.X$n-lock"; sock="/tmp/.X11-unix/X$n"
mkdir -p /tmp/.X11-unix
printf '%10d\n' $$ >"$lock"; : >"$sock"
trap 'rm -f "$lock" "$sock"; exit 0' TERM INT
while :; do sleep 0.1; done
EOS
chmod +x "$work/bin/"*

run() {  # version -> prints the version that made the base the program sees
  FAKE_WINE_VERSION="$1" FAKE_WINE_LOG="$work/i386-starts" PATH="$work/bin:$PATH" KV_WINE_BIN="$work/bin" \
    KV_WINE_ROOT="$work/wine" bash "$launcher" --timeout 20 --shell -- sh -c 'cat "$WINEPREFIX/made-by"; echo "$KV_I386_START" >>"$0"' "$work/seen" 2>"$work/err"
}
status=0
expect() {  # version expected-maker
  local got; got="$(run "$1")"
  [ "$got" = "$2" ] || { echo "FAIL: with $1 the prefix was made by '$got', not '$2'"; cat "$work/err"; status=1; }
}
expect "wine-8.0 (test)" "wine-8.0 (test)"
expect "wine-9.0 (test)" "wine-9.0 (test)"   # an upgraded Wine gets a fresh base
expect "wine-8.0 (test)" "wine-8.0 (test)"   # and the first one is still its own
bases=$(find "$work/wine" -maxdepth 1 -name 'base*' -type d | wc -l)
[ "$bases" -eq 2 ] || { echo "FAIL: $bases base prefixes, expected 2"; status=1; }
runs=$(find "$work/wine" -maxdepth 1 -name 'run.*' | wc -l)
[ "$runs" -eq 0 ] || { echo "FAIL: $runs throwaway prefixes left behind"; status=1; }
# The 32-bit start-up is measured once per base (two bases here) and handed to every run.
starts=$(wc -l <"$work/i386-starts")
[ "$starts" -eq 2 ] || { echo "FAIL: the 32-bit start-up was measured $starts times, expected 2"; status=1; }
if ! awk '$1 < 0.3 || $1 > 5 { bad = 1 } END { exit bad || NR != 3 }' "$work/seen"; then
  echo "FAIL: runs saw start-up times $(tr '\n' ' ' <"$work/seen"), expected three of 0.3 s or a little more"; status=1
fi
[ "$status" -eq 0 ] && echo "ok: one base per Wine version, the 32-bit start-up measured once per base"
exit "$status"
