#!/usr/bin/env bash
# Photographs the window at start in English and in Russian, under a virtual
# X server: docs/screenshot-en.png and docs/screenshot-ru.png.
# Usage: scripts/screenshot.sh [build-dir]   (needs xvfb-run and ImageMagick)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
program="$build/app/velmorant-ips"
[[ -x "$program" ]] || { echo "no program at $program; build it first" >&2; exit 1; }

shoot() {
  local locale="$1" target="$2"
  LANG="$locale" LC_ALL= LC_MESSAGES= QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
      "$1" & pid=$!
      sleep 3
      import -window root "$2"
      kill "$pid"
    ' _ "$program" "$target.full.png"
  # Without a window manager there is no frame: the client area sits at the
  # window's start position.
  convert "$target.full.png" -crop 614x379+200+124 +repage -strip \
    -define png:exclude-chunks=date,time "$target"
  rm -f "$target.full.png"
  echo "wrote $target"
}

mkdir -p "$root/docs"
shoot en_US.UTF-8 "$root/docs/screenshot-en.png"
shoot ru_RU.UTF-8 "$root/docs/screenshot-ru.png"
