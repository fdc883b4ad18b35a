#!/usr/bin/env bash
# Runs a program under valgrind's memcheck, for run_e2e.sh --wrap: the program keeps its
# own exit status, but any memcheck error or leak (definite or possible) makes it 99 and
# puts valgrind's log on standard error. The log goes to a file of its own, so it never
# mixes with the program's output or its PIN prompts on the terminal.
#   valgrind_wrap.sh PROGRAM [ARGS...]
set -uo pipefail

log=$(mktemp "${TMPDIR:-/tmp}/zebrik-valgrind.XXXXXX")
trap 'rm -f "$log"' EXIT
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,possible \
    --track-fds=no --log-file="$log" -- "$@"
status=$?
# The error summary tells apart a memcheck error from the program's own exit status 1.
if ! grep -q 'ERROR SUMMARY: 0 errors' "$log"; then
    echo "valgrind_wrap: memcheck found errors in $*:" >&2
    cat "$log" >&2
    exit 99
fi
exit $status
