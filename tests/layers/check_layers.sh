#!/bin/sh
# The rule of the folders, read from <top>/README.md:
# - The stack between the lines "<!-- layers -->" and "<!-- /layers -->" (top
#   row first; the folders named at the start of one row stand beside each
#   other). A folder may include its own files and those of folders on rows
#   below it; an #include "folder/..." of one above it, beside it or outside
#   the stack is a fault.
# - The libraries between "<!-- libraries -->" and "<!-- /libraries -->":
#   each line names a library and the folders it holds, which must be rows
#   next to each other. Any other library holds the one folder whose
#   CMakeLists.txt defines it. Every source that add_library, add_executable
#   or target_sources give a library, in the top CMakeLists.txt and those of
#   the stack's folders, must lie in one of the library's folders: a folder
#   never adds its sources to a library of another floor, nor names the
#   sources of another folder.
# Prints each fault and exits 1.
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
# The libraries: "library folder..." pairs from the README.
libs=$(awk '
  /^<!-- libraries -->/ { on = 1; next }
  /^<!-- \/libraries -->/ { on = 0 }
  on && !/^```/ && NF > 1 && $2 ~ /\/$/ {
    line = $1
    for (i = 2; i <= NF && $i ~ /\/$/; ++i) line = line " " substr($i, 1, length($i) - 1)
    print line
  }' "$readme")

# The CMake files: the top one and every one in the stack's folders.
cmakes=$(cd "$top" && {
  [ -f CMakeLists.txt ] && echo CMakeLists.txt
  for folder in $(echo "$table" | awk '{ print $1 }'); do
    [ -d "$folder" ] && find "$folder" -name CMakeLists.txt | sort
  done
} || true)
if [ -n "$cmakes" ]; then
  out=$(cd "$top" && awk -v table="$table" -v libs="$libs" '
    function normal(path,   n, p, i, k, out, r) {
      # The path relative to the top after "." and ".." ("../..." when it leaves the top).
      n = split(path, p, "/"); k = 0
      for (i = 1; i <= n; ++i) {
        if (p[i] == "" || p[i] == ".") continue
        if (p[i] == "..") { if (k == 0) return "../" path; --k; continue }
        out[++k] = p[i]
      }
      r = ""
      for (i = 1; i <= k; ++i) r = r (i > 1 ? "/" : "") out[i]
      return r
    }
    function folder_of(path) {
      # The first folder of a normal path; "" for a file of the top.
      return index(path, "/") ? substr(path, 1, index(path, "/") - 1) : ""
    }
    function resolve(src, dir) {
      if (src ~ /^\$\{(CMAKE|PROJECT)_SOURCE_DIR\}\//) { sub(/^\$\{[A-Z_]+\}\//, "", src); return src }
      if (src ~ /^\$\{CMAKE_CURRENT_(SOURCE|LIST)_DIR\}\//) sub(/^\$\{[A-Z_]+\}\//, "", src)
      else if (src ~ /^[$\/]/) return ""
      return dir == "" ? src : dir "/" src
    }
    BEGIN {
      n = split(table, t, "\n")
      for (i = 1; i <= n; ++i) { split(t[i], p, " "); lv[p[1]] = p[2] + 0; used[p[2] + 0] = 1 }
      n = split(libs, l, "\n")
      for (i = 1; i <= n; ++i) {
        m = split(l[i], p, " ")
        if (m < 2) continue
        holds[p[1]] = " "; lo = 0; hi = 0
        for (j = 2; j <= m; ++j) {
          holds[p[1]] = holds[p[1]] p[j] " "
          if (!(p[j] in lv)) { print "README: " p[1] " holds " p[j] "/, which is not in the stack"; continue }
          if (lo == 0 || lv[p[j]] < lo) lo = lv[p[j]]
          if (lv[p[j]] > hi) hi = lv[p[j]]
          seen[p[1], lv[p[j]]] = 1
        }
        for (r = lo + 1; r < hi; ++r)
          if ((r in used) && !((p[1], r) in seen)) { print "README: " p[1] " holds folders on rows apart, not the rows between"; break }
      }
    }
    FNR == 1 { files[++nfiles] = FILENAME }
    { sub(/#.*/, ""); text[FILENAME] = text[FILENAME] " " $0 }
    END {
      # Which folder defines each library (the top one is "").
      for (f = 1; f <= nfiles; ++f) {
        s = text[files[f]]; dir = files[f]; sub(/\/?CMakeLists\.txt$/, "", dir)
        while (match(s, /(^|[^A-Za-z0-9_])add_(library|executable)[ \t]*[(][ \t]*[A-Za-z0-9_.+-]+/)) {
          c = substr(s, RSTART, RLENGTH); sub(/^[^(]*[(][ \t]*/, "", c)
          if (!(c in home)) home[c] = folder_of(normal(dir "/x"))
          s = substr(s, RSTART + RLENGTH)
        }
      }
      for (f = 1; f <= nfiles; ++f) {
        file = files[f]; s = text[file]; dir = file; sub(/\/?CMakeLists\.txt$/, "", dir)
        while (match(s, /(^|[^A-Za-z0-9_])(add_library|add_executable|target_sources)[ \t]*[(][^)]*[)]/)) {
          c = substr(s, RSTART, RLENGTH); s = substr(s, RSTART + RLENGTH)
          sub(/^[^(]*[(]/, "", c); sub(/[)]$/, "", c)
          m = split(c, a, /[ \t]+/); lib = ""
          for (i = 1; i <= m; ++i) {
            gsub(/"/, "", a[i])
            if (a[i] == "") continue
            if (lib == "") { lib = a[i]; continue }
            if (a[i] ~ /^(STATIC|SHARED|MODULE|OBJECT|INTERFACE|PRIVATE|PUBLIC|EXCLUDE_FROM_ALL|WIN32|MACOSX_BUNDLE)$/) continue
            if (a[i] ~ /^(IMPORTED|ALIAS|GLOBAL)$/) break
            path = resolve(a[i], dir)
            if (path == "") continue
            path = normal(path)
            to = folder_of(path)
            mine = (lib in holds) ? holds[lib] : ((lib in home && home[lib] != "") ? " " home[lib] " " : "")
            if (mine == "") { print file ": " lib " holds no folder of the stack (name its folders in the README)"; break }
            if (index(mine, " " to " ") == 0) {
              w = mine; gsub(/ /, "/ ", w); sub(/^\/ /, "", w); sub(/ $/, "", w)
              print file ": " lib " compiles " path ", outside its folders (" w ")"
            }
          }
        }
      }
    }' $cmakes)
  if [ -n "$out" ]; then
    echo "$out"
    faults=1
  fi
fi
exit $faults
