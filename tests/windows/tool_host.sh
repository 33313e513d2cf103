# Sourced by the tools' test scripts: runs command lines of saori-call and
# speech-check one after another in one tool_host.exe under Wine (see
# tool_host.cpp), so that a whole script costs one program start.
#   start_tool_host WINE_RUN TOOL_HOST_EXE WORK
#   run_tool TOOL FOLDER STDIN STDOUT STDERR VARIABLE [WORD...]
#   stop_tool_host
# run_tool takes Unix paths (empty: none) and leaves the exit status in $rc.

hex_text() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }

# The Windows path of a Unix path, through Wine's Z: drive.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

start_tool_host() {
  rm -f "$3/to-host" "$3/from-host"
  mkfifo "$3/to-host" "$3/from-host" || return 1
  "$1" "$2" <"$3/to-host" >"$3/from-host" &
  tool_host=$!
  # A host that has ended makes the next request fail, not the script.
  trap '' PIPE
  exec 7>"$3/to-host" 8<"$3/from-host"
}

run_tool() {
  line=$(hex_text "$1")
  for path in "$2" "$3" "$4" "$5"; do
    [ -n "$path" ] && path=$(windows_path "$path")
    line="$line $(hex_text "$path")"
  done
  line="$line $(hex_text "$6")"
  shift 6
  for word; do line="$line $(hex_text "$word")"; done
  printf '%s\n' "$line" >&7 2>/dev/null
  read -r rc <&8 || rc="none (the tool host has ended)"
}

stop_tool_host() {
  exec 7>&- 8<&-
  wait "$tool_host"
}
