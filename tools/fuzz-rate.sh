#!/bin/sh
# Executions a second of fuzz targets: each runs for SECONDS (default 60, --quick 10) on a
# fresh copy of its seeds, and its final exec/s, the CPU seconds it used and the load
# average are printed, one line per target. Not a test; a measure for fuzz/README.md.
#   tools/fuzz-rate.sh [--quick] [--seconds N] BUILD_DIR [TARGET...]
# TARGET is a name under BUILD_DIR/fuzz (fuzz_controlline) or a path to a binary; the
# default is every fuzz_* of the build. Seeds as in tools/run-fuzz.sh.
set -eu
seconds=60
while [ $# -gt 0 ]; do
  case $1 in
    --quick) seconds=10; shift ;;
    --seconds) seconds=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ]; then
  echo "usage: $0 [--quick] [--seconds N] BUILD_DIR [TARGET...]" >&2
  exit 2
fi
build=$1
shift
src=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- $(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' | sort)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "$@"; do
  [ -x "$target" ] || target="$build/fuzz/$target"
  name=$(basename "$target")
  short=${name#fuzz_}
  short=${short%_old}
  seeds=${short%_tcp}
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "$src/fuzz/corpus/$seeds" ]; then cp "$src/fuzz/corpus/$seeds"/* "$corpus"/; fi
  if [ -x "$build/fuzz/make_${seeds}_seeds" ]; then "$build/fuzz/make_${seeds}_seeds" "$corpus"; fi
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  /usr/bin/time -f '%U %S' -o "$work/time" "$target" -max_total_time="$seconds" -seed=1 \
    -print_final_stats=1 -max_len=131072 -timeout=20 "$corpus" >"$work/log" 2>&1 || true
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  skipped=$(grep -c '^fuzz harness:' "$work/log" || true)
  cpu=$(awk '{print $1 + $2}' "$work/time")
  echo "$name: ${rate:-?} exec/s, ${runs:-?} runs in ${seconds}s, ${cpu} s CPU, $skipped skipped, load before $load"
done
