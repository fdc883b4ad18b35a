#!/usr/bin/env bash
# zebrik-report's command line: the options it has, and how it refuses anything else.
# Usage: cli_options_test.sh PATH/TO/zebrik-report VERSION
set -uo pipefail

report=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# check NAME WANTED_STATUS STDOUT_TEST STDERR_TEST -- ARGS...
# STDOUT_TEST and STDERR_TEST are "empty", "any", or "has:TEXT".
check() {
    local name=$1 want=$2 out_test=$3 err_test=$4
    shift 5
    setsid -w "$report" "$@" </dev/null >"$work/out" 2>"$work/err"
    local status=$? problems=()
    ((status == want)) || problems+=("exit status $status, expected $want")
    matches "$work/out" "$out_test" || problems+=("stdout is not $out_test")
    matches "$work/err" "$err_test" || problems+=("stderr is not $err_test")
    if ((${#problems[@]} == 0)); then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name: ${problems[*]}"
        sed 's/^/     stdout: /' "$work/out"
        sed 's/^/     stderr: /' "$work/err"
        failed=$((failed + 1))
    fi
}

matches() {  # file test
    case "$2" in
        empty) [[ ! -s "$1" ]] ;;
        any) true ;;
        has:*) grep -qF -- "${2#has:}" "$1" ;;
    esac
}

check "--version names program and version" 0 "has:zebrik-report $version" empty -- --version
check "--help explains the options on stdout" 0 "has:--demo" empty -- --help
check "an unknown option is refused in German on stderr" 2 empty "has:unbekannte Angabe \"--verbose\"" -- --verbose
check "a refused call shows the usage" 2 empty "has:Aufruf: zebrik-report" -- --config=x
check "a bare argument is refused" 2 empty any -- reader
check "an unknown option is refused even after --help" 2 empty any -- --help -x
check "--demo reports the built-in readers without pcscd" 0 "has:Chipkartenleser gefunden: \"Zebrik Demo-Leser 0\"" empty -- --demo
check "--demo writes no carriage returns" 0 any empty -- --demo
if grep -q $'\r$' "$work/out"; then
    echo "FAIL the demo report still has CR line ends"
    failed=$((failed + 1))
fi

check "--trace - --atr: the dialogue on stderr, the ATR explained" 0 "has:  TS: 3B" "has:Zebrik Demo-Leser 1 > 00 A4" -- --demo --trace - --atr
check "--trace needs a file name" 2 empty "has:--trace braucht" -- --demo --trace --atr
check "a trace that cannot be created ends with 3 before any card" 3 empty "has:kann nicht angelegt" -- --demo --trace /nonexistent/trace
check "a trace that cannot be written ends with 3 after the report" 3 "has:Zebrik Demo-Leser 1" "has:Mitschrift konnte nicht" -- --demo --trace /dev/full
check "--watch has no demo readers to wait for" 2 empty "has:nicht mit --demo" -- --demo --watch

setsid -w "$report" --demo </dev/null >/dev/full 2>"$work/err"
status=$?
if ((status == 3)) && grep -qF "nicht geschrieben" "$work/err"; then
    echo "PASS a report that cannot be written ends with status 3 and says so"
    passed=$((passed + 1))
else
    echo "FAIL a report that cannot be written: status $status, stderr: $(cat "$work/err")"
    failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
((failed == 0))
