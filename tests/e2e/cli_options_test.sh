#!/usr/bin/env bash
# zebrik-report's command line: every call of cli_options.txt with its exit status and what
# stdout and stderr hold; stdout's lines end with LF alone, or with CR LF for a .exe (under
# Wine: run_wine_tests.sh).
#   cli_options_test.sh VERSION PATH/TO/zebrik-report
#   cli_options_test.sh VERSION wine64 PATH/TO/zebrik-report.exe
set -uo pipefail
version=$1 report=("${@:2}") failed=0
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
while IFS='|' read -r want out err args; do
    : >"$work/out"
    # shellcheck disable=SC2086  # the arguments split at blanks
    setsid -w "${report[@]}" $args </dev/null >"$([[ $out == FULL ]] && echo /dev/full || echo "$work/out")" 2>"$work/err"
    status=$? problems=()
    ((status == want)) || problems+=("exit status $status")
    for stream in out err; do
        expected=${!stream//VERSION/$version}
        case "$expected" in
            -) [[ ! -s "$work/$stream" ]] || problems+=("std$stream is not empty") ;;
            '*' | FULL) ;;
            *) grep -qF -- "$expected" "$work/$stream" || problems+=("std$stream lacks '$expected'") ;;
        esac
    done
    if [[ ${report[-1]} == *.exe ]]; then
        grep -qv $'\r$' "$work/out" && problems+=("a line of stdout lacks its CR")
    else
        grep -q $'\r' "$work/out" && problems+=("stdout has a carriage return")
    fi
    if ((${#problems[@]})); then
        failed=$((failed + 1))
        echo "FAIL zebrik-report $args: ${problems[*]}"
        for stream in out err; do sed "s/^/     std$stream: /" "$work/$stream"; done
    else
        echo "PASS zebrik-report $args"
    fi
done < <(grep -v '^#' "$(dirname "$0")/cli_options.txt")
echo "$failed failed"
((failed == 0))
