#!/bin/bash
# The Windows build against the Linux build: both run, twice each, in copies
# of the same game folders under the same frozen clock (the clock seeds the
# random generator), and must leave the same results:
# - the same standard output, once CR LF is read as LF and the closing
#   line's program name (the command as typed) is set aside;
# - the same kivo.cfg text, with CR LF line ends from the Windows build;
# - the same bot files inside kivo.pk3, the same text in each (CR LF from
#   the Windows build);
# - the same entries in the folder afterwards, the same bytes in every file
#   but kivo.pk3, kivo.tmp (the listings of the two command sets differ) and
#   kivo.cfg (above);
# - the player's own files (a scripts folder, a <name>.bot of a name the run
#   writes) byte for byte as they were.
# Folders: the sample game folder of sample/run, and one with a player's
# own scripts folder of several levels and a player's own KniRed.bot.
#
# Usage: tests/e2e/windows_compare.sh <linux kivorama> <windows folder>
# The Windows folder holds kivorama.exe with unzip.exe and zip.exe beside
# it; it is not on the PATH, so the program must find its tools itself.
# Needs wine (WINEPREFIX made already, wineserver running) and libfaketime.
# What it relies on: wine's services must not start under the fake clock,
# so wine runs once before libfaketime is preloaded, with the stat calls and
# the monotonic clock left alone and an absolute frozen time.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
linux_exe=$(realpath "${1:?usage: windows_compare.sh <linux kivorama> <windows folder>}")
windows=$(realpath "${2:?usage: windows_compare.sh <linux kivorama> <windows folder>}")
for f in kivorama.exe unzip.exe zip.exe; do
  [ -f "$windows/$f" ] || {
    echo "FAIL: no $f in $windows"
    exit 1
  }
done
faketime_lib=$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketime\.so\.1$' | head -1)
[ -n "$faketime_lib" ] || {
  echo "FAIL: no libfaketime (Debian package faketime)"
  exit 1
}
frozen="2024-03-01 12:00:00"

work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-wincmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() { checks=$((checks + 1)); }

timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 ||
  fail "wine does not start"

# The game folders, built once; each build runs in copies of them.
pristine=$work/pristine
mkdir -p "$pristine/sample" "$pristine/own"
for tree in "$here"/sample/baseq3/*.pk3; do
  [ -d "$tree" ] || continue
  for game in sample own; do
    (cd "$tree" && zip -q -X -r "$pristine/$game/$(basename "$tree")" .)
  done
done
cp -R "$here/sample/baseq3/scripts" "$pristine/sample/scripts"
mkdir -p "$pristine/own/scripts/deep/deeper"
printf '{\nname\t\tMine\nmodel\t\tsarge\n}\n' >"$pristine/own/scripts/mine.bot"
printf 'keep me\r\n' >"$pristine/own/scripts/deep/notes.txt"
printf 'deeper\n' >"$pristine/own/scripts/deep/deeper/x.txt"
printf "{\r\nname\t\tKniRed\r\nfunname the player's own\r\n}\r\n" \
  >"$pristine/own/KniRed.bot"

# Runs one build in a folder: $1 linux|windows, $2 folder, $3 output file
# stem, the rest the program's arguments.
run_build() {
  local build=$1 dir=$2 stem=$3
  shift 3
  local rc=0
  if [ "$build" = linux ]; then
    (cd "$dir" && LD_PRELOAD=$faketime_lib FAKETIME=$frozen NO_FAKE_STAT=1 \
      DONT_FAKE_MONOTONIC=1 timeout 300 "$linux_exe" "$@" \
      >"$stem.out" 2>"$stem.err" </dev/null) || rc=$?
  else
    (cd "$dir" && LD_PRELOAD=$faketime_lib FAKETIME=$frozen NO_FAKE_STAT=1 \
      DONT_FAKE_MONOTONIC=1 timeout 900 wine "$windows/kivorama.exe" "$@" \
      >"$stem.out" 2>"$stem.err" </dev/null) || rc=$?
  fi
  # The own folder holds a player's KniRed.bot: the bot files are written
  # in the program's own folder, so it is neither in the way nor touched.
  [ $rc -eq "$want" ] ||
    fail "$build kivorama $* in $(basename "$dir") ended with status $rc, not $want"
}

# A text file the Windows build wrote: every line must end in CR LF.
crlf_check() {
  check
  if [ -s "$1" ] && LC_ALL=C grep -q -v $'\r$' "$1"; then
    fail "$2: a line without CR LF"
  fi
}
# The text of a file with LF line ends.
lf_text() { sed 's/\r$//' "$1"; }
# Standard output as text, the closing line's program name set aside.
stdout_text() {
  lf_text "$1" | sed "s/^for help, '.* -h'\$/for help, 'kivorama -h'/"
}
# Every entry of a folder, "/" marking folders, sorted.
entries() {
  (cd "$1" && find . -mindepth 1 \( -type d -printf '%P/\n' \) -o -printf '%P\n') |
    LC_ALL=C sort
}

rounds=0
bots_compared=0
for game in sample own; do
  lin=$work/$game-linux
  win=$work/$game-windows
  cp -R "$pristine/$game" "$lin"
  cp -R "$pristine/$game" "$win"
  want=0
  round=0
  for args in "" "+a red blue"; do
    round=$((round + 1))
    rounds=$((rounds + 1))
    tag="$game, run $round (kivorama${args:+ $args})"
    # shellcheck disable=SC2086 # the options are words
    run_build linux "$lin" "$work/$game-$round-linux" $args
    # shellcheck disable=SC2086
    run_build windows "$win" "$work/$game-$round-windows" $args

    crlf_check "$work/$game-$round-windows.out" "$tag: standard output"
    check
    if ! diff <(stdout_text "$work/$game-$round-linux.out") \
      <(stdout_text "$work/$game-$round-windows.out") >"$work/diff"; then
      fail "$tag: standard output differs:"
      sed 's/^/    /' "$work/diff"
    fi
    check
    if [ ! -f "$lin/kivo.cfg" ] || [ ! -f "$win/kivo.cfg" ]; then
      fail "$tag: no kivo.cfg"
    elif crlf_check "$win/kivo.cfg" "$tag: kivo.cfg" &&
      ! diff "$lin/kivo.cfg" <(lf_text "$win/kivo.cfg") >"$work/diff"; then
      fail "$tag: kivo.cfg differs:"
      head -20 "$work/diff" | sed 's/^/    /'
    fi
    check
    members_lin=$(unzip -Z1 "$lin/kivo.pk3" 2>/dev/null | LC_ALL=C sort)
    members_win=$(unzip -Z1 "$win/kivo.pk3" 2>/dev/null | LC_ALL=C sort)
    if [ -z "$members_lin" ]; then
      fail "$tag: the Linux build's kivo.pk3 holds nothing"
    elif [ "$members_lin" != "$members_win" ]; then
      fail "$tag: the members of kivo.pk3 differ (< linux, > windows):"
      diff <(echo "$members_lin") <(echo "$members_win") | grep '^[<>]' |
        sed 's/^/    /'
    else
      check
      grep -qx 'scripts/KniRed.bot' <<<"$members_lin" ||
        fail "$tag: kivo.pk3 holds no scripts/KniRed.bot"
      for member in $(echo "$members_lin" | grep '\.bot$'); do
        check
        unzip -p "$lin/kivo.pk3" "$member" >"$work/bot-lin"
        unzip -p "$win/kivo.pk3" "$member" >"$work/bot-win"
        crlf_check "$work/bot-win" "$tag: $member"
        cmp -s "$work/bot-lin" <(lf_text "$work/bot-win") ||
          fail "$tag: $member differs"
        bots_compared=$((bots_compared + 1))
      done
    fi
    check
    diff <(entries "$lin") <(entries "$win") >"$work/diff" || {
      fail "$tag: the folders' entries differ:"
      sed 's/^/    /' "$work/diff"
    }
    while read -r entry; do
      case $entry in */ | kivo.pk3 | kivo.tmp | kivo.cfg) continue ;; esac
      check
      [ -f "$win/$entry" ] && cmp -s "$lin/$entry" "$win/$entry" ||
        fail "$tag: $entry differs"
    done < <(entries "$lin")
    # The player's own files, as they were before the first run.
    while read -r entry; do
      case $entry in */ | *.pk3) continue ;; esac
      for dir in "$lin" "$win"; do
        check
        cmp -s "$pristine/$game/$entry" "$dir/$entry" ||
          fail "$tag: the player's $entry is not as it was ($(basename "$dir"))"
      done
    done < <(entries "$pristine/$game")
  done
  grep -h "KniRed" "$work/$game"-1-*.out | sed 's/\r$//' | sort -u |
    sed "s/^/  $game: /" || true
done

echo "comparison: each build ran $rounds times (twice in each of 2 folders);" \
  "standard output, kivo.cfg, $bots_compared bot files in kivo.pk3 and the" \
  "folders' contents compared in $checks checks; $failures failed"
[ $failures -eq 0 ] || exit 1
echo "PASS"
