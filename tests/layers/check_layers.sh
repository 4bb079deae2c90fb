#!/bin/sh
# The include rule of the folders: reads the stack drawn in <top>/README.md
# between the lines "<!-- layers -->" and "<!-- /layers -->" (top row first;
# the folders named at the start of one row stand beside each other) and
# every #include "folder/..." in those folders' sources. A folder may include
# its own files and those of folders on rows below it; one above it, beside
# it or outside the stack is a fault. Prints each fault and exits 1.
#   check_layers.sh <top>
set -eu
top=${1:?usage: check_layers.sh <top>}
readme=$top/README.md

# "folder level" pairs; the bottom row is level 1.
table=$(awk '
  BEGIN { rows = 0 }
  /^<!-- layers -->/ { on = 1; next }
  /^<!-- \/layers -->/ { on = 0 }
  on && !/^```/ && NF {
    for (i = 1; i <= NF && $i ~ /\/$/; ++i) row[rows] = row[rows] " " substr($i, 1, length($i) - 1)
    ++rows
  }
  END {
    for (r = 0; r < rows; ++r) {
      n = split(row[r], f, " ")
      for (i = 1; i <= n; ++i) print f[i], rows - r
    }
  }' "$readme")
if [ -z "$table" ]; then
  echo "check_layers: no stack between <!-- layers --> and <!-- /layers --> in $readme"
  exit 1
fi

faults=0
for folder in $(echo "$table" | awk '{ print $1 }'); do
  [ -d "$top/$folder" ] || { echo "check_layers: $folder/ is in the stack but not in the tree"; faults=1; continue; }
  level=$(echo "$table" | awk -v f="$folder" '$1 == f { print $2 }')
  # file:line:folder of every quoted include with a folder part.
  hits=$(cd "$top" && grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"/]+/' \
           --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.cc' "$folder" |
         sed -E 's/^([^:]+:[0-9]+):.*"([^"/]+)\/$/\1 \2/' || true)
  [ -n "$hits" ] || continue
  out=$(echo "$hits" | awk -v me="$folder" -v level="$level" -v table="$table" '
    BEGIN { n = split(table, t, "\n"); for (i = 1; i <= n; ++i) { split(t[i], p, " "); lv[p[1]] = p[2] } }
    {
      to = $2
      if (to == me) next
      if (!(to in lv)) { print $1 ": " me "/ includes " to "/, which is not in the stack"; next }
      if (lv[to] == level) print $1 ": " me "/ includes " to "/ beside it"
      else if (lv[to] > level) print $1 ": " me "/ includes " to "/ above it"
    }')
  if [ -n "$out" ]; then
    echo "$out"
    faults=1
  fi
done
exit $faults
