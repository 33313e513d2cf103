#!/bin/sh
# Checks the release archive against this build tree and the sources:
#  - it holds exactly the expected entries, in this order, without extra
#    fields;
#  - its DLL and tools are the binaries of this tree (the ones the
#    other tests ran), its LICENSE the repository's;
#  - readme.txt and the samples have CR LF line ends and are in their
#    charset (the YAYA sample UTF-8, the others Shift_JIS, which a sample's
#    first line names): they decode through iconv to their UTF-8 sources (the
#    readme with its version filled in) and encode back to the same bytes;
#  - every error message the readme or a sample quotes is one the DLL sends
#    (engine/messages.h), and the readme quotes every one of them;
#  - each sample calls the three commands and defines the names authors' copies
#    use, and the readme's history has an entry for this version.
#
# Usage: check_release.sh ARCHIVE PLUGIN_DLL SAORI_CALL_EXE SPEECH_CHECK_EXE SOURCE_DIR VERSION
set -u
archive=$1 plugin=$2 tool=$3 check=$4 source=$5 version=$6
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

[ -f "$archive" ] || { echo "FAIL: $archive is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected="saori_speech.dll
readme.txt
samples/yaya.dic
samples/kawari.txt
samples/dic_saori_speech.txt
tools/saori-call.exe
tools/speech-check.exe
LICENSE"
actual=$(unzip -Z1 "$archive")
[ "$actual" = "$expected" ] || fail "the archive holds [$(echo $actual)], expected [$(echo $expected)]"
unzip -q -d "$work/x" "$archive" || fail "cannot extract $archive"
# No extra fields: they would carry the builder's uid, gid and access times.
zipinfo -v "$archive" | grep 'length of extra field:' | grep -qv ' 0 bytes' &&
  fail "the archive's entries carry extra fields"

for pair in "saori_speech.dll=$plugin" "tools/saori-call.exe=$tool" "tools/speech-check.exe=$check" \
  "LICENSE=$source/LICENSE"; do
  cmp -s "$work/x/${pair%%=*}" "${pair#*=}" || fail "${pair%%=*} differs from ${pair#*=}"
done

# The messages the DLL sends, as UTF-8: the Shift_JIS bytes of each constant
# in engine/messages.h (its adjacent literals joined, its \xHH escapes turned
# into the octal escapes every printf reads), decoded by iconv.
export LC_ALL=C.UTF-8
LC_ALL=C awk '
  function octal(text,   out, i, hex) {
    out = ""
    while ((i = index(text, "\\x")) > 0) {
      hex = tolower(substr(text, i + 2, 2))
      out = out substr(text, 1, i - 1) sprintf("\\%03o", \
            (index("0123456789abcdef", substr(hex, 1, 1)) - 1) * 16 + \
            index("0123456789abcdef", substr(hex, 2, 1)) - 1)
      text = substr(text, i + 4)
    }
    return out text
  }
  /constexpr ByteView/ { in_text = 1; text = "" }
  in_text {
    line = $0
    while (match(line, /"[^"]*"/)) {
      text = text substr(line, RSTART + 1, RLENGTH - 2)
      line = substr(line, RSTART + RLENGTH)
    }
    if ($0 ~ /;[ \t]*$/) { in_text = 0; gsub(/%/, "%%", text); print octal(text) }
  }' "$source/engine/messages.h" |
  while IFS= read -r format; do
    # shellcheck disable=SC2059 # the line is the format
    printf "$format\n"
  done | iconv -f CP932 -t UTF-8 | sort -u > "$work/dll-messages"
[ -s "$work/dll-messages" ] || fail "no message found in $source/engine/messages.h"

# Quoted messages end at white space or a closing bracket that none in the
# message opened; the readme writes the number of the numbered ones as
# (番号), the voice folder's path as （声のフォルダ）.
quoted_messages() {
  grep -oE 'エラー：([^[:space:]「」]|「[^」]*」)*' "$1" | sed 's/(番号)$/(%d)/; s/「（声のフォルダ）」/「%s」/' | sort -u
}

cr=$(printf '\r')
mkdir "$work/text" "$work/text/samples"
# Each text, the charset it ships in (as iconv names it) and, for a sample,
# the name of that charset its first line gives.
while read -r name charset label; do
  file=$work/x/$name text=$work/text/$name
  [ -f "$file" ] || continue
  utf8_source=$source/package/$name
  tr -d '\r' < "$file" | sed "s/\$/$cr/" | cmp -s - "$file" ||
    fail "$name: not every line ends with CR LF"
  iconv -f "$charset" -t UTF-8 "$file" > "$work/decoded" || fail "$name does not decode as $charset"
  iconv -f UTF-8 -t "$charset" "$work/decoded" | cmp -s - "$file" || fail "$name: $charset round trip differs"
  tr -d '\r' < "$work/decoded" > "$text"
  sed "s/@PROJECT_VERSION@/$version/g" "$utf8_source" | cmp -s - "$text" ||
    fail "$name does not decode to its source $utf8_source"

  quoted_messages "$text" > "$work/quoted"
  unknown=$(comm -23 "$work/quoted" "$work/dll-messages")
  [ -z "$unknown" ] || fail "$name quotes messages the DLL does not send: $unknown"
  case $name in
    readme.txt)
      missing=$(comm -13 "$work/quoted" "$work/dll-messages")
      [ -z "$missing" ] || fail "readme.txt lacks messages the DLL sends: $missing"
      grep -qx "$version" "$text" || fail "readme.txt has no history entry for $version"
      ;;
    *)
      head -n 1 "$text" | grep -qF "$label" || fail "$name: its first line does not name $label"
      for command in PLAYSYNC CREATEWAV VOICE; do
        grep -q "$command" "$text" || fail "$name does not call $command"
      done
      ;;
  esac
done <<'EOF'
readme.txt CP932
samples/yaya.dic UTF-8 UTF-8
samples/kawari.txt CP932 Shift_JIS
samples/dic_saori_speech.txt CP932 Shift_JIS
EOF

# The names each sample defines, which authors' copies call, and the
# registration lines its header shows (extended regular expressions on the
# decoded text).
while IFS='|' read -r name pattern; do
  [ -f "$work/text/$name" ] || continue
  grep -Eq "$pattern" "$work/text/$name" || fail "$name defines nothing like /$pattern/"
done <<'EOF'
samples/yaya.dic|^SpeechSay$
samples/yaya.dic|^SpeechSave$
samples/yaya.dic|^SpeechVoice$
samples/yaya.dic|^SpeechVoiceHello$
samples/yaya.dic|^SpeechVoiceKero$
samples/yaya.dic|^SpeechDialogueHello$
samples/yaya.dic|^SpeechReportEveryTalk \{ 0 \}$
samples/kawari.txt|^#   saori : saori_speech\.dll, speech$
samples/kawari.txt|^#   saori : kero\\saori_speech\.dll, speech\.kero$
samples/kawari.txt|^speech\.hello :
samples/kawari.txt|^speech\.slowly :
samples/kawari.txt|^speech\.save :
samples/kawari.txt|^speech\.voice\.hello :
samples/kawari.txt|^speech\.dialogue :
samples/dic_saori_speech.txt|＠SAORI$
samples/dic_saori_speech.txt|speech,saori_speech\.dll$
samples/dic_saori_speech.txt|speech\.kero,kero\\saori_speech\.dll$
samples/dic_saori_speech.txt|（speech,[A-Z]+,
samples/dic_saori_speech.txt|^＠声を付ける$
samples/dic_saori_speech.txt|^＠けろの声を付ける$
samples/dic_saori_speech.txt|^＠声の報告$
EOF
# Kawari keeps one of two system.OnLoad entries at random: the ghost has its
# own, so the sample registers the plug-in in kawari.ini instead.
[ -f "$work/text/samples/kawari.txt" ] && grep -q '^system\.OnLoad' "$work/text/samples/kawari.txt" &&
  fail "samples/kawari.txt defines system.OnLoad, which the ghost it goes into has already"

if [ "$failures" -ne 0 ]; then
  echo "$failures release check(s) failed" >&2
  exit 1
fi
echo "release archive checks passed: $(wc -l < "$work/dll-messages") messages"
