#!/bin/sh
# Configures and builds a second tree from the same sources, at another path
# and another time, and compares the shipped files with the first tree's:
# nothing of the time, the tree's path or the build order may get into them.
#
# Usage: check_reproducible.sh FIRST_TREE SECOND_TREE SOURCE_DIR FILE... -- CMAKE_ARGS...
#   FILE: a path relative to the tree (the DLL, saori-call.exe, the archive)
set -eu
first=$1 second=$2 source=$3
shift 3
files=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  files="$files $1"
  shift
done
[ $# -gt 0 ] && shift

rm -rf "$second"
log=$second.log
if ! { cmake -S "$source" -B "$second" -DSAORI_TESTS=OFF "$@" &&
       cmake --build "$second" --target release_archive -j 2; } > "$log" 2>&1; then
  cat "$log" >&2
  echo "FAIL: the second tree did not build" >&2
  exit 1
fi

failures=0
for file in $files; do
  if cmp "$first/$file" "$second/$file"; then
    echo "same bytes: $file ($(wc -c < "$first/$file") bytes)"
  else
    echo "FAIL: $file differs between $first and $second" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && rm -rf "$second" "$log"
exit "$failures"
