#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 and fetches the
# third-party sources we compile (minizip, LZO) into an ignored cache folder.
# Safe to re-run: every step checks first and skips what is already done.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$top/.cache/deps"

step() { printf '\n== setup: %s\n' "$*"; }
fail() { printf '\n!! setup failed: %s\n' "$*" >&2; exit 1; }
run() { "$@" || fail "command '$*' exited with $?"; }

packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb x11-utils imagemagick
  cmake ninja-build dpkg-dev g++ make pkg-config
  openssl libssl-dev liblzo2-dev zlib1g-dev libicu-dev
  unzip zip p7zip-full libarchive-tools time bc osslsigncode nsis
  help2man file
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else run sudo "$@"; fi
}

step "i386 architecture (wine32 runs our 32-bit programs)"
if dpkg --print-foreign-architectures | grep -qx i386; then
  echo "already enabled"
else
  run as_root dpkg --add-architecture i386
  need_update=1
fi

step "deb-src entries (for apt-get source minizip lzo2)"
sources=/etc/apt/sources.list.d/debian.sources
if [ -f "$sources" ]; then
  if grep -qE '^Types:.*deb-src' "$sources"; then
    echo "already enabled in $sources"
  else
    run as_root sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$sources"
    need_update=1
  fi
elif ! grep -rqsE '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  run as_root sh -c "sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >> /etc/apt/sources.list.d/kxsetup-src.list"
  need_update=1
else
  echo "already enabled"
fi

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]; then
    missing+=("$p")
  fi
done
# The source indexes must exist for apt-get source, also when every package is present.
if ! ls /var/lib/apt/lists/*_source_Sources* >/dev/null 2>&1; then need_update=1; fi

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  step "apt-get update"
  run as_root apt-get update
fi

step "packages"
if [ ${#missing[@]} -eq 0 ]; then
  echo "all ${#packages[@]} present"
else
  echo "installing: ${missing[*]}"
  run as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

step "third-party sources in $cache"
mkdir -p "$cache"
# Each source tree gets a stable link name for the build: minizip, lzo.
fetch_source() { # package, path of a file inside the unpacked tree, link name, folder the link names
  local name=$1 probe=$2 link=$3 sub=$4 found
  found=$(compgen -G "$cache/$probe" | head -n 1 || true)
  if [ -n "$found" ]; then
    echo "$name: present"
  else
    echo "$name: fetching"
    (cd "$cache" && apt-get source "$name") || fail "apt-get source $name"
    found=$(compgen -G "$cache/$probe" | head -n 1 || true)
    [ -n "$found" ] || fail "apt-get source $name did not unpack $probe"
  fi
  local tree=${found#"$cache/"}
  tree=${tree%%/*}
  [ "$sub" = . ] || tree="$tree/$sub"
  ln -sfn "$tree" "$cache/$link"
  echo "$link -> $tree"
}
fetch_source minizip 'minizip-*/iowin32.c' minizip .
fetch_source lzo2 'lzo2-*/minilzo/minilzo.c' lzo .

step "done"
