#!/usr/bin/env bash
# The CLI's bash completion: commands, the options of the command typed and
# file names where a file goes. Usage: completion_test.sh COMPLETION-FILE
set -euo pipefail
source "$1"
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
touch image.bin change.ips "with space.ips"

failures=0
# expect "WORDS..." "EXPECTED" : completes the last word of WORDS.
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _velmorant_ips_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
  if [[ $got != "$2" ]]; then
    echo "FAIL: '$1' gave '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

expect "velmorant-ips-cli " "apply create export info list recover status"
expect "velmorant-ips-cli re" "recover"
expect "velmorant-ips-cli --v" "--version"
expect "velmorant-ips-cli apply --" "--backup --crc32 --help --no-sync --only --output --skip --truncate --version"
expect "velmorant-ips-cli apply --only " ""
expect "velmorant-ips-cli apply --only 1-3 i" "image.bin"
expect "velmorant-ips-cli list c" "change.ips"
expect "velmorant-ips-cli list w" "with space.ips"
expect "velmorant-ips-cli apply --output ch" "change.ips"
# Only the options of the command typed; a checksum is no file name.
expect "velmorant-ips-cli --" "--help --version"
expect "velmorant-ips-cli export --" "--help --only --skip --version"
expect "velmorant-ips-cli list --" "--help --version"
expect "velmorant-ips-cli create --" "--bps --help --version"
expect "velmorant-ips-cli list hack.bps i" "image.bin"
expect "velmorant-ips-cli recover --b" ""
expect "velmorant-ips-cli apply --crc32 " ""
expect "velmorant-ips-cli apply --crc32 0x1234abcd i" "image.bin"
expect "velmorant-ips-cli frobnicate " ""
((failures == 0)) && echo "completion: all cases pass"
exit "$failures"
