#!/usr/bin/env bash
# zebrik-report --watch and --trace against the real pcscd with vpcd cards: the trace
# of a SIM run holds the card's commands without the PIN; a watch reports every card put
# in and taken out, says when pcscd has gone and reports again when it is back, and ends
# with 0 on SIGTERM, on SIGINT and on Ctrl-C at a PIN prompt.
# Usage: watch_trace_test.sh BIN_DIR   (exit 0 passed, 1 failed, 77 skipped)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script="$here/$(basename "${BASH_SOURCE[0]}")"
original_args=("$@")
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"
bin=$1/zebrik-report
python=/usr/bin/python3
[[ -x "$python" ]] || python=python3

sandbox_enter watch "$script" "${original_args[@]}"
sandbox_card_bin=$1/zebrik-vpcd-card
work=$sandbox_work
passed=0 failed=0
check() {  # name, then a command that must succeed
    local name=$1
    shift
    if "$@"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

sandbox_reader_conf vpcd
sandbox_pcscd_start
sandbox_card_in 0 sim-pin "$work/apdu.log"

# The trace of a run with the PIN typed: the card's commands in order, VERIFY masked.
printf 'PIN-Code: => 1234\n' >"$work/pin.input"
"$python" "$here/pty_session.py" --answers "$work/pin.input" --stdout "$work/report.txt" \
    -- "$bin" --trace "$work/trace.txt" 2>"$work/pty.txt" || cat "$work/pty.txt" >&2
sed -E 's/^(A02000010[0-9A-F])[0-9A-F]*$/\1/' "$work/apdu.log" >"$work/sent.txt"
sed -n 's/^Zebrik vpcd 00 00 > //p' "$work/trace.txt" |
    sed -E 's/ \*\*//g; s/ //g' >"$work/traced.txt"
check "the trace shows the commands the card received, in order" \
    diff "$work/sent.txt" "$work/traced.txt"
check "the trace masks the PIN" grep -qx 'Zebrik vpcd 00 00 > A0 20 00 01 08 \*\* \*\* \*\* \*\* \*\* \*\* \*\* \*\*' "$work/trace.txt"
check "the typed PIN is nowhere in the trace" \
    bash -c "! grep -qE '1234|31 32 33 34' '$work/trace.txt'"

# Ctrl-C at a PIN prompt of a watch: the terminal gets its echo back, the exit status is 0.
printf 'PIN-Code: => <INTR>\n' >"$work/intr.input"
check "Ctrl-C at a watch's PIN prompt ends it with 0" \
    "$python" "$here/pty_session.py" --timeout 10 --answers "$work/intr.input" \
    --stdout "$work/intr.txt" -- "$bin" --watch
sandbox_card_out 0

# A watch in the background with its own process group, so that SIGINT is not ignored.
out=$work/watch.txt
set -m
"$bin" --watch --atr --trace - </dev/null >"$out" 2>"$work/watch-trace.txt" &
watch_pid=$!
set +m
sandbox_track "$watch_pid"

count() { grep -c -- "$1" "$out" || true; }
# Waits until the output holds TEXT at least N times; prints the seconds it took.
wait_for() {  # n text seconds
    local started=$EPOCHREALTIME
    until (($(count "$2") >= $1)); do
        if awk -v a="$started" -v b="$EPOCHREALTIME" -v s="$3" 'BEGIN { exit !(b - a > s) }'; then
            echo "no $1. '$2' within $3 s; the output so far:" >&2
            cat "$out" >&2
            return 1
        fi
        sleep 0.02
    done
    awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f s\n", b - a }'
}
separator='^==== [0-3][0-9]\.[01][0-9]\.20[0-9][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] ====$'
check "the first report shows the two empty readers" wait_for 2 "keine Chipkarte" 5

sandbox_card_in 0 sim
check "a card put in gives a report with its ATR and the ATR explained within a second" \
    wait_for 1 "^  TS: 3B" 1
check "that report comes under one separator line with the local time" wait_for 1 "$separator" 0
sleep 1
check "its own run starts no further report" test "$(count '^====')" -eq 1
sandbox_card_out 0
check "a card taken out gives a report with the empty reader within a second" \
    wait_for 4 "keine Chipkarte" 1
sandbox_pcscd_stop
check "pcscd stopped: its words once" \
    wait_for 1 "Die Smartcard-Ressourcenverwaltung wird nicht ausgeführt." 3
sandbox_pcscd_start
check "pcscd back: a fresh report" wait_for 6 "keine Chipkarte" 3
check "the no-service text came once" test "$(count 'nicht ausgeführt')" -eq 1
check "the trace shows the card's dialogue" grep -q '^Zebrik vpcd 00 00 > A0 A4 00 00 02 3F 00$' "$work/watch-trace.txt"

kill -TERM "$watch_pid"
status=0
wait "$watch_pid" || status=$?
check "SIGTERM ends the watch with 0" test "$status" -eq 0

set -m
"$bin" --watch </dev/null >"$out" 2>&1 &
watch_pid=$!
set +m
sandbox_track "$watch_pid"
wait_for 2 "keine Chipkarte" 5 >/dev/null
kill -INT "$watch_pid"
status=0
wait "$watch_pid" || status=$?
check "SIGINT ends the watch with 0" test "$status" -eq 0

echo "$passed passed, $failed failed"
((failed == 0))
