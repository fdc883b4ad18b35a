#!/usr/bin/env bash
# zebrik-report --watch and --trace against the real pcscd with vpcd cards (what a trace masks
# is checked in process).
#   watch_trace_test.sh BIN_DIR   (exit 0 passed, 1 failed, 77 skipped)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"
sandbox_enter watch "$here/watch_trace_test.sh" "$@"
bin=$1/zebrik-report sandbox_card_bin=$1/zebrik-vpcd-card work=$sandbox_work
sandbox_reader_conf vpcd; sandbox_pcscd_start; sandbox_card_in 0 sim-pin

check "Ctrl-C at a watch's PIN prompt ends it with 0 and gives the echo back" "$sandbox_python" \
    "$here/pty_session.py" --timeout 10 --answers <(echo "PIN-Code: => <INTR>") --stdout "$work/out" -- "$bin" --watch
sandbox_card_out 0

out=$work/watch.txt
start_watch() {  # in the background in a process group of its own, so that SIGINT is not ignored
    # Emptied here, not by the redirection in the child: a wait that follows must not find
    # the last watch's lines before the new one has even started.
    : >"$out"
    set -m; "$bin" --watch "$@" </dev/null >"$out" &
    watch=$! && set +m && sandbox_track "$watch"
}
stop_watch() {  # signal
    local status=0
    kill "-$1" "$watch"
    wait "$watch" || status=$?
    check "SIG$1 ends the watch with 0" test "$status" -eq 0
}
count() { grep -c -- "$1" "$out" || true; }
seen() { (($(count "$2") >= $1)); }
wait_for() {  # n text seconds: until the watch has written TEXT N times
    wait_until $(($3 * 10)) seen "$1" "$2" || { echo "no $1. '$2' within $3 s:" >&2; cat "$out" >&2; return 1; }
}
separator='^==== [0-3][0-9]\.[01][0-9]\.20[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] ====$'

start_watch --atr --trace "$work/watch-trace.txt"
check "the first report shows the two empty readers" wait_for 2 "keine Chipkarte" 5
sandbox_card_in 0 sim
check "a card put in: a report with the ATR explained within a second" wait_for 1 "^  TS: 3B" 1
check "that report comes under one separator line with the local time" wait_for 1 "$separator" 0
sleep 1
check "its own run starts no further report" test "$(count '^====')" -eq 1
sandbox_card_out 0
check "a card taken out: a report with the empty reader within a second" wait_for 4 "keine Chipkarte" 1
sandbox_pcscd_stop
check "pcscd stopped: its words" wait_for 1 "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt." 3
sandbox_pcscd_start
check "pcscd back: a fresh report" wait_for 6 "keine Chipkarte" 3
check "the no-service text came once" test "$(count 'nicht ausgeführt')" -eq 1
check "the trace shows the card's dialogue" \
    grep -q '^Zebrik vpcd 00 00 > A0 A4 00 00 02 3F 00$' "$work/watch-trace.txt"
stop_watch TERM
start_watch
wait_for 2 "keine Chipkarte" 5
stop_watch INT
echo "$failed failed"
((failed == 0))
