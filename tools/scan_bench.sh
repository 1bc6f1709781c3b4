#!/bin/sh
# Times a full scan of a generated site of 100 000 files in 1 000 directories, the walk of
# its tree, and `find` on the same tree, all in one run, and reports the peak memory of the
# run as the kernel counted it.
#
# Usage: tools/scan_bench.sh [BUILD_DIR] [benchmark options...]   (BUILD_DIR: build)
# Set PIXAMOND_SCAN_BENCH_DIR to keep the generated tree there for later runs; without it
# the tree is made in a temporary folder and removed afterwards.
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
bench="$build/tools/scan_bench"
if [ ! -x "$bench" ]; then
  echo "scan_bench.sh: build it first: cmake --build $build --target scan_bench" >&2
  exit 1
fi
if [ -x /usr/bin/time ]; then
  exec /usr/bin/time -f "scan_bench: peak resident size %M KiB, %e s in all" \
    "$bench" --benchmark_counters_tabular=true "$@"
fi
exec "$bench" --benchmark_counters_tabular=true "$@"
