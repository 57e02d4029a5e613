#!/usr/bin/env bash
# Photographs the Win32 window under Wine and a virtual X server: at start in
# English and in Russian (docs/screenshot-windows-en.png,
# docs/screenshot-windows-ru.png), with the sample patch loaded from the
# command line (docs/screenshot-windows-loaded.png), and the Russian patch
# dialog (docs/screenshot-windows-ru-dialog.png).
# Usage: scripts/screenshot-windows.sh [windows-build-dir] (after make windows;
#        needs install-deps.sh --windows --with-screen)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-windows}" && pwd)"
program="$build/win32/velmorant-ips.exe"
[[ -f "$program" ]] || { echo "no program at $program; run make windows first" >&2; exit 1; }
work=$(mktemp -d /tmp/vips-windows-shots.XXXXXX)
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# The samples in a folder of a plain name, since the dialog shows it.
mkdir -p "$work/samples"
cp "$root/samples/original.bin" "$root/samples/sample.ips" "$work/samples/"
cp "$program" "$work/"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
wine wineboot --init >/dev/null 2>&1
# No window manager runs in the virtual server: Wine draws the title bar.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# GetThreadLocale answers 1049 only for a locale the C library has.
mkdir -p "$work/locale"
localedef -i ru_RU -f UTF-8 "$work/locale/ru_RU.UTF-8" >/dev/null 2>&1 ||
  [[ -f $work/locale/ru_RU.UTF-8/LC_CTYPE ]]
wineserver -k 2>/dev/null || true

# shoot LOCALE TARGET [ARGUMENTS...]: starts the program, runs $clicks
# (xdotool words, if any), photographs the screen.
clicks=""
shoot() {
  local locale="$1" target="$2"
  shift 2
  (cd "$work/samples" && LANG="$locale" LC_ALL="$locale" LOCPATH="$work/locale" CLICKS="$clicks" \
    xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
      shot="$1"; shift
      wine ../velmorant-ips.exe "$@" & pid=$!
      sleep 6
      if [[ -n "$CLICKS" ]]; then xdotool $CLICKS; sleep 4; fi
      import -window root "$shot"
      kill "$pid"; wineserver -k 2>/dev/null || true
    ' _ "$work/shot.png" "$@")
  # The window on the black screen: cut to it.
  convert "$work/shot.png" -trim +repage -strip -define png:exclude-chunks=date,time "$target"
  echo "wrote $target"
}

shoot C.UTF-8 "$root/docs/screenshot-windows-en.png"
shoot ru_RU.UTF-8 "$root/docs/screenshot-windows-ru.png"
shoot C.UTF-8 "$root/docs/screenshot-windows-loaded.png" original.bin sample.ips
# The window stands at 200, 124 and its client area 3, 22 within it: the
# patch's Select... button is at 643, 236 on the screen.
clicks="mousemove 643 236 click 1"
shoot ru_RU.UTF-8 "$root/docs/screenshot-windows-ru-dialog.png" original.bin
