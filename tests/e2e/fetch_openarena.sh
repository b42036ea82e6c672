#!/bin/sh
# Brings OpenArena's dedicated server and data into a folder of the build,
# unpacked from Debian's packages without installing them: no root is
# needed, nothing is registered with the system, and no service is enabled
# or started (installing the package openarena-server starts a public game
# server at once and at every boot). The packages are openarena-server and
# what it depends on of the game: ioquake3-server and the data packages,
# found with apt-cache. They are fetched with the machine's package lists;
# when those are missing or stale, with lists of the folder's own.
#
# Usage: fetch_openarena.sh <folder>
# Leaves <folder>/openarena with usr/lib/ioquake3/ioq3ded (the server),
# usr/lib/openarena-server (its base path, the game code and links to the
# data) and usr/share/games/openarena/baseoa (the data); once there, it is
# used as it is. Exit status 77 when it cannot be had here (no apt-get, or
# the download failed), with a line that says why.
set -u

cache=${1:?usage: fetch_openarena.sh <folder>}
tree=$cache/openarena
[ -f "$tree/.complete" ] && exit 0
for tool in apt-get apt-cache dpkg-deb; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "SKIP: no $tool here to fetch OpenArena's server (Debian and Ubuntu have it)"
    exit 77
  fi
done
mkdir -p "$cache" || exit 77
work=$(mktemp -d "$cache/fetch.XXXXXX") || exit 77
trap 'rm -rf "$work"' EXIT
mkdir "$work/debs" "$work/tree"

# As root, apt downloads as its own user, who may not write into the build.
as_root=""
[ "$(id -u)" -ne 0 ] || as_root="-o APT::Sandbox::User=root"
# The game's packages among openarena-server and all it depends on.
packages() {
  # shellcheck disable=SC2086 # the options are words
  apt-cache "$@" depends --recurse --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances openarena-server |
    grep -E '^(openarena|ioquake3)' | sort -u
}
download() { # apt options...
  names=$(packages "$@") && [ -n "$names" ] || return 1
  # shellcheck disable=SC2086 # the names and options are words
  (cd "$work/debs" && apt-get -q $as_root "$@" download $names) >"$work/apt.txt" 2>&1
}

started=$(date +%s)
if ! download; then
  lists=$cache/apt
  mkdir -p "$lists/lists/partial" "$lists/cache/archives/partial"
  set -- -o "Dir::State::Lists=$lists/lists" -o "Dir::Cache=$lists/cache" \
    -o Debug::NoLocking=1
  rm -f "$work"/debs/*
  # shellcheck disable=SC2086 # the options are words
  if ! apt-get -q $as_root "$@" update >"$work/update.txt" 2>&1 || ! download "$@"; then
    echo "SKIP: cannot download OpenArena's packages:"
    tail -5 "$work/update.txt" "$work/apt.txt" 2>/dev/null | sed 's/^/    /'
    exit 77
  fi
fi
for deb in "$work"/debs/*.deb; do
  dpkg-deb -x "$deb" "$work/tree" || {
    echo "SKIP: cannot unpack $deb"
    exit 77
  }
done
for need in usr/lib/ioquake3/ioq3ded usr/lib/openarena-server/baseoa \
  usr/share/games/openarena/baseoa/pak6-misc.pk3; do
  if [ ! -e "$work/tree/$need" ]; then
    echo "SKIP: the packages $(ls "$work/debs" | tr '\n' ' ')hold no $need"
    exit 77
  fi
done
touch "$work/tree/.complete"
# Another fetch may have finished first: then its tree stays.
mv -T "$work/tree" "$tree" 2>/dev/null || [ -f "$tree/.complete" ] || exit 77
echo "fetched: $(ls "$work/debs" | sed 's/_.*//' | tr '\n' ' ')($(du -sm "$tree" | cut -f1) MB) in $(($(date +%s) - started)) s"
