#!/bin/sh
# Checks the built Windows binaries from the outside, with objdump:
#  - saori_speech.dll is 32-bit, exports exactly load, request and unload
#    under those plain names, and imports only system DLLs (no MinGW runtime
#    DLL that a host's folder would lack);
#  - each stand-in engine DLL exports its entry points under their plain,
#    undecorated names (no leading underscore, no @N), exactly the set its
#    variant is meant to have, and also imports only system DLLs;
#  - each STRIPPED binary (the shipped ones, in a release build) has no
#    debugging sections.
#
# Usage: check_binary.sh OBJDUMP PLUGIN_DLL STANDIN_DIR [STRIPPED...]
set -u
objdump=${1:-i686-w64-mingw32-objdump} plugin=${2:?plugin DLL} standin=${3:?stand-in directory}
shift 3
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Exported names, one per line, sorted.
exports_of() {
  "$objdump" -p "$1" | awk '
    /^\[(Ordinal\/Name Pointer|Name Pointer\/Ordinal)\] Table$/ { in_names = 1; next }
    in_names && /^[ \t]*$/ { in_names = 0 }
    in_names && /^\t\[ *[0-9]+\] / { print $NF }' | LC_ALL=C sort
}

# Imported DLL names, one per line, lower case.
imports_of() {
  "$objdump" -p "$1" | sed -n 's/^[ \t]*DLL Name: //p' | tr 'A-Z' 'a-z' | LC_ALL=C sort -u
}

check_exports() {  # file, expected names separated by spaces
  file=$1
  shift
  if [ ! -f "$file" ]; then
    fail "$file is missing"
    return
  fi
  expected=$(printf '%s\n' "$@" | sed '/^$/d' | LC_ALL=C sort)
  actual=$(exports_of "$file")
  if [ "$actual" != "$expected" ]; then
    fail "$file exports [$(echo $actual)], expected [$(echo $expected)]"
  fi
}

check_imports() {  # file
  imports=$(imports_of "$1")
  [ -n "$imports" ] || fail "$1: no import table found"
  for dll in $imports; do
    case $dll in
      kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll | ntdll.dll | ucrtbase.dll | \
        api-ms-win-*.dll) ;;
      *) fail "$1 imports $dll, which is not a Windows system DLL" ;;
    esac
  done
}

check_machine() {  # file
  "$objdump" -f "$1" | grep -q 'file format pei-i386' || fail "$1 is not a 32-bit x86 PE file"
}

for file in "$plugin" "$standin"/*/AquesTalk*.dll; do
  if [ ! -f "$file" ]; then
    fail "$file is missing"
    continue
  fi
  check_machine "$file"
  check_imports "$file"
done

check_exports "$plugin" load request unload

for file in "$@"; do
  debug=$("$objdump" -h "$file" | awk '$2 ~ /^\.z?debug/ { print $2 }')
  [ -z "$debug" ] || fail "$file has debugging sections:" $debug
done

check_exports "$standin/complete/AquesTalk.dll" AquesTalk_Synthe AquesTalk_FreeWave
check_exports "$standin/complete/AquesTalkDa.dll" AquesTalkDa_PlaySync
check_exports "$standin/no-synthesis-library/AquesTalkDa.dll" AquesTalkDa_PlaySync
check_exports "$standin/no-synthe/AquesTalk.dll" AquesTalk_FreeWave
check_exports "$standin/no-synthe/AquesTalkDa.dll" AquesTalkDa_PlaySync
check_exports "$standin/no-freewave/AquesTalk.dll" AquesTalk_Synthe
check_exports "$standin/no-freewave/AquesTalkDa.dll" AquesTalkDa_PlaySync
check_exports "$standin/no-playback-library/AquesTalk.dll" AquesTalk_Synthe AquesTalk_FreeWave
check_exports "$standin/no-playsync/AquesTalk.dll" AquesTalk_Synthe AquesTalk_FreeWave
check_exports "$standin/no-playsync/AquesTalkDa.dll"

# The variants that lack a library really lack it.
for missing in no-synthesis-library/AquesTalk.dll no-playback-library/AquesTalkDa.dll; do
  [ ! -e "$standin/$missing" ] || fail "$standin/$missing should not exist"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures binary check(s) failed" >&2
  exit 1
fi
echo "binary checks passed"
