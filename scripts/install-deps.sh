#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, and only
# those that are missing; the package lists are refreshed only then.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # The window's captions are fitted to a narrow face; Liberation Sans has
  # Arial's metrics, so every caption fits its designed control.
  fonts-liberation2
  # /usr/bin/time -v: the peak memory that scripts/bench-cli.sh reports.
  time
)
if [[ "${1:-}" == "--with-screen" ]]; then
  packages+=(xvfb xauth imagemagick)
fi
# `make fuzz`: clang and its libFuzzer.
if [[ "${1:-}" == "--with-fuzz" ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
