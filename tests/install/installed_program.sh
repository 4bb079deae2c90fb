#!/usr/bin/env bash
# The installed program: installs the build into a temporary root with
# DESTDIR, starts the installed zvbasic (offscreen) against the installed
# simulator and checks, from inside the running program (the zvprobe plugin),
# that it found its catalogues and its data folder in ../share/zvbasic with
# nothing beside the executable: a German start shows German texts and the
# help viewer shows the replacement picture from the per-user data folder,
# and the settings go to the per-user file only (never beside the installed
# executable, which is writable here as it is for root in /usr/bin). Then the
# same binary without the share folder starts in English with its built-in
# picture.
#   installed_program.sh <build dir> <plugin dir> <test picture 320x200>
set -euo pipefail
build=$1 plugins=$2 picture=$3

tmp=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
export XDG_DATA_HOME=$tmp/data  # the program's automatic backups
fail() { echo "FAIL: $*" >&2; for f in "$tmp"/*.log "$tmp"/report; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done >&2; exit 1; }

root=$tmp/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$tmp/install.log"
bin=$root/usr/bin
share=$root/usr/share/zvbasic

# The layout.
for p in zvbasic zvbasic-ecusim zvbasic-cli; do [ -x "$bin/$p" ] || fail "no $p in bin/"; done
for f in locale/isotolanguagenames.mo locale/{de,en,pl,ru}/LC_MESSAGES/default.mo; do
  [ -f "$share/$f" ] || fail "no share/zvbasic/$f"
done
[ ! -e "$root/usr/share/locale" ] || fail "catalogues in the system's locale folder"
for d in locale data; do [ ! -e "$bin/$d" ] || fail "$d/ beside the installed executable"; done
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
mkdir -p "$XDG_DATA_HOME/zvbasic"
cp "$picture" "$XDG_DATA_HOME/zvbasic/schwzvb.jpg"

"$bin/zvbasic-ecusim" --instant --no-stdin --link "$tmp/ecu" >"$tmp/sim.log" 2>&1 &
sim=$!
for _ in $(seq 200); do [ -L "$tmp/ecu" ] && break; sleep 0.05; done
[ -L "$tmp/ecu" ] || fail "the simulator did not start"

run() {  # expected status text; writes $tmp/report
  rm -f "$tmp/report"
  # The language comes from zvbasic.ini, so it needs the catalogues; the
  # environment asks for English.
  mkdir -p "$XDG_CONFIG_HOME/zvbasic"
  printf 'COM: %s\r\nLanguage: de\r\n' "$tmp/ecu" >"$XDG_CONFIG_HOME/zvbasic/zvbasic.ini"
  touch -d @0 "$XDG_CONFIG_HOME/zvbasic/zvbasic.ini"  # written again at the end: a new time
  env LANGUAGE=en LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen ZVBASIC_PORTS="$tmp/ecu" \
      QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=zvprobe ZVPROBE_OUT="$tmp/report" \
      ZVPROBE_STATUS="$1" ZVPROBE_SECONDS=40 \
      timeout 90 "$bin/zvbasic" >"$tmp/program.log" 2>&1 || fail "zvbasic ended with $?"
  [ -f "$tmp/report" ] || fail "the probe wrote no report (plugin not loaded?)"
}
expect() { grep -qxF "$1" "$tmp/report" || fail "expected '$1'"; }

run "verbunden"
expect "status=verbunden"
expect "options-title=PROGRAMMOPTIONEN"
expect "languages=Deutsch,English,Polski,Russian"
expect "language=Deutsch"
expect "help=320x200"
expect "help-pixmap=320x200"
# Nothing but the programs beside the executable: no folder, no zvbasic.ini;
# the settings were written to the per-user file.
[ -z "$(find "$bin" -mindepth 1 -type d)" ] || fail "bin/ holds folders: $(ls -A "$bin")"
[ ! -e "$bin/zvbasic.ini" ] || fail "zvbasic.ini written beside the installed executable"
[ "$(stat -c %Y "$XDG_CONFIG_HOME/zvbasic/zvbasic.ini")" != 0 ] || fail "the per-user zvbasic.ini was not written"

# Without the share folder: no catalogues, so English, and the built-in
# help picture.
mv "$share" "$tmp/moved"
rm "$XDG_DATA_HOME/zvbasic/schwzvb.jpg"
run "connected"
expect "status=connected"
expect "languages="
expect "help=1563x2048"
echo "installed program: catalogues and pictures found in ../share/zvbasic"
