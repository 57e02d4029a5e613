#!/usr/bin/env bash
# Bytes that one durable `velmorant-ips-cli apply` writes, against what the
# patch's records cover. For each case (a 16 MiB original and a generated
# patch) one apply on a fresh copy of the original runs under
#   strace -f -y -e trace=write,pwrite64,pwritev,pwritev2,writev
# and the bytes that the calls report written are summed for the journal
# (the file whose name contains ".vips-journal") and for the file patched.
# Set against them:
#   covered      the bytes of the union of the records' ranges
#                [offset, offset + count), within the original's length,
#   page bytes   4096 x the number of 4 KiB pages of the file those ranges
#                touch (bench/vips-patch-coverage computes both),
# as the ratios journal/covered and file/page bytes, with the goal of each
# where the case has one ("-" where not). When OLD_CLI (an older build of
# velmorant-ips-cli) is given it is measured the same way on the same patch,
# and the two patched files are compared.
#
# Usage: scripts/bytes-written.sh [BUILD_DIR] [OLD_CLI]
set -euo pipefail
# A failing command inside $(...) stops the script too.
shopt -s inherit_errexit

build_dir="${1:-build}"
old_cli="${2:-}"
cli="$build_dir/cli/velmorant-ips-cli"
generator="$build_dir/bench/vips-gen-patch"
coverage="$build_dir/bench/vips-patch-coverage"
# shellcheck source=scripts/bench-common.sh
source "$(dirname "$0")/bench-common.sh"
require_built bytes-written "$cli" "$generator" "$coverage"
require_old_cli bytes-written "$old_cli"
if ! command -v strace >/dev/null; then
  echo "bytes-written: strace is not installed" >&2
  exit 2
fi

# strace names files by their resolved path; the folder's must match it.
work="$(realpath "$(mktemp -d)")"
trap 'rm -rf "$work"' EXIT

# name, records, full-size records, goal for journal/covered, goal for
# file/page bytes ("-": none)
cases=(
  "300,000 records|300000|4|1.2|-"
  "10,000 records|10000|4|-|-"
  "200 x 65,535-byte records|200|200|-|-"
  "1,000 records|1000|4|-|1.25"
)

# Sums the bytes written in the strace output $1 by file: prints
# "JOURNAL FILE OTHER", OTHER being the bytes written into any other file
# under $2 (none is expected). A call that strace splits across two lines
# (<unfinished ...> and <... resumed>) is joined by its process id.
sum_writes() {
  awk -v target="$2/target.bin" -v folder="$2/" '
    function add(path, bytes) {
      if (index(path, ".vips-journal") > 0) journal += bytes
      else if (path == target) file += bytes
      else if (index(path, folder) == 1) other += bytes
    }
    {
      pid = 0
      line = $0
      if ($1 ~ /^[0-9]+$/) { pid = $1; sub(/^[0-9]+ +/, "", line) }
      if (match(line, /^(write|pwrite64|pwritev|pwritev2|writev)\([0-9]+<[^>]*>/)) {
        path = substr(line, RSTART, RLENGTH)
        sub(/^[^<]*</, "", path)
        sub(/>$/, "", path)
        if (line ~ /<unfinished \.\.\.>$/) { pending[pid] = path; next }
      } else if (line ~ /^<\.\.\. (write|pwrite64|pwritev|pwritev2|writev) resumed>/) {
        path = pending[pid]
        delete pending[pid]
      } else {
        next
      }
      if (match(line, / = [0-9]+$/)) add(path, substr(line, RSTART + 3) + 0)
    }
    END { printf "%d %d %d\n", journal, file, other }' "$1"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() {
  if [[ "$2" == - ]]; then
    echo -
  else
    awk -v r="$1" -v g="$2" 'BEGIN { print "<=" g " " (r <= g ? "met" : "missed") }'
  fi
}

format='%-25s %-5s %10s %10s %10s %6s %-13s %10s %6s %s\n'
# shellcheck disable=SC2059 # a fixed format, kept in one place
printf "$format" case build covered "page bytes" journal "j/cov" goal file "f/page" goal

builds=("new|$cli")
[[ -n "$old_cli" ]] && builds+=("old|$old_cli")
others=()
for entry in "${cases[@]}"; do
  IFS='|' read -r name records full goal_journal goal_file <<<"$entry"
  folder="$work/case-$records"
  make_case "$generator" "$folder" "$records" "$full"
  original="$folder/original.bin"
  patch="$folder/patch.ips"
  target="$folder/target.bin"

  read -r covered pages < <("$coverage" "$patch" "$(stat -c %s "$original")" |
    awk '/^covered-bytes / { c = $2 } /^touched-pages / { p = $2 } END { print c, p }')
  page_bytes=$((pages * 4096))

  for build in "${builds[@]}"; do
    IFS='|' read -r label binary <<<"$build"
    cp "$original" "$target"
    sync "$target"
    strace -f -y -o "$folder/strace-$label.txt" \
      -e trace=write,pwrite64,pwritev,pwritev2,writev \
      "$binary" apply "$target" "$patch" >/dev/null
    cp "$target" "$folder/patched-$label.bin"
    read -r journal file other < <(sum_writes "$folder/strace-$label.txt" "$folder")
    if ((other > 0)); then
      others+=("$name, $label: $other bytes written into other files of the folder")
    fi
    journal_ratio=$(ratio "$journal" "$covered")
    file_ratio=$(ratio "$file" "$page_bytes")
    # shellcheck disable=SC2059
    printf "$format" "$name" "$label" "$covered" "$page_bytes" "$journal" "$journal_ratio" \
      "$(verdict "$journal_ratio" "$goal_journal")" "$file" "$file_ratio" \
      "$(verdict "$file_ratio" "$goal_file")"
  done
  if [[ -n "$old_cli" ]] && ! cmp -s "$folder/patched-new.bin" "$folder/patched-old.bin"; then
    others+=("$name: the new and the old build patched the file differently")
  fi
  rm -rf "$folder"
done
echo "(one durable apply each; 16 MiB original; bytes the write calls report written)"
for note in "${others[@]}"; do echo "note: $note"; done
exit 0
