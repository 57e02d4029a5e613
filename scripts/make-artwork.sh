#!/usr/bin/env bash
# Draws the program icon and the button pictures with ImageMagick (6 or 7)
# and writes them under app/resources/. The PNGs are committed; run this
# again only to change the artwork.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/app/resources"
mkdir -p "$out/icons" "$out/pictures" "$out/windows"

if command -v magick >/dev/null 2>&1; then im=(magick); else im=(convert); fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Writes PNGs without time stamps, so that re-running gives the same bytes.
png() {
  local args=("$@")
  local target="${args[-1]}"
  unset 'args[-1]'
  "${im[@]}" "${args[@]}" -strip -define png:exclude-chunks=date,time "$target"
}

# Program icon: the letters IPS in purple on an orange rounded square, drawn
# large and scaled down to each size.
png -size 256x256 xc:none \
  -fill '#f39c12' -stroke '#c0620a' -strokewidth 8 -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#5b1f8a' -stroke none -font DejaVu-Sans-Bold -pointsize 118 \
  -gravity center -annotate +0+6 'IPS' "$work/icon-256.png"
for size in 16 24 32 48 64; do
  png "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" \
    "PNG32:$out/icons/velmorant-ips-$size.png"
done
"${im[@]}" "$out"/icons/velmorant-ips-{16,24,32,48,64}.png "$out/windows/velmorant-ips.ico"

# Flags, 22 x 15 with a one-pixel black frame around a 20 x 13 field.
png -size 200x130 xc:'#012169' \
  -stroke white -strokewidth 26 -draw 'line 0,0 200,130' -draw 'line 0,130 200,0' \
  -stroke '#c8102e' -strokewidth 9 -draw 'line 0,0 200,130' -draw 'line 0,130 200,0' \
  -stroke white -strokewidth 40 -draw 'line 100,0 100,130' -draw 'line 0,65 200,65' \
  -stroke '#c8102e' -strokewidth 24 -draw 'line 100,0 100,130' -draw 'line 0,65 200,65' \
  -filter Box -resize '20x13!' -bordercolor black -border 1 "PNG32:$out/pictures/flag-uk.png"
png -size 20x13 xc:white \
  -fill '#0039a6' -draw 'rectangle 0,4 19,8' \
  -fill '#d52b1e' -draw 'rectangle 0,9 19,12' \
  -bordercolor black -border 1 "PNG32:$out/pictures/flag-ru.png"

# Pictures of 18 x 18 are drawn at four times the size and scaled down.
shrink() { png "$1" -filter Lanczos -resize 18x18 "PNG32:$2"; }

# Check mark: the normal image and a grey outline of it, side by side.
check='polygon 8,38 20,26 32,38 56,12 68,24 32,62'
png -size 72x72 xc:none -fill '#1fae2d' -stroke '#0b5e14' -strokewidth 4 -draw "$check" \
  "$work/check.png"
png -size 72x72 xc:none -fill none -stroke white -strokewidth 4 \
  -draw "translate 3,3 $check" -stroke '#808080' -draw "$check" "$work/check-disabled.png"
shrink "$work/check.png" "$work/check-18.png"
shrink "$work/check-disabled.png" "$work/check-disabled-18.png"
png "$work/check-18.png" "$work/check-disabled-18.png" +append "PNG32:$out/pictures/go.png"

# Help: a cyan question mark with a dark outline.
png -size 72x72 xc:none -font DejaVu-Sans-Bold -pointsize 72 -gravity center \
  -fill '#00d8e0' -stroke '#00606a' -strokewidth 4 -annotate +0+2 '?' "$work/help.png"
png -size 72x72 xc:none -font DejaVu-Sans-Bold -pointsize 72 -gravity center \
  -fill none -stroke white -strokewidth 4 -annotate +3+5 '?' \
  -stroke '#808080' -annotate +0+2 '?' "$work/help-disabled.png"
shrink "$work/help.png" "$out/pictures/help.png"
shrink "$work/help-disabled.png" "$out/pictures/help-disabled.png"

# Retry: two green arrows bent into a circle, each ending in a head.
# Angles run clockwise from three o'clock; each head sits at its arc's end,
# pointing along the turn. Arcs are drawn as short round-capped lines, since
# some ImageMagick versions close an open stroked path with a chord.
arc() {
  awk -v from="$1" -v to="$2" 'BEGIN {
    for (a = from; a <= to; a += 10) {
      r = a * 3.14159265 / 180; x = 36 + 23 * cos(r); y = 36 + 23 * sin(r)
      if (a > from) printf "line %.1f,%.1f %.1f,%.1f ", px, py, x, y
      px = x; py = y
    }
  }'
}
arcs="stroke-linecap round $(arc 200 340) $(arc 20 160)"
heads='polygon 67,25 50,31 62,38 polygon 5,47 22,41 10,34'
png -size 72x72 xc:none -fill none -stroke '#1a9c2a' -strokewidth 8 -draw "$arcs" \
  -fill '#1a9c2a' -stroke '#1a9c2a' -strokewidth 2 -draw "$heads" "$work/retry.png"
png -size 72x72 xc:none -fill none -stroke '#808080' -strokewidth 6 -draw "$arcs" \
  -fill '#808080' -stroke '#808080' -strokewidth 2 -draw "$heads" "$work/retry-disabled.png"
shrink "$work/retry.png" "$out/pictures/retry.png"
shrink "$work/retry-disabled.png" "$out/pictures/retry-disabled.png"

echo "artwork written to $out"
