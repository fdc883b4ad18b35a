#!/usr/bin/env bash
# Cross-builds Zebrik SmartCard for 64-bit Windows 10 and 11 on Debian with mingw-w64
# (scripts/install-deps.sh --tests installs it) and packs the programs for handing out:
#   build/windows/zebrik-report.exe
#   build/windows/zebrik-smartcard.exe                 (the Win32 window)
#   build/windows/zebrik-smartcard-windows-x64.zip     (the programs, LIESMICH.txt, LICENSE.txt)
# The unit tests for Windows are built beside them (tests/windows/run_wine_tests.sh runs
# them under Wine).
#   scripts/build-windows.sh [BUILD_DIR]     (default: build/windows in the repository)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build/windows}")  # absolute: the zip is packed from inside its folder

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-x86_64.cmake"
cmake --build "$build" -j"$(nproc)"

stage="$build/zip"
rm -rf "$stage"
mkdir -p "$stage"
programs=(zebrik-report.exe zebrik-smartcard.exe)
for program in "${programs[@]}"; do
    cp "$build/$program" "$stage/"
done
# Windows' editor wants its text files with CR LF.
sed 's/$/\r/' "$root/packaging/windows/LIESMICH.txt" >"$stage/LIESMICH.txt"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
zip="$build/zebrik-smartcard-windows-x64.zip"
rm -f "$zip"
# The files carry the time of the last commit, not of the build.
stamp='%Y-%m-%d %H:%M:%S UTC'
mtime=$(TZ=UTC git -C "$root" log -1 --date=format-local:"$stamp" --format=%cd 2>/dev/null ||
    date -u +"$stamp")
(cd "$stage" && cmake -E tar cf "$zip" --format=zip --mtime="$mtime" \
    "${programs[@]}" LIESMICH.txt LICENSE.txt)
echo "build-windows: $zip (${programs[*]})"
