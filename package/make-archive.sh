#!/bin/sh
# Writes the release archive, the same bytes from the same inputs.
#
# Usage: make-archive.sh ARCHIVE SOURCE_DIR [text:]NAME=FILE...
#
# Each FILE goes into ARCHIVE as NAME, in the order given. A text: entry is
# converted from UTF-8 with LF line ends to Shift_JIS (code page 932) with
# CR LF, the form plug-in readmes take on Japanese Windows; any other entry
# is copied as it is.
#
# Every entry gets the time of the commit checked out in SOURCE_DIR
# (SOURCE_DATE_EPOCH, when set, wins) and mode 644; the archive holds no
# directory entries and no extra fields (Unix times, uid, gid).
set -eu
[ $# -ge 3 ] || { echo "usage: $0 ARCHIVE SOURCE_DIR [text:]NAME=FILE..." >&2; exit 2; }
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
source=$2
shift 2

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=$SOURCE_DATE_EPOCH
else
  epoch=$(git -C "$source" log -1 --format=%ct 2>/dev/null || true)
  # Outside a clone: 1980-01-01, the earliest time a zip entry can hold.
  [ -n "$epoch" ] || epoch=315532800
fi
# A zip entry holds a local time without a zone: reckon it in UTC.
export TZ=UTC0 LC_ALL=C
stamp=$(date -d "@$epoch" +%Y%m%d%H%M.%S)

stage=$(mktemp -d "$archive.stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
names=""
for entry; do
  case $entry in
    text:*) entry=${entry#text:} convert=yes ;;
    *) convert=no ;;
  esac
  name=${entry%%=*} file=${entry#*=}
  mkdir -p "$stage/$(dirname "$name")"
  if [ $convert = yes ]; then
    iconv -f UTF-8 -t CP932 "$file" > "$stage/$name.cp932"
    sed 's/\r*$/\r/' "$stage/$name.cp932" > "$stage/$name"
    rm "$stage/$name.cp932"
  else
    cp "$file" "$stage/$name"
  fi
  chmod 644 "$stage/$name"
  touch -t "$stamp" "$stage/$name"
  names="$names $name"
done

rm -f "$archive"
# shellcheck disable=SC2086 # the names hold no blanks
(cd "$stage" && zip -q -X -D -9 "$archive" $names)
