#!/usr/bin/env bash
# Installs what the build and the tests need. Idempotent: does nothing when all is present.
set -euo pipefail

PKGS=(mingw-w64 g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
      wine wine64 wine32:i386 libwine-dev xvfb x11-apps imagemagick fonts-nanum fonts-wine
      libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
      cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
      libtinyxml2-dev libcpp-httplib-dev libssl-dev curl time python3 python3-pil fontconfig dpkg-dev locales
      nsis)

have_all() {
  local missing=0
  dpkg --print-foreign-architectures | grep -qx i386 || return 1
  for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || { missing=1; break; }
  done
  return $missing
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing_pkgs() {
  local p
  for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s ' "$p"
  done
}

# Each change to the system is announced before it is made.
if ! have_all; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding i386 architecture (dpkg --add-architecture i386) for 32-bit Wine" >&2
    $SUDO dpkg --add-architecture i386
  fi
  # Sources of the same archive: TinyXML-2 has no mingw build, so its source is compiled into the Windows targets.
  if ! grep -rqs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/ ; then
    if [ -f /etc/apt/sources.list.d/debian.sources ] && grep -q '^Types:' /etc/apt/sources.list.d/debian.sources; then
      echo "deps: adding deb-src to /etc/apt/sources.list.d/debian.sources" >&2
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
    else
      echo "deps: writing /etc/apt/sources.list.d/kv-src.list (deb-src lines of the configured archives)" >&2
      grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed 's/^deb /deb-src /' \
        | $SUDO tee /etc/apt/sources.list.d/kv-src.list >/dev/null
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  echo "deps: updating package lists (apt-get update)" >&2
  $SUDO apt-get update -qq
  echo "deps: installing packages: $(missing_pkgs)" >&2
  $SUDO apt-get install -y -qq --no-install-recommends "${PKGS[@]}" >/dev/null
fi

# The Korean Linux locale: Wine converts command-line arguments and file names through it
# (the code page alone comes from LANG, but Hangul in argv and paths needs the locale itself).
if ! locale -a 2>/dev/null | grep -qi '^ko_KR.utf-\?8$'; then
  echo "deps: generating locale ko_KR.UTF-8 (enabling it in /etc/locale.gen, running locale-gen)" >&2
  $SUDO sed -i 's/^# *ko_KR.UTF-8 UTF-8/ko_KR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# TinyXML-2 source for the cross builds, kept in the build folder (never committed).
top="$(cd "$(dirname "$0")/.." && pwd)"
third="${KV_BUILD:-$top/build}/third_party"
src="$third/tinyxml2"
if [ ! -f "$src/tinyxml2.cpp" ]; then
  echo "deps: fetching tinyxml2 source package into $src" >&2
  tmp="$third/tmp"
  rm -rf "$tmp"; mkdir -p "$tmp" "$src"
  if ! grep -rqs 'deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/ ; then
    echo "deps: no deb-src line" >&2; exit 1
  fi
  (cd "$tmp" && apt-get source --download-only tinyxml2 >/dev/null 2>&1) || {
    echo "deps: updating package lists (apt-get update)" >&2
    $SUDO apt-get update -qq
    (cd "$tmp" && apt-get source --download-only tinyxml2 >/dev/null)
  }
  tarball=$(ls "$tmp"/tinyxml2_*.orig.tar.* | head -n1)
  tar -xf "$tarball" -C "$tmp"
  d=$(find "$tmp" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' | head -n1)
  cp "$d/tinyxml2.cpp" "$d/tinyxml2.h" "$src/"
  rm -rf "$tmp"
fi
