#!/usr/bin/env bash
# The window program without a display: --help, --version and wrong usage
# answer as ever; a start says in one line that a display is needed and ends
# with status 1, also when the display named cannot be opened.
# Usage: no_display_test.sh PROGRAM VERSION
set -uo pipefail
program=$1
version=$2
failures=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# expect STATUS STDOUT-START STDERR-START ENV... -- WORDS...
expect() {
  local status=$1 stdout=$2 stderr=$3
  shift 3
  local environment=()
  while [[ $1 != -- ]]; do environment+=("$1") && shift; done
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${environment[@]}" \
    timeout 20 "$program" "$@" >"$out" 2>"$err"
  local got=$?
  if ((got != status)) || [[ $(cat "$out") != "$stdout"* || $(cat "$err") != "$stderr"* ]]; then
    echo "FAIL: ${environment[*]} velmorant-ips $*: status $got"
    echo "  stdout: $(cat "$out")"
    echo "  stderr: $(cat "$err")"
    failures=$((failures + 1))
  fi
}

no_display="velmorant-ips: the window needs a display and found none it could open; velmorant-ips-cli works without one"
expect 0 "Velmorant IPS: applies" "" -- --help
expect 0 "Velmorant IPS $version" "" -- --version
expect 64 "" "velmorant-ips: unknown option '--bogus'" -- --bogus
expect 64 "" "velmorant-ips: at most two files" -- a b c
expect 1 "" "$no_display" -- image.bin
expect 1 "" "$no_display" DISPLAY=:197 -- image.bin
# Nothing else is said: the one line is all of it.
for display in "" :197; do
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=$display timeout 20 "$program" 2>"$err"
  if [[ $(cat "$err") != "$no_display" ]]; then
    echo "FAIL: DISPLAY='$display': $(cat "$err")"
    failures=$((failures + 1))
  fi
done
((failures == 0)) && echo "no display: all cases pass"
exit "$failures"
