#!/bin/sh
# Runs every libFuzzer target of a fuzz build for SECONDS in total, split evenly.
#   tools/run-fuzz.sh BUILD_DIR SECONDS
# Corpora live in BUILD_DIR/fuzz-corpus/<target>; seeds come from fuzz/corpus/<target>
# (fuzz_x_tcp: fuzz/corpus/x) when present and from a make_<name>_seeds generator when the build has one. Crash
# inputs are kept in BUILD_DIR/fuzz-artifacts/. Exits non-zero when a target fails.
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
src=$(cd "$(dirname "$0")/.." && pwd)
targets=$(find "$build/fuzz" -maxdepth 1 -type f -perm -u+x -name 'fuzz_*' 2>/dev/null | sort)
if [ -z "$targets" ]; then
  echo "run-fuzz: no fuzz targets in $build/fuzz" >&2
  exit 1
fi
count=$(echo "$targets" | wc -l)
each=$((seconds / count))
[ "$each" -ge 1 ] || each=1
mkdir -p "$build/fuzz-artifacts"
status=0
for target in $targets; do
  name=$(basename "$target")
  short=${name#fuzz_}
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  seeds=${short%_tcp}  # a _tcp variant takes the seeds of the target it shadows
  if [ -d "$src/fuzz/corpus/$seeds" ]; then cp -n "$src/fuzz/corpus/$seeds"/* "$corpus"/ 2>/dev/null || true; fi
  if [ -x "$build/fuzz/make_${short}_seeds" ]; then "$build/fuzz/make_${short}_seeds" "$corpus"; fi
  echo "run-fuzz: $name for ${each}s"
  if ! "$target" -max_total_time="$each" -max_len=131072 -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" "$corpus"; then
    echo "run-fuzz: $name failed; see $build/fuzz-artifacts" >&2
    status=1
  fi
done
exit $status
