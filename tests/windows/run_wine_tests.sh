#!/usr/bin/env bash
# The Windows build under Wine (Debian's wine64, a prefix of its own in a temporary folder),
# held to the Linux build's output.
#   tests/windows/run_wine_tests.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -uo pipefail
windows=$(realpath "$1") linux=$(realpath "$2") e2e=$(dirname "$(realpath "$0")")/../e2e
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=../support/pcscd_sandbox.sh
source "$e2e/../support/pcscd_sandbox.sh"  # check

# No terminal and no input: Wine gives the program no console, so a PIN prompt is
# cancelled, as it is on Linux without a terminal.
run() { setsid -w "$@" </dev/null; }

# Both streams and the exit status of one call on each side, the Windows side's CR LF
# turned into LF.
same_as_linux() {
    run "$linux/zebrik-report" "$@" >"$work/linux.out" 2>"$work/linux.err"
    echo "exit $?" >>"$work/linux.out"
    run "$wine" "$windows/zebrik-report.exe" "$@" >"$work/windows.raw" 2>"$work/windows.err.raw"
    local status=$?
    { sed 's/\r$//' "$work/windows.raw"; echo "exit $status"; } >"$work/windows.out"
    sed 's/\r$//' "$work/windows.err.raw" >"$work/windows.err"
    # Every line of the report ends with CR LF.
    ! grep -qv $'\r$' "$work/windows.raw" &&
        cmp "$work/linux.out" "$work/windows.out" && cmp "$work/linux.err" "$work/windows.err"
}

no_resource_manager() {
    run "$wine" "$windows/zebrik-report.exe" >"$work/out" 2>/dev/null
    local status=$?
    ((status == 1)) && [[ $(cat "$work/out") == $'Fehler 0x80100001\r' ]] ||
        { echo "exit $status, report:" && cat -A "$work/out"; false; }
}

# libstdc++, libgcc and winpthread are linked in: only Windows' own DLLs remain.
windows_dlls_only() {
    local program dlls
    for program in "$windows"/*.exe; do
        dlls=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p')
        if grep -i '^lib' <<<"$dlls"; then
            echo "$(basename "$program") needs the DLLs above"
            return 1
        fi
    done
}

run "$wine" wineboot --init >/dev/null 2>&1  # the prefix, made once for all the tests
check "no compiler DLL" windows_dlls_only
# The C locale gives Wine the ANSI code page Windows-1252, as on a German Windows.
LC_ALL=C check "unit tests" run "$wine" "$windows/zebrik_unit_tests.exe" --gtest_brief=1
check "--demo" same_as_linux --demo
check "--demo --atr" same_as_linux --demo --atr
check "--demo --trace -" same_as_linux --demo --trace -
check "without a resource manager" no_resource_manager
check "the command line" bash "$e2e/cli_options_test.sh" "$("$linux/zebrik-report" --version | cut -d' ' -f2)" \
    "$wine" "$windows/zebrik-report.exe"
check "the window (Xvfb)" bash "$(dirname "$0")/gui_window.sh" "$windows" "$linux"

echo "$failed failed"
((failed == 0))
