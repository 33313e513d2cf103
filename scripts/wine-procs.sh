# Sourced by the scripts that run Wine (some of them under set -e):
# finding and stopping every process of one Wine prefix. Every Wine
# process, the server and the services included, carries the WINEPREFIX it
# was started with in its environment, whichever process group or session
# it ended up in; that is what tells them apart from another prefix's
# (another run, another clone). Under qemu's emulation the environment is
# the same, so the same test holds.

# This shell and the processes that started it, which may carry the same
# WINEPREFIX (cmake/wine-session exports it to its command) but are never
# to be stopped by it. Counted from the process that runs this, not from
# $$: a subshell (as in pids=$(prefix_pids ...)) has its parent's $$, and
# would else be found and waited for as a process of the prefix.
ancestors() {
  read -r pid _ </proc/self/stat
  while [ "$pid" -gt 1 ] 2>/dev/null; do
    echo "$pid"
    pid=$(awk '/^PPid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
  done
}

# The process ids whose environment names the prefix $1.
prefix_pids() {
  own=" $(ancestors | tr '\n' ' ') "
  # grep runs without WINEPREFIX, so that it does not find itself.
  for file in $(env -u WINEPREFIX grep -lzxF "WINEPREFIX=$1" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}
    pid=${pid%/environ}
    case $own in *" $pid "*) ;; *) echo "$pid" ;; esac
  done
  return 0
}

# Processor time (clock ticks) used so far by the processes of prefix $1.
# A process's name in /proc/PID/stat may hold spaces: the fields are counted
# after its closing parenthesis (utime and stime are the 12th and 13th).
prefix_ticks() {
  for pid in $(prefix_pids "$1"); do
    sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null
  done | awk '{ ticks += $12 + $13 } END { print ticks + 0 }'
}

# The pid of the Wine server of prefix $1, if one runs (not a
# `wineserver -w` or `-k` that only waits for it or stops it).
prefix_server_pid() {
  for pid in $(prefix_pids "$1"); do
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep 'wineserver' | grep -qv -e ' -w' -e ' -k' &&
      { echo "$pid"; return 0; }
  done
  return 0
}

# Stops every process of prefix $1: asked to end, then killed after a few
# seconds. No Wine program is started for it (where Wine is emulated,
# `wineserver -k` is one more slow start, and may hang like any other).
# The boot marker of cmake/wine-session goes with the server it speaks for.
stop_prefix() {
  rm -f "$1/.wine-booted"
  pids=$(prefix_pids "$1")
  [ -n "$pids" ] || return 0
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null || true
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    pids=$(prefix_pids "$1")
    [ -n "$pids" ] || return 0
    sleep 0.5
  done
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null || true
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    [ -n "$(prefix_pids "$1")" ] || return 0
    sleep 0.5
  done
  return 0
}
