#!/bin/sh
# The layering check on a small tree of its own: a clean stack passes; an
# include upwards, one beside and one outside the stack each fail it, and so
# does a source list that reaches up, aside or out of its library's folders.
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
<!-- libraries -->
```
base      a/ low/
```
<!-- /libraries -->
MD
# base is defined at the top and held by a/ and low/; the others by the
# folder that defines them.
printf 'add_library(base STATIC)\n# target_sources(base PRIVATE top/T.cpp) in a comment\n' >"$work/CMakeLists.txt"
echo 'target_sources(base PRIVATE L.cpp)' >"$work/low/CMakeLists.txt"
: >"$work/b/CMakeLists.txt"
printf 'target_sources(base\n  PRIVATE A.cpp sub/S.cpp ${CMAKE_CURRENT_SOURCE_DIR}/A2.cpp)\n' >"$work/a/CMakeLists.txt"
printf 'add_library(toplib STATIC T.cpp ../top/T2.cpp)\nadd_executable(prog main.cpp)\nmy_target_sources(base T.cpp)\n' >"$work/top/CMakeLists.txt"
printf 'target_sources(toplib PRIVATE "${CMAKE_SOURCE_DIR}/top/T3.cpp")\n' >>"$work/top/CMakeLists.txt"
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
rm "$work/b/Out.cpp"
"$check" "$work" || { echo "selftest: the clean stack failed again"; exit 1; }

# Source lists: each case is appended to a CMakeLists.txt, checked, taken out.
lists() {
  cp "$work/$1" "$work/saved"
  printf '%s\n' "$2" >>"$work/$1"
  fails "$3" "$4"
  mv "$work/saved" "$work/$1"
}
lists top/CMakeLists.txt 'target_sources(base PRIVATE Up.cpp)' \
  "an upper folder adding to a lower library" "top/CMakeLists.txt: base compiles top/Up.cpp, outside its folders (a/ low/)"
lists low/CMakeLists.txt 'add_library(lowlib STATIC L2.cpp ${CMAKE_SOURCE_DIR}/top/T.cpp)' \
  "a lower library naming an upper source" "low/CMakeLists.txt: lowlib compiles top/T.cpp, outside its folders (low/)"
lists low/CMakeLists.txt 'target_sources(base PRIVATE "${PROJECT_SOURCE_DIR}/top/T.cpp")' \
  "a quoted upper source" "low/CMakeLists.txt: base compiles top/T.cpp, outside its folders (a/ low/)"
lists b/CMakeLists.txt 'add_library(blib STATIC B.cpp ../a/A.cpp)' \
  "a library naming a source beside it" "b/CMakeLists.txt: blib compiles a/A.cpp, outside its folders (b/)"
lists CMakeLists.txt 'target_sources(base PRIVATE b/B.cpp)' \
  "the top adding a folder a library does not hold" "CMakeLists.txt: base compiles b/B.cpp, outside its folders (a/ low/)"
lists a/CMakeLists.txt 'target_sources(zvelse PRIVATE A3.cpp)' \
  "a library no folder holds" "zvelse holds no folder of the stack"
cp "$work/README.md" "$work/saved"
sed -i 's#^base      a/ low/#base      top/ low/#' "$work/README.md"
fails "a library of rows apart" "README: base holds folders on rows apart"
mv "$work/saved" "$work/README.md"
"$check" "$work" || { echo "selftest: the clean stack failed at the end"; exit 1; }
echo "selftest: passed"
