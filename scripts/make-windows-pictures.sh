#!/usr/bin/env bash
# Converts the committed button pictures into the icon files that the Win32
# window's resources carry (32-bit with alpha, one image each), and draws the
# greyed flags that a language button shows while it cannot be pressed. The
# .ico files are committed; run this again after scripts/make-artwork.sh.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
in="$root/app/resources/pictures"
out="$root/win32/resources"
mkdir -p "$out"
if command -v magick >/dev/null 2>&1; then im=(magick); else im=(convert); fi

to_ico() { "${im[@]}" "$1" "${@:2:$#-2}" -strip "PNG32:-" | "${im[@]}" "PNG32:-" "${@: -1}"; }

# The check mark strip holds the normal image and its greyed outline.
to_ico "$in/go.png" -crop 18x18+0+0 +repage "$out/go.ico"
to_ico "$in/go.png" -crop 18x18+18+0 +repage "$out/go-disabled.ico"
for name in help help-disabled retry retry-disabled flag-uk flag-ru; do
  to_ico "$in/$name.png" "$out/$name.ico"
done
# A locked flag: its colours washed out to light greys, the frame kept dark.
for flag in flag-uk flag-ru; do
  to_ico "$in/$flag.png" -colorspace Gray -fill white -colorize 45% -colorspace sRGB \
    "$out/$flag-disabled.ico"
done
