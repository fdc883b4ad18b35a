#!/usr/bin/env bash
# zebrik-report's command line: the options it has, and how it refuses anything else.
#   cli_options_test.sh PATH/TO/zebrik-report VERSION
set -uo pipefail
report=$1 version=$2 failed=0
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
# exit status | a text stdout holds (-: none at all, FULL: stdout is /dev/full) | a text stderr
# holds (-: none at all, *: anything) | the arguments. No case writes a carriage return.
while IFS='|' read -r want out err args; do
    : >"$work/out"
    # shellcheck disable=SC2086  # the arguments split at blanks
    setsid -w "$report" $args </dev/null >"$([[ $out == FULL ]] && echo /dev/full || echo "$work/out")" 2>"$work/err"
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
    grep -q $'\r' "$work/out" && problems+=("stdout has a carriage return")
    if ((${#problems[@]})); then
        failed=$((failed + 1))
        echo "FAIL zebrik-report $args: ${problems[*]}"
        sed 's/^/     stdout: /' "$work/out"
        sed 's/^/     stderr: /' "$work/err"
    else
        echo "PASS zebrik-report $args"
    fi
done <<'EOF_CASES'
0|zebrik-report VERSION|-|--version
0|--demo|-|--help
2|-|unbekannte Angabe "--verbose"|--verbose
2|-|Aufruf: zebrik-report|--config=x
2|-|*|reader
2|-|*|--help -x
0|Chipkartenleser gefunden: "Zebrik Demo-Leser 0"|-|--demo
0|  TS: 3B|Zebrik Demo-Leser 1 > 00 A4|--demo --trace - --atr
2|-|--trace braucht|--demo --trace --atr
3|-|kann nicht angelegt|--demo --trace /nonexistent/trace
3|Zebrik Demo-Leser 1|Mitschrift konnte nicht|--demo --trace /dev/full
2|-|nicht mit --demo|--demo --watch
3|FULL|nicht geschrieben|--demo
EOF_CASES
echo "$failed failed"
((failed == 0))
