#!/bin/sh
# Runs every example of examples/ and every case of the channel benchmark with two builds of the
# program, on one and on six threads (or the counts given), and compares the result, restart,
# force and movement files byte for byte: a change meant to leave behaviour alone must show
# "identical" on every line.
#
#   scripts/compare_outputs.sh OLD_OLVU NEW_OLVU [CHANNEL_BENCH] [THREADS...]
#
# OLD_OLVU, NEW_OLVU: the two programs (e.g. a copy of build/release/olvu made before the change,
# and build/release/olvu after it). CHANNEL_BENCH: a channel_bench binary that writes the
# benchmark's data files (default build/release/bench/channel_bench; "-" for none). THREADS:
# thread counts (default 1 6). Exit status 1 when any file differs or a run fails.
set -u
[ $# -ge 2 ] || { sed -n 2,13p "$0"; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1") new=$(realpath "$2")
shift 2
bench=$here/build/release/bench/channel_bench
if [ $# -ge 1 ]; then bench=$1; shift; fi
threads=${*:-1 6}
work=$(mktemp -d /tmp/olvu_compare_XXXXXX)
trap 'rm -rf "$work"' EXIT

# The cases: each data file of examples/ (a file whose first line starts with OLVU_).
mkdir -p "$work/cases"
for f in "$here"/examples/*; do
  [ -f "$f" ] && head -c 5 "$f" | grep -q '^OLVU_' && cp "$f" "$work/cases/"
done
if [ "$bench" != "-" ] && [ -x "$bench" ]; then
  OLVU_BENCH_DATA="$work/cases" "$bench" > /dev/null 2>&1
fi

# Runs program $1 on case $2 with $3 threads in folder $4.
run() {
  mkdir -p "$4" && cp "$work/cases/$2" "$4/"
  dim=-2D
  head -c 7 "$4/$2" | grep -q OLVU_3D && dim=-3D
  (cd "$4" && OLVU_THREADS=$3 "$1" $dim -name "$2" > out.txt 2>&1)
}

status=0
for t in $threads; do
  for c in $(ls "$work/cases"); do
    run "$old" "$c" "$t" "$work/old/$t/$c"
    run "$new" "$c" "$t" "$work/new/$t/$c"
    differ=""
    for ext in res rst for mov; do
      a=$work/old/$t/$c/$c.$ext b=$work/new/$t/$c/$c.$ext
      [ -e "$a" ] || [ -e "$b" ] || continue
      cmp -s "$a" "$b" || differ="$differ .$ext"
    done
    [ -e "$work/old/$t/$c/$c.err" ] && differ="$differ (old run failed)"
    [ -e "$work/new/$t/$c/$c.err" ] && differ="$differ (new run failed)"
    if [ -z "$differ" ]; then
      printf '%-22s %2s threads: identical\n' "$c" "$t"
    else
      printf '%-22s %2s threads: DIFFERS%s\n' "$c" "$t" "$differ"
      status=1
    fi
  done
done
exit $status
