#!/bin/sh
# The release's samples in real script engines (YAYA, Kawari, Satori, built
# for Windows, in ../shared/real-hosts), under Wine, against the stand-in
# engine. Run natively by CTest, one engine per test:
#   sh real_hosts_test.sh ENGINE WINE_RUN REAL_HOSTS ARCHIVE STANDIN_DIR
#      FILE_MOVER_DLL SATORI_DRIVER_EXE WORK
#
# Each ghost folder is made from the release archive as readme.txt and the
# sample's header tell an author: the sample's own bytes, the lines its
# header shows for the engine's settings (with the paths its header gives for
# the layout), the plug-in where the layout puts it. A table below lists, for
# each engine and ghost, the calls a ghost script makes in turn, where the
# three DLLs are at that point, what the script gets, what the engine is
# asked to do (its Shift_JIS text comes from iconv here, not from the
# program) and where the WAV file must be.
#
# An engine takes one process per ghost folder (each costs most of a minute
# where Wine is emulated), so a ghost goes through its situations in one run:
# the ghost script moves the DLLs between calls through a small test plug-in
# (file_mover.dll), and "reload" does what reloading the ghost does (YAYA
# unloads the plug-in; Satori is loaded again). Satori's ghosts all run in
# one process of our own driver (satori_ghosts.exe).
set -u
engine=$1 wine_run=$2 hosts=$3 archive=$4 standin=$5 mover=$6 driver=$7 work=$8
# The hosts run from folders of their own: every path absolute.
absolute() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
wine_run=$(absolute "$wine_run") hosts=$(absolute "$hosts") archive=$(absolute "$archive")
standin=$(absolute "$standin") mover=$(absolute "$mover") driver=$(absolute "$driver") work=$(absolute "$work")

if [ ! -d "$hosts/bin" ]; then
  echo "real-host tests skipped: no script engines in $hosts (set SAORI_REAL_HOSTS to their folder)"
  exit 77
fi
export LC_ALL=C.UTF-8
# What is copied from the engines' folder keeps its modes: read-only there.
[ -d "$work" ] && chmod -R u+w "$work"
rm -rf "$work" && mkdir -p "$work" || exit 1

# Ghosts are made side by side in subshells: failures are counted in a file.
fail() {
  printf 'FAIL: %s\n' "$*"
  echo x >>"$work/failures"
}

# What each ghost script does, in order, and what must come of it:
#   engine|ghost|files|call|the script gets|the engine is asked|also
# files: where the three DLLs are for the call: none (not in the ghost),
#   plugin (the plug-in without the engine), all (the three together where
#   the layout puts them), elsewhere (together, but not where the script's
#   path points). A change is made just before the call, without reloading.
#   A second copy of the plug-in, beside the stand-in of another voice
#   (kero), is in the ghost folder's kero\ throughout.
# call: a call of the sample (say, talk, ...); voice K, a talk of part K of
#   voice_talks below, given its voice by the sample; voices K-L, one talk
#   of the parts K to L, each with its voice; dialogue, the sample's talk of
#   two characters with two voices; voice-hello, the sample's own talk with
#   a voice; hold and release, the test plug-in holds the name the plug-in
#   would write next open with no sharing (as a baseware playing it may) and
#   lets it go.
# the script gets: for YAYA, GETTYPE:value; a final * matches any rest;
#   {} stands for the sound tag \_v[...] of a new file in the voice folder
#   of the plug-in that the script's path names, {k} for one of the kero
#   copy's; - is not checked.
# the engine is asked: play|synthe SPEED TEXT (synthe:kero, by the kero
#   copy's engine), calls joined by " ; " in the order of the talk's parts,
#   or - for nothing. The file of the talk's Nth tag must hold the wave the
#   engine made for its Nth synthe call.
# also, items joined by " && ": wav:ghost or wav:cwd, the WAV must be
#   hello.wav in the ghost's folder (ghost\master) or in the host's current
#   folder, with the bytes the engine made; log:RE1 // RE2, a line of YAYA's
#   log, and the line after it; reports:N, YAYA's log holds N of the
#   sample's reports that a voice could not be given; header:TEXT, in
#   Satori's answer to the baseware; headers:none, no other header in it.
table() {
  cat <<'EOF'
yaya|utf8|none|say|3:読み上げられませんでした。プラグイン（saori_speech.dll）を読み込めません。*|-|
yaya|utf8|none|raw|1:0|-|log:W0013.*CHARSETLIBEX // W0013.*LOADLIB
yaya|utf8|none|voice 1|3:朝です。|-|
yaya|utf8|plugin|say|3:読み上げられませんでした。エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|utf8|plugin|save|3:書き出せませんでした。エラー：CREATEWAV：音声エンジンが読み込まれていません|-|
yaya|utf8|plugin|raw|3:エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|utf8|plugin|voice 2|3:昼です。|-|
yaya|utf8|all|say|3:読み上げられませんでした。エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|utf8|all|reload|-|-|
yaya|utf8|all|say|0:|play 100 こんにちは|
yaya|utf8|all|slow|0:|play 70 ゆっくりはなします|
yaya|utf8|all|save-slow|0:|synthe 130 こんにちは|
yaya|utf8|all|save|0:|synthe 100 こんにちは|wav:ghost
yaya|utf8|all|save-relative|0:|synthe 100 こんにちは|wav:cwd
yaya|utf8|all|raw|0:|play 100 テスト|
yaya|utf8|all|lower|3:エラー：不明な命令です|-|
yaya|utf8|all|no-folder|3:エラー：CREATEWAV：ファイルを開くのに失敗しました|-|
yaya|utf8|all|heart|0:|play 100 ハート?です|
yaya|utf8|all|voice-hello|3:{}今日はいい天気ですね。|synthe 100 きょうは いい てんきですね|
yaya|utf8|all|voices 1-2|3:{}朝です。{}昼です。|synthe 100 あさです ; synthe 100 ひるです|
yaya|utf8|all|voices 1-5|3:{}朝です。{}昼です。{}夜です。{}雨です。{}雪です。|synthe 100 あさです ; synthe 100 ひるです ; synthe 100 よるです ; synthe 130 あめです ; synthe 100 ゆきです|
yaya|utf8|all|dialogue|3:\0{}さくらです。\_V\1{k}うにゅうです。|synthe 100 さくらです ; synthe:kero 100 うにゅうです|
yaya|utf8|all|hold|moved 1|-|
yaya|utf8|all|voice 6|3:{}晴れです。|synthe 100 はれです|
yaya|utf8|all|release|-|-|
yaya|utf8|all|reload|-|-|
yaya|utf8|all|voice 3|3:{}夜です。|synthe 100 よるです|reports:1
yaya|utf8|all|reload|-|-|
yaya|utf8|elsewhere|say|3:読み上げられませんでした。プラグイン（saori_speech.dll）を読み込めません。*|-|
yaya|utf8|elsewhere|raw|1:0|-|
yaya|sjis|none|say|3:読み上げられませんでした。プラグイン（dic\saori_speech.dll）を読み込めません。*|-|
yaya|sjis|none|raw|1:0|-|log:W0013.*CHARSETLIBEX // W0013.*LOADLIB
yaya|sjis|none|voice 1|3:朝です。|-|
yaya|sjis|plugin|say|3:読み上げられませんでした。エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|sjis|plugin|raw|3:エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|sjis|plugin|voice 2|3:昼です。|-|
yaya|sjis|all|reload|-|-|
yaya|sjis|all|say|0:|play 100 こんにちは|
yaya|sjis|all|slow|0:|play 70 ゆっくりはなします|
yaya|sjis|all|save|0:|synthe 100 こんにちは|wav:ghost
yaya|sjis|all|lower|3:エラー：不明な命令です|-|
yaya|sjis|all|voice-hello|3:{}今日はいい天気ですね。|synthe 100 きょうは いい てんきですね|
yaya|sjis|all|voices 1-2|3:{}朝です。{}昼です。|synthe 100 あさです ; synthe 100 ひるです|
yaya|sjis|all|voices 1-5|3:{}朝です。{}昼です。{}夜です。{}雨です。{}雪です。|synthe 100 あさです ; synthe 100 ひるです ; synthe 100 よるです ; synthe 130 あめです ; synthe 100 ゆきです|
yaya|sjis|all|dialogue|3:\0{}さくらです。\_V\1{k}うにゅうです。|synthe 100 さくらです ; synthe:kero 100 うにゅうです|
yaya|sjis|all|hold|moved 1|-|
yaya|sjis|all|voice 6|3:{}晴れです。|synthe 100 はれです|
yaya|sjis|all|release|-|-|reports:1
yaya|sjis|all|reload|-|-|
yaya|sjis|elsewhere|say|3:読み上げられませんでした。プラグイン（dic\saori_speech.dll）を読み込めません。*|-|
yaya|sjis|elsewhere|raw|1:0|-|
yaya|saori|none|say|3:読み上げられませんでした。プラグイン（saori\saori_speech.dll）を読み込めません。*|-|
yaya|saori|none|voice 1|3:声を付けられませんでした。プラグイン（saori\saori_speech.dll）を読み込めません。パスと、readme.txt の「うまく動かないとき」を見てください。\n朝です。|-|
yaya|saori|none|voice 2|3:声を付けられませんでした。プラグイン（saori\saori_speech.dll）を読み込めません。パスと、readme.txt の「うまく動かないとき」を見てください。\n昼です。|-|
yaya|saori|plugin|say|3:読み上げられませんでした。エラー：PLAYSYNC：音声エンジンが読み込まれていません|-|
yaya|saori|plugin|voice 3|3:声を付けられませんでした。エラー：VOICE：音声エンジンが読み込まれていません\n夜です。|-|
yaya|saori|all|reload|-|-|
yaya|saori|all|say|0:|play 100 こんにちは|
yaya|saori|all|save|0:|synthe 100 こんにちは|wav:ghost
yaya|saori|all|voice 4|3:{}雨です。|synthe 130 あめです|reports:0
yaya|saori|all|reload|-|-|
yaya|saori|elsewhere|say|3:読み上げられませんでした。プラグイン（saori\saori_speech.dll）を読み込めません。*|-|
kawari|master|none|loaded|yes|-|
kawari|master|none|hello|こんにちは。|-|
kawari|master|none|raw||-|
kawari|master|none|voice 1|朝です。|-|
kawari|master|plugin|hello|こんにちは。|-|
kawari|master|plugin|raw||-|
kawari|master|plugin|voice 2|昼です。|-|
kawari|master|all|hello|こんにちは。|play 100 こんにちは|
kawari|master|all|slowly|ゆっくり話します。|play 70 ゆっくりはなします|
kawari|master|all|save|保存しました。|synthe 100 こんにちは|wav:cwd
kawari|master|all|raw||play 100 テスト|
kawari|master|all|lower||-|
kawari|master|all|no-folder||-|
kawari|master|all|space||play 100 こんにちは|
kawari|master|all|quoted||play 80 こんにちは せかい|
kawari|master|all|voice-hello|{}今日はいい天気ですね。|synthe 100 きょうは いい てんきですね|
kawari|master|all|voices 1-2|{}朝です。{}昼です。|synthe 100 あさです ; synthe 100 ひるです|
kawari|master|all|voices 1-5|{}朝です。{}昼です。{}夜です。{}雨です。{}雪です。|synthe 100 あさです ; synthe 100 ひるです ; synthe 100 よるです ; synthe 130 あめです ; synthe 100 ゆきです|
kawari|master|all|dialogue|\0{}さくらです。\_V\1{k}うにゅうです。|synthe 100 さくらです ; synthe:kero 100 うにゅうです|
kawari|master|all|hold|1|-|
kawari|master|all|voice 6|{}晴れです。|synthe 100 はれです|
kawari|master|all|release|-|-|
kawari|saori|none|loaded|yes|-|
kawari|saori|none|hello|こんにちは。|-|
kawari|saori|plugin|hello|こんにちは。|-|
kawari|saori|all|hello|こんにちは。|play 100 こんにちは|
kawari|saori|all|save|保存しました。|synthe 100 こんにちは|wav:cwd
kawari|saori|all|voice 3|{}夜です。|synthe 100 よるです|
satori|master|none|boot||-|header:saori_speech.dll: プラグインが存在しません。
satori|master|none|talk|こんにちは。（speech,PLAYSYNC,こんにちは）|-|headers:none
satori|master|none|talk|ゆっくり話します。（speech,PLAYSYNC,ゆっくりはなします,70）|-|
satori|master|none|talk|保存しました。（speech,CREATEWAV,hello.wav,こんにちは）|-|
satori|master|none|talk|今日はいい天気ですね。|-|headers:none
satori|master|none|talk|さくらです。\_V{k}うにゅうです。|synthe:kero 100 うにゅうです|headers:none
satori|master|none|voice 1|朝です。|-|headers:none
satori|master|plugin|talk|こんにちは。（speech,PLAYSYNC,こんにちは）|-|
satori|master|plugin|reload|-|-|
satori|master|plugin|boot||-|header:saori_speech.dll: load()がFALSEを返しました。 && header:saori_speech.dll: SAORI/1.xのdllの読み込みに失敗しました。
satori|master|plugin|talk|こんにちは。|-|headers:none
satori|master|plugin|raw||-|
satori|master|plugin|voice 2|昼です。|-|headers:none
satori|master|all|talk|ゆっくり話します。|-|
satori|master|all|reload|-|-|
satori|master|all|boot||-|
satori|master|all|talk|こんにちは。|play 100 こんにちは|
satori|master|all|talk|ゆっくり話します。|play 70 ゆっくりはなします|
satori|master|all|talk|保存しました。|synthe 100 こんにちは|wav:cwd
satori|master|all|talk|{}今日はいい天気ですね。|synthe 100 きょうはいいてんきですね|headers:none
satori|master|all|talk|{}さくらです。\_V{k}うにゅうです。|synthe 100 さくらです ; synthe:kero 100 うにゅうです|headers:none
satori|master|all|voices 1-2|{}朝です。{}昼です。|synthe 100 あさです ; synthe 100 ひるです|
satori|master|all|voices 1-5|{}朝です。{}昼です。{}夜です。{}雨です。{}雪です。|synthe 100 あさです ; synthe 100 ひるです ; synthe 100 よるです ; synthe 130 あめです ; synthe 100 ゆきです|
satori|master|all|hold|1|-|
satori|master|all|voice 6|{}晴れです。|synthe 100 はれです|headers:none
satori|master|all|release|-|-|
satori|master|all|raw||play 100 テスト|
satori|master|all|lower|エラー：不明な命令です|-|header:- speech : 500 Internal Server Error / saori内でのエラー
satori|master|all|no-folder|エラー：CREATEWAV：ファイルを開くのに失敗しました|-|header:- speech : 400 Bad Request / 呼び出しの不備
satori|master|all|comma||play 100 1|
satori|master|all|digits||play 100 2006|
satori|master|all|digits-text||play 100 3じです|
satori|master|all|digits-as-is||play 100 2026-12-8|
satori|master|all|digits||play 100 2006|
satori|switch|none|boot||-|header:saori_speech.dll: プラグインが存在しません。
satori|switch|none|voice 1|声を付けられませんでした。speechのプラグインかエンジンを読み込めません。朝です。|-|
satori|switch|none|voice 2|声を付けられませんでした。speechのプラグインかエンジンを読み込めません。昼です。|-|headers:none
satori|switch|plugin|reload|-|-|
satori|switch|plugin|boot||-|header:saori_speech.dll: load()がFALSEを返しました。
satori|switch|plugin|voice 3|声を付けられませんでした。speechのプラグインかエンジンを読み込めません。夜です。|-|
satori|switch|all|reload|-|-|
satori|switch|all|boot||-|
satori|switch|all|voice 4|{}雨です。|synthe 130 あめです|
satori|saori|all|boot||-|
satori|saori|all|talk|こんにちは。|play 100 こんにちは|
satori|saori|all|talk|ゆっくり話します。|play 70 ゆっくりはなします|
satori|saori|all|voice 5|{}雪です。|synthe 100 ゆきです|
satori|utf8|all|boot||-|
satori|utf8|all|talk|こんにちは。|play 100 こんにちは|
satori|utf8|all|talk|ゆっくり話します。|play 70 ゆっくりはなします|
satori|utf8|all|talk|保存しました。|synthe 100 こんにちは|wav:cwd
satori|utf8|all|heart||play 100 ハート です|
satori|utf8-all|all|boot||-|
satori|utf8-all|all|talk|こんにちは。|play 100 こんにちは|
satori|utf8-sjis|all|boot||-|
satori|utf8-sjis|all|talk||-|
satori|utf8-all-sjis|all|boot||-|
satori|utf8-all-sjis|all|talk||-|
EOF
}

# The parts that voice K stands for: K|text spoken|text shown|speed (empty
# for the sample's default).
voice_talks() {
  cat <<'EOF'
1|あさです|朝です。|
2|ひるです|昼です。|
3|よるです|夜です。|
4|あめです|雨です。|130
5|ゆきです|雪です。|
6|はれです|晴れです。|
EOF
}

# voice_parts KEY: the parts of voice K or voices K-L, one a line as
# voice_talks has them.
voice_parts() {
  case $1 in
    'voice '*) first=${1#voice } last=$first ;;
    'voices '*) first=${1#voices } last=${first#*-} first=${first%-*} ;;
    *) return 0 ;;
  esac
  voice_talks | awk -F'|' -v first="$first" -v last="$last" '$1 >= first && $1 <= last'
}

# mover_refs KEY: the two arguments the test plug-in gets for a call that
# changes the ghost's files (nothing for any other call).
mover_refs() {
  case $1 in
    hold) printf 'hold\n%svoice\\\n' "$(printf '%s' "$plugin_dir" | tr / '\\')" ;;
    release) printf 'release\n\n' ;;
  esac
}

# The release as an author unpacks it.
unzip -q -d "$work/release" "$archive" || { echo "FAIL: cannot extract $archive"; exit 1; }
samples=$work/release/samples

# Text helpers: Windows path of a folder (with the trailing backslash), the
# Shift_JIS bytes of a UTF-8 text as hex, and back.
winpath() { printf 'Z:%s\\' "$1" | tr / '\\'; }
sjis_hex() { printf '%s' "$1" | iconv -f UTF-8 -t CP932 | od -An -v -tx1 | tr -d ' \n'; }
hex_text() {
  printf '%s' "$1" | LC_ALL=C awk '{ for (i = 1; i < length($0); i += 2) printf "%c", \
    (index("0123456789abcdef", substr($0, i, 1)) - 1) * 16 + index("0123456789abcdef", substr($0, i + 1, 1)) - 1 }' |
    iconv -f CP932 -t UTF-8
}
# FNV-1a of a file, as the stand-in logs it for the wave it made.
fnv1a() {
  od -An -v -tu1 "$1" | LC_ALL=C awk '
    function xor8(a, b,   r, bit) {
      r = 0
      for (bit = 1; bit < 256; bit *= 2) if ((int(a / bit) + int(b / bit)) % 2) r += bit
      return r
    }
    BEGIN { h = 2166136261 }
    { for (i = 1; i <= NF; i++) { low = h % 256; h = h - low + xor8(low, $i); h = (h * 403 + (h % 256) * 16777216) % 4294967296 } }
    END { printf "%08x\n", h }'
}

# shown SAMPLE TEXT: TEXT must be in the sample's header as an author reads
# it (decoded); the folders below are made only from what it shows.
decoded() {
  case $1 in
    yaya.dic) tr -d '\r' <"$samples/$1" ;;
    *) iconv -f CP932 -t UTF-8 "$samples/$1" | tr -d '\r' ;;
  esac
}
shown() {
  decoded "$1" | grep -qF -- "$2" || fail "samples/$1 no longer shows \"$2\", which this test does as it says"
}

# The rows of this engine, and its ghosts in the order of the table.
table | sed -n "s/^$engine|//p" >"$work/rows"
ghosts=$(cut -d'|' -f1 "$work/rows" | awk '!seen[$0]++')

# layout GHOST: sets plugin_dir and elsewhere_dir (inside the ghost folder,
# ending in /, empty for the folder itself).
layout() {
  case $engine/$1 in
    yaya/utf8) plugin_dir= elsewhere_dir=dic/ ;;
    yaya/sjis) plugin_dir=dic/ elsewhere_dir= ;;
    */saori) plugin_dir=saori/ elsewhere_dir= ;;
    *) plugin_dir= elsewhere_dir=dic/ ;;
  esac
}

# Where the plug-in and the engine are for a value of the files column.
plugin_at() {
  case $1 in none) echo away/ ;; elsewhere) echo "$elsewhere_dir" ;; *) echo "$plugin_dir" ;; esac
}
engine_at() {
  case $1 in none | plugin) echo away/ ;; elsewhere) echo "$elsewhere_dir" ;; *) echo "$plugin_dir" ;; esac
}

# steps GHOST: the ghost's rows as steps, one a line: "call ROW KEY" or
# "move FROM TO" (paths inside the ghost folder). Lays out the DLLs for the
# first row in the ghost folder $dir.
steps() {
  row=0 files=
  grep "^$1|" "$work/rows" | while IFS='|' read -r _ want key _; do
    row=$((row + 1))
    if [ -z "$files" ]; then
      mkdir -p "$dir/away" "$dir/dic" "$dir/saori"
      cp "$work/release/saori_speech.dll" "$dir/$(plugin_at "$want")"
      cp "$standin/complete/AquesTalk.dll" "$standin/complete/AquesTalkDa.dll" "$dir/$(engine_at "$want")"
      mkdir -p "$dir/kero"
      cp "$work/release/saori_speech.dll" "$standin/kero/AquesTalk.dll" "$standin/kero/AquesTalkDa.dll" "$dir/kero/"
    elif [ "$want" != "$files" ]; then
      from=$(plugin_at "$files") to=$(plugin_at "$want")
      [ "$from" = "$to" ] || echo "move ${from}saori_speech.dll ${to}saori_speech.dll"
      from=$(engine_at "$files") to=$(engine_at "$want")
      if [ "$from" != "$to" ]; then
        echo "move ${from}AquesTalk.dll ${to}AquesTalk.dll"
        echo "move ${from}AquesTalkDa.dll ${to}AquesTalkDa.dll"
      fi
    fi
    files=$want
    echo "call $row $key"
  done
}

# voice_talk KEY FORMAT SPEED_PREFIX JOIN: the talk of voice K or voices
# K-L in a ghost script: each part printf FORMAT of its spoken text, its
# speed after SPEED_PREFIX (or nothing) and its shown text, joined by JOIN.
voice_talk() {
  voice_parts "$1" | while IFS='|' read -r _ spoken shown speed; do
    printf "$2\n" "$spoken" "${speed:+$3$speed}" "$shown"
  done | awk -v join="$4" '{ printf "%s%s", (NR > 1 ? join : ""), $0 } END { print "" }'
}
# The keys of the ghost's talks given their voices part by part.
voice_keys() { grep "^$1|" "$work/rows" | cut -d'|' -f3 | grep '^voices* ' | sort -u; }

# --- YAYA: yaya_host.exe, one process per ghost, one request file a step.
yaya_ghost() {
  ghost=$1 dir=$work/$1 base=$work/$1.base
  mkdir -p "$dir" "$base"
  cp -R "$hosts/yaya/yaya_base" "$hosts/yaya/messagetxt" "$dir/" && chmod -R u+w "$dir"
  cp "$mover" "$dir/file_mover.dll"
  charset=UTF-8 dic_line='dic, yaya.dic, UTF-8' speech_dll=
  case $ghost in
    sjis) charset=Shift_JIS dic_line='dic, dic\yaya.dic, UTF-8' speech_dll='"dic\saori_speech.dll"' ;;
    saori) speech_dll='"saori\saori_speech.dll"' ;;
  esac
  shown yaya.dic "   $dic_line"
  shown yaya.dic '   log, yaya.log'
  # The sample, with the path of the layout in SpeechDll as its header shows.
  sample=$dir/yaya.dic
  [ "$ghost" = sjis ] && sample=$dir/dic/yaya.dic && mkdir -p "$dir/dic"
  if [ -n "$speech_dll" ]; then
    shown yaya.dic "$speech_dll"
    LC_ALL=C awk -v value="$speech_dll" '
      /^SpeechDll\r?$/ { inside = 1 }
      inside && /^\t"saori_speech.dll"\r?$/ { sub(/"saori_speech.dll"/, value); inside = 0; n++ }
      { print }
      END { exit n == 1 ? 0 : 1 }' "$samples/yaya.dic" >"$sample" ||
      fail "yaya.dic: no \"saori_speech.dll\" line in SpeechDll to change to $speech_dll"
  else
    cp "$samples/yaya.dic" "$sample"
  fi
  shown yaya.dic '"kero\saori_speech.dll"'
  # The ghost of the saori layout is an author's who is developing: the
  # report in every talk switched on, as the sample's header says.
  if [ "$ghost" = saori ]; then
    shown yaya.dic 'SpeechReportEveryTalk の 0 を 1 にします'
    LC_ALL=C awk '/^SpeechReportEveryTalk \{ 0 \}\r?$/ { sub(/0/, "1"); n++ } { print } END { exit n == 1 ? 0 : 1 }' \
      "$sample" >"$sample.new" && mv "$sample.new" "$sample" || fail "yaya.dic: no SpeechReportEveryTalk line to switch on"
  fi
  # yaya.txt as in the template ghost, with the lines the sample shows.
  {
    for key in setting dic output file save extension; do echo "charset.$key, $charset"; done
    echo 'log, yaya.log'
    echo 'dicdir, yaya_base'
    printf '%s\n' "$dic_line"
    echo 'dic, test.dic, UTF-8'
  } | sed 's/$/\r/' >"$dir/yaya.txt"
  # The test's own dictionary: one event a call of the table, and the move.
  cat >"$dir/test.dic" <<'EOF'
OnCall
{
	_r = ""
	case reference[0] {
		when "say" { _r = SpeechSay("こんにちは") }
		when "slow" { _r = SpeechSay("ゆっくりはなします", 70) }
		when "save" { _r = SpeechSave(SHIORI3FW.Path + "hello.wav", "こんにちは") }
		when "save-slow" { _r = SpeechSave(SHIORI3FW.Path + "hello.wav", "こんにちは", 130) }
		when "save-relative" { _r = SpeechSave("hello.wav", "こんにちは") }
		when "heart" { _r = SpeechSay("ハート♡です") }
		when "raw" {
			void CHARSETLIBEX(SpeechDll, "Shift_JIS")
			_r = FUNCTIONEX(SpeechDll, "PLAYSYNC", "テスト")
		}
		when "lower" {
			void CHARSETLIBEX(SpeechDll, "Shift_JIS")
			_r = FUNCTIONEX(SpeechDll, "playsync", "テスト")
		}
		when "no-folder" {
			void CHARSETLIBEX(SpeechDll, "Shift_JIS")
			_r = FUNCTIONEX(SpeechDll, "CREATEWAV", "no-such-folder/hello.wav", "テスト")
		}
		when "reload" { void UNLOADLIB(SpeechDll) }
		when "voice-hello" { _r = SpeechVoiceHello }
		when "dialogue" { _r = SpeechDialogueHello }
@VOICE@
		others { _r = "unknown call " + reference[0] }
	}
	"" + GETTYPE(_r) + ":" + _r
}

OnMove
{
	"moved " + FUNCTIONEX("file_mover.dll", reference[0], reference[1])
}
EOF
  # The talks that the sample's SpeechVoice gives their voices.
  voice_keys "$ghost" | while read -r key; do
    printf '\t\twhen "%s" { _r = %s }\n' "$key" "$(voice_talk "$key" 'SpeechVoice("%s"%s) + "%s"' ', ' ' + ')"
  done >"$dir.voice"
  sed -e "/^@VOICE@\$/r $dir.voice" -e '/^@VOICE@$/d' "$dir/test.dic" >"$dir/test.dic.new" && mv "$dir/test.dic.new" "$dir/test.dic"
  n=0
  steps "$ghost" >"$dir.steps"
  : >"$dir.map"
  while read -r kind a b; do
    n=$((n + 1))
    case $kind in
      call)
        id=OnCall refs="$b" row_of=$a
        [ -n "$(mover_refs "$b")" ] && id=OnMove refs=$(mover_refs "$b")
        ;;
      move) id=OnMove refs="$a
$b" row_of=- ;;
    esac
    {
      printf 'GET SHIORI/3.0\r\nCharset: %s\r\nSender: SSP\r\nSecurityLevel: local\r\nID: %s\r\n' "$charset" "$id"
      i=0
      printf '%s\n' "$refs" | while read -r ref; do printf 'Reference%d: %s\r\n' "$i" "$ref"; i=$((i + 1)); done
      printf '\r\n'
    } >"$dir.req$n"
    echo "$row_of" >>"$dir.map"
  done <"$dir.steps"
  requests=
  i=1
  while [ "$i" -le "$n" ]; do
    requests="$requests $(winpath "$dir.req$i" | sed 's/\\$//')"
    i=$((i + 1))
  done
  # shellcheck disable=SC2086 # the paths hold no blanks
  (cd "$base" && AQUESTALK_STANDIN_LOG="$dir.engine.log" "$wine_run" "$hosts/bin/yaya_host.exe" \
    "$(winpath "$dir")" $requests >"$dir.out" 2>"$dir.err"; echo $? >"$dir.rc")
  # The Value of each response, in order.
  conv=cat
  [ "$charset" = Shift_JIS ] && conv="iconv -f CP932 -t UTF-8"
  tr -d '\r' <"$dir.out" | $conv | sed -n 's/^Value: //p' | paste -d'|' "$dir.map" - | grep -v '^-|' >"$dir.results"
}

# --- Kawari: kosui.exe, one process per ghost, one input line a step.
kawari_ghost() {
  ghost=$1 dir=$work/$1 base=$work/$1.base
  mkdir -p "$dir" "$base"
  cp "$mover" "$dir/file_mover.dll"
  dict_line='dict : kawari.txt' saori_line='saori : saori_speech.dll, speech' sample=$dir/kawari.txt
  if [ "$ghost" = saori ]; then
    dict_line='dict : dic\kawari.txt' saori_line='saori : saori\saori_speech.dll, speech'
    mkdir -p "$dir/dic" && sample=$dir/dic/kawari.txt
  fi
  kero_line='saori : kero\saori_speech.dll, speech.kero'
  shown kawari.txt "   $dict_line"
  shown kawari.txt "   $saori_line"
  shown kawari.txt "   $kero_line"
  shown kawari.txt '$(callsaori speech VOICE あさです)朝です。$(callsaori speech VOICE ひるです 130)昼です。'
  cp "$samples/kawari.txt" "$sample"
  # The ghost's own dictionary already has its system.OnLoad, and a talk
  # that calls the sample's.
  printf 'system.OnLoad : $(set ghost.loaded yes)\r\nghost.talk : ${speech.voice.hello}\r\n' >"$dir/ghost.txt"
  printf 'dict : ghost.txt\r\n%s\r\n%s\r\n%s\r\n' "$dict_line" "$saori_line" "$kero_line" >"$dir/kawari.ini"
  steps "$ghost" >"$dir.steps"
  echo - >"$dir.map"
  {
    echo '$(saoriregist file_mover.dll mover)'
    while read -r kind a b; do
      case $kind in
        move) echo "\$(callsaori mover $a $b)"; echo - >>"$dir.map"; continue ;;
      esac
      echo "$a" >>"$dir.map"
      if [ -n "$(mover_refs "$b")" ]; then
        printf '$(callsaori mover %s)\n' "$(mover_refs "$b" | paste -sd' ')"
        continue
      fi
      case $b in
        loaded) echo '${ghost.loaded}' ;;
        hello | slowly | save) echo "\${speech.$b}" ;;
        raw) echo '$(callsaori speech PLAYSYNC テスト)' ;;
        lower) echo '$(callsaori speech playsync テスト)' ;;
        no-folder) echo '$(callsaori speech CREATEWAV no-such-folder/hello.wav テスト)' ;;
        space) echo '$(callsaori speech PLAYSYNC こんにちは せかい)' ;;
        quoted) echo '$(callsaori speech PLAYSYNC "こんにちは せかい" 80)' ;;
        voice-hello) echo '${ghost.talk}' ;;
        dialogue) echo '${speech.dialogue}' ;;
        voice\ * | voices\ *) voice_talk "$b" '$(callsaori speech VOICE %s%s)%s' ' ' '' ;;
        *) echo "unknown call $b" ;;
      esac
    done <"$dir.steps"
    echo exit
  } | iconv -f UTF-8 -t CP932 >"$dir.in"
  (cd "$base" && AQUESTALK_STANDIN_LOG="$dir.engine.log" "$wine_run" "$hosts/bin/kosui.exe" \
    "$(winpath "$dir")kawari.ini" <"$dir.in" >"$dir.out" 2>"$dir.err"; echo $? >"$dir.rc")
  # kosui answers each line after its prompt.
  tr -d '\r' <"$dir.out" | iconv -f CP932 -t UTF-8 | sed -n 's/^echo-mode > //p' |
    paste -d'|' "$dir.map" - | grep -v '^-|' >"$dir.results"
}

# --- Satori: every ghost folder in one process of satori_ghosts.exe.
satori_harness() {
  cat <<'EOF'
＊OnSatoriLoad
＄喋り間隔	3
＄喋り間隔誤差	0
＄文「＊」の重複回避	正順

＊OnSpeechRaw
（speech,PLAYSYNC,テスト）

＊OnSpeechLower
（speech,playsync,テスト）

＊OnSpeechNoFolder
（speech,CREATEWAV,no-such-folder/hello.wav,テスト）

＊OnSpeechComma
（speech,PLAYSYNC,1,000円）

＊OnSpeechDigits
（speech,PLAYSYNC,2026-12-8）

＊OnSpeechDigitsText
（speech,PLAYSYNC,3じです）

＊OnMove
（mover,（Ｒ０）,（Ｒ１））
EOF
}
satori_ghost() {
  ghost=$1 dir=$work/$1
  mkdir -p "$dir"
  cp "$hosts/bin/satori.dll" "$dir/" && chmod u+w "$dir/satori.dll"
  cp "$mover" "$dir/file_mover.dll"
  speech_line=speech,saori_speech.dll charset=CP932
  [ "$ghost" = saori ] && speech_line='speech,saori\saori_speech.dll'
  kero_line='speech.kero,kero\saori_speech.dll'
  shown dic_saori_speech.txt "   ＠SAORI"
  shown dic_saori_speech.txt "   $speech_line"
  shown dic_saori_speech.txt "   $kero_line"
  # A ghost that reads its dictionaries as UTF-8, by either setting the
  # sample names; the sample re-saved as UTF-8 there, unless the ghost's name
  # ends in -sjis.
  case $ghost in
    utf8-all*) charset=UTF-8 utf8_setting=is_utf8_all ;;
    utf8*) charset=UTF-8 utf8_setting=is_utf8_dic ;;
  esac
  if [ "$charset" = UTF-8 ]; then
    shown dic_saori_speech.txt "$utf8_setting"
    printf '%s,true\r\n' "$utf8_setting" >"$dir/satori_bootconf.txt"
  fi
  case $charset/$ghost in
    */*-sjis | CP932/*) cp "$samples/dic_saori_speech.txt" "$dir/" ;;
    *) iconv -f CP932 -t UTF-8 "$samples/dic_saori_speech.txt" >"$dir/dic_saori_speech.txt" ;;
  esac
  # The ghost "switch" is an author's who is developing: the report in
  # every talk switched on, as the sample's header says.
  if [ "$ghost" = switch ]; then
    shown dic_saori_speech.txt '＠声の報告 の 0 を 1 にします'
    LC_ALL=C awk -v head="$(printf '＠声の報告\r' | iconv -f UTF-8 -t CP932)" '
      $0 == head { print; getline; if ($0 == "0\r") { $0 = "1\r"; n++ } }
      { print }
      END { exit n == 1 ? 0 : 1 }' "$dir/dic_saori_speech.txt" >"$dir/dic.new" &&
      mv "$dir/dic.new" "$dir/dic_saori_speech.txt" ||
      fail "dic_saori_speech.txt: no 0 under ＠声の報告 to switch on"
  fi
  printf '＠SAORI\r\n%s\r\n%s\r\nmover,file_mover.dll\r\n' "$speech_line" "$kero_line" |
    iconv -f UTF-8 -t "$charset" >"$dir/satori_conf.txt"
  {
    satori_harness
    # The lines the header shows for an argument to be passed as it is.
    echo '＊OnSpeechDigitsAsIs'
    decoded dic_saori_speech.txt | sed -n 's/^＃   \(＄SAORI引数の計算	.*\|（speech,PLAYSYNC,2026-12-8）\)$/\1/p'
    if [ "$charset" = UTF-8 ]; then printf '\n＊OnSpeechHeart\n（speech,PLAYSYNC,ハート♡です）\n'; fi
    # The talks that the sample's ＠声を付ける gives their voices.
    voice_keys "$ghost" | while read -r key; do
      printf '\n＊On%s\n%s\n' "$(echo "$key" | tr -d ' ')" "$(voice_talk "$key" '（call,声を付ける,%s%s）%s' , '')"
    done
  } | sed 's/$/\r/' | iconv -f UTF-8 -t "$charset" >"$dir/dic_test.txt"
  steps "$ghost" >"$dir.steps"
  printf 'ghost %s\n' "$(winpath "$dir")" >>"$work/plan"
  while read -r kind a b; do
    case $kind in
      move) echo "request OnMove,$a,$b" >>"$work/plan"; echo - >>"$work/map"; continue ;;
    esac
    if [ -n "$(mover_refs "$b")" ]; then
      printf 'request OnMove,%s\n' "$(mover_refs "$b" | paste -sd,)" >>"$work/plan"
      echo "$ghost $a" >>"$work/map"
      continue
    fi
    case $b in
      reload) printf 'ghost %s\n' "$(winpath "$dir")" >>"$work/plan"; continue ;;
      boot) id=OnBoot ;;
      talk)
        # With a talk interval of 3, the fourth second after a talk or the
        # start brings the next random talk, in the sample's order.
        for i in 1 2 3; do echo "request OnSecondChange,0,0,0,1" >>"$work/plan"; echo - >>"$work/map"; done
        id=OnSecondChange,0,0,0,1
        ;;
      raw) id=OnSpeechRaw ;;
      lower) id=OnSpeechLower ;;
      no-folder) id=OnSpeechNoFolder ;;
      comma) id=OnSpeechComma ;;
      digits) id=OnSpeechDigits ;;
      digits-text) id=OnSpeechDigitsText ;;
      digits-as-is) id=OnSpeechDigitsAsIs ;;
      heart) id=OnSpeechHeart ;;
      voice\ * | voices\ *) id=On$(echo "$b" | tr -d ' ') ;;
      *) id=unknown-$b ;;
    esac
    echo "request $id" >>"$work/plan"
    echo "$ghost $a" >>"$work/map"
  done <"$dir.steps"
}

# The value of a Satori answer as the script made it: without the Sakura
# Script Satori adds (scope, surface, waits, line ends, the end mark).
satori_text() {
  sed 's/\\[01e]//g; s/\\s\[[^]]*\]//g; s/\\_w\[[^]]*\]//g; s/\\n\[[^]]*\]//g; s/\\n//g'
}

# --- The run.
case $engine in
  yaya | kawari)
    for ghost in $ghosts; do
      layout "$ghost"
      "${engine}_ghost" "$ghost" &
    done
    wait
    ;;
  satori)
    : >"$work/plan" && : >"$work/map"
    for ghost in $ghosts; do
      layout "$ghost"
      satori_ghost "$ghost"
    done
    base=$work/satori.base
    mkdir -p "$base"
    (cd "$base" && AQUESTALK_STANDIN_LOG="$work/engine.log" SHIORI_MARK_LOG="$work/engine.log" \
      "$wine_run" "$driver" "$(winpath "$work/plan" | sed 's/\\$//')" >"$work/out" 2>"$work/err"
     echo $? >"$work/rc")
    [ "$(cat "$work/rc")" = 0 ] || fail "satori_ghosts.exe exited with $(cat "$work/rc"): $(cat "$work/err")"
    touch "$work/engine.log"
    # One line a request: its value, a tab, its other headers.
    iconv -f CP932 -t UTF-8 "$work/out" | tr -d '\r' | awk '
      /^REQUEST=/ { if (n++) print value "\t" headers; value = ""; headers = "" }
      /^VALUE=/ { value = substr($0, 7) }
      /^HEADER=/ { headers = headers substr($0, 8) " " }
      END { if (n) print value "\t" headers }' >"$work/answers"
    # Each ghost's own lines of the engine log, by the driver's marks, and
    # the answers to its calls: row, value, headers.
    for ghost in $ghosts; do
      DIR=$(winpath "$work/$ghost") awk '/^ghost / { inside = substr($0, 7) == ENVIRON["DIR"] } inside' \
        "$work/engine.log" >"$work/$ghost.engine.log"
      paste -d'|' "$work/map" "$work/answers" | sed -n "s/^$ghost \([0-9]*\)|/\1|/p" |
        awk -F'|' -v OFS='|' '{ split($2, part, "\t"); print $1, part[1], part[2] }' >"$work/$ghost.answers"
      cut -d'|' -f2 "$work/$ghost.answers" | satori_text | paste -d'|' "$work/$ghost.answers" - |
        awk -F'|' -v OFS='|' '{ print $1, $4, $3 }' >"$work/$ghost.results"
    done
    ;;
esac

# is_wave WHAT FILE SPEED TEXT [VOICE]: FILE holds the wave the engine (the
# stand-in of VOICE, if given) made for TEXT at SPEED, as its log gives its
# size and FNV-1a. The log line is left in wave_line.
is_wave() {
  line=$(grep -E "^synthe speed=$3 size=[0-9]+ fnv=[0-9a-f]+${5:+ voice=$5} text=$(sjis_hex "$4")\$" \
    "$dir.engine.log" | head -n 1)
  size=$(echo "$line" | sed -n 's/.* size=\([0-9]*\) .*/\1/p')
  fnv=$(echo "$line" | sed -n 's/.* fnv=\([0-9a-f]*\) .*/\1/p')
  if [ ! -f "$2" ]; then
    fail "$1: no WAV file at ${2#"$work"/}"
  elif [ "$(wc -c <"$2")" != "$size" ] || [ "$(fnv1a "$2")" != "$fnv" ] ||
    [ "$(head -c 4 "$2")" != RIFF ] || [ "$(tail -c +9 "$2" | head -c 4)" != WAVE ]; then
    fail "$1: ${2#"$work"/} is not the wave the engine made for \"$4\" ($size bytes, FNV-1a $fnv)"
  fi
  wave_line=$line
}

# untag VALUE SAKURA KERO: VALUE with each sound tag of a file speech_N.wav
# in the folder SAKURA written {}, in KERO {k}; then one line a tag: its
# path.
untag() {
  printf '%s\n' "$1" | SAKURA=$2 KERO=$3 awk '
    function ours(path, folder) {
      return substr(path, 1, length(folder)) == folder && substr(path, length(folder) + 1) ~ /^speech_[0-9]+\.wav$/
    }
    {
      rest = $0; out = ""; n = 0
      while ((at = index(rest, "\\_v[")) > 0 && (end = index(substr(rest, at + 4), "]")) > 0) {
        path = substr(rest, at + 4, end - 1)
        mark = ours(path, ENVIRON["SAKURA"]) ? "{}" : ours(path, ENVIRON["KERO"]) ? "{k}" : ""
        out = out substr(rest, 1, at - 1) (mark == "" ? "\\_v[" path "]" : mark)
        if (mark != "") tags[++n] = path
        rest = substr(rest, at + 4 + end)
      }
      print out rest
      for (i = 1; i <= n; i++) print tags[i]
    }'
}

# --- The checks, row by row, ghost by ghost.
for ghost in $ghosts; do
  dir=$work/$ghost
  layout "$ghost"
  case $engine in
    satori) base=$work/satori.base ;;
    *)
      base=$dir.base
      rc=$(cat "$dir.rc")
      [ "$rc" = 0 ] || fail "$engine $ghost: the host exited with $rc: $(cat "$dir.err")"
      ;;
  esac
  # The voice folders of the two copies, as the host named their folders.
  sakura=$(winpath "$(printf '%s' "$dir/$plugin_dir" | sed 's:/*$::')")voice\\
  kero=$(winpath "$dir/kero")voice\\
  : >"$dir.expected-calls" && : >"$dir.seen"
  grep "^$ghost|" "$work/rows" >"$dir.rows"
  row=0
  while IFS='|' read -r _ files key value calls also; do
    row=$((row + 1))
    got=$(awk -F'|' -v row="$row" '$1 == row { print $2 }' "$dir.results")
    what="$engine $ghost, row $row ($key, DLLs: $files)"
    untag "$got" "$sakura" "$kero" >"$dir.tags"
    plain=$(head -n 1 "$dir.tags")
    if [ "$value" != - ]; then
      case $value in
        *'*') case $plain in "${value%?}"*) ;; *) fail "$what: the script got \"$got\", expected \"$value\"" ;; esac ;;
        *) [ "$plain" = "$value" ] || fail "$what: the script got \"$got\", expected \"$value\"" ;;
      esac
    fi
    # The engine's calls of the row, in the order of the talk's parts.
    [ "$calls" = - ] && calls=
    printf '%s\n' "$calls" | sed 's/ ; /\n/g' | sed '/^$/d' >"$dir.row-calls"
    while read -r kind speed text; do
      printf '%s %s %s %s\n' "$kind" "$speed" "$(sjis_hex "$text")" "$text"
    done <"$dir.row-calls" >>"$dir.expected-calls"
    # Each tag names a new file, holding the wave of its part.
    tail -n +2 "$dir.tags" >"$dir.row-tags"
    grep '^synthe' "$dir.row-calls" | paste -d'|' "$dir.row-tags" - | while IFS='|' read -r path call; do
      [ -n "$path" ] || break
      if [ -z "$call" ]; then fail "$what: a tag more than the table's synthe calls: $path"; break; fi
      kind=${call%% *} rest=${call#* }
      speed=${rest%% *} text=${rest#* } voice=
      [ "$kind" = synthe:kero ] && voice=kero
      grep -qxF -- "$path" "$dir.seen" && fail "$what: $path was named before"
      echo "$path" >>"$dir.seen"
      file=$(printf '%s' "$path" | sed 's/^Z://' | tr '\\' /)
      is_wave "$what" "$file" "$speed" "$text" $voice
      case $value in *'{k}'*) printf '  stand-in%s: %s\n' "${voice:+ $voice}" "$wave_line" ;; esac
    done
    # The dialogue as the engine answered it (Satori's, with its own script).
    case $value in
      *'{k}'*) printf '%s: %s\n' "$what" "$(awk -F'|' -v row="$row" '$1 == row { print $2 }' "$dir.answers" 2>/dev/null || printf '%s' "$got")" ;;
    esac
    [ "$(grep -c '^synthe' "$dir.row-calls")" -ge "$(wc -l <"$dir.row-tags")" ] ||
      fail "$what: more tags than synthe calls in the table"
    headers=$(awk -F'|' -v row="$row" '$1 == row { print $3 }' "$dir.results")
    speed=${calls#* } speed=${speed%% *} text=${calls#* } text=${text#* }
    printf '%s\n' "$also" | sed 's/ && /\n/g' | while IFS= read -r item; do
      case $item in
        wav:ghost) is_wave "$what" "$dir/hello.wav" "$speed" "$text" ;;
        wav:cwd) is_wave "$what" "$base/hello.wav" "$speed" "$text" ;;
        log:*)
          first=${item#log:} first=${first%% // *} second=${item#* // }
          grep -aE -A1 "$first" "$dir/yaya.log" | grep -aEq "$second" ||
            fail "$what: YAYA's log has no line like /$first/ followed by one like /$second/"
          ;;
        reports:*)
          n=$(grep -ac '^"声を付けられませんでした。' "$dir/yaya.log")
          [ "$n" = "${item#reports:}" ] || fail "$what: YAYA's log has $n reports that a voice could not be given, not ${item#reports:}"
          ;;
        header:*)
          case $headers in
            *"${item#header:}"*) ;;
            *) fail "$what: Satori's answer lacks \"${item#header:}\" (it had: $headers)" ;;
          esac
          ;;
        headers:none) [ -z "$headers" ] || fail "$what: Satori's answer has headers: $headers" ;;
      esac
    done
  done <"$dir.rows"
  # What the engines were asked to do, call by call, against the table.
  # YAYA does not work out the parts of a talk from the first to the last
  # (a call with a speed before one without), so there the order within a
  # run of synthe calls is not compared, only which calls were made.
  in_runs() {
    if [ "$engine" = yaya ]; then
      awk '{ if ($1 !~ /^synthe/) { flush(); print; next } run[++n] = $0 }
        function flush(  i) { for (i = 1; i <= n; i++) print run[i] | "sort"; close("sort"); n = 0 }
        END { flush() }'
    else
      cat
    fi
  }
  awk '/^(playsync|synthe) / {
      kind = $1 == "playsync" ? "play" : "synthe"; speed = voice = text = ""
      for (i = 2; i <= NF; i++) {
        split($i, field, "=")
        if (field[1] == "speed") speed = field[2]
        if (field[1] == "voice") voice = ":" field[2]
        if (field[1] == "text") text = field[2]
      }
      print kind voice " " speed " " text
    }' "$dir.engine.log" 2>/dev/null | in_runs >"$dir.actual-calls"
  cut -d' ' -f1-3 "$dir.expected-calls" | in_runs | cmp -s - "$dir.actual-calls" || {
    fail "$engine $ghost: the engine was asked (<) otherwise than the table says (>):"
    while read -r kind speed text; do printf '< %s %s %s\n' "$kind" "$speed" "$(hex_text "$text")"; done <"$dir.actual-calls"
    while read -r kind speed _ text; do printf '> %s %s %s\n' "$kind" "$speed" "$text"; done <"$dir.expected-calls"
  }
done

if [ -s "$work/failures" ]; then
  echo "$(wc -l <"$work/failures") real-host check(s) failed ($engine; the ghost folders are in $work)"
  exit 1
fi
echo "$engine: $(wc -l <"$work/rows") calls in $(echo $ghosts | wc -w) ghost folders as the samples say"
