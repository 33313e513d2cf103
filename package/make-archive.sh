#!/bin/sh
# Writes the release archive, the same bytes from the same inputs.
#
# Usage: make-archive.sh ARCHIVE SOURCE_DIR [text:|utf8:]NAME=FILE...
#
# Each FILE goes into ARCHIVE as NAME, in the order given. FILE is UTF-8 with
# LF line ends when it has a prefix. A text: entry is converted to Shift_JIS
# (code page 932) with CR LF, the form plug-in readmes take on Japanese
# Windows; a utf8: entry stays UTF-8 (checked as such) and gets CR LF, for a
# script engine that reads UTF-8. Any other entry is copied as it is.
#
# Every entry gets the time of the commit checked out in SOURCE_DIR
# (SOURCE_DATE_EPOCH, when set, wins) and mode 644; the archive holds no
# directory entries and no extra fields (Unix times, uid, gid).
set -eu
[ $# -ge 3 ] || { echo "usage: $0 ARCHIVE SOURCE_DIR [text:|utf8:]NAME=FILE..." >&2; exit 2; }
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
    text:*) entry=${entry#text:} charset=CP932 ;;
    utf8:*) entry=${entry#utf8:} charset=UTF-8 ;;
    *) charset= ;;
  esac
  name=${entry%%=*} file=${entry#*=}
  mkdir -p "$stage/$(dirname "$name")"
  if [ -n "$charset" ]; then
    # iconv first, on its own, so that a text it cannot read stops the build.
    iconv -f UTF-8 -t "$charset" "$file" > "$stage/$name.converted"
    sed 's/\r*$/\r/' "$stage/$name.converted" > "$stage/$name"
    rm "$stage/$name.converted"
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
