#!/usr/bin/env bash
# Counts the system calls of one large apply: a 300,000-record patch on a
# 16 MiB original, traced with strace. Fails unless the count is below
#   4 x (original size + patch size) / 64 KiB + 100,
# i.e. a handful of calls per 64 KiB block moved plus the program's start-up.
# Usage: scripts/count-syscalls.sh [BUILD_DIR]
set -euo pipefail

build_dir="${1:-build}"
cli="$build_dir/cli/velmorant-ips-cli"
generator="$build_dir/bench/vips-gen-patch"
# shellcheck source=scripts/bench-common.sh
source "$(dirname "$0")/bench-common.sh"
require_built count-syscalls "$cli" "$generator"
if ! command -v strace >/dev/null; then
  echo "count-syscalls: strace is not installed" >&2
  exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

make_case "$generator" "$work" 300000
original="$work/original.bin"
patch="$work/patch.ips"
original_bytes=$(stat -c %s "$original")
patch_bytes=$(stat -c %s "$patch")

strace -c -f -o "$work/strace.txt" "$cli" apply "$original" "$patch"

# The summary's last line reads "100.00 seconds usecs/call CALLS [errors] total".
calls=$(awk '$NF == "total" { print $4 }' "$work/strace.txt")
# An unread summary must not pass as a count of zero.
if [[ ! "$calls" =~ ^[0-9]+$ ]]; then
  echo "count-syscalls: no call count in the strace summary" >&2
  exit 2
fi
limit=$(( 4 * (original_bytes + patch_bytes) / 65536 + 100 ))

echo "apply of 300,000 records to 16 MiB: original $original_bytes bytes, patch $patch_bytes bytes"
# The busiest calls, then the total.
awk '$1 ~ /^[0-9.]+$/ && $NF != "total" { print $4, $NF }' "$work/strace.txt" |
  sort -n -r | head -6 | awk '{ printf "  %-12s %s\n", $2, $1 }'
echo "system calls: $calls (limit $limit)"
if (( calls >= limit )); then
  echo "count-syscalls: not below the limit" >&2
  exit 1
fi
