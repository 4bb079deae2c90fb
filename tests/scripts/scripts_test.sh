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
format-names)
  # --check holds the include groups and the names of docs/CONVENTIONS.md:
  # each row is a file put into an otherwise clean tree, whether the check
  # passes with it, and what the check says when it fails. A name the
  # conventions' table of kept names lists stands.
  kept='<!-- kept names -->
| File | Names | By the rules |
|---|---|---|
| `old.cpp` | `PROBE_LINE_LIMIT` | `kProbeLineLimit` |
<!-- /kept names -->'
  anon() { printf '%s' 'namespace {\n\nconstexpr int '"$1"' = 120;\n\n}  // namespace\n'; }
  rows=(
    "probe.cpp|fail|not formatted: probe.cpp|#include \"screens/Probe.h\"\n#include \"report/Probe.h\"\n"
    "probe.cpp|pass||#include \"report/Probe.h\"\n\n#include \"screens/Probe.h\"\n"
    "probe.cpp|fail|probe.cpp:3: PROBE_LINE_LIMIT: SCREAMING_CASE|$(anon PROBE_LINE_LIMIT)"
    "probe.cpp|fail|probe.cpp:3: ProbeLineLimit: a constant of one .cpp file is kName|$(anon ProbeLineLimit)"
    "probe.cpp|pass||$(anon kProbeLineLimit)"
    "old.cpp|pass||$(anon PROBE_LINE_LIMIT)"
    "probe.cpp|fail|probe.cpp:1: PROBE_LINES: SCREAMING_CASE|static const int PROBE_LINES = 4;\n"
    "probe.cpp|fail|probe.cpp:1: FrameGap: a constant of one .cpp file is kName|constexpr int FrameGap = 4;\n"
    "probe.cpp|fail|probe.cpp:1: LINE_GAP: SCREAMING_CASE|constexpr int kFrameGap = 4, LINE_GAP = 2;\n"
    "probe.cpp|pass||const char* const Texts[2] = {\"a\", \"b\"};\n"
    "probe.cpp|pass||int F() {\n    const int lines = 4;\n    return lines;\n}\n"
    "probe.h|fail|probe.h:1: PROBE_LINES: SCREAMING_CASE|constexpr int PROBE_LINES = 4;\n"
    "probe.h|fail|probe.h:1: kProbeLines: a constant in a header is PascalCase|constexpr int kProbeLines = 4;\n"
    "probe.h|fail|probe.h:2: REPORT_LINES: SCREAMING_CASE|struct sProbe {\n    static constexpr int REPORT_LINES = 4;\n};\n"
    "link/Protocol.h|pass||constexpr int PROBE_LINES = 4;\n"
    "probe.h|fail|probe.h:1: eProbe: a plain enum says its type|enum eProbe { ProbeA, ProbeB };\n"
    "probe.h|pass||enum eProbe : int { PROBE_A, PROBE_B };\n"
    "probe.h|fail|probe.h:1: PROBE_B: a value of an enum class is PascalCase|enum class eProbe { ProbeA, PROBE_B };\n"
    "probe.h|fail|probe.h:1: Probe: an enumeration is eName|enum class Probe { ProbeA, ProbeB };\n"
    "probe.h|fail|probe.h:1: Probe: an enumeration is eName|enum Probe : int { PROBE_A };\n"
    "probe.h|fail|probe.h:1: Probe: a class is cName|class Probe {};\n"
    "probe.h|fail|probe.h:1: Draw: a type alias is tName|using Draw = int;\n"
    "tests/ProbeTest.h|pass||class ProbeTest {};\n"
    "probe.h|fail|probe.h:1: probe: a namespace is PascalCase|namespace probe {}  // namespace probe\n"
    "tests/ProbeTest.h|pass||namespace probetest {}  // namespace probetest\n"
  )
  for row in "${rows[@]}"; do
    IFS='|' read -r file want says text <<<"$row"
    rm -rf "$work/tree"
    mkdir -p "$work/tree/scripts" "$work/tree/docs" "$work/tree/$(dirname "$file")"
    cp "$top/scripts/format" "$work/tree/scripts/"
    cp "$top/.clang-format" "$work/tree/"
    printf '%s\n' "$kept" >"$work/tree/docs/CONVENTIONS.md"
    printf 'int main() { return 0; }\n' >"$work/tree/good.cpp"
    printf '%b' "$text" >"$work/tree/$file"
    out=$(cd "$work/tree" && scripts/format --check 2>&1)
    status=$?
    case "$want" in
    pass) [ "$status" -eq 0 ] || fail "--check fails on $file: $out ($text)" ;;
    fail)
      [ "$status" -eq 1 ] || fail "--check on $file: status $status, want 1 ($text)"
      grep -qF "$says" <<<"$out" || fail "--check on $file does not say \"$says\": $out"
      ;;
    esac
  done
  ;;
*) fail "no such case: $2" ;;
esac
echo "ok: $2"
