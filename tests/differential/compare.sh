#!/bin/sh
# Answers one seeded request stream with the DLL under Wine and with the
# native core, each driver in a fresh working directory of its own (where the
# CREATEWAV requests write their files), and compares the two transcripts.
# On a difference it prints the first differing lines and the request.
#   compare.sh WINE_RUN WINDOWS_DRIVER NATIVE_DRIVER SCRATCH SEED COUNT
set -eu
wine_run=$1 windows_driver=$2 native_driver=$3 scratch=$4 seed=$5 count=$6

if [ ! -x "$native_driver" ]; then
  echo "no native driver at $native_driver: build the native tree first (make native)" >&2
  exit 1
fi
rm -rf "$scratch"
mkdir -p "$scratch/native" "$scratch/windows"
# The stand-in engine appends its lines to the driver's transcript.
export AQUESTALK_STANDIN_LOG=transcript
# A driver that stops early (a crash, say) leaves a short transcript, which
# the comparison below then shows.
failed=0
(cd "$scratch/native" && "$native_driver" run "$seed" "$count") ||
  { echo "the native driver failed (status $?)"; failed=1; }
(cd "$scratch/windows" && "$wine_run" "$windows_driver" run "$seed" "$count") ||
  { echo "the Windows driver failed (status $?)"; failed=1; }

native=$scratch/native/transcript windows=$scratch/windows/transcript
if cmp -s "$native" "$windows"; then
  [ "$failed" -eq 0 ] || exit 1
  echo "$count requests (seed $seed): the DLL under Wine and the native core answered alike"
  exit 0
fi
echo "the DLL under Wine and the native core disagree (seed $seed); native first:"
diff "$native" "$windows" | head -n 30
# The first differing line belongs to the next request line at or after it;
# when one transcript stops early, that is the request after its last line.
report=$(cmp "$native" "$windows" 2>&1 || true)
longer=$native
case $report in
  *EOF*)
    shorter=$native
    case $report in *"EOF on $native"*) longer=$windows ;; *) shorter=$windows ;; esac
    line=$(($(wc -l < "$shorter") + 1)) ;;
  *) line=$(echo "$report" | sed -n 's/.* line \([0-9]*\).*/\1/p') ;;
esac
index=$(tail -n "+${line:-1}" "$longer" | sed -n 's/^request \([0-9]*\) .*/\1/p' | head -n 1)
if [ -n "$index" ]; then "$native_driver" show "$seed" "$index"; fi
exit 1
