#!/usr/bin/env bash
# Runs the core benchmarks, the system-call count of a large apply and the
# whole-process timing of the command line against cp.
# Usage: scripts/run-benchmarks.sh [BUILD_DIR]   (`make bench` passes its own)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build}"
bench="$build_dir/bench/vips_core_bench"
if [[ ! -x "$bench" ]]; then
  echo "run-benchmarks: $bench is not built (configure with -DVIPS_BUILD_BENCH=ON)" >&2
  exit 2
fi

echo "== core benchmarks"
"$bench" --benchmark_counters_tabular=true
if [[ -x "$build_dir/bench/vips_delta_bench" ]]; then
  echo
  echo "== BPS benchmarks (decode and list stretches, make)"
  "$build_dir/bench/vips_delta_bench" --benchmark_counters_tabular=true
fi
if [[ -x "$build_dir/bench/vips_window_bench" ]]; then
  echo
  echo "== window benchmarks"
  QT_QPA_PLATFORM=offscreen "$build_dir/bench/vips_window_bench" --benchmark_counters_tabular=true
fi
if [[ -x "$build_dir/bench/vips_cli_bench" ]]; then
  echo
  echo "== command-line benchmarks (create, apply --output, status)"
  "$build_dir/bench/vips_cli_bench" --benchmark_counters_tabular=true
fi
echo
echo "== system calls"
bash scripts/count-syscalls.sh "$build_dir"
echo
echo "== command line against cp"
bash scripts/bench-cli.sh "$build_dir"
