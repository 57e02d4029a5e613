#!/usr/bin/env bash
# Whole-process speed of `velmorant-ips-cli apply`, measured from outside and
# set against `cp` of the same original file, in one run side by side.
#
# For each case (a 16 MiB original and a generated patch) the runs alternate:
#   (a) `velmorant-ips-cli apply` on a fresh copy of the original,
#   (b) `cp` of the original to a new file,
# RUNS times each (21 unless given). The fresh copy for (a) and the removal
# of (b)'s target happen before the clock starts. Prints the median of (a),
# of (b), the median of the pair-by-pair ratio a/b, the goal for that ratio,
# and the peak memory of one apply (`/usr/bin/time -v`).
#
# Usage: scripts/bench-cli.sh [BUILD_DIR] [RUNS]
set -euo pipefail

build_dir="${1:-build}"
runs="${2:-21}"
cli="$build_dir/cli/velmorant-ips-cli"
generator="$build_dir/bench/vips-gen-patch"
for tool in "$cli" "$generator"; do
  if [[ ! -x "$tool" ]]; then
    echo "bench-cli: $tool is not built (configure with -DVIPS_BUILD_BENCH=ON)" >&2
    exit 2
  fi
done
if [[ ! -x /usr/bin/time ]]; then
  echo "bench-cli: /usr/bin/time is not installed (Debian package 'time')" >&2
  exit 2
fi
if [[ ! "$runs" =~ ^[0-9]+$ ]] || ((runs < 1)); then
  echo "bench-cli: RUNS must be a whole number above 0" >&2
  exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Microseconds since the epoch, from bash itself (no process of its own).
now_us() {
  local t="$EPOCHREALTIME"
  echo $((10#${t%.*} * 1000000 + 10#${t#*.}))
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# name, records, full-size records, goal
cases=(
  "300,000 records|300000|4|2.0"
  "10,000 records|10000|4|1.0"
  "200 x 65,535-byte records|200|200|0.9"
)

printf '%-27s %10s %10s %12s %6s %8s %10s\n' case "apply ms" "cp ms" "ratio a/b" goal "" "peak KiB"
for entry in "${cases[@]}"; do
  IFS='|' read -r name records full goal <<<"$entry"
  folder="$work/case-$records"
  "$generator" --original-mib 16 --records "$records" --full-size "$full" --seed 1 "$folder" \
    >/dev/null
  original="$folder/original.bin"
  patch="$folder/patch.ips"
  target="$folder/target.bin"
  copy="$folder/copy.bin"

  # One run of each outside the count, so that both start from the page cache.
  cp "$original" "$target"
  "$cli" apply "$target" "$patch"
  cp "$original" "$copy"

  : >"$folder/a.txt"
  : >"$folder/b.txt"
  : >"$folder/ratio.txt"
  for ((run = 0; run < runs; ++run)); do
    cp "$original" "$target"
    start=$(now_us)
    "$cli" apply "$target" "$patch"
    a=$(($(now_us) - start))

    rm -f "$copy"
    start=$(now_us)
    cp "$original" "$copy"
    b=$(($(now_us) - start))

    echo "$a" >>"$folder/a.txt"
    echo "$b" >>"$folder/b.txt"
    awk -v a="$a" -v b="$b" 'BEGIN { print a / b }' >>"$folder/ratio.txt"
  done

  cp "$original" "$target"
  /usr/bin/time -v -o "$folder/time.txt" "$cli" apply "$target" "$patch"
  peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$folder/time.txt")

  a_median=$(median <"$folder/a.txt")
  b_median=$(median <"$folder/b.txt")
  ratio=$(median <"$folder/ratio.txt")
  verdict=$(awk -v r="$ratio" -v g="$goal" 'BEGIN { print (r <= g ? "met" : "missed") }')
  printf '%-27s %10.1f %10.1f %12.2f %6s %8s %10s\n' "$name" \
    "$(awk -v v="$a_median" 'BEGIN { print v / 1000 }')" \
    "$(awk -v v="$b_median" 'BEGIN { print v / 1000 }')" "$ratio" "<=$goal" "$verdict" "$peak"
done
echo "($runs runs of each, alternating; 16 MiB original; medians of whole-process wall time)"
