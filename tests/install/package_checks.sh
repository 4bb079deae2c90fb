#!/usr/bin/env bash
# Runs as root inside a fresh Debian root that has just installed the zvbasic
# package with apt-get and nothing else (scripts/fresh-root install): every
# library the programs load must have come with the package's dependencies.
#   - zvbasic-cli, zvbasic-ecusim and zvbasic-capview answer --help;
#   - zvbasic-capview --png draws a small capture;
#   - zvbasic (offscreen) connects to zvbasic-ecusim, identifies it and reads
#     its settings (the simulator's frame log shows the reads), in German from
#     the installed catalogues, with the system's replacement help picture from
#     /etc/zvbasic, and writes its settings only to the per-user file;
#   - apt-get purge zvbasic leaves nothing of the package under /usr.
# Files it needs: /pkg/schwzvb.jpg (a 320x200 picture) and the probe plugin
# /probe/generic/libzvprobe.so (tests/install/ProbePlugin.cpp) that looks at
# the running program's screens from inside.
set -euo pipefail

tmp=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$tmp"/*.log "$tmp"/report; do [ -f "$f" ] && { echo "--- $f"; tail -n 40 "$f"; }; done >&2
  exit 1
}
ok() { echo "  ok: $*"; }

for p in zvbasic-cli zvbasic-ecusim zvbasic-capview; do
  "$p" --help >"$tmp/$p-help.log" 2>&1 || fail "$p --help ended with $?"
  [ -s "$tmp/$p-help.log" ] || fail "$p --help printed nothing"
done
ok "zvbasic-cli, zvbasic-ecusim, zvbasic-capview --help"

# A short capture in the visualisation screen's format.
{
  printf '"TPS" "LAMBDA" "RPM" "VALVE"\r\n'
  for i in $(seq 0 199); do
    printf '"%d.%06d","0.%06d","%d.000000","%d.000000"\r\n' $((i % 5)) $((i * 4999 % 1000000)) \
      $((i * 37 % 1000000)) $((800 + i * 20)) $((i % 256))
  done
} >"$tmp/drive.dat"
QT_QPA_PLATFORM=offscreen timeout 60 zvbasic-capview --png "$tmp/drive.png" --size 640x400 "$tmp/drive.dat" \
  >"$tmp/capview.log" 2>&1 || fail "zvbasic-capview --png ended with $?"
[ "$(head -c 8 "$tmp/drive.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "no PNG drawn"
read -r w h < <(od -An -tu1 -j16 -N8 "$tmp/drive.png" | awk '{print $3*256+$4, $7*256+$8}')
[ "$w" = 640 ] && [ "$h" = 400 ] || fail "the PNG is ${w}x$h, not 640x400"
ok "zvbasic-capview --png drew a 640x400 picture"

# The program against the simulator, as an ordinary start: root, a home
# folder, the language saved in the per-user file.
export HOME=/root XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
mkdir -p /etc/zvbasic "$XDG_CONFIG_HOME/zvbasic"
cp /pkg/schwzvb.jpg /etc/zvbasic/schwzvb.jpg
zvbasic-ecusim --instant --no-stdin --link "$tmp/ecu" --log "$tmp/frames.log" >"$tmp/sim.log" 2>&1 &
sim=$!
for _ in $(seq 400); do [ -L "$tmp/ecu" ] && break; sleep 0.05; done
[ -L "$tmp/ecu" ] || fail "the simulator made no device"
printf 'COM: %s\r\nLanguage: de\r\n' "$tmp/ecu" >"$XDG_CONFIG_HOME/zvbasic/zvbasic.ini"
touch -d @0 "$XDG_CONFIG_HOME/zvbasic/zvbasic.ini"  # written again at the end: a new time
env LANGUAGE=en LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen ZVBASIC_PORTS="$tmp/ecu" \
  QT_PLUGIN_PATH=/probe QT_QPA_GENERIC_PLUGINS=zvprobe ZVPROBE_OUT="$tmp/report" \
  ZVPROBE_STATUS=verbunden ZVPROBE_PROGRESS=SG-Typ: ZVPROBE_SECONDS=90 \
  timeout 150 zvbasic >"$tmp/program.log" 2>&1 || fail "zvbasic ended with $?"
[ -f "$tmp/report" ] || fail "the probe wrote no report (plugin not loaded?)"
expect() { grep -qxF "$1" "$tmp/report" || fail "expected '$1' from the running program"; }
expect "status=verbunden"
expect "progress=SG-Typ:"
expect "ecu-type=ZORVA Basic +"
expect "options-title=PROGRAMMOPTIONEN"
expect "help=320x200"
ok "zvbasic identified the simulator and read its settings, in German, with the help picture from /etc/zvbasic"
kill "$sim"; wait "$sim" 2>/dev/null || true; sim=""
# The frame log: the identity questions and a read of every parameter
# (0xE0 + number: the 13 settings 0x0..0xC), each answered.
log=$tmp/frames.log
grep -qE '<- D2 [0-9A-F]{2} AC' "$log" || fail "the program did not ask the ECU's version"
grep -qE '<- D4 [0-9A-F]{2} AC' "$log" || fail "the program did not ask the ECU's identity"
for n in 0 1 2 3 4 5 6 7 8 9 A B C; do
  grep -qE "<- E$n [0-9A-F]{2} AC" "$log" || fail "the program did not read parameter 0x$n"
  grep -qE -- "-> E$n [0-9A-F]{2} AC" "$log" || fail "no answer to the read of parameter 0x$n"
done
ok "the simulator's frame log shows the identity questions and the 13 settings read"
[ ! -e /usr/bin/zvbasic.ini ] || fail "run as root, zvbasic wrote /usr/bin/zvbasic.ini"
[ "$(stat -c %Y "$XDG_CONFIG_HOME/zvbasic/zvbasic.ini")" != 0 ] || fail "the per-user zvbasic.ini was not written"
ok "settings written to the per-user file only"

dpkg -L zvbasic >"$tmp/files"
apt-get purge -y -qq zvbasic >"$tmp/purge.log" 2>&1 || fail "apt-get purge zvbasic"
left=$(while read -r f; do
         case $f in /usr/*) if [ -e "$f" ] && [ ! -d "$f" ]; then echo "$f"; fi ;; esac
       done <"$tmp/files"; find /usr -name '*zvbasic*' 2>/dev/null)
[ -z "$left" ] || fail "left under /usr after purge: $(echo "$left" | sort -u | tr '\n' ' ')"
ok "apt-get purge zvbasic left nothing under /usr"
