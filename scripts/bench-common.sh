# shellcheck shell=bash
# Shared by the scripts that measure whole runs of velmorant-ips-cli
# (bench-cli.sh, bytes-written.sh, count-syscalls.sh); sourced, not run.

# Stops the script (status 2) unless every TOOL is built; $1 names the script
# in the message.
require_built() {
  local script="$1" tool
  shift
  for tool in "$@"; do
    if [[ ! -x "$tool" ]]; then
      echo "$script: $tool is not built (configure with -DVIPS_BUILD_BENCH=ON)" >&2
      exit 2
    fi
  done
}

# The same for OLD_CLI ($2), an older build given on the command line, when
# it is given.
require_old_cli() {
  if [[ -n "$2" && ! -x "$2" ]]; then
    echo "$1: $2 (OLD_CLI) is not an executable file" >&2
    exit 2
  fi
}

# Writes FOLDER/original.bin (16 MiB) and FOLDER/patch.ips with RECORDS
# records, FULL of them 65,535 bytes long (4, the generator's mix, unless
# given), from seed 1, with the generator GENERATOR.
make_case() {
  local generator="$1" folder="$2" records="$3" full="${4:-4}"
  "$generator" --original-mib 16 --records "$records" --full-size "$full" --seed 1 "$folder" \
    >/dev/null
}
