#!/bin/sh
# The game itself judges what kivorama writes: a scratch game folder holds
# the archives of the free game OpenArena (real models, skins and bot AI
# files) and one archive of our own that carries a bot definition; kivorama
# runs there, then the game's dedicated server loads the folder and adds
# every bot that kivo.pk3 defines. The test passes when every written bot
# enters the game, an undefined name is refused and no .bot file is
# reported broken. A second folder whose active set is too large for the
# game shows kivorama's warning.
#
# Usage: server_test.sh <kivorama>     (exit 77: no server here, skipped)
#
# What this relies on, found by trying the server (ioquake3 1.36 with the
# OpenArena 0.8.8 game code):
# - The start line below works with the archives (and kivo.pk3) under
#   HOME/baseoa; the game code itself stays in the basepath. net_enabled 0
#   keeps the server off the network, so parallel runs cannot collide.
# - Only about the first 32 "+" commands of a command line are taken, so
#   the addbot lines go into a command file that the game's file system
#   finds (HOME/baseoa/<file>), run with exec. Commands of that file run in
#   order and print in order, so an "echo" before each addbot marks where
#   that bot's lines begin.
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
# - The game lists scripts/*.bot of all archives into 1024 bytes (each file
#   name plus one byte); bot files beyond that are silently not read.
# - OpenArena's botfiles/bots/default_c.c cannot serve as a bot's AI file
#   (the bot is refused), yet kivorama counts it as an add-on AI file of
#   tier 9; the prepared kivo.cfg gives it tier 7, out of the range drawn.
set -u

exe=${1:?usage: server_test.sh <kivorama>}
server=/usr/lib/ioquake3/ioq3ded
oa=/usr/lib/openarena-server
if [ ! -x "$server" ] || [ ! -d "$oa/baseoa" ]; then
  echo "SKIP: no $server or $oa/baseoa (Debian package openarena-server)"
  exit 77
fi
case $exe in /*) ;; *) exe=$(pwd)/$exe ;; esac

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
  timeout 120 "$exe" "$@" >"$out" 2>&1
  rc=$?
  [ $rc -eq 0 ] || fail "kivorama $* ended with status $rc"
}
# Bytes the game needs to list the .bot files named on stdin.
listing_bytes() {
  awk '{ sub(/.*\//, ""); n += length($0) + 1 } END { print n + 0 }'
}

# ---------------------------------------------------------------------------
# 1. The game folder: OpenArena's archives and our own.
home=$work/home
game=$home/baseoa
mkdir -p "$game"
for pk3 in "$oa"/baseoa/*.pk3; do ln -s "$pk3" "$game/"; done

# zealot.pk3: model zealot with the skins default and sworn; its own
# scripts/zealot.bot defines the bot Zealot (zealot/sworn) with one of the
# game's AI files, so kivorama marks that player 'X' and writes no file for
# it, while ZeaDefaul gets one.
tree=$work/zealot
mkdir -p "$tree/models/players/zealot" "$tree/scripts"
echo "head mesh stand-in" >"$tree/models/players/zealot/head.md3"
for skin in default sworn; do
  echo "h_head,models/players/zealot/zealot_$skin.tga" \
    >"$tree/models/players/zealot/head_$skin.skin"
done
printf '{\nname\t\tZealot\nfunname\t\t^1Zea^7lot\nmodel\t\tzealot/sworn\naifile\t\tbots/sarge_c.c\n}\n\n' \
  >"$tree/scripts/zealot.bot"
(cd "$tree" && zip -q -r "$game/zealot.pk3" .) || fail "cannot build zealot.pk3"

# The hand-made kivo.cfg: every group allowed, and OpenArena's default AI
# file out of tier 9. The players block has no rows; it stays because the
# tiers block is looked for only after it.
cat >"$game/kivo.cfg" <<'EOF'
$ flags
use_blue      1
use_red       1
$ end

@ ai_players
name
@ end

@ ai_tiers
aifile       tier
default      7
@ end
EOF

# ---------------------------------------------------------------------------
# 2. kivorama: a first run draws every AI file from tier 9 (the add-on AI
# files) and fills the active set up to 80, whose file names fit the game's
# listing only because many of them are short. The player then makes all
# active players of the file inactive ('I' in set 0, which no later step
# revives) except ZeaDefaul and the first 59 others, which fit with any
# names, and runs it again without options; that run must keep every name
# and AI file.
cd "$game" || exit 1
kivorama "$work/run1.txt" +r 9
[ -f kivo.cfg ] && [ -f kivo.pk3 ] || fail "first run wrote no kivo.cfg or kivo.pk3"
players_block() { # name aifile set st model skin funname of every row
  awk '$1 == "@" && $2 ~ /^ai_play/ { block = 1; next }
       block && $1 ~ /^name/ { rows = 1; next }
       rows && $1 ~ /^@/ { exit }
       rows && NF >= 8 && $1 !~ /^\/\// { print $1, $3, $4, $5, $6, $7, $2 }' "$1"
}
players_block kivo.cfg >"$work/rows1.txt"
cp kivo.cfg "$work/kivo1.cfg"
awk -v keep=60 '
  $1 == "@" && $2 ~ /^ai_play/ { block = 1 }
  block && $1 ~ /^name/ && !rows { rows = 1; print; next }
  rows && $1 ~ /^@/ { block = rows = 0 }
  rows && NF >= 8 && $1 !~ /^\/\// && ($5 == "a" || $5 == "A") {
    $4 = 0
    $5 = ($8 == "zealot" || ++active < keep) ? "a" : "I"
  }
  { print }' "$work/kivo1.cfg" >kivo.cfg
kivorama "$work/run2.txt"
players_block kivo.cfg >"$work/rows2.txt"

unzip -Z1 kivo.pk3 2>/dev/null | grep '^scripts/.*\.bot$' >"$work/members.txt"
written=$(wc -l <"$work/members.txt")
[ "$written" -eq 60 ] || fail "kivo.pk3 holds $written bot files, not 60"
grep -q '^scripts/Zealot\.bot$' "$work/members.txt" &&
  fail "kivo.pk3 holds a file for Zealot, whose own archive defines it"
grep -q '^scripts/ZeaDefaul\.bot$' "$work/members.txt" ||
  fail "kivo.pk3 holds no file for ZeaDefaul"
grep -q '^Zealot sarge 0 X zealot sworn ' "$work/rows2.txt" ||
  fail "kivo.cfg does not list Zealot with AI file sarge, set 0, status X"
# The second run kept the name and AI file of every player. A model and skin
# that two archives carry (OpenArena's patch archives ship skins again) make
# two players that kivo.cfg cannot tell apart; those are only reported.
by_skin() {
  awk '{ key = $5 "/" $6; n[key]++; row[key] = $1 " " $2 }
       END { for (k in n) print k, (n[k] == 1 ? row[k] : "twice") }' "$1" |
    sort
}
by_skin "$work/rows1.txt" >"$work/ai1.txt"
by_skin "$work/rows2.txt" >"$work/ai2.txt"
changed=$(diff "$work/ai1.txt" "$work/ai2.txt" | grep '^[<>]')
[ -z "$changed" ] || fail "the second run changed names or AI files: $changed"
twice=$(grep -c ' twice$' "$work/ai2.txt")
grep -q '^warn: ' "$work/run2.txt" &&
  fail "the second run warned: $(grep '^warn: ' "$work/run2.txt")"
bytes=$( (cat "$work/members.txt"; echo scripts/zealot.bot) | listing_bytes)
[ "$bytes" -le 1024 ] || fail "the written set needs $bytes bytes of the game's 1024"

# What each written bot should look like in the game, from its row in
# kivo.cfg: name, the text the game shows (the fun name, else the name) and
# the model (with the skin unless it is the default one). Each file must
# define the bot it is named after and must not name OpenArena's default AI.
while read -r member; do
  unzip -p kivo.pk3 "$member" | awk -v file="$member" '
    $1 == "name" { name = $2 }
    $1 == "aifile" && $2 == "bots/default_c.c" { print "FAIL: " file " names bots/default_c.c" }
    END { if (file != "scripts/" name ".bot") print "FAIL: " file " defines the bot " name }'
done <"$work/members.txt" | grep . && failures=$((failures + 1))
sed 's#^scripts/##; s#\.bot$##' "$work/members.txt" |
  awk 'FNR == NR { fun[$1] = $7; model[$1] = $6 == "default" ? $5 : $5 "/" $6; next }
       !($1 in fun) { print "MISSING", $1; next }
       { print $1, (fun[$1] == "default" ? $1 : fun[$1]), model[$1] }' \
    "$work/rows2.txt" - >"$work/bots.txt"
grep '^MISSING ' "$work/bots.txt" | sed 's/^MISSING /FAIL: kivo.cfg has no row for /' |
  grep . && failures=$((failures + 1))
grep -v '^MISSING ' "$work/bots.txt" >"$work/judged.txt"
printf 'Zealot ^1Zea^7lot zealot/sworn\n' >>"$work/judged.txt"

# ---------------------------------------------------------------------------
# 3. The server adds every bot, 12 at a time, then a name nobody defined.
undefined=KivoNobody
{
  count=0
  while read -r name _; do
    echo "echo KIVO-ADD $name"
    echo "addbot $name 4"
    count=$((count + 1))
    if [ $((count % 12)) -eq 0 ]; then
      printf 'wait 5\nkick allbots\nwait 5\n'
    fi
  done <"$work/judged.txt"
  echo "echo KIVO-ADD $undefined"
  echo "addbot $undefined 4"
  printf 'wait 5\nkick allbots\nwait 5\nquit\n'
} >"$game/kivo-e2e.cfg"

timeout 180 "$server" +set com_basegame baseoa +set fs_basepath "$oa" \
  +set fs_homepath "$home" +set dedicated 1 +set net_enabled 0 \
  +set com_legacyprotocol 71 +set com_protocol 71 +set sv_master1 "" \
  +set sv_maxclients 64 +set bot_enable 1 +set bot_minplayers 0 \
  +map aggressor +exec kivo-e2e.cfg >"$work/server.txt" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "the server ended with status $rc"
grep -q 'bots parsed' "$work/server.txt" || fail "the server parsed no bots"
grep -E 'Missing \{ in info file|Unexpected end of info file' "$work/server.txt" |
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
  END { judge() }' "$work/judged.txt" "$work/server.txt" >"$work/verdicts.txt"

entered=$(grep -c ' entered$' "$work/verdicts.txt")
expected=$(wc -l <"$work/judged.txt")
grep ' failed$' "$work/verdicts.txt" | while read -r name _; do
  echo "FAIL: bot $name did not enter the game as kivo.cfg says:"
  awk -v b="KIVO-ADD $name" '$0 == b { on = 1; next } /^KIVO-ADD / { on = 0 } on' \
    "$work/server.txt" | head -12 | sed 's/^/    /'
done | grep . && failures=$((failures + 1))
[ "$entered" -eq "$expected" ] ||
  fail "$entered of $expected bots entered the game"
grep -q "^$undefined refused$" "$work/verdicts.txt" &&
  grep -q "Error: Bot '$undefined' not defined" "$work/server.txt" ||
  fail "the server did not refuse the undefined name $undefined"

# ---------------------------------------------------------------------------
# 4. A set the game cannot list: 80 players of nine-letter names (14 bytes
# each, 1120 in all) from one archive, the stock players left out.
full=$work/full
mkdir -p "$full/tree/models/players/legion"
echo "head mesh stand-in" >"$full/tree/models/players/legion/head.md3"
i=0
while [ $i -lt 90 ]; do
  skin=$(printf 's%02dabc' $i)
  echo "h_head,models/players/legion/$skin.tga" \
    >"$full/tree/models/players/legion/head_$skin.skin"
  i=$((i + 1))
done
(cd "$full/tree" && zip -q -r ../legion.pk3 .) || fail "cannot build legion.pk3"
cd "$full" || exit 1
kivorama "$work/full.txt" -a pak0
full_written=$(unzip -Z1 kivo.pk3 2>/dev/null | grep -c '\.bot$')
full_bytes=$(unzip -Z1 kivo.pk3 2>/dev/null | grep '\.bot$' | listing_bytes)
[ "$full_bytes" -gt 1024 ] ||
  fail "the full set ($full_written files) needs only $full_bytes bytes"
grep -q '^warn: ' "$work/full.txt" ||
  fail "no 'warn: ' line for $full_written bot files of $full_bytes bytes"

# ---------------------------------------------------------------------------
finished=$(date +%s)
echo "kivorama:   second run (after the edit) wrote $written bot files;" \
  "$twice skins are carried by two archives (not compared); it said:"
grep -v '^  reading pk3 file' "$work/run2.txt" | sed 's/^/    /'
echo "full set:   $full_written bot files, $full_bytes bytes; kivorama warned:"
grep '^warn: ' "$work/full.txt" | sed 's/^/    /'
echo "server:     $entered of $expected bots entered the game" \
  "($((expected - 1)) from kivo.pk3, 1 from zealot.pk3, listing $bytes bytes);" \
  "'$undefined' $(grep -q "^$undefined refused$" "$work/verdicts.txt" && echo refused || echo 'NOT refused')"
echo "runtime:    $((finished - started)) s"
if [ $failures -gt 0 ]; then
  echo "server log: last lines"
  tail -20 "$work/server.txt" | sed 's/^/    /'
  echo "$failures check(s) failed"
  exit 1
fi
echo "PASS"
