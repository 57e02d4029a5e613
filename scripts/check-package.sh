#!/usr/bin/env bash
# Checks the Debian package the way a user meets it: lintian on the file,
# then installed with apt-get, its desktop entry and AppStream metadata
# validated, both programs' --version run from the installed paths (the
# window's without a display), and removed again. Needs root (or sudo).
# Usage: scripts/check-package.sh [package.deb]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# The version is the project's, as the package states it.
version="$(sed -n 's/^project(VelmorantIPS VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
deb="$(realpath "${1:-$root/build/velmorant-ips_${version}_amd64.deb}")"
[[ -f "$deb" ]] || { echo "no package at $deb; run make package first" >&2; exit 1; }

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

status=0
report="$(lintian --fail-on error "$deb" 2>&1)" || status=$?
report="$(grep -v 'running with root privileges' <<<"$report" || true)"
echo "lintian: ${report:-no errors or warnings}"
((status == 0)) || { echo "lintian found errors" >&2; exit 1; }

removed=0
remove() {
  if ((removed == 0)); then
    "${sudo_cmd[@]}" apt-get purge -y velmorant-ips >/dev/null
    removed=1
  fi
}
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "$deb" >/dev/null
trap remove EXIT

desktop-file-validate /usr/share/applications/velmorant-ips.desktop
grep -qx 'MimeType=application/x-ips-patch;application/x-bps-patch;' /usr/share/applications/velmorant-ips.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.velmorant.ips.metainfo.xml
test -f /usr/share/man/man1/velmorant-ips.1.gz
test -f /usr/share/man/man1/velmorant-ips-cli.1.gz
test -f /usr/share/bash-completion/completions/velmorant-ips-cli
test -f /usr/share/icons/hicolor/48x48/apps/velmorant-ips.png
grep -q '^License: MIT' /usr/share/doc/velmorant-ips/copyright

expected="Velmorant IPS $version"
cli="$(/usr/bin/velmorant-ips-cli --version)"
window="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/velmorant-ips --version)"
[[ "$cli" == "$expected" ]] || { echo "velmorant-ips-cli --version: $cli" >&2; exit 1; }
[[ "$window" == "$expected" ]] || { echo "velmorant-ips --version: $window" >&2; exit 1; }
echo "installed: velmorant-ips-cli --version: $cli; velmorant-ips --version: $window"

remove
dpkg-query -W velmorant-ips >/dev/null 2>&1 &&
  dpkg-query -W -f='${Status}' velmorant-ips | grep -q 'install ok installed' &&
  { echo "the package is still installed" >&2; exit 1; }
echo "package checked, installed and removed again: $(basename "$deb")"
