#!/bin/sh
# clang-format over the C++ sources that git knows (build trees and corpora aside).
#   tools/format.sh --check   list the files that differ from the style; exit 1 if any
#   tools/format.sh --fix     rewrite them in place
set -eu
cd "$(dirname "$0")/.."
mode=${1:---check}
files=$(git ls-files '*.cpp' '*.h')
case "$mode" in
  --fix) echo "$files" | xargs clang-format -i ;;
  --check)
    bad=""
    for f in $files; do
      if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then bad="$bad $f"; fi
    done
    if [ -n "$bad" ]; then
      echo "format-check: not formatted (run make format):$bad" >&2
      exit 1
    fi ;;
  *) echo "usage: $0 --check | --fix" >&2; exit 2 ;;
esac
