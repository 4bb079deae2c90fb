#!/usr/bin/env bash
# The scripts' failures are loud: each case runs a script where it must fail
# and checks its exit status and message, and where it must pass.
#   scripts_test.sh <source dir> <case>
set -uo pipefail
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$2" in
exit-check-tools)
  # Without Xvfb on the PATH the start and exit check fails; it never reads
  # as passed.
  mkdir "$work/bin"
  ln -s "$(command -v dirname)" "$work/bin/dirname"
  out=$(PATH="$work/bin" /bin/bash "$top/tests/exit/exit-check" "$work" 2>&1)
  status=$?
  [ "$status" -eq 1 ] || fail "exit-check without Xvfb: status $status, want 1 ($out)"
  grep -q "Xvfb missing" <<<"$out" || fail "exit-check without Xvfb does not say so: $out"
  ;;
format-check)
  # --check lists the file that differs and fails; formatting in place
  # makes the check pass; a bad argument is refused. In a git checkout the
  # script takes the files git knows, elsewhere every file: the tree is a
  # checkout where git is installed (a minimal root may have none).
  mkdir -p "$work/tree/scripts"
  cp "$top/scripts/format" "$work/tree/scripts/"
  cp "$top/.clang-format" "$work/tree/"
  cd "$work/tree" || fail "no work tree"
  if command -v git >/dev/null; then git init -q . || fail "git init"; fi
  printf 'int  main( ){return 0;}\n' >bad.cpp
  printf 'int main() { return 0; }\n' >good.cpp
  out=$(scripts/format --check 2>&1)
  status=$?
  [ "$status" -eq 1 ] || fail "--check on a file that differs: status $status ($out)"
  grep -qx "not formatted: bad.cpp" <<<"$out" || fail "--check does not name bad.cpp: $out"
  ! grep -q "good.cpp" <<<"$out" || fail "--check names good.cpp: $out"
  [ "$(cat good.cpp)" = "int main() { return 0; }" ] || fail "--check changed a file"
  scripts/format >/dev/null 2>&1 || fail "formatting in place failed"
  scripts/format --check >/dev/null 2>&1 || fail "--check fails after formatting"
  scripts/format --bogus >/dev/null 2>&1
  [ $? -eq 2 ] || fail "a bad argument is not refused with 2"
  ;;
*) fail "no such case: $2" ;;
esac
echo "ok: $2"
