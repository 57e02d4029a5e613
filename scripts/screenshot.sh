#!/usr/bin/env bash
# Photographs the window under a virtual X server: at start in English and in
# Russian (docs/screenshot-en.png, docs/screenshot-ru.png), after the sample
# patch was loaded from the command line (docs/screenshot-loaded.png), and
# the Russian patch dialog (docs/screenshot-ru-dialog.png).
# Usage: scripts/screenshot.sh [build-dir]
#        (needs xvfb-run, ImageMagick and xdotool: install-deps.sh --with-screen)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
program="$build/app/velmorant-ips"
[[ -x "$program" ]] || { echo "no program at $program; build it first" >&2; exit 1; }
# A plain folder name, since the dialog shows it.
work=/tmp/velmorant-ips-samples
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cp "$root/samples/original.bin" "$root/samples/sample.ips" "$work/"

# shoot LOCALE TARGET CROP [ARGUMENTS...]: starts the program in the sample
# folder, runs $clicks (xdotool words, if any), photographs the screen.
clicks=""
shoot() {
  local locale="$1" target="$2" crop="$3"
  shift 3
  (cd "$work" && LANG="$locale" LC_ALL= LC_MESSAGES= QT_QPA_PLATFORM=xcb CLICKS="$clicks" \
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
      shot="$1"; program="$2"; shift 2
      "$program" "$@" & pid=$!
      sleep 3
      if [[ -n "$CLICKS" ]]; then xdotool $CLICKS; sleep 2; fi
      import -window root "$shot"
      kill "$pid"
    ' _ "$target.full.png" "$program" "$@")
  convert "$target.full.png" -crop "$crop" +repage -strip \
    -define png:exclude-chunks=date,time "$target"
  rm -f "$target.full.png"
  echo "wrote $target"
}

# Without a window manager there is no frame: the client area sits at the
# window's start position, and a dialog at the middle of the window.
window=614x379+200+124
mkdir -p "$root/docs"
shoot en_US.UTF-8 "$root/docs/screenshot-en.png" "$window"
shoot ru_RU.UTF-8 "$root/docs/screenshot-ru.png" "$window"
shoot en_US.UTF-8 "$root/docs/screenshot-loaded.png" "$window" original.bin sample.ips
# The patch file's Select... button, with the original file given.
clicks="mousemove 638 214 click 1"
shoot ru_RU.UTF-8 "$root/docs/screenshot-ru-dialog.png" 636x412+184+138 original.bin
