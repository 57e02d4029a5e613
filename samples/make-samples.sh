#!/usr/bin/env bash
# Rewrites original.bin and sample.ips in this folder.
set -euo pipefail
cd "$(dirname "$0")"

printf 'The cat sat on the mat.\nNumbers: 0000000000\nPadding: ----------\n' >original.bin

# Offsets are three bytes and sizes two, both big-endian; a size of 0 makes a
# run: two bytes of run length, then the value byte.
{
  printf 'PATCH'
  printf '\x00\x00\x04\x00\x03dog'                  # 1: data at 0x04
  printf '\x00\x00\x13\x00\x03rug'                  # 2: data at 0x13
  printf '\x00\x00\x21\x00\x00\x00\x0a7'            # 3: run of ten "7" at 0x21
  printf '\x00\x00\x35\x00\x00\x00\x0a='            # 4: run of ten "=" at 0x35
  printf '\x00\x00\x40\x00\x13Added by record 5.\n' # 5: data past the end at 0x40
  printf 'EOF'
} >sample.ips
