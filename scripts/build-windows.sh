#!/usr/bin/env bash
# Cross-builds the native window and the command-line tool (their tests wait
# for scripts/test-windows.sh) for 64-bit Windows with Debian's MinGW-w64, and packs
# velmorant-ips.exe and velmorant-ips-cli.exe with the Windows README and the
# license into velmorant-ips-<version>-win64.zip in the build folder.
# Usage: scripts/build-windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
mkdir -p "${1:-build-windows}"
build=$(cd "${1:-build-windows}" && pwd)
toolchain=$source_dir/cmake/mingw-w64-x86_64.cmake
jobs=${JOBS:-$(nproc)}

# GoogleTest from Debian's sources, built by the same toolchain and installed
# into the build folder.
gtest=$build/googletest
if [[ ! -f $gtest/lib/cmake/GTest/GTestConfig.cmake ]]; then
  cmake -S /usr/src/googletest -B "$build/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest-build" -j "$jobs"
  cmake --install "$build/googletest-build" >/dev/null
fi

cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVIPS_BUILD_APP=OFF -DVIPS_BUILD_BENCH=OFF \
  -DGTest_DIR="$gtest/lib/cmake/GTest" >/dev/null
cmake --build "$build" -j "$jobs" --target velmorant-ips velmorant-ips-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=velmorant-ips-$version-win64
package=$build/package/$name
rm -rf "$build/package" "$build/$name.zip" "$build"/velmorant-ips-cli-*-win64.zip
mkdir -p "$package"
x86_64-w64-mingw32-strip -o "$package/velmorant-ips.exe" "$build/win32/velmorant-ips.exe"
x86_64-w64-mingw32-strip -o "$package/velmorant-ips-cli.exe" "$build/cli/velmorant-ips-cli.exe"
# The Windows README with Windows line ends, for every editor there.
sed 's/$/\r/' packaging/windows/README.txt >"$package/README.txt"
cp LICENSE "$package/"
(cd "$build/package" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")
echo "Windows download: $build/$name.zip"
