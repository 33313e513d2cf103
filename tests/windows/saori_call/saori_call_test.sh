#!/bin/sh
# Tests of saori-call, run natively by CTest:
#   sh saori_call_test.sh WINE_RUN SAORI_CALL_EXE TOOL_HOST_EXE FOLDERS
# FOLDERS holds speech/, speech-unbound/ and echo/ (see saori_call.cmake).
# The command lines run in one tool host (tool_host.sh); one more runs the
# shipped program itself, as Wine hands it a UTF-8 command line.
# Expected bytes come from printf and iconv, never from the program's own
# constants; every mismatch is reported and the test fails at the end.
set -u
wine_run=$1 saori_call=$2 tool_host_exe=$3 folders=$4
. "$(dirname "$0")/../tool_host.sh"

echo_dll=$folders/echo/echo_plugin.dll
speech_dll=$folders/speech/saori_speech.dll
unbound_dll=$folders/speech-unbound/saori_speech.dll

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Lower-case hex of standard input, all on one line.
hex() { od -An -v -tx1 | tr -d ' \n'; }
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

# Runs saori-call with the given arguments; the output lands in $work/out and
# $work/err, the exit status in $rc.
call() {
  run_tool saori-call "" "" "$work/out" "$work/err" "AQUESTALK_STANDIN_LOG=${AQUESTALK_STANDIN_LOG:-}" "$@"
}

# expect_rc CODE DESCRIPTION: checks the exit status of the last call.
expect_rc() {
  [ "$rc" -eq "$1" ] || fail "$2: exit status $rc, expected $1 (stderr: $(cat "$work/err"))"
}

# expect_stderr TEXT DESCRIPTION: the last call's stderr holds TEXT.
expect_stderr() {
  grep -qF -- "$1" "$work/err" || fail "$2: stderr lacks '$1': $(cat "$work/err")"
}

# The value of the echo plug-in's "Name: hex" line in the last output.
echoed() { tr -d '\r' <"$work/out" | sed -n "s/^$1: //p"; }

request_bytes() {
  # sent EXPECTED_FILE DESCRIPTION ARGS...: the echo plug-in received exactly
  # the bytes of EXPECTED_FILE when saori-call ran with ARGS and the echo DLL.
  sent() {
    expected=$1 what=$2
    shift 2
    call "$@"
    expect_rc 0 "$what"
    [ "$(echoed Request)" = "$(hex <"$expected")" ] ||
      fail "$what: sent $(echoed Request), expected $(hex <"$expected")"
  }
  e=$work/expected

  printf 'GET Version SAORI/1.0\r\nSender: saori-call\r\nSecurityLevel: Local\r\nCharset: Shift_JIS\r\n\r\n' >"$e"
  sent "$e" "no METHOD" "$echo_dll"
  sent "$e" "GET Version as two words" "$echo_dll" GET Version
  sent "$e" "GET Version as one word" "$echo_dll" "GET Version"

  # load got the DLL's folder as Wine names it, with a trailing backslash.
  folder=$(windows_path "$folders/echo")
  [ "$(echoed Load)" = "$(printf '%s\\' "$folder" | hex)" ] ||
    fail "load directory: got $(echoed Load), expected hex of '$folder\\'"

  { printf 'EXECUTE SAORI/1.0\r\nSender: saori-call\r\nSecurityLevel: Local\r\nCharset: Shift_JIS\r\n'
    printf 'Argument0: PLAYSYNC\r\nArgument1: '; sjis 'こんにちは、世界'; printf '\r\nArgument2: 120\r\n\r\n'
  } >"$e"
  sent "$e" "Japanese argument as Shift_JIS" "$echo_dll" EXECUTE PLAYSYNC 'こんにちは、世界' 120
  sent "$e" "-c shift_jis" -c Shift_JIS "$echo_dll" EXECUTE PLAYSYNC 'こんにちは、世界' 120

  { printf 'EXECUTE SAORI/1.0\r\nSender: saori-call\r\nSecurityLevel: Local\r\nCharset: UTF-8\r\n'
    printf 'Argument0: %s\r\n\r\n' '音声'
  } >"$e"
  sent "$e" "-c utf-8" -c utf-8 "$echo_dll" EXECUTE '音声'

  printf 'EXECUTE SAORI/1.0\r\nSender: saori-call\r\nSecurityLevel: Local\r\nArgument0: abc\r\nArgument1: \r\n\r\n' >"$e"
  sent "$e" "-c ansi, empty argument" -c ansi "$echo_dll" EXECUTE abc ''

  # -H replaces a default header where it stands, drops one when it has no
  # colon, and is otherwise added after the defaults; its text is encoded too.
  { printf 'EXECUTE SAORI/1.0\r\nsecuritylevel: External\r\nCharset: UTF-8\r\nX-Name: '
    sjis '世界'; printf '\r\nArgument0: '; sjis '世界'; printf '\r\n\r\n'
  } >"$e"
  sent "$e" "-H" -H 'securitylevel: External' -H Sender -H 'Charset: UTF-8' -H 'X-Name: 世界' \
    "$echo_dll" EXECUTE '世界'

  # -f sends the file untouched: a zero byte, a bare LF, no final line end.
  printf 'EXECUTE SAORI/1.0\r\nArgument0: a\000b\nc' >"$work/raw"
  sent "$work/raw" "-f FILE" -f "$work/raw" "$echo_dll"
  run_tool saori-call "" "$work/raw" "$work/out" "$work/err" "" -f - "$echo_dll"
  expect_rc 0 "-f -"
  [ "$(echoed Request)" = "$(hex <"$work/raw")" ] || fail "-f -: sent $(echoed Request)"

  # -v shows the request on stderr.
  call -v "$echo_dll" EXECUTE verbose
  expect_stderr "Argument0: verbose" "-v"
}

exit_status() {
  # status CODE DESCRIPTION ARGS...
  status() {
    code=$1 what=$2
    shift 2
    call "$@"
    expect_rc "$code" "$what"
  }
  status 0 "200" "$echo_dll"
  status 0 "204" -H 'Echo-Status: 204' "$echo_dll"
  status 0 "status without a phrase" -H 'Echo-Line: SAORI/1.0 200' "$echo_dll"
  status 3 "312" -H 'Echo-Status: 312' "$echo_dll"
  status 4 "404" -H 'Echo-Status: 404' "$echo_dll"
  status 5 "503" -H 'Echo-Status: 503' "$echo_dll"
  status 6 "1xx" -H 'Echo-Status: 102' "$echo_dll"
  status 6 "four digits" -H 'Echo-Line: SAORI/1.0 2000 OK' "$echo_dll"
  status 6 "not a digit" -H 'Echo-Status: 20x' "$echo_dll"
  status 6 "another protocol" -H 'Echo-Line: HTTP/1.1 200 OK' "$echo_dll"
  expect_stderr "status line" "another protocol"
  [ "$(head -c 8 "$work/out")" = "HTTP/1.1" ] || fail "an unreadable response is still written out"
  status 7 "null response" -H 'Echo-Null: 1' "$echo_dll"
  [ -s "$work/out" ] && fail "null response: stdout is not empty"
  expect_stderr "no response" "null response"

  status 2 "no DLL"
  status 2 "unknown option" -q "$echo_dll"
  expect_stderr "--help" "unknown option"
  status 2 "option without value" -H
  status 2 "unknown charset" -c latin1 "$echo_dll"
  status 2 "-f with METHOD" -f "$work/none" "$echo_dll" EXECUTE
  status 2 "line break in ARG" "$echo_dll" EXECUTE "$(printf 'a\nb')"
  status 1 "unreadable request file" -f "$work/none" "$echo_dll"
  status 0 "--help" --help
  grep -q '^Usage: saori-call' "$work/out" || fail "--help prints no usage"

  # -x writes the very bytes of the raw output as hex.
  call "$echo_dll" EXECUTE x
  raw=$(hex <"$work/out")
  call -x "$echo_dll" EXECUTE x
  [ "$(cat "$work/out")" = "$raw" ] || fail "-x: $(cat "$work/out") is not $raw"
}

dll_failures() {
  call "$folders/echo/nothere.dll"
  expect_rc 8 "missing DLL"
  expect_stderr "nothere.dll" "missing DLL"

  printf 'not a module' >"$work/text.dll"
  call "$work/text.dll"
  expect_rc 8 "not a DLL"

  call "$folders/speech/AquesTalk.dll"
  expect_rc 9 "DLL without the exports"
  expect_stderr "load, request, unload" "DLL without the exports"
}

speech() {
  # The response reaches stdout byte for byte (no CR added in text mode).
  call "$speech_dll" GET Version
  expect_rc 0 "GET Version"
  [ "$(hex <"$work/out")" = "$(printf 'SAORI/1.0 200 OK\r\n\r\n' | hex)" ] ||
    fail "GET Version: got $(hex <"$work/out")"
  [ -s "$work/err" ] && fail "GET Version: unexpected stderr: $(cat "$work/err")"
  call -x "$speech_dll" GET Version
  [ "$(cat "$work/out")" = "$(printf 'SAORI/1.0 200 OK\r\n\r\n' | hex)" ] ||
    fail "-x GET Version: got $(cat "$work/out")"

  call "$speech_dll" EXECUTE NOSUCHCOMMAND
  expect_rc 5 "unknown command"
  { printf 'SAORI/1.0 500 Internal Server Error\r\nResult: '; sjis 'エラー：不明な命令です'; printf '\r\n\r\n'; } >"$work/expected"
  [ "$(hex <"$work/out")" = "$(hex <"$work/expected")" ] ||
    fail "unknown command: got $(hex <"$work/out")"

  call "$speech_dll" EXECUTE CREATEWAV "$work/missing/out.wav" 'あ'
  expect_rc 4 "CREATEWAV into a missing folder"
  sjis 'エラー：CREATEWAV：ファイルを開くのに失敗しました' >"$work/expected"
  case $(hex <"$work/out") in
    *"$(hex <"$work/expected")"*) ;;
    *) fail "CREATEWAV into a missing folder: $(hex <"$work/out")" ;;
  esac

  printf 'garbage\r\n\r\n' >"$work/malformed"
  call -f "$work/malformed" "$speech_dll"
  expect_rc 7 "malformed raw request"
  [ -s "$work/out" ] && fail "malformed raw request: stdout is not empty"

  # Japanese from the UTF-8 command line reaches the engine in the chosen
  # encoding; the stand-in engine logs the text it was given as hex.
  log=$work/engine.log
  export AQUESTALK_STANDIN_LOG="$log"
  text='こんにちは、世界'
  call "$speech_dll" EXECUTE CREATEWAV "$work/hello.wav" "$text"
  expect_rc 0 "CREATEWAV"
  grep -q "^synthe speed=100 size=[0-9]* fnv=[0-9a-f]* text=$(sjis "$text" | hex)\$" "$log" ||
    fail "CREATEWAV: engine log: $(cat "$log")"
  [ "$(head -c 4 "$work/hello.wav")$(tail -c +9 "$work/hello.wav" | head -c 4)" = "RIFFWAVE" ] ||
    fail "CREATEWAV: $work/hello.wav is no RIFF/WAVE file"
  for charset in shift_jis utf-8; do
    case $charset in
      shift_jis) expected=$(sjis "$text" | hex) ;;
      utf-8) expected=$(printf '%s' "$text" | hex) ;;
    esac
    : >"$log"
    call -c "$charset" "$speech_dll" EXECUTE PLAYSYNC "$text" 120
    expect_rc 0 "PLAYSYNC -c $charset"
    grep -qx "playsync speed=120 result=0 text=$expected" "$log" ||
      fail "PLAYSYNC -c $charset: engine log: $(cat "$log")"
  done
  unset AQUESTALK_STANDIN_LOG

  # Without its engine the plug-in's load answers 0: warned, still asked.
  call "$unbound_dll" EXECUTE PLAYSYNC 'あ'
  expect_rc 4 "PLAYSYNC without engine"
  expect_stderr "warning: load returned 0" "PLAYSYNC without engine"
}

# The shipped program, started by Wine: the UTF-8 command line reaches the
# plug-in as Shift_JIS, the response reaches standard output unchanged.
program() {
  "$wine_run" "$saori_call" "$echo_dll" EXECUTE PLAYSYNC 'こんにちは、世界' >"$work/out" 2>"$work/err"
  rc=$?
  expect_rc 0 "the program"
  { printf 'EXECUTE SAORI/1.0\r\nSender: saori-call\r\nSecurityLevel: Local\r\nCharset: Shift_JIS\r\n'
    printf 'Argument0: PLAYSYNC\r\nArgument1: '; sjis 'こんにちは、世界'; printf '\r\n\r\n'
  } >"$work/expected"
  [ "$(echoed Request)" = "$(hex <"$work/expected")" ] || fail "the program sent $(echoed Request)"
}

start_tool_host "$wine_run" "$tool_host_exe" "$folders" || exit 1
for group in request_bytes exit_status dll_failures speech program; do
  work=$folders/work-$group
  rm -rf "$work" && mkdir -p "$work" || exit 1
  "$group"
done
stop_tool_host
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all saori-call checks passed"
