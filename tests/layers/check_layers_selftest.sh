#!/bin/sh
# The layering check on a small tree of its own: a clean stack passes; an
# include upwards, one beside and one outside the stack each fail it.
set -eu
check=${1:?usage: check_layers_selftest.sh <check_layers.sh>}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/top" "$work/a" "$work/b" "$work/low"
cat >"$work/README.md" <<'MD'
<!-- layers -->
```
top/     the top
a/ b/    two beside each other
low/     the bottom
```
<!-- /layers -->
MD
echo '#include "low/L.h"' >"$work/a/A.cpp"
printf '#include "a/A.h"\n#include "b/B.h"\n#include <vector>\n' >"$work/top/T.cpp"
echo '#include "low/L.h"' >"$work/low/L.cpp"
"$check" "$work" || { echo "selftest: a clean stack failed"; exit 1; }

fails() {
  if out=$("$check" "$work"); then echo "selftest: not caught: $1"; exit 1; fi
  echo "$out" | grep -q "$2" || { echo "selftest: wrong report for $1: $out"; exit 1; }
}
echo '#include "top/T.h"' >"$work/low/Up.h"
fails "an include upwards" "low/Up.h:1: low/ includes top/ above it"
rm "$work/low/Up.h"
echo '  #  include "b/B.h"' >"$work/a/Side.cpp"
fails "an include beside" "a/Side.cpp:1: a/ includes b/ beside it"
rm "$work/a/Side.cpp"
echo '#include "elsewhere/E.h"' >"$work/b/Out.cpp"
fails "an include outside" "not in the stack"
echo "selftest: passed"
