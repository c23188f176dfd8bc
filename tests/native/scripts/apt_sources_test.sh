#!/usr/bin/env bash
# scripts/apt-sources-without.sh: the sources that deps.sh hands to its one retried install when a
# suite's index failed. Both file forms, a suite that shares its stanza with another, a URI
# written with a trailing slash, and lines of other archives that must stay.
#   apt_sources_test.sh PATH/TO/apt-sources-without.sh
set -u
tool="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/debian.sources" <<'EOF'
Types: deb deb-src
# a comment inside the stanza
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security/
Suites: bookworm-security
Components: main

Types: deb
URIs: http://other.example/debian-security
Suites: bookworm-security
Components: main
EOF
cat >"$work/extra.list" <<'EOF'
deb http://deb.debian.org/debian-security bookworm-security main
deb-src [arch=amd64 signed-by=/k.gpg] http://deb.debian.org/debian-security/ bookworm-security main
deb http://deb.debian.org/debian bookworm-updates main
# deb http://deb.debian.org/debian-security bookworm-security main
EOF
status=0
check() {  # name file whole-line present(1)/absent(0)
  if grep -qxF -- "$3" "$2"; then found=1; else found=0; fi
  [ "$found" = "$4" ] || { echo "FAIL: $1"; sed 's/^/    /' "$2"; status=1; }
}
# One failed suite: the security suite of the main archive.
echo "http://deb.debian.org/debian-security bookworm-security" >"$work/failed"
bash "$tool" "$work/failed" "$work/out1" "$work/debian.sources" "$work/extra.list" "$work/missing.list" \
  || { echo "FAIL: exit code $?"; status=1; }
s="$work/out1/parts/debian.sources" l="$work/out1/parts/extra.list"
check "deb822: the main stanza keeps both suites" "$s" "Suites: bookworm bookworm-updates" 1
check "deb822: the comment inside a stanza is kept" "$s" "# a comment inside the stanza" 1
check "deb822: the security stanza (URI with a slash) is dropped" "$s" "URIs: http://deb.debian.org/debian-security/" 0
check "deb822: another archive's security suite stays" "$s" "URIs: http://other.example/debian-security" 1
[ "$(grep -c '^Types:' "$s")" = 2 ] || { echo "FAIL: deb822: expected 2 stanzas left"; status=1; }
check "one-line: the security line is dropped" "$l" "deb http://deb.debian.org/debian-security bookworm-security main" 0
check "one-line: with options and a slash, dropped" "$l" "deb-src [arch=amd64 signed-by=/k.gpg] http://deb.debian.org/debian-security/ bookworm-security main" 0
check "one-line: other suites stay" "$l" "deb http://deb.debian.org/debian bookworm-updates main" 1
check "one-line: comments stay" "$l" "# deb http://deb.debian.org/debian-security bookworm-security main" 1
[ -f "$work/out1/sources.list" ] || { echo "FAIL: no sources.list written"; status=1; }
[ -e "$work/out1/parts/missing.list" ] && { echo "FAIL: a missing source file was copied"; status=1; }

# A suite that shares its stanza: only that suite goes.
echo "http://deb.debian.org/debian/ bookworm-updates" >"$work/failed2"
bash "$tool" "$work/failed2" "$work/out2" "$work/debian.sources" "$work/extra.list"
check "deb822: a shared stanza loses only the failed suite" "$work/out2/parts/debian.sources" "Suites: bookworm" 1
check "deb822: the security stanza stays this time" "$work/out2/parts/debian.sources" "Suites: bookworm-security" 1
check "one-line: the failed updates line is dropped" "$work/out2/parts/extra.list" "deb http://deb.debian.org/debian bookworm-updates main" 0
[ "$status" -eq 0 ] && echo "ok: the failed suites are left out, everything else stays"
exit "$status"
