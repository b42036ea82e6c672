#!/bin/sh
# The game itself judges what kivorama writes. A player's OpenArena folder
# is set up exactly as the guide's OpenArena recipe says (links to the
# game's archives, "kivorama -r 9", nothing edited), with no kivo.cfg made
# beforehand; then the game's dedicated server loads the folder and adds
# every bot that kivo.pk3 defines. It passes when every written bot enters
# the game, an undefined name is refused and no .bot file is reported
# broken. A second folder holds an archive of our own that defines its own
# bot, which the server must add as its archive says; two more hold more
# players than the game can list (80 of nine-letter names, and names of 48
# letters), of which kivorama must write only what the game reads; a fifth
# holds every kind of bot file the game counts, or does not.
#
# Usage: server_test.sh <kivorama> <cache folder>
# The server and OpenArena's data come from Debian's packages, unpacked into
# the cache folder by fetch_openarena.sh (no root, no service; the first run
# downloads them). Exit 77, skipped, when they cannot be had; with
# KIVO_E2E_REQUIRED=1 (CI) that is a failure instead.
# With KIVO_E2E_RUNNER set (wine, say), the program is started through it: a
# Windows kivorama.exe then needs the Windows unzip.exe and zip.exe beside
# it (win/infozip), else the test is skipped. Its kivo.cfg and bot files have
# CR LF line ends, which every reader below takes as well.
#
# What this relies on, found by trying the server (ioquake3 1.36 with the
# OpenArena 0.8.8 game code):
# - The start line below works with the archives (and kivo.pk3) under
#   <homepath>/baseoa; the game code itself stays in the basepath, whose
#   archives are the same ones. net_enabled 0 keeps the server off the
#   network, so parallel runs cannot collide and nothing is announced.
# - With a terminal on its standard input the server runs an interactive
#   console and begins every log line with "]", backspace, blank,
#   backspace: it gets /dev/null, and the log is read without them anyway.
# - Only about the first 32 "+" commands of a command line are taken, so
#   the addbot lines go into a command file that the game's file system
#   finds (<homepath>/baseoa/<file>), run with exec. Commands of that file
#   run in order and print in order, so an "echo" before each addbot marks
#   where that bot's lines begin.
# - "^1Error: Bot 'X' not defined" marks a refused name; an accepted one
#   gives 'broadcast: print "<fun name or name>^7 entered the game'; an AI
#   file that cannot serve gives "BotAISetupClient failed" instead. The
#   server also echoes lines to its bots as 'cmd N: print ...', which must
#   not be counted.
# - A .bot file the game cannot parse gives "Missing { in info file" or
#   "Unexpected end of info file".
# - The server runs out of memory at about 25 bots at once: they are added
#   in batches of 12 with "kick allbots" between batches, at skill 4 (at
#   skill 3 each AI file takes three of 64 slots that are never freed).
# - The game lists scripts/*.bot of all archives and of the loose scripts
#   folder into 1024 bytes: the names, each with ".bot" and one byte more,
#   may take 1022 (73 bots of nine letters, 1022 bytes, all enter; 72 and
#   one of ten letters, 1023 bytes, lose one); bot files beyond are silently
#   not read, and "addbot" says the bot is not defined.
set -u

exe=${1:?usage: server_test.sh <kivorama> <cache folder>}
cache=${2:?usage: server_test.sh <kivorama> <cache folder>}
case $cache in /*) ;; *) cache=$(pwd)/$cache ;; esac
sh "$(dirname "$0")/fetch_openarena.sh" "$cache"
rc=$?
if [ $rc -ne 0 ]; then
  [ "${KIVO_E2E_REQUIRED:-0}" != 1 ] || exit 1
  exit $rc
fi
server=$cache/openarena/usr/lib/ioquake3/ioq3ded
oa=$cache/openarena/usr/lib/openarena-server
data=$cache/openarena/usr/share/games/openarena/baseoa
case $exe in /*) ;; *) exe=$(pwd)/$exe ;; esac
runner=${KIVO_E2E_RUNNER:-}
limit=120
if [ -n "$runner" ]; then
  for tool in unzip.exe zip.exe; do
    if [ ! -f "$(dirname "$exe")/$tool" ]; then
      echo "SKIP: no $tool beside $exe (win/infozip builds it)"
      exit 77
    fi
  done
  limit=600 # one cmd.exe per move and delete
fi

started=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/kivo-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Runs kivorama in the current folder; all it prints goes to file $1.
kivorama() {
  out=$1
  shift
  # shellcheck disable=SC2086 # the runner may be a command with words
  timeout $limit $runner "$exe" "$@" >"$out" 2>&1 </dev/null
  rc=$?
  [ $rc -eq 0 ] || fail "kivorama $* ended with status $rc"
}
# Bytes the game needs to list the .bot files named on stdin.
listing_bytes() {
  awk '{ sub(/.*\//, ""); n += length($0) + 1 } END { print n + 0 }'
}
# name aifile set st model skin funname pk3file of every row of kivo.cfg $1.
players_block() {
  awk '{ sub(/\r$/, "") }
       $1 == "@" && $2 ~ /^ai_play/ { block = 1; next }
       block && $1 ~ /^name/ { rows = 1; next }
       rows && $1 ~ /^@/ { exit }
       rows && NF >= 8 && $1 !~ /^\/\// { print $1, $3, $4, $5, $6, $7, $2, $8 }' "$1"
}
# The bot files of kivo.pk3 here, into file $1.
members() {
  unzip -Z1 kivo.pk3 2>/dev/null | grep '^scripts/.*\.bot$' >"$1"
}
# For every bot file named in $1: its name, the text the game shows (the fun
# name, else the name) and its model (with the skin unless it is the default
# one), from its row in kivo.cfg; into file $2. Each file must define the
# bot it is named after and must not name OpenArena's default AI file.
expected_bots() {
  while read -r member; do
    unzip -p kivo.pk3 "$member" | awk -v file="$member" '
      { sub(/\r$/, "") }
      $1 == "name" { name = $2 }
      $1 == "aifile" && $2 == "bots/default_c.c" { print "FAIL: " file " names bots/default_c.c" }
      END { if (file != "scripts/" name ".bot") print "FAIL: " file " defines the bot " name }'
  done <"$1" | grep . && failures=$((failures + 1))
  players_block kivo.cfg >"$work/rows.txt"
  sed 's#^scripts/##; s#\.bot$##' "$1" |
    awk 'FNR == NR { fun[$1] = $7; model[$1] = $6 == "default" ? $5 : $5 "/" $6; next }
         !($1 in fun) { print "MISSING", $1; next }
         { print $1, (fun[$1] == "default" ? $1 : fun[$1]), model[$1] }' \
      "$work/rows.txt" - >"$2"
  grep '^MISSING ' "$2" | sed 's/^MISSING /FAIL: kivo.cfg has no row for /' |
    grep . && failures=$((failures + 1))
  sed -i '/^MISSING /d' "$2"
}

# Judges a written set of $1 bot files whose names take $2 bytes, after
# the run that printed file $3: the names fit the game's list, the run said
# why the active set holds fewer than 80, and kivo.cfg marks active in the
# active set exactly the players written.
fits_the_list() {
  [ "$2" -le 1022 ] || fail "the $1 bot files written need $2 bytes of the game's 1022"
  if [ "$1" -lt 80 ]; then
    tr -d '\r' <"$3" | grep -qx "note: the active set holds $1 players: the game lists only 1024 bytes of bot file names, and the names it will find take [0-9]*" ||
      fail "no note says why the active set holds $1 players"
  fi
  active=$(players_block kivo.cfg | awk '$3 == 0 && ($4 == "a" || $4 == "A")' | wc -l)
  [ "$active" -eq "$1" ] || fail "kivo.cfg marks $active players active in set 0, kivo.pk3 holds $1"
}

undefined=KivoNobody
# Starts the server on homepath $1, adds every bot of file $2 (lines: name,
# shown name, model) 12 at a time, then a name nobody defined, and judges
# each bot by its own lines of the log. Sets entered and expected; the log
# goes to $1/server.txt.
judge_on_server() {
  home=$1
  judged=$2
  log=$home/server.txt
  {
    count=0
    while read -r name _; do
      echo "echo KIVO-ADD $name"
      echo "addbot $name 4"
      count=$((count + 1))
      if [ $((count % 12)) -eq 0 ]; then
        printf 'wait 5\nkick allbots\nwait 5\n'
      fi
    done <"$judged"
    echo "echo KIVO-ADD $undefined"
    echo "addbot $undefined 4"
    printf 'wait 5\nkick allbots\nwait 5\nquit\n'
  } >"$home/baseoa/kivo-e2e.cfg"

  timeout -k 10 180 "$server" +set com_basegame baseoa +set fs_basepath "$oa" \
    +set fs_homepath "$home" +set dedicated 1 +set net_enabled 0 \
    +set com_legacyprotocol 71 +set com_protocol 71 +set sv_master1 "" \
    +set sv_maxclients 64 +set bot_enable 1 +set bot_minplayers 0 \
    +map aggressor +exec kivo-e2e.cfg </dev/null >"$log.raw" 2>&1
  rc=$?
  bs=$(printf '\b')
  tr -d '\r' <"$log.raw" | sed "s/\]$bs $bs//g" >"$log"
  [ $rc -eq 0 ] || fail "the server ended with status $rc"
  grep -q 'bots parsed' "$log" || fail "the server parsed no bots"
  grep -E 'Missing \{ in info file|Unexpected end of info file' "$log" |
    sed 's/^/FAIL: server: /' | grep . && failures=$((failures + 1))

  # Cut the log at the markers and judge each bot by its own lines.
  awk 'FNR == NR { fun[$1] = $2; model[$1] = $3; next }
    /^KIVO-ADD / { judge(); bot = $2; known = (bot in fun); ok = bad = seen = 0; next }
    bot != "" {
      if (index($0, "broadcast: print \"" fun[bot] "^7 entered the game") == 1) ok = 1
      if (index($0, "ClientUserinfoChanged:") == 1 &&
          index($0, "\\model\\" model[bot] "\\") && index($0, "n\\" fun[bot] "\\")) seen = 1
      if (index($0, "not defined") || index($0, "BotAISetupClient failed")) bad = 1
    }
    function judge() {
      if (bot == "") return
      if (!known) state = bad ? "refused" : "unexpected"
      else if (ok && seen && !bad) state = "entered"
      else state = "failed"
      print bot, state
    }
    END { judge() }' "$judged" "$log" >"$home/verdicts.txt"

  entered=$(grep -c ' entered$' "$home/verdicts.txt")
  expected=$(wc -l <"$judged")
  grep ' failed$' "$home/verdicts.txt" | while read -r name _; do
    echo "FAIL: bot $name did not enter the game as kivo.cfg says:"
    awk -v b="KIVO-ADD $name" '$0 == b { on = 1; next } /^KIVO-ADD / { on = 0 } on' \
      "$log" | head -12 | sed 's/^/    /'
  done | grep . && failures=$((failures + 1))
  [ "$entered" -eq "$expected" ] ||
    fail "$entered of $expected bots entered the game"
  grep -q "^$undefined refused$" "$home/verdicts.txt" &&
    grep -q "Error: Bot '$undefined' not defined" "$log" ||
    fail "the server did not refuse the undefined name $undefined"
}

# ---------------------------------------------------------------------------
# 1. The guide's OpenArena recipe, word for word, in a fresh home: the
# links and "kivorama -r 9", and nothing edited. OpenArena's archives bring
# more players than the game lists: what kivo.pk3 holds must fit, kivo.cfg
# must say who is active, and a second run must make the same choice.
HOME=$work/home
export HOME
mkdir -p ~/.openarena/baseoa && cd ~/.openarena/baseoa || exit 1
ln -s "$data"/*.pk3 .
kivorama "$work/run1.txt" -r 9
[ -f kivo.cfg ] && [ -f kivo.pk3 ] || fail "the first run wrote no kivo.cfg or kivo.pk3"
grep -q '^warn: ' "$work/run1.txt" &&
  fail "the recipe's run warned: $(grep '^warn: ' "$work/run1.txt")"
members "$work/members.txt"
written=$(wc -l <"$work/members.txt")
bytes=$(listing_bytes <"$work/members.txt")
fits_the_list "$written" "$bytes" "$work/run1.txt"
kivorama "$work/run2.txt"
members "$work/members2.txt"
cmp -s "$work/members.txt" "$work/members2.txt" ||
  fail "the second run wrote other bots: $(diff "$work/members.txt" "$work/members2.txt" | grep '^[<>]')"
expected_bots "$work/members.txt" "$work/judged.txt"
judge_on_server "$HOME/.openarena" "$work/judged.txt"
recipe="$written bot files, $bytes bytes; $entered of $expected bots entered the game"

# ---------------------------------------------------------------------------
# 2. An archive that defines its own bot. zealot.pk3: model zealot with the
# skins default and sworn; its own scripts/zealot.bot defines the bot
# Zealot (zealot/sworn) with one of the game's AI files, so kivorama marks
# that player X and writes no file for it, while ZeaDefaul gets one. Of
# OpenArena's archives kivorama reads only the one with the AI files, so the
# set fits the game's listing at once. The server's home then holds only
# zealot.pk3 and kivo.pk3: a part of OpenArena's archives there would hide
# newer files of the others (the maps' bot navigation files).
own=$work/own
mkdir -p "$own" && cd "$own" || exit 1
ln -s "$data"/pak6-misc.pk3 .
tree=$work/zealot
mkdir -p "$tree/models/players/zealot" "$tree/scripts"
echo "head mesh stand-in" >"$tree/models/players/zealot/head.md3"
for skin in default sworn; do
  echo "h_head,models/players/zealot/zealot_$skin.tga" \
    >"$tree/models/players/zealot/head_$skin.skin"
done
printf '{\nname\t\tZealot\nfunname\t\t^1Zea^7lot\nmodel\t\tzealot/sworn\naifile\t\tbots/sarge_c.c\n}\n\n' \
  >"$tree/scripts/zealot.bot"
(cd "$tree" && zip -q -r "$own/zealot.pk3" .) || fail "cannot build zealot.pk3"
kivorama "$work/own.txt" -r 9
grep -q '^warn: ' "$work/own.txt" && fail "the run warned: $(grep '^warn: ' "$work/own.txt")"
members "$work/own-members.txt"
grep -q '^scripts/Zealot\.bot$' "$work/own-members.txt" &&
  fail "kivo.pk3 holds a file for Zealot, whose own archive defines it"
grep -q '^scripts/ZeaDefaul\.bot$' "$work/own-members.txt" ||
  fail "kivo.pk3 holds no file for ZeaDefaul"
players_block kivo.cfg | grep -q '^Zealot sarge 0 X zealot sworn ' ||
  fail "kivo.cfg does not list Zealot with AI file sarge, set 0, status X"
own_bytes=$( (cat "$work/own-members.txt"; echo scripts/zealot.bot) | listing_bytes)
expected_bots "$work/own-members.txt" "$work/own-judged.txt"
printf 'Zealot ^1Zea^7lot zealot/sworn\n' >>"$work/own-judged.txt"
mkdir -p "$work/home2/baseoa" && cp zealot.pk3 kivo.pk3 "$work/home2/baseoa/"
judge_on_server "$work/home2" "$work/own-judged.txt"
own_result="$(wc -l <"$work/own-members.txt") bot files and Zealot, $own_bytes bytes; $entered of $expected bots entered the game"

# ---------------------------------------------------------------------------
# 3. More players than the game can list: 80 players of nine-letter names
# (14 bytes each, 1120 in all) from one archive, which fill the active set
# before the stock players that -a pak0 puts behind them. Of OpenArena's
# archives the folder holds the one with the AI files, as in 2. kivorama
# writes 73 (1022 bytes), and each enters the game.
# Builds archive $1 of model $2 with the skins named on stdin.
skins_pk3() {
  tree=$work/tree-$2
  mkdir -p "$tree/models/players/$2"
  echo "head mesh stand-in" >"$tree/models/players/$2/head.md3"
  while read -r skin; do
    echo "h_head,models/players/$2/$skin.tga" >"$tree/models/players/$2/head_$skin.skin"
  done
  (cd "$tree" && zip -q -r "$1" .) || fail "cannot build $1"
}
full=$work/full
mkdir -p "$full" && cd "$full" || exit 1
ln -s "$data"/pak6-misc.pk3 .
awk 'BEGIN { for (i = 0; i < 80; i++) printf "s%02dabc\n", i }' | skins_pk3 "$full/legion.pk3" legion
kivorama "$work/full.txt" -a pak0 -r 9
members "$work/full-members.txt"
full_written=$(wc -l <"$work/full-members.txt")
full_bytes=$(listing_bytes <"$work/full-members.txt")
fits_the_list "$full_written" "$full_bytes" "$work/full.txt"
expected_bots "$work/full-members.txt" "$work/full-judged.txt"
mkdir -p "$work/home3/baseoa" && cp legion.pk3 kivo.pk3 "$work/home3/baseoa/"
judge_on_server "$work/home3" "$work/full-judged.txt"
full_result="$full_written bot files, $full_bytes bytes; $entered of $expected bots entered the game"

# ---------------------------------------------------------------------------
# 4. Names of 48 letters (53 bytes each): 25 players of one archive, renamed
# in kivo.cfg after a first run. Only 19 such names fit the game's list.
long=$work/long
mkdir -p "$long" && cd "$long" || exit 1
ln -s "$data"/pak6-misc.pk3 .
awk 'BEGIN { for (i = 0; i < 25; i++) printf "l%02d\n", i }' | skins_pk3 "$long/lancer.pk3" lancer
kivorama "$work/long1.txt" -a pak0 -r 9
awk '{ sub(/\r$/, "") }
     NF >= 8 && $8 == "lancer" {
       $1 = sprintf("Lancer%02d", n++); while (length($1) < 48) $1 = $1 "x"
     }
     { print }' kivo.cfg >"$work/long.cfg" && cp "$work/long.cfg" kivo.cfg
kivorama "$work/long2.txt"
members "$work/long-members.txt"
long_written=$(wc -l <"$work/long-members.txt")
long_bytes=$(listing_bytes <"$work/long-members.txt")
long_names=$(grep -c '^scripts/Lancer[0-9][0-9]x*\.bot$' "$work/long-members.txt")
[ "$long_names" -eq 19 ] || fail "kivo.pk3 holds $long_names bots of 48 letters, not 19"
fits_the_list "$long_written" "$long_bytes" "$work/long2.txt"
expected_bots "$work/long-members.txt" "$work/long-judged.txt"
mkdir -p "$work/home4/baseoa" && cp lancer.pk3 kivo.pk3 "$work/home4/baseoa/"
judge_on_server "$work/home4" "$work/long-judged.txt"
long_result="$long_written bot files ($long_names of 48 letters), $long_bytes bytes; $entered of $expected bots entered the game"

# ---------------------------------------------------------------------------
# 5. Every way of counting the game's list, at once, near its end: bot
# files under scripts/old/ and scripts_old/ (listed) and scripts/a/b/ (not),
# a name of 52 characters whose first 48 are a written one's, one long name
# in two archives in two letter cases, zbot.pk3 (which kivorama does not
# read and the game loads), a loose folder with a folder, a broken link and
# a link to a file named *.bot, and the files of two stock players taken,
# letter case aside, by a loose file and by an archive the game searches
# before kivo.pk3. The names the game then lists, counted here by its own
# rules, are those the note counts; every bot of kivo.pk3 enters the game.
edge=$work/edge
mkdir -p "$edge/scripts/old.bot" && cd "$edge" || exit 1
ln -s "$data"/pak6-misc.pk3 .
bot_text() { printf '{\nname\t\t%s\nmodel\t\tnomodel\naifile\t\tbots/sarge_c.c\n}\n' "$1"; }
# Builds archive $1 of the bot files $2...
bots_pk3() {
  archive=$1 tree=$work/tree-$1
  shift
  for member in "$@"; do
    mkdir -p "$tree/${member%/*}" && bot_text "Own${#member}" >"$tree/$member"
  done
  (cd "$tree" && zip -q -r "$edge/$archive" .) || fail "cannot build $archive"
}
a44=$(printf '%44s' '' | tr ' ' a)
long=a_bot_file_name_longer_than_a_name_field_zzzzzzzzzzzzzzz.bot
bots_pk3 nest.pk3 scripts/old/sub00.bot scripts/old/sub01.bot scripts_old/stray.bot scripts/a/b/deep.bot
bots_pk3 zz.pk3 "scripts/$a44.bot.bot"
bots_pk3 packone.pk3 "scripts/$long"
bots_pk3 packtwo.pk3 "SCRIPTS/$(echo "$long" | tr a-z A-Z)"
bots_pk3 zbot.pk3 scripts/zbotbots.bot
bots_pk3 zzcase.pk3 scripts/ANARED.bot
for name in anablue padding0000a padding0000b; do bot_text "$name" >"scripts/$name.bot"; done
bot_text Linked >"$work/linked.txt" && ln -s "$work/linked.txt" scripts/ln.bot
ln -s nowhere scripts/gone.bot
kivorama "$work/edge1.txt" -r 9
awk -v n="$a44" '{ sub(/\r$/, "") } NF >= 8 && $1 == "BonRed" { $1 = n } { print }' kivo.cfg >"$work/edge.cfg" &&
  cp "$work/edge.cfg" kivo.cfg
kivorama "$work/edge2.txt"
members "$work/edge-members.txt"
edge_written=$(wc -l <"$work/edge-members.txt")
for name in AnaBlue0 AnaRed0 "$a44"; do
  grep -qx "scripts/$name\.bot" "$work/edge-members.txt" || fail "kivo.pk3 holds no file for $name"
done
grep -Eqx 'scripts/(AnaBlue|AnaRed)\.bot' "$work/edge-members.txt" &&
  fail "kivo.pk3 holds a file that the game reads from elsewhere"
fits_the_list "$edge_written" "$(listing_bytes <"$work/edge-members.txt")" "$work/edge2.txt"
# The game's rules: a path scripts*/[folder/]name.bot, any case, named
# without its first 8 characters; each name once; a loose file or link to one.
edge_bytes=$({ for a in *.pk3; do unzip -Z1 "$a"; done
  for f in scripts/*; do [ -f "$f" ] && echo "$f"; done; } 2>/dev/null |
  awk '{ p = tolower($0); n = gsub(/\//, "/", p); last = match(p, /\/[^\/]*$/) }
       p ~ /^scripts.*\.bot$/ && n <= 2 && last >= 8 && !seen[substr(p, 9)]++ {
         bytes += length(p) - 7 }
       END { print bytes + 0 }')
tr -d '\r' <"$work/edge2.txt" | grep -q "the names it will find take $edge_bytes\$" ||
  fail "the game's list takes $edge_bytes bytes, the run said: $(grep '^note: ' "$work/edge2.txt")"
expected_bots "$work/edge-members.txt" "$work/edge-judged.txt"
mkdir -p "$work/home5/baseoa" && cp -a scripts ./*.pk3 "$work/home5/baseoa/" &&
  rm "$work/home5/baseoa/pak6-misc.pk3"
judge_on_server "$work/home5" "$work/edge-judged.txt"
edge_result="$edge_written bot files, the list $edge_bytes bytes; $entered of $expected bots entered the game"

# ---------------------------------------------------------------------------
finished=$(date +%s)
echo "recipe:     $recipe; '$undefined' refused: $(grep -c "^$undefined refused$" "$work/home/.openarena/verdicts.txt")"
echo "            the run said:"
grep -v '^  reading pk3 file' "$work/run1.txt" | sed 's/^/    /'
echo "own bot:    $own_result"
echo "full set:   $full_result"
echo "48 letters: $long_result"
echo "edge:       $edge_result"
echo "runtime:    $((finished - started)) s"
if [ $failures -gt 0 ]; then
  for log in "$work"/home/.openarena/server.txt "$work"/home[2-5]/server.txt; do
    echo "server log $log: last lines"
    tail -20 "$log" | sed 's/^/    /'
  done
  echo "$failures check(s) failed"
  exit 1
fi
echo "PASS"
