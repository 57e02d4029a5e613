#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, and only
# those that are missing; the package lists are refreshed only then.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # Checksums of the command-line tool: CRC-32 (zlib), MD5 and SHA-1 (Nettle).
  zlib1g-dev nettle-dev
  # The window's captions are fitted to a narrow face; Liberation Sans has
  # Arial's metrics, so every caption fits its designed control.
  fonts-liberation2
  # Qt's own texts (file dialog, context menus) in Russian.
  qt6-translations-l10n
  # /usr/bin/time -v: the peak memory that scripts/bench-cli.sh reports.
  time
  # mkfs.btrfs: the full-disk test on a copy-on-write file system of its own
  # (a loop-mounted image; skipped without it).
  btrfs-progs
)
if [[ " $* " == *" --windows "* ]]; then
  # Cross-building for Windows (MinGW-w64, zlib and GoogleTest's sources) and
  # running the tests under Wine.
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    libz-mingw-w64-dev googletest wine wine64
    # The Russian locale's source, which the Win32 window's start-up test
    # generates with localedef so that Wine reports locale 1049.
    locales)
fi
if [[ " $* " == *" --with-screen "* ]]; then
  # The screenshots run the window on a virtual screen and click its buttons.
  packages+=(xvfb xauth imagemagick xdotool)
fi
if [[ " $* " == *" --with-packaging "* ]]; then
  # Building the Debian package (dpkg-shlibdeps) and checking it.
  packages+=(dpkg-dev file desktop-file-utils appstream lintian)
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
