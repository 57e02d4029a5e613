#!/usr/bin/env bash
# Runs the cross-built Windows tests under Wine. Usage:
# scripts/test-windows.sh [BUILD_DIR] (after scripts/build-windows.sh).
#
# Wine run by root opens read-only files for writing, so as root the tests run
# as the unprivileged user 65534. That user may not reach the build folder (a
# clone under /root), so the test programs are copied to a folder of their own
# under /tmp, with a Wine prefix inside it; ~/.wine is never touched. The run
# fails when a test fails, and also when the number of tests that GoogleTest
# itself reports as passed differs from CTest's count: a crashed Wine server
# ends a test program with status 0 and cut output.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=$(cd "${1:-build-windows}" && pwd)
jobs=${JOBS:-$(nproc)}

# The tests themselves: the Windows build made only the programs.
cmake --build "$build" -j "$jobs"

run=$(mktemp -d /tmp/vips-windows-tests.XXXXXX)
as_tester=()
if [[ $(id -u) -eq 0 ]]; then
  as_tester=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
wine_env=(env HOME="$run/home" WINEPREFIX="$run/wineprefix" WINEDEBUG=-all)
finish() {
  "${as_tester[@]}" "${wine_env[@]}" wineserver -k 2>/dev/null || true
  rm -rf "$run"
}
trap finish EXIT

# Every program whose tests CTest lists (gtest_discover_tests writes one
# include file per program), with the other programs beside it (the CLI).
mkdir -p "$run/bin" "$run/home" "$run/locale"
programs=()
while IFS= read -r include; do
  program=$(sed -n 's/^if(EXISTS "\(.*\.exe\)")$/\1/p' "$include" | head -n 1)
  [[ -n $program ]] || continue
  cp "$(dirname "$program")"/*.exe "$run/bin/"
  programs+=("$run/bin/$(basename "$program")")
done < <(find "$build" -path "$build/googletest-build" -prune -o -name '*]_include.cmake' -print |
  sort)
if ((${#programs[@]} == 0)); then
  echo "No Windows test programs in $build" >&2
  exit 1
fi
# The Russian locale for the window's start-up test: Wine answers
# GetThreadLocale with 1049 for LANG=ru_RU.UTF-8 only when the C library has
# that locale, so it is generated into the run's own folder.
localedef -i ru_RU -f UTF-8 "$run/locale/ru_RU.UTF-8" >/dev/null 2>&1 ||
  [[ -f $run/locale/ru_RU.UTF-8/LC_CTYPE ]]
cmake -S "$source_dir/tests/windows" -B "$run/ctest" \
  "-DVIPS_TEST_PROGRAMS=$(IFS=';'; echo "${programs[*]}")" \
  "-DVIPS_RUSSIAN_LOCPATH=$run/locale" >/dev/null
if [[ $(id -u) -eq 0 ]]; then
  chown -R 65534:65534 "$run"
fi

"${as_tester[@]}" "${wine_env[@]}" wine wineboot --init >/dev/null 2>&1
# Wine's null graphics driver: the window's tests make real windows and
# drive them with messages, without a display.
"${as_tester[@]}" "${wine_env[@]}" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null \
  /f >/dev/null 2>&1
status=0
# A test whose Wine server went away under it ("recvmsg: Connection reset by
# peer", seen on a loaded machine) is run once more; a real failure fails twice.
"${as_tester[@]}" "${wine_env[@]}" ctest --test-dir "$run/ctest" -j "$jobs" --output-on-failure \
  --repeat until-pass:2 \
  --output-junit "$run/ctest/results.xml" || status=$?

# CTest's count of passed tests against the tests GoogleTest says passed.
results=$run/ctest/results.xml
log=$run/ctest/Testing/Temporary/LastTest.log
ctest_passed=$(grep -c '<testcase .*status="run"' "$results" || true)
ctest_skipped=$(grep -c '<testcase .*status="notrun"' "$results" || true)
gtest_passed=$(grep -cE '^\[       OK \] .* \([0-9]+ ms\)$' "$log" || true)
gtest_skipped=$(grep -cE '^\[  SKIPPED \] .* \([0-9]+ ms\)$' "$log" || true)
# What was skipped on Windows, and why.
awk '/: Skipped$/ { reason = ""; waiting = 1; next }
     /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
       print "Skipped on Windows: " $4 ": " (reason == "" ? "(no reason given)" : reason)
       waiting = 0; next
     }
     waiting && reason == "" { reason = $0 }' "$log"
echo "Windows tests: CTest ${ctest_passed} passed, ${ctest_skipped} skipped;" \
  "GoogleTest ${gtest_passed} passed, ${gtest_skipped} skipped"
if ((ctest_passed != gtest_passed || ctest_skipped != gtest_skipped)); then
  echo "Windows tests: the counts differ, a test ended without GoogleTest's verdict" >&2
  status=1
fi
exit "$status"
