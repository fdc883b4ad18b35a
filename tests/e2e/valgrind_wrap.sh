#!/usr/bin/env bash
# Runs a program under valgrind's memcheck, for run_e2e.sh --wrap: the program keeps its exit
# status, but any memcheck error or leak (definite or possible) makes it 99 and puts the log,
# kept apart from the program's output and its prompts, on stderr.   valgrind_wrap.sh PROGRAM [ARGS...]
log=$(mktemp "${TMPDIR:-/tmp}/zebrik-valgrind.XXXXXX")
trap 'rm -f "$log"' EXIT
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,possible --log-file="$log" -- "$@"
status=$?
grep -q 'ERROR SUMMARY: 0 errors' "$log" || { echo "valgrind_wrap: memcheck found errors in $*:" >&2; cat "$log" >&2; exit 99; }
exit $status
