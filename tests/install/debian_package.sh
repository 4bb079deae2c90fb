#!/usr/bin/env bash
# The Debian package: packs the build with CPack into a temporary folder,
# unpacks it with dpkg-deb -x and finds every file where Debian puts it, then
# runs desktop-file-validate, appstreamcli validate --no-net and lintian (no
# errors allowed) on the result. Packed a second time with the same
# SOURCE_DATE_EPOCH, it must be the same file.
#   debian_package.sh <build dir> <source dir>
set -euo pipefail
build=$(realpath "$1") src=$(realpath "$2")

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export SOURCE_DATE_EPOCH=1765000000
(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/^project(ZVBasic VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
deb=$tmp/out/zvbasic_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb") (got: $(ls "$tmp/out"))"

# Control fields.
# Fields and listings are read whole before they are searched: with pipefail,
# grep -q stopping at its first match would let the writer die of SIGPIPE and
# fail the pipeline at random on a busy machine.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zvbasic ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Recommends)" = qt6-translations-l10n ] || fail "Recommends: $(field Recommends)"
for p in zvbasic-cli zvbasic-capview zvbasic-ecusim; do
  grep -q "\b$p\b" <<<"$(field Description)" || fail "the description does not name $p"
done
# Run-time dependencies computed from the programs.
for lib in libc6 libstdc++6 libqt6widgets6 libjpeg62-turbo; do
  grep -q "\b$lib\b" <<<"$(field Depends)" || fail "Depends lacks $lib: $(field Depends)"
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
has() { [ -f "$usr/$1" ] || fail "no /usr/$1"; }
for p in zvbasic zvbasic-ecusim zvbasic-cli zvbasic-capview; do
  [ -x "$usr/bin/$p" ] || fail "no /usr/bin/$p"
  ! grep -q '\.comment' <<<"$(readelf -S "$usr/bin/$p")" || fail "/usr/bin/$p keeps its .comment section"
done
has share/zvbasic/locale/isotolanguagenames.mo
for l in de en pl ru; do has "share/zvbasic/locale/$l/LC_MESSAGES/default.mo"; done
[ ! -e "$usr/share/locale" ] || fail "catalogues in the system's locale folder"
has share/doc/zvbasic/copyright
has share/doc/zvbasic/README
has share/doc/zvbasic/changelog.gz
gzip -t "$usr/share/doc/zvbasic/changelog.gz"

# Every desktop entry, manual page and metainfo file of the sources.
for f in "$src"/packaging/*.desktop; do has "share/applications/$(basename "$f")"; done
for f in "$src"/packaging/*.metainfo.xml; do has "share/metainfo/$(basename "$f")"; done
for f in "$src"/man/*.1; do
  gz=$usr/share/man/man1/$(basename "$f").gz
  [ -f "$gz" ] || fail "no manual page $(basename "$gz")"
  cmp -s <(gunzip -c "$gz") "$f" || fail "$(basename "$gz") differs from its source"
done
has share/man/man1/zvbasic.1.gz
has share/man/man1/zvbasic-ecusim.1.gz
has share/man/man1/zvbasic-cli.1.gz

# Icons: the scalable one and PNGs of the size their folder names.
has share/icons/hicolor/scalable/apps/zvbasic.svg
grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/zvbasic.svg" || fail "zvbasic.svg is no SVG"
for s in 48 128 256; do
  png=$usr/share/icons/hicolor/${s}x${s}/apps/zvbasic.png
  [ -f "$png" ] || fail "no ${s}x${s} icon"
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4, $7*256+$8}')
  [ "$w" = "$s" ] && [ "$h" = "$s" ] || fail "${s}x${s}/apps/zvbasic.png is ${w}x${h}"
done

# Each desktop entry starts an installed program with an installed icon.
for f in "$usr"/share/applications/*.desktop; do
  desktop-file-validate "$f" || fail "desktop-file-validate $(basename "$f")"
  exe=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$f")
  [ -x "$usr/bin/$exe" ] || fail "$(basename "$f") starts $exe, which is not installed"
  icon=$(sed -n 's/^Icon=//p' "$f")
  compgen -G "$usr/share/icons/hicolor/*/apps/$icon.*" >/dev/null || fail "no icon $icon"
done
for f in "$usr"/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net "$f" || fail "appstreamcli validate $(basename "$f")"
  for p in zvbasic zvbasic-cli zvbasic-capview zvbasic-ecusim; do
    grep -q "<binary>$p</binary>" "$f" || fail "$(basename "$f") does not provide $p"
  done
done

# Exits non-zero on an error tag, and when it cannot check the package.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || {
  cat "$tmp/lintian.log" >&2
  fail "lintian reports errors"
}
grep -v 'running with root privileges' "$tmp/lintian.log" || true

# Each menu entry its own icon.
icons=$(sed -n 's/^Icon=//p' "$usr"/share/applications/*.desktop | sort)
[ "$(echo "$icons" | uniq | wc -l)" = "$(echo "$icons" | wc -l)" ] || fail "menu entries share an icon: $icons"

# Packed again: the same bytes.
(cd "$build" && cpack -G DEB -B "$tmp/again" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; fail "cpack"; }
cmp -s "$deb" "$tmp/again/$(basename "$deb")" || fail "packed twice from one build, the packages differ"
echo "package: $(basename "$deb") checked"
