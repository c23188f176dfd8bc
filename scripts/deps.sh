#!/usr/bin/env bash
# Installs what the build and the tests need. Idempotent: does nothing when all is present.
# Every change to the system is announced on stderr before it is made.
#
#   KV_I386=auto     (default) run 32-bit x86 programs natively where the kernel can, through
#                    the qemu-i386 emulator registered with binfmt_misc where it cannot
#   KV_I386=emulate  register the emulator even where the kernel runs 32-bit code, so that the
#                    emulated path can be tried on any machine (binfmt_misc comes first)
#   KV_I386=native   unregister a qemu-i386 handler and insist on the kernel's own 32-bit support
set -uo pipefail

PKGS=(mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
      wine wine64 wine32:i386 libwine-dev xvfb x11-apps imagemagick fonts-nanum fonts-wine
      libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
      cmake ninja-build g++ clang clang-format libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
      libtinyxml2-dev libcpp-httplib-dev libssl-dev curl time python3 python3-pil fontconfig dpkg-dev locales
      nsis msitools wixl osslsigncode openssl)
I386_MODE="${KV_I386:-auto}"
case "$I386_MODE" in auto|emulate|native) ;; *) echo "deps: KV_I386 must be auto, emulate or native (not '$I386_MODE')" >&2; exit 2 ;; esac

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
say() { echo "deps: $*" >&2; }
# One clear last line for a failure nothing here can mend: which package step failed.
die() { echo "deps: FAILED at $1" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --- Can this kernel run 32-bit x86 code? ----------------------------------------------------
# A 118-byte static i386 ELF that sleeps 0.3 s (so that its process can be looked at) and exits
# with 42. Needs nothing installed, not even the i386 C library.
probe="$work/i386-probe"
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x76\x00\x00\x00\x76\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\xa2\x00\x00\x00\xbb\x6e\x80\x04\x08\x31\xc9\xcd\x80\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80\x00\x00\x00\x00\x00\xa3\xe1\x11' >"$probe"
chmod +x "$probe"
BINFMT=/proc/sys/fs/binfmt_misc
QEMU_I386="$BINFMT/qemu-i386"

# Prints how the probe ran: "native", "emulated" (the kernel handed it to an interpreter) or
# "no" (Exec format error, or it did not exit with 42).
i386_runs() {
  "$probe" 2>/dev/null &
  local pid=$! exe="" i
  for i in $(seq 1 25); do
    exe="$(readlink "/proc/$pid/exe" 2>/dev/null)" || exe=""
    case "$exe" in "$probe"|*qemu*) break ;; esac
    sleep 0.01
  done
  wait "$pid"; local rc=$?
  if [ "$rc" -ne 42 ]; then echo no
  elif [ "$exe" = "$probe" ]; then echo native
  else echo emulated
  fi
}

# --- Packages ----------------------------------------------------------------------------------
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
i386_state="$(i386_runs)"
need_qemu=0
if [ "$I386_MODE" = emulate ] || { [ "$I386_MODE" = auto ] && [ "$i386_state" = no ]; }; then
  need_qemu=1
  PKGS+=(qemu-user-static)
fi
missing_pkgs() {
  local p
  for p in "${PKGS[@]}"; do pkg_installed "$p" || printf '%s ' "$p"; done
}
have_all() {
  dpkg --print-foreign-architectures | grep -qx i386 || return 1
  [ -z "$(missing_pkgs)" ]
}

# The suites whose index failed in the last update, as "URI SUITE" lines.
failed_suites="$work/failed-suites"
: >"$failed_suites"

# apt-get update, retried: a mirror in the middle of a sync is often whole again a little later.
# A suite that still fails is noted and the update goes on with the rest.
apt_update() {
  local try log="$work/update.log"
  for try in 1 2 3; do
    say "updating package lists (apt-get update)${try:+, attempt $try of 3}"
    $SUDO apt-get update -qq >"$log" 2>&1 && { : >"$failed_suites"; return 0; }
    # "E: Failed to fetch http://host/path/dists/SUITE/main/binary-i386/Packages.xz  File has ..."
    grep -oE 'Failed to fetch [a-z+]+://[^ ]+/dists/[^/ ]+/' "$log" \
      | sed -E 's#^Failed to fetch (.*)/dists/([^/]+)/$#\1 \2#' | sort -u >"$failed_suites"
    sed 's/^/  apt: /' "$log" | grep -E 'apt: (E|W):' | head -n 6 >&2
    [ "$try" -lt 3 ] && { say "waiting $((try * 10)) s before trying again"; sleep $((try * 10)); }
  done
  if [ -s "$failed_suites" ]; then
    say "these package indexes could not be fetched; going on with the rest:"
    sed 's/^/    /' "$failed_suites" >&2
    return 0
  fi
  return 1
}

# A copy of the configured sources without the failed suites, for one apt command only. The
# system's own source files are never rewritten for this.
write_sources_without_failed() {
  bash "$(dirname "$0")/apt-sources-without.sh" "$failed_suites" "$1" \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}

apt_install() {
  local log="$work/install.log"
  say "installing packages: $(missing_pkgs)"
  if $SUDO apt-get install -y -qq --no-install-recommends "${PKGS[@]}" >"$log" 2>&1; then say "installed"; return 0; fi
  grep -E '^(E|W):|held broken|Depends:' "$log" | head -n 12 | sed 's/^/  apt: /' >&2
  if [ ! -s "$failed_suites" ]; then return 1; fi
  # Typical cause: the amd64 libraries stand at a suite's newer versions while their i386 twins
  # (which multiarch needs at the same version) are known only from the older suite.
  local dir="$work/sources"
  write_sources_without_failed "$dir"
  say "the install could not be resolved while these indexes are out of step: $(awk '{printf "%s%s %s", (NR > 1 ? ", " : ""), $1, $2}' "$failed_suites")"
  say "retrying it once with those suites left out, for this one command only (sources copied to $dir, the system's files untouched)"
  $SUDO apt-get install -y -qq --no-install-recommends \
    -o Dir::Etc::sourcelist="$dir/sources.list" -o Dir::Etc::sourceparts="$dir/parts" \
    "${PKGS[@]}" >"$log" 2>&1 && { say "installed, with those suites left out"; return 0; }
  grep -E '^(E|W):|held broken|Depends:' "$log" | head -n 12 | sed 's/^/  apt: /' >&2
  return 1
}

# TinyXML-2's source comes from a deb-src line of the same archive (it has no mingw build).
has_deb_src() { grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; }

if ! have_all; then
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding i386 architecture (dpkg --add-architecture i386) for 32-bit Wine"
    $SUDO dpkg --add-architecture i386 || die "dpkg --add-architecture i386"
  fi
  if ! has_deb_src; then
    if [ -f /etc/apt/sources.list.d/debian.sources ] && grep -q '^Types:' /etc/apt/sources.list.d/debian.sources; then
      say "adding deb-src to /etc/apt/sources.list.d/debian.sources"
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
    else
      say "writing /etc/apt/sources.list.d/kv-src.list (deb-src lines of the configured archives)"
      grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed 's/^deb /deb-src /' \
        | $SUDO tee /etc/apt/sources.list.d/kv-src.list >/dev/null
    fi
  fi
  apt_update || die "the package index update (apt-get update)"
  apt_install || die "the package install (apt-get install $(missing_pkgs))"
  have_all || die "the package install: still missing $(missing_pkgs)"
fi

# --- 32-bit x86 programs: the kernel, or the emulator through binfmt_misc ---------------------
if [ "$I386_MODE" = native ] && [ -e "$QEMU_I386" ]; then
  say "KV_I386=native: unregistering the qemu-i386 binfmt_misc handler (echo -1 > $QEMU_I386)"
  echo -1 | $SUDO tee "$QEMU_I386" >/dev/null || die "unregistering the qemu-i386 handler"
  i386_state="$(i386_runs)"
  [ "$i386_state" = native ] || die "KV_I386=native: this kernel runs no 32-bit x86 programs"
fi
if [ "$need_qemu" = 1 ]; then
  if [ ! -e "$BINFMT/register" ]; then
    say "mounting binfmt_misc on $BINFMT"
    $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" || die "mounting binfmt_misc"
  fi
  if [ -e "$QEMU_I386" ] && ! grep -qx enabled "$QEMU_I386"; then
    say "enabling the qemu-i386 binfmt_misc handler (echo 1 > $QEMU_I386)"
    echo 1 | $SUDO tee "$QEMU_I386" >/dev/null
  fi
  if [ ! -e "$QEMU_I386" ]; then
    if [ "$I386_MODE" = emulate ]; then
      say "KV_I386=emulate: registering qemu-i386-static for i386 ELF programs through binfmt_misc (undo: echo -1 > $QEMU_I386)"
    else
      say "this kernel runs no 32-bit x86 programs; registering qemu-i386-static for i386 ELF programs through binfmt_misc (undo: echo -1 > $QEMU_I386)"
    fi
    # 'F' opens the emulator now, so that it also serves other mount namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | $SUDO tee "$BINFMT/register" >/dev/null || die "registering qemu-i386 with binfmt_misc"
  fi
  i386_state="$(i386_runs)"
  [ "$i386_state" = emulated ] || die "the qemu-i386 handler: a 32-bit program still does not run through the emulator ($i386_state)"
fi
[ "$i386_state" != no ] || die "32-bit x86 programs: they do not run here (KV_I386=$I386_MODE)"

# The Korean Linux locale: Wine converts command-line arguments and file names through it
# (the code page alone comes from LANG, but Hangul in argv and paths needs the locale itself).
if ! locale -a 2>/dev/null | grep -qi '^ko_KR.utf-\?8$'; then
  say "generating locale ko_KR.UTF-8 (enabling it in /etc/locale.gen, running locale-gen)"
  $SUDO sed -i 's/^# *ko_KR.UTF-8 UTF-8/ko_KR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null || die "locale-gen ko_KR.UTF-8"
fi

# TinyXML-2 source for the cross builds, kept in the build folder (never committed).
top="$(cd "$(dirname "$0")/.." && pwd)"
third="${KV_BUILD:-$top/build}/third_party"
src="$third/tinyxml2"
if [ ! -f "$src/tinyxml2.cpp" ]; then
  say "fetching tinyxml2 source package into $src"
  tmp="$third/tmp"
  rm -rf "$tmp"; mkdir -p "$tmp" "$src"
  has_deb_src || die "the tinyxml2 source: no deb-src line"
  if ! (cd "$tmp" && apt-get source --download-only tinyxml2 >/dev/null 2>&1); then
    apt_update || die "the package index update (apt-get update) for the tinyxml2 source"
    (cd "$tmp" && apt-get source --download-only tinyxml2 >/dev/null) || die "the tinyxml2 source (apt-get source)"
  fi
  tarball=$(ls "$tmp"/tinyxml2_*.orig.tar.* | head -n1)
  tar -xf "$tarball" -C "$tmp" || die "unpacking the tinyxml2 source"
  d=$(find "$tmp" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' | head -n1)
  cp "$d/tinyxml2.cpp" "$d/tinyxml2.h" "$src/"
  rm -rf "$tmp"
fi
exit 0
