#!/usr/bin/env bash
# Whole-process speed of `velmorant-ips-cli apply`, measured from outside and
# set against copies of the same original file, in one run side by side.
#
# For each case (a 16 MiB original and a generated patch) the runs alternate:
#   (a) `velmorant-ips-cli apply` on a fresh copy of the original (durable:
#       the file is on the disk when it ends),
#   (b) a durable copy of the original, `dd bs=1M conv=fsync`,
#   (c) `velmorant-ips-cli apply --no-sync` on a fresh copy,
#   (d) `cp` of the original to a new file,
# RUNS times each (21 unless given). The fresh copy for (a) and (c) is made
# and flushed to the disk before the clock starts (a file to patch is on the
# disk already; its copy's unwritten pages would be flushed by (a) and counted
# against it), and the targets of (b) and (d) are removed before it starts.
# Prints the medians, the median of the pair-by-pair ratios a/b and c/d, the
# goal for each, and the peak memory of one apply (`/usr/bin/time -v`).
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

# name, records, full-size records, goal against dd, goal against cp
cases=(
  "300,000 records|300000|4|1.5|2.0"
  "10,000 records|10000|4|1.0|1.0"
  "200 x 65,535-byte records|200|200|1.0|0.9"
)

# Milliseconds of a median in microseconds.
ms() { awk -v v="$1" 'BEGIN { printf "%.1f", v / 1000 }'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g ? "met" : "missed") }'; }

printf '%-27s %9s %9s %7s %6s   %9s %9s %7s %6s %9s\n' case "apply ms" "dd ms" "a/dd" goal \
  "nosync ms" "cp ms" "n/cp" goal "peak KiB"
for entry in "${cases[@]}"; do
  IFS='|' read -r name records full goal_dd goal_cp <<<"$entry"
  folder="$work/case-$records"
  "$generator" --original-mib 16 --records "$records" --full-size "$full" --seed 1 "$folder" \
    >/dev/null
  original="$folder/original.bin"
  patch="$folder/patch.ips"
  target="$folder/target.bin"
  copy="$folder/copy.bin"

  # One run of each outside the count, so that all start from the page cache.
  cp "$original" "$target"
  "$cli" apply "$target" "$patch"
  dd if="$original" of="$copy" bs=1M conv=fsync status=none
  cp "$original" "$copy"

  for f in a b c d ab cd; do : >"$folder/$f.txt"; done
  for ((run = 0; run < runs; ++run)); do
    cp "$original" "$target"
    sync "$target"
    start=$(now_us)
    "$cli" apply "$target" "$patch"
    a=$(($(now_us) - start))

    rm -f "$copy"
    start=$(now_us)
    dd if="$original" of="$copy" bs=1M conv=fsync status=none
    b=$(($(now_us) - start))

    cp "$original" "$target"
    sync "$target"
    start=$(now_us)
    "$cli" apply --no-sync "$target" "$patch"
    c=$(($(now_us) - start))

    rm -f "$copy"
    start=$(now_us)
    cp "$original" "$copy"
    d=$(($(now_us) - start))

    echo "$a" >>"$folder/a.txt"
    echo "$b" >>"$folder/b.txt"
    echo "$c" >>"$folder/c.txt"
    echo "$d" >>"$folder/d.txt"
    awk -v a="$a" -v b="$b" 'BEGIN { print a / b }' >>"$folder/ab.txt"
    awk -v a="$c" -v b="$d" 'BEGIN { print a / b }' >>"$folder/cd.txt"
  done

  cp "$original" "$target"
  /usr/bin/time -v -o "$folder/time.txt" "$cli" apply "$target" "$patch"
  peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$folder/time.txt")

  ab=$(median <"$folder/ab.txt")
  cd=$(median <"$folder/cd.txt")
  printf '%-27s %9s %9s %7.2f %6s   %9s %9s %7.2f %6s %9s\n' "$name" \
    "$(ms "$(median <"$folder/a.txt")")" "$(ms "$(median <"$folder/b.txt")")" "$ab" \
    "<=$goal_dd $(verdict "$ab" "$goal_dd")" \
    "$(ms "$(median <"$folder/c.txt")")" "$(ms "$(median <"$folder/d.txt")")" "$cd" \
    "<=$goal_cp $(verdict "$cd" "$goal_cp")" "$peak"
done
echo "($runs runs of each, alternating; 16 MiB original; medians of whole-process wall time)"
