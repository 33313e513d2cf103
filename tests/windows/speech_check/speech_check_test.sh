#!/bin/sh
# Tests of speech-check.exe, run natively by CTest:
#   sh speech_check_test.sh WINE_RUN CHECK_EXE TOOL_HOST_EXE PLUGIN_DLL
#      STANDIN_DIR NEEDS_SUPPORT_DLL DLL_64_BIT WORK VERSION NOT_READY_DLL
#      ECHO_DLL
# One folder per situation is laid out under WORK; the check runs on it and
# its report (Shift_JIS, CR LF) must be exactly the expected text, written
# here in UTF-8 and converted by iconv, and its exit status the expected one.
# The checks run in one tool host (tool_host.sh), the first one as the
# shipped program itself.
set -u
wine_run=$1 check=$2 tool_host_exe=$3 plugin=$4 standin=$5 needs_support=$6 dll_64_bit=$7 work=$8 version=$9
not_ready=${10} echo_dll=${11}
rm -rf "$work" && mkdir -p "$work" || exit 1
. "$(dirname "$0")/../tool_host.sh"
start_tool_host "$wine_run" "$tool_host_exe" "$work" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# lay NAME FILE=AS...: a folder NAME holding the plug-in and each FILE
# under the name AS (a path inside the folder).
lay() {
  dir=$work/$1
  shift
  mkdir -p "$dir" && cp "$plugin" "$dir/"
  for pair; do
    mkdir -p "$(dirname "$dir/${pair#*=}")" && cp "${pair%%=*}" "$dir/${pair#*=}"
  done
}

# check TAG FOLDER EXIT [ARGS...]: runs the check on FOLDER (from inside
# it); its report must be the text on standard input, where {D} stands for
# the folder's Windows path, and its exit status EXIT. With program=1 the
# shipped program runs, as Wine hands it a UTF-8 command line. The run's
# environment gets $variable (NAME=VALUE), by default the stand-in's log.
program=0 variable=
check() {
  tag=$1 folder=$work/$2 path=$(windows_path "$work/$2" | sed 's/\\/\\\\/g')
  # Shift_JIS has no ♡: the report holds a ? in its place.
  path=$(printf '%s' "$path" | sed 's/♡/?/g')
  sed "s|{D}|$path|g" | iconv -f UTF-8 -t CP932 >"$work/$tag.expected"
  echo "$3" >"$work/$tag.code"
  shift 3
  if [ "$program" -eq 1 ]; then
    (cd "$folder" && "$wine_run" "$check" "$@" >"$work/$tag.out" 2>"$work/$tag.err")
    rc=$?
  else
    run_tool speech-check "$folder" "" "$work/$tag.out" "$work/$tag.err" \
      "${variable:-AQUESTALK_STANDIN_LOG=${AQUESTALK_STANDIN_LOG:-}}" "$@"
  fi
  echo "$rc" >"$work/$tag.rc"
}

# compare TAG: the report and exit status of a finished check. The system's
# own text for an error depends on the system: only its line's start counts.
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
compare() {
  tr -d '\r' <"$work/$1.out" | LC_ALL=C awk -v p="$(sjis '・Windows の説明：')" -v q='[-] Windows says: ' '
    index($0, p) == 1 { $0 = p "*" } index($0, q) == 1 { $0 = q "*" } { print }' >"$work/$1.actual"
  [ "$(cat "$work/$1.rc")" = "$(cat "$work/$1.code")" ] ||
    fail "$1: exit status $(cat "$work/$1.rc"), expected $(cat "$work/$1.code")"
  cmp -s "$work/$1.expected" "$work/$1.actual" || {
    fail "$1: the report differs from the expected one (< expected, > actual):"
    iconv -f CP932 -t UTF-8 "$work/$1.expected" >"$work/$1.expected.txt"
    iconv -f CP932 -t UTF-8 "$work/$1.actual" | diff "$work/$1.expected.txt" -
  }
  [ -s "$work/$1.err" ] && fail "$1: standard error: $(cat "$work/$1.err")"
}

# Lines that recur.
P="○ プラグイン：{D}\\saori_speech.dll（バージョン $version）"
F="・ベースウェアがプラグインに伝えるフォルダ：{D}\\"
S="・AquesTalk.dll を探す場所：{D}\\AquesTalk.dll"
S_OK="○ AquesTalk.dll を読み込めました。必要な関数（AquesTalk_Synthe、AquesTalk_FreeWave）がそろっています。"
S_MISSING="× AquesTalk.dll がありません。プラグインと同じフォルダに置いてください。"
DA="・AquesTalkDa.dll を探す場所：{D}\\AquesTalkDa.dll"
DA_OK="○ AquesTalkDa.dll を読み込めました。必要な関数（AquesTalkDa_PlaySync）がそろっています。"
LOADED="○ プラグインの読み込み（load）の答え：1（音声エンジンを読み込めました）"
NOT_LOADED="× プラグインの読み込み（load）の答え：0（音声エンジンを読み込めませんでした）"
VERSION="○ バージョンの問い合わせ（GET Version）の答え：SAORI/1.0 200 OK"
GOOD="判定：問題は見つかりませんでした。"
BAD="判定：× の行を直してください。直したら、ゴーストを再読み込みしてください。"
complete=$standin/complete

# All present, the plug-in in the current folder, one PLAYSYNC. The check
# gives back every library it loaded (the stand-in logs each load and
# unload: the check's own binding, then the plug-in's) and writes no file.
lay complete "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll"
ls -R "$work/complete" >"$work/before"
export AQUESTALK_STANDIN_LOG="$work/engine.log"
program=1
check complete complete 0 --play 'こんにちは' <<END
$P
$F
$S
$S_OK
$DA
$DA_OK
$LOADED
$VERSION
○ PLAYSYNC「こんにちは」の答え：状態 200、結果なし（成功）
$GOOD
END
unset AQUESTALK_STANDIN_LOG
program=0

# A CREATEWAV the engine fails, in English, the plug-in named by its path.
check createwav complete 9 --lang en --wav ../out.wav '#fail:3' "$work/complete/saori_speech.dll" <<END
[ok] Plug-in: {D}\\saori_speech.dll (version $version)
[-] Folder the host passes to the plug-in's load: {D}\\
[-] Where the plug-in looks for AquesTalk.dll: {D}\\AquesTalk.dll
[ok] AquesTalk.dll loads and has the entry points it needs (AquesTalk_Synthe, AquesTalk_FreeWave).
[-] Where the plug-in looks for AquesTalkDa.dll: {D}\\AquesTalkDa.dll
[ok] AquesTalkDa.dll loads and has the entry points it needs (AquesTalkDa_PlaySync).
[ok] The plug-in's load answered 1 (the engine is loaded).
[ok] GET Version answered: SAORI/1.0 200 OK
[x] CREATEWAV "../out.wav" "#fail:3" answered: status 400, Result "エラー：CREATEWAV：Syntheのエラー(3)"
Verdict: fix the lines marked [x], then reload the ghost.
END

# One library missing, the folder named: what a script receives.
lay missing "$standin/no-synthesis-library/AquesTalkDa.dll=AquesTalkDa.dll"
check missing missing 4 --play 'あ' "$work/missing" <<END
$P
$F
$S
$S_MISSING
$DA
$DA_OK
$NOT_LOADED
$VERSION
× PLAYSYNC「あ」の答え：状態 400、結果「エラー：PLAYSYNC：音声エンジンが読み込まれていません」
$BAD
END

# Near-miss names (the other library's and another kind of file's are
# none), and the library one folder below.
lay similar "$complete/AquesTalk.dll=AquesTalk (1).dll" "$complete/AquesTalk.dll=AquesTalk.dll.dll" \
  "$complete/AquesTalkDa.dll=AquesTalkDa.dll" "$complete/AquesTalkDa.dll=AquesTalkDa (1).dll" \
  "$complete/AquesTalk.dll=AquesTalk.txt"
check similar similar 4 <<END
$P
$F
$S
$S_MISSING
・似た名前のファイル「AquesTalk (1).dll」があります。これがエンジンなら、名前を「AquesTalk.dll」に変えてください。
・似た名前のファイル「AquesTalk.dll.dll」があります。これがエンジンなら、名前を「AquesTalk.dll」に変えてください。
$DA
$DA_OK
$NOT_LOADED
$VERSION
$BAD
END
lay below "$complete/AquesTalk.dll=AquesTalk/AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalk/AquesTalkDa.dll"
check below below 4 <<END
$P
$F
$S
$S_MISSING
・一つ下のフォルダに「AquesTalk\\AquesTalk.dll」があります。プラグインと同じフォルダに移してください。
$DA
× AquesTalkDa.dll がありません。プラグインと同じフォルダに置いてください。
・一つ下のフォルダに「AquesTalk\\AquesTalkDa.dll」があります。プラグインと同じフォルダに移してください。
$NOT_LOADED
$VERSION
$BAD
END

# Files that are no 32-bit DLL, as their own header says: a text file and a
# 64-bit DLL.
lay header "$dll_64_bit=AquesTalkDa.dll"
echo 'AquesTalk' >"$work/header/AquesTalk.dll"
check header header 5 <<END
$P
$F
$S
× AquesTalk.dll は Windows の DLL として読み取れません（DLL ではないか、壊れています）。エンジンの配布元から入手し直してください。
$DA
× AquesTalkDa.dll は 64 ビット版の DLL です。プラグインは 32 ビットなので、32 ビット版のエンジンが必要です。
$NOT_LOADED
$VERSION
$BAD
END

# An engine of another edition, and a library whose own dependency is missing.
lay refused "$standin/no-freewave/AquesTalk.dll=AquesTalk.dll" "$needs_support=AquesTalkDa.dll"
check refused refused 7 <<END
$P
$F
$S
× AquesTalk.dll に関数 AquesTalk_FreeWave がありません。ほかの版のエンジンかもしれません。
$DA
× Windows が AquesTalkDa.dll を読み込めませんでした（エラー番号 126）。
・Windows の説明：*
・AquesTalkDa.dll が使う DLL「speech_check_support.dll」が見つかりません。エンジンの説明書で、必要なものと置き場所を確かめてください。
$NOT_LOADED
$VERSION
$BAD
END

# No plug-in in the current folder; the ghost's own folder given, the
# plug-in below it; the engine given instead of the plug-in.
NO_PLUGIN="判定：saori_speech.dll か、それがあるフォルダを、speech-check.exe の上にドロップしてください。"
mkdir -p "$work/empty"
check empty empty 3 <<END
× プラグインがありません：{D}\\saori_speech.dll
$NO_PLUGIN
END
lay ghost/ghost/master "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll"
check ghost ghost 3 "$work/ghost" <<END
× プラグインがありません：{D}\\saori_speech.dll
・プラグインはここにあります：{D}\\ghost\\master\\saori_speech.dll
$NO_PLUGIN
END
check engine complete 3 AquesTalk.dll <<END
× {D}\\AquesTalk.dll は、調べるプラグイン（saori_speech.dll）ではありません。
・プラグインはここにあります：{D}\\saori_speech.dll
$NO_PLUGIN
END

# The plug-in saved under another name is still the plug-in: its version
# resource says so.
lay renamed "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll"
mv "$work/renamed/saori_speech.dll" "$work/renamed/speech.dll"
check renamed renamed 0 speech.dll <<END
○ プラグイン：{D}\\speech.dll（バージョン $version）
$F
$S
$S_OK
$DA
$DA_OK
$LOADED
$VERSION
$GOOD
END

# A folder whose name the system's code page (1252 here, 932 on a Japanese
# system) cannot hold: a host passes it changed, and the plug-in finds no
# engine there.
lay "lossy-♡" "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll"
check lossy "lossy-♡" 3 <<END
$P
$F
× フォルダの名前に、ベースウェアがプラグインに伝えられない文字があります（上で「?」などに変わった文字）。プラグインはエンジンを探せません。その文字を使わない名前のフォルダに移してください。
$NOT_LOADED
$VERSION
$BAD
END

# A ghost's script engine beside the plug-in exports load, request and
# unload as the plug-in does; given it, the check names it as no plug-in
# and runs none of its code.
lay shiori "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll" "$echo_dll=yaya.dll"
variable="ECHO_PLUGIN_ATTACHED=$(windows_path "$work/shiori.attached")"
check shiori shiori 3 yaya.dll <<END
× {D}\\yaya.dll は、調べるプラグイン（saori_speech.dll）ではありません。
・プラグインはここにあります：{D}\\saori_speech.dll
$NO_PLUGIN
END
variable=

# The baseware's own folder given, the plug-in five folders down in a
# ghost's saori folder, the engine left one folder above it.
lay base/ghost/g/ghost/master/saori "$complete/AquesTalk.dll=../AquesTalk.dll" \
  "$complete/AquesTalkDa.dll=../AquesTalkDa.dll"
check baseware base 3 <<END
× プラグインがありません：{D}\\saori_speech.dll
・プラグインはここにあります：{D}\\ghost\\g\\ghost\\master\\saori\\saori_speech.dll
$NO_PLUGIN
END
check above base/ghost/g/ghost/master 4 saori <<END
○ プラグイン：{D}\\saori\\saori_speech.dll（バージョン $version）
・ベースウェアがプラグインに伝えるフォルダ：{D}\\saori\\
・AquesTalk.dll を探す場所：{D}\\saori\\AquesTalk.dll
$S_MISSING
・一つ上のフォルダに「{D}\\AquesTalk.dll」があります。プラグインと同じフォルダに移してください。
・AquesTalkDa.dll を探す場所：{D}\\saori\\AquesTalkDa.dll
× AquesTalkDa.dll がありません。プラグインと同じフォルダに置いてください。
・一つ上のフォルダに「{D}\\AquesTalkDa.dll」があります。プラグインと同じフォルダに移してください。
$NOT_LOADED
$VERSION
$BAD
END

# The engine complete, and yet the plug-in's load answers 0.
lay not-ready "$complete/AquesTalk.dll=AquesTalk.dll" "$complete/AquesTalkDa.dll=AquesTalkDa.dll" \
  "$not_ready=saori_speech.dll"
check not-ready not-ready 8 <<END
$P
$F
$S
$S_OK
$DA
$DA_OK
$NOT_LOADED
$VERSION
$BAD
END

# Usage errors: nothing is checked, standard error says why.
usage() {
  run_tool speech-check "$work" "" "$work/usage.out" "$work/usage.err" "" "$@"
  [ "$rc" = 2 ] || fail "usage $*: exit status $rc, expected 2"
  [ -s "$work/usage.out" ] && fail "usage $*: a report: $(cat "$work/usage.out")"
  { sjis "speech-check：$expected（使い方は speech-check --help）"; printf '\r\n'; } | cmp -s - "$work/usage.err" ||
    fail "usage $*: standard error: $(iconv -f CP932 -t UTF-8 "$work/usage.err")"
}
expected="too many arguments: two" usage one two
expected="a line break cannot be sent" usage --play "$(printf 'a\nb')"
expected="a line break cannot be sent" usage --wav out.wav "$(printf 'a\rb')"
expected="cannot use --wav" usage --wav out.wav
expected="cannot use --speed" usage --speed 120

stop_tool_host
for tag in complete createwav missing similar below header refused empty ghost engine renamed shiori baseware above \
  lossy not-ready; do
  compare $tag
done
[ -e "$work/shiori.attached" ] && fail "shiori: the script engine's code ran"
ls -R "$work/complete" | cmp -s - "$work/before" || fail "complete: the folder changed"
[ "$(grep -c '^attach' "$work/engine.log")" -eq 4 ] && [ "$(grep -c '^detach' "$work/engine.log")" -eq 4 ] ||
  fail "complete: the engine was not loaded twice and given back: $(cat "$work/engine.log")"
grep -qx "playsync speed=100 result=0 text=$(sjis 'こんにちは' | od -An -v -tx1 | tr -d ' \n')" "$work/engine.log" ||
  fail "--play: the engine did not get the text in Shift_JIS: $(cat "$work/engine.log")"
[ -f "$work/out.wav" ] || fail "--wav: the plug-in did not open the file given"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all speech-check situations passed"
