#!/usr/bin/env bash
# Whole-process speed of `velmorant-ips-cli apply`, measured from outside and
# set against copies of the same original file, in one run side by side;
# optionally also that of an older build of the command, in the same run.
#
# For each case (a 16 MiB original and a generated patch) the runs alternate:
#   (a) `velmorant-ips-cli apply` on a fresh copy of the original (durable:
#       the file is on the disk when it ends),
#   (b) a durable copy of the original, `dd bs=1M conv=fsync`,
#   (c) `velmorant-ips-cli apply --no-sync` on a fresh copy,
#   (d) `cp` of the original to a new file,
# and, when OLD_CLI is given, after (b) and after (d):
#   (e) OLD_CLI's durable apply on a fresh copy,
#   (f) OLD_CLI's `apply --no-sync` on a fresh copy,
# RUNS times each (21 unless given). The fresh copy for (a), (c), (e) and (f)
# is made and flushed to the disk before the clock starts (a file to patch is
# on the disk already; its copy's unwritten pages would be flushed by the
# apply and counted against it), and the targets of (b) and (d) are removed
# before it starts.
# Prints the medians, the median of the pair-by-pair ratios a/b and c/d (and
# e/b and f/d for the old build, paired with the same round's copies), the
# goal for each, and the peak memory of one apply of each build
# (`/usr/bin/time -v`). A goal of "-" means the case has none for that column.
#
# Usage: scripts/bench-cli.sh [BUILD_DIR] [RUNS] [OLD_CLI]
set -euo pipefail
# A failing apply inside $(...) stops the script too.
shopt -s inherit_errexit

build_dir="${1:-build}"
runs="${2:-21}"
old_cli="${3:-}"
cli="$build_dir/cli/velmorant-ips-cli"
generator="$build_dir/bench/vips-gen-patch"
# shellcheck source=scripts/bench-common.sh
source "$(dirname "$0")/bench-common.sh"
require_built bench-cli "$cli" "$generator"
require_old_cli bench-cli "$old_cli"
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

# name, records, full-size records (4 is the generator's default mix), goal
# against dd, goal against cp ("-": none)
cases=(
  "300,000 records|300000|4|1.5|2.0"
  "10,000 records|10000|4|1.0|1.0"
  "200 x 65,535-byte records|200|200|1.0|0.9"
  "1,000,000 sparse records|1000000|4|-|3.5"
)

# Milliseconds of a median in microseconds.
ms() { awk -v v="$1" 'BEGIN { printf "%.1f", v / 1000 }'; }
# "<=goal met" or "<=goal missed" for a ratio; "-" when there is no goal.
verdict() {
  if [[ "$2" == - ]]; then
    echo -
  else
    awk -v r="$1" -v g="$2" 'BEGIN { print "<=" g " " (r <= g ? "met" : "missed") }'
  fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
ratio_cell() { awk -v v="$(median <"$1")" 'BEGIN { printf "%.2f", v }'; }

# Times one apply (arguments after the target) on a fresh, flushed copy of
# the original; prints microseconds.
time_apply() {
  local binary="$1" target="$2" original="$3" patch="$4"
  shift 4
  cp "$original" "$target"
  sync "$target"
  local start
  start=$(now_us)
  "$binary" apply "$@" "$target" "$patch"
  echo $(($(now_us) - start))
}

# Peak resident memory in KiB of one durable apply.
peak_kib() {
  local binary="$1" target="$2" original="$3" patch="$4" report="$5"
  cp "$original" "$target"
  /usr/bin/time -v -o "$report" "$binary" apply "$target" "$patch"
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$report"
}

# The columns: the new build's durable ones, the old one's beside them, then
# the same for --no-sync, then peak memory.
header=(case "apply ms")
format='%-25s %9s'
[[ -n "$old_cli" ]] && header+=("old apply") && format+=' %10s'
header+=("dd ms" "a/dd")
format+=' %9s %6s'
[[ -n "$old_cli" ]] && header+=("old/dd") && format+=' %6s'
header+=(goal "nosync ms")
format+=' %-12s  %9s'
[[ -n "$old_cli" ]] && header+=("old nosync") && format+=' %10s'
header+=("cp ms" "n/cp")
format+=' %9s %6s'
[[ -n "$old_cli" ]] && header+=("old/cp") && format+=' %6s'
header+=(goal "peak KiB")
format+=' %-12s %9s'
[[ -n "$old_cli" ]] && header+=("old KiB") && format+=' %9s'
format+='\n'
# shellcheck disable=SC2059 # the format is built above from fixed pieces
printf "$format" "${header[@]}"

for entry in "${cases[@]}"; do
  IFS='|' read -r name records full goal_dd goal_cp <<<"$entry"
  folder="$work/case-$records"
  make_case "$generator" "$folder" "$records" "$full"
  original="$folder/original.bin"
  patch="$folder/patch.ips"
  target="$folder/target.bin"
  copy="$folder/copy.bin"

  # One run of each outside the count, so that all start from the page cache.
  cp "$original" "$target"
  "$cli" apply "$target" "$patch"
  if [[ -n "$old_cli" ]]; then
    cp "$original" "$target"
    "$old_cli" apply "$target" "$patch"
  fi
  dd if="$original" of="$copy" bs=1M conv=fsync status=none
  cp "$original" "$copy"

  for f in a b c d e f ab cd eb fd; do : >"$folder/$f.txt"; done
  for ((run = 0; run < runs; ++run)); do
    a=$(time_apply "$cli" "$target" "$original" "$patch")

    rm -f "$copy"
    start=$(now_us)
    dd if="$original" of="$copy" bs=1M conv=fsync status=none
    b=$(($(now_us) - start))

    [[ -n "$old_cli" ]] && e=$(time_apply "$old_cli" "$target" "$original" "$patch")

    c=$(time_apply "$cli" "$target" "$original" "$patch" --no-sync)

    rm -f "$copy"
    start=$(now_us)
    cp "$original" "$copy"
    d=$(($(now_us) - start))

    [[ -n "$old_cli" ]] && f=$(time_apply "$old_cli" "$target" "$original" "$patch" --no-sync)

    echo "$a" >>"$folder/a.txt"
    echo "$b" >>"$folder/b.txt"
    echo "$c" >>"$folder/c.txt"
    echo "$d" >>"$folder/d.txt"
    ratio "$a" "$b" >>"$folder/ab.txt"
    ratio "$c" "$d" >>"$folder/cd.txt"
    if [[ -n "$old_cli" ]]; then
      echo "$e" >>"$folder/e.txt"
      echo "$f" >>"$folder/f.txt"
      ratio "$e" "$b" >>"$folder/eb.txt"
      ratio "$f" "$d" >>"$folder/fd.txt"
    fi
  done

  ab=$(median <"$folder/ab.txt")
  cd=$(median <"$folder/cd.txt")
  row=("$name" "$(ms "$(median <"$folder/a.txt")")")
  [[ -n "$old_cli" ]] && row+=("$(ms "$(median <"$folder/e.txt")")")
  row+=("$(ms "$(median <"$folder/b.txt")")" "$(ratio_cell "$folder/ab.txt")")
  [[ -n "$old_cli" ]] && row+=("$(ratio_cell "$folder/eb.txt")")
  row+=("$(verdict "$ab" "$goal_dd")" "$(ms "$(median <"$folder/c.txt")")")
  [[ -n "$old_cli" ]] && row+=("$(ms "$(median <"$folder/f.txt")")")
  row+=("$(ms "$(median <"$folder/d.txt")")" "$(ratio_cell "$folder/cd.txt")")
  [[ -n "$old_cli" ]] && row+=("$(ratio_cell "$folder/fd.txt")")
  row+=("$(verdict "$cd" "$goal_cp")" "$(peak_kib "$cli" "$target" "$original" "$patch" "$folder/time.txt")")
  [[ -n "$old_cli" ]] && row+=("$(peak_kib "$old_cli" "$target" "$original" "$patch" "$folder/time-old.txt")")
  # shellcheck disable=SC2059
  printf "$format" "${row[@]}"
  rm -rf "$folder"
done
echo "($runs runs of each, alternating; 16 MiB original; medians of whole-process wall time)"
[[ -n "$old_cli" ]] && echo "(old: $old_cli, run in the same rounds; its ratios pair it with the same round's dd and cp)"
exit 0
