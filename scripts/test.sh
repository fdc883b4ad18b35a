#!/usr/bin/env bash
# Runs every test of Zebrik SmartCard on a Debian 12 machine, as root, with no input:
# installs what is needed, builds everything (window included) with g++ and runs all
# tests, then builds again with clang and AddressSanitizer + UndefinedBehaviorSanitizer
# and runs the unit and end-to-end tests once more.
# The g++ run includes every end-to-end case once more under valgrind's memcheck (ctest
# label valgrind); at the end the libFuzzer targets run for 3 minutes in all
# (scripts/fuzz.sh, where a longer run takes its time in seconds). Last, the programs are
# cross-built for Windows and tested under Wine (tests/windows/run_wine_tests.sh).
#   scripts/test.sh [BUILD_DIR]     (default: build/ in the repository)
set -euo pipefail

# With the update switch the unit tests write their expected files from the run instead of
# comparing them, and every such test passes: never in this run.
if [[ -n "${ZEBRIK_UPDATE+set}" ]]; then
    echo "scripts/test.sh: refused, ZEBRIK_UPDATE is set ('$ZEBRIK_UPDATE'): with it the unit tests" \
        "rewrite their expected files instead of checking them. Run 'unset ZEBRIK_UPDATE', then again." >&2
    exit 2
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${1:-$root/build}
jobs=$(nproc)
release="$builds/release"
sanitize="$builds/sanitize"

"$root/scripts/install-deps.sh" --tests

echo "== Build with g++ and run every test"
cmake -S "$root" -B "$release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$release" -j"$jobs"
ctest --test-dir "$release" --output-on-failure -j"$jobs"

echo "== Build with clang, ASan and UBSan; run the unit and end-to-end tests"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$sanitize" -DCMAKE_BUILD_TYPE=Debug \
    -DZEBRIK_SANITIZE=ON -DZEBRIK_BUILD_GUI=OFF
cmake --build "$sanitize" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$sanitize" --output-on-failure -j"$jobs" -L 'unit|e2e'

echo "== Fuzz the card dispatch, the analysis run and the card-data parsers for 3 minutes"
"$root/scripts/fuzz.sh" 180 "$builds/fuzz"

echo "== Build for Windows and test under Wine"
"$root/scripts/build-windows.sh" "$builds/windows"
"$root/tests/windows/run_wine_tests.sh" "$builds/windows" "$release"
