#!/bin/sh
# The set-up scripts against stand-ins for apt-get and for Wine, first on
# PATH: a registry in the middle of a mirror sync, an install that fails
# until the security suite is pinned lower, a wineboot that hangs, spins or
# dies after writing the registry, a Wine process deaf to TERM, two runs at
# once, a stop mid-way. Each table row runs a copy of the project's scripts
# in a folder of its own.
# Usage: scripts_test.sh PROJECT_ROOT [ROW_NAME_PREFIX]
set -u
project=$(cd "$1" && pwd)
only=${2:-}
tmp=$(mktemp -d)

# Every process a row starts carries the row's STUB (a path below $tmp) in
# its environment, whichever process group or session it went to, and
# whatever its command line (a stand-in's is often just `sleep 300`): that
# is how a row's leftovers are found, and, when the harness ends, killed by
# pid. (grep runs without STUB, so that it does not find itself.)
left() { env -u STUB sh -c 'grep -lzF "STUB=$1" /proc/[0-9]*/environ' sh "$1" 2>/dev/null; }
stop_left() {
  for f in $(left "$1"); do
    pid=${f#/proc/}
    kill -KILL "${pid%/environ}" 2>/dev/null
  done
  return 0
}
trap 'stop_left "$tmp/"; rm -rf "$tmp"' EXIT
[ -n "${KEEP:-}" ] && trap 'stop_left "$tmp/"; echo "kept $tmp"' EXIT
trap 'exit 130' INT TERM HUP
failures=0
passes=0

stub=$tmp/bin
mkdir -p "$stub"
cat >"$stub/stub" <<'EOF'
#!/bin/sh
# One stand-in for every outside command, told apart by its name. Each call
# is logged; a command's behaviours are taken in turn from $STUB/NAME.plan.
me=${0##*/}
echo "$me $*" >>"$STUB/calls"
pick() {
  n=$(($(cat "$STUB/$1.n" 2>/dev/null || echo 0) + 1))
  echo "$n" >"$STUB/$1.n"
  sed -n "${n}p" "$STUB/$1.plan" 2>/dev/null
}
registry='[System\\CurrentControlSet\\Services\\PlugPlay]
"Start"=dword:00000002'
case "$me $1" in
  "sudo "*) shift; exec "$@" ;;
  "dpkg-query "*) exit 1 ;;
  "dpkg --print-foreign-architectures") echo i386 ;;
  "apt-get update") [ "$(pick update)" = fails ] || exit 0
    echo "E: Failed to fetch http://x/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
    exit 100 ;;
  "apt-get install")
    pins=$(printf '%s\n' "$@" | sed -n 's/^Dir::Etc::Preferences=//p')
    [ -n "$pins" ] && echo "$pins" >"$STUB/pins"
    case $(pick install) in
      breaks) ;; unpinned) grep -qs 'Pin: release l=Debian-Security' "$pins" && exit 0 ;; *) exit 0 ;;
    esac
    echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
    exit 100 ;;
  "apt-cache policy") shift
    for p; do printf '%s:\n  Candidate: %s\n' "$p" "$(cat "$STUB/candidate" 2>/dev/null || echo 1.0)"; done ;;
  "wine --version") echo wine-9.0 ;;
  "wine winepath")
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      # A new prefix: Wine boots it first (wineboot --init).
      echo "wineboot --init" >>"$STUB/calls"
      mkdir -p "$WINEPREFIX/drive_c" && echo x >"$WINEPREFIX/drive_c/file"
      case $(pick wineboot) in
        hang) sleep 300 ;;
        die) printf '%s\n' "$registry" >"$WINEPREFIX/system.reg"; kill -SEGV $$ ;;
        slow) i=0; while [ $i -lt 1000000 ]; do i=$((i + 1)); done ;;
        # Spinning, as an emulated wineboot may: the processor kept busy for
        # 20 s (ended by then, so that a limit not applied fails the row
        # rather than hanging it).
        busy) end=$(($(date +%s) + 20))
          while [ "$(date +%s)" -lt "$end" ]; do i=0; while [ $i -lt 20000 ]; do i=$((i + 1)); done; done ;;
      esac
      printf '%s\n' "$registry" >"$WINEPREFIX/system.reg"
      echo "wine: configuration in L\"$WINEPREFIX\" has been updated." >&2
    fi
    [ "$(pick program)" = fails ] && exit 1
    echo 'Z:\' ;;
  "wineserver -p") "$0" serve & ;;
  "wineserver serve") while :; do sleep 1; done ;;
  "make "*) sleep 300 ;;
esac
exit 0
EOF
chmod +x "$stub/stub"
for name in sudo dpkg-query dpkg apt-get apt-cache wine wineserver make; do
  ln -s stub "$stub/$name"
done

# One row: NAME, SETUP (shell run first in the row's folder), COMMAND, the
# status it must end with, and a shell condition that must then hold; no
# process of the row (nor of a harness it ran) may be left.
row() {
  name=$1
  case $name in "$only"*) ;; *) return ;; esac
  dir=$tmp/$name
  mkdir -p "$dir/stub" "$dir/cache" "$dir/root/scripts" "$dir/root/cmake"
  cp "$project"/scripts/install-deps "$project"/scripts/wine-prefix "$project"/scripts/wine-procs.sh \
    "$project"/scripts/run-tests "$dir/root/scripts/"
  cp "$project"/cmake/wine-session "$project"/cmake/wine-run "$dir/root/cmake/"
  (
    cd "$dir" || exit 1
    unset MAKE WINEPREFIX
    export STUB=$dir/stub PATH=$stub:$PATH SAORI_WINE_CACHE=$dir/cache \
      SAORI_APT_PAUSE=0 SAORI_APT_TRIES=2 SAORI_PROBE_32BIT=true \
      SAORI_PREFIX_LIMIT=20 SAORI_PREFIX_IDLE=3 SAORI_PREFIX_TRIES=2
    eval "$2"
    status=0
    eval "$3" >out 2>&1 || status=$?
    sleep 0.5
    leftover=$(left "$dir/")
    if [ "$status" -ne "$4" ] || ! eval "$5" || [ -n "$leftover" ] || ls -d cache/making.* >/dev/null 2>&1; then
      echo "FAIL $name: status $status, wanted $4; condition: $5; left:"
      for f in $leftover; do tr "\0" " " <"${f%environ}cmdline"; echo; done
      sed 's/^/    /' out
      exit 1
    fi
  ) && { passes=$((passes + 1)); echo "ok   $name"; } || failures=$((failures + 1))
}
calls() { grep -c "^$1" stub/calls; }
said() { grep -q "$1" out; }
cached() { [ -f cache/wineprefix-wine-9.0-3/.manifest ] && [ -f root/build/wineprefix/drive_c/file ]; }

# install-deps: the update and the install as apt-get answers them.
row mid-sync-lists-there 'echo fails >stub/update.plan' root/scripts/install-deps 0 \
  'said "going on with the lists there are" && [ "$(calls "apt-get install")" = 1 ]'
row mid-sync-lists-missing 'printf "fails\nfails\n" >stub/update.plan; echo "(none)" >stub/candidate' \
  root/scripts/install-deps 1 \
  'said "try again later" && [ "$(calls "apt-get update")" = 2 ] && [ "$(calls "apt-get install")" = 0 ]'
row breaks-until-pinned 'printf "unpinned\nunpinned\n" >stub/install.plan' root/scripts/install-deps 0 \
  'said "pinned lower" && [ "$(calls "apt-get install")" = 2 ] && [ ! -e "$(cat stub/pins)" ]'
row breaks-even-pinned 'printf "breaks\nbreaks\n" >stub/install.plan' root/scripts/install-deps 1 \
  'said "try again later"'

# wine-prefix: each attempt bounded; only a prefix that booted and ran a
# program is cached; the cache made once and used only while whole.
row prefix-made '' root/scripts/wine-prefix 0 'cached && grep -q "dword:00000004" cache/*-3/system.reg'
row prefix-hangs-once 'echo hang >stub/wineboot.plan' root/scripts/wine-prefix 0 \
  'cached && said "no Wine process used the processor" && [ "$(calls wineboot)" = 2 ]'
row prefix-busy-past-limit 'echo busy >stub/wineboot.plan; SAORI_PREFIX_LIMIT=4' root/scripts/wine-prefix 0 \
  'cached && said "wineboot --init: still running after 4 s" && [ "$(calls wineboot)" = 2 ]'
row prefix-dies-after-registry 'echo die >stub/wineboot.plan' root/scripts/wine-prefix 0 \
  'cached && said "wineboot --init: it never said" && [ "$(calls wineboot)" = 2 ]'
row prefix-runs-no-program 'printf "ok\nfails\n" >stub/program.plan' root/scripts/wine-prefix 0 \
  'cached && said "a program in the new prefix: exited with status 1" && [ "$(calls wineboot)" = 2 ]'
row prefix-never-made 'printf "hang\nhang\n" >stub/wineboot.plan' root/scripts/wine-prefix 1 \
  '! cached && said "could not make a Wine prefix (2 attempts; the last one stopped at: wineboot --init)"'
row prefix-cache-damaged 'root/scripts/wine-prefix >/dev/null && echo xx >>cache/wineprefix-wine-9.0-3/drive_c/file' \
  root/scripts/wine-prefix 0 'cached && [ "$(calls wineboot)" = 2 ]'
row prefix-stale-making 'mkdir -p cache/making.old; (WINEPREFIX=$PWD/cache/making.old exec sleep 300 &)' \
  root/scripts/wine-prefix 0 'cached && said "removing .*making.old"'
# A Wine process that ignores TERM is killed.
row prefix-stale-deaf-to-term \
  'mkdir -p cache/making.old; (trap "" TERM; WINEPREFIX=$PWD/cache/making.old exec sleep 300 &)' \
  root/scripts/wine-prefix 0 'cached && said "removing .*making.old"'
row prefix-two-runs 'printf "slow\nslow\n" >stub/wineboot.plan' \
  'root/scripts/wine-prefix & root/scripts/wine-prefix && wait $!' 0 'cached && [ "$(calls wineboot)" = 1 ]'
row prefix-stopped 'echo hang >stub/wineboot.plan' \
  'root/scripts/wine-prefix & sleep 2; kill -TERM $!; wait $!' 143 '! cached'

# wine-session: a marker whose server is gone does not count as booted.
row session-stale-marker 'mkdir -p root/build/wineprefix; echo 1 >root/build/wineprefix/.wine-booted' \
  'root/cmake/wine-session true' 0 \
  '[ "$(calls "wine winepath")" = 1 ] && [ ! -e root/build/wineprefix/.wine-booted ]'
# As `make demo` runs it (wine-session, scripts/demo, wine-prefix): started
# with the WINEPREFIX it stops, exported by wine-session; its callers live on.
row session-runs-wine-prefix '' 'root/cmake/wine-session sh -c "root/scripts/wine-prefix && echo caller goes on"' 0 \
  'cached && said "caller goes on"'
# run-tests stopped while the build runs and the prefix is being made.
row run-tests-stopped 'echo hang >stub/wineboot.plan' \
  'root/scripts/run-tests & sleep 3; kill -TERM $!; wait $!' 130 '[ "$(calls "make")" = 1 ]'

# The harness itself: a row that fails by leaving a stand-in behind (its
# copy's stop_prefix made to do nothing) leaves nothing once the harness ends.
row harness-failed-row-leaves-nothing 'echo "stop_prefix() { :; }" >>root/scripts/wine-procs.sh' \
  'TMPDIR=$PWD sh "$project/tests/scripts/scripts_test.sh" root prefix-stale-making' 1 \
  'said "FAIL prefix-stale-making" && said "0 passed, 1 failed"'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
