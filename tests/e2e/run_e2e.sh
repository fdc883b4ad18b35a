#!/usr/bin/env bash
# One end-to-end test of zebrik-report against the real pcscd, with simulated cards
# behind the vpcd virtual reader, compared with an expected report.
#
# The test runs in private mount and network namespaces: a tmpfs over /run/pcscd gives
# it a pcscd socket of its own and the private loopback gives vpcd ports of its own, so
# it never touches a pcscd the machine runs and tests can run side by side. Where
# namespaces are not allowed, it falls back to the machine's /run/pcscd and loopback,
# one test at a time, and skips (exit 77) when another pcscd is in the way.
#
#   run_e2e.sh --bin-dir DIR --case tests/e2e/expected/CARD[@VARIANT].txt [--update]
#       one vpcd reader (two slots) with CARD in slot 0; CARD[@VARIANT].input, if it
#       exists, holds the answers typed at the PIN prompts (see pty_session.py) and the
#       report then runs on a pseudo-terminal; without it the report runs with no
#       terminal at all. CARD[@VARIANT].apdu, if it exists, lists the commands the card
#       must receive, one per line in hex (empty: none at all).
#   run_e2e.sh --bin-dir DIR --setup no-pcscd|no-readers|vpcd [--card NAME]...
#              --expected FILE [--input FILE] [--exit-code N] [--update]
#
# --update writes the report into the expected file instead of comparing, for review
# by eye before it is committed. --wrap "PROGRAM [ARGS]" starts zebrik-report through
# PROGRAM (valgrind_wrap.sh runs it under memcheck). Exit status: 0 passed, 1 failed,
# 77 skipped.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script="$here/$(basename "${BASH_SOURCE[0]}")"
original_args=("$@")

bin_dir=""
setup=""
cards=()
expected=""
input=""
exit_code=0
update=0
wrap=()  # a program that zebrik-report is started through
mode=""  # private (own namespaces) or shared (the machine's /run/pcscd and loopback)

fail() {
    echo "e2e: $*" >&2
    exit 1
}
skip() {
    echo "e2e: SKIPPED: $*" >&2
    exit 77
}

while (($#)); do
    case "$1" in
        --bin-dir) bin_dir=$2; shift 2 ;;
        --setup) setup=$2; shift 2 ;;
        --card) cards+=("$2"); shift 2 ;;
        --expected) expected=$2; shift 2 ;;
        --input) input=$2; shift 2 ;;
        --exit-code) exit_code=$2; shift 2 ;;
        --case)
            expected=$2
            setup=vpcd
            stem=$(basename "$2" .txt)
            cards+=("${stem%%@*}")
            [[ -f "${2%.txt}.input" ]] && input="${2%.txt}.input"
            shift 2
            ;;
        --update) update=1; shift ;;
        --wrap) read -r -a wrap <<<"$2"; shift 2 ;;
        --inside) mode=$2; shift 2 ;;
        *) fail "unknown argument '$1' (see the head of $script)" ;;
    esac
done

[[ -n "$bin_dir" && -n "$setup" && -n "$expected" ]] || fail "--bin-dir, --setup/--case and --expected are needed"
report_bin="$bin_dir/zebrik-report"
card_bin="$bin_dir/zebrik-vpcd-card"
[[ -x "$report_bin" ]] || fail "$report_bin not built"
[[ "$setup" != vpcd || -x "$card_bin" ]] || fail "$card_bin not built"
((update)) || [[ -f "$expected" ]] || fail "no expected report $expected (write one with --update)"
((${#cards[@]} <= 2)) || fail "a vpcd reader has two slots; ${#cards[@]} cards asked for"

# Into private namespaces: as root directly, otherwise as root of a user namespace.
if [[ -z "$mode" ]]; then
    if unshare -m -n true 2>/dev/null; then
        exec unshare -m -n -- bash "$script" --inside private "${original_args[@]}"
    elif unshare -r -m -n true 2>/dev/null; then
        exec unshare -r -m -n -- bash "$script" --inside private "${original_args[@]}"
    fi
    mode=shared
    echo "e2e: private namespaces are not allowed here; using the machine's /run/pcscd and loopback" >&2
    exec 9>"${TMPDIR:-/tmp}/zebrik-e2e.lock"
    flock 9
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-e2e.XXXXXX")
pcscd_pid=""
card_pids=()

# shellcheck disable=SC2317  # called by the EXIT trap
stop_everything() {
    local pid
    for pid in "${card_pids[@]}" $pcscd_pid; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${card_pids[@]}" $pcscd_pid; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop_everything EXIT
trap 'exit 1' INT TERM

# Another pcscd, or the socket through which systemd would start one on demand.
other_pcscd() {
    local pids
    pids=$(pgrep -x pcscd | paste -sd ' ' || true)
    if [[ -n "$pids" ]]; then
        echo "pcscd is running (pid $pids)"
    elif [[ -S /run/pcscd/pcscd.comm ]]; then
        echo "/run/pcscd/pcscd.comm exists (a pcscd socket, perhaps systemd's pcscd.socket)"
    fi
}

if [[ "$mode" == private ]]; then
    ip link set lo up
    if mkdir -p /run/pcscd 2>/dev/null; then
        mount -t tmpfs -o mode=0755 tmpfs /run/pcscd
    else
        # In a user namespace /run itself may not be ours to write: cover it whole.
        mount -t tmpfs -o mode=0755 tmpfs /run
        mkdir -p /run/pcscd
    fi
    port=35963
else
    others=$(other_pcscd)
    if [[ -n "$others" ]]; then
        skip "another pcscd is in the way: $others. Without private namespaces this test cannot run beside it: stop it (e.g. 'systemctl stop pcscd.socket pcscd') or run the tests where namespaces are allowed (as root, or with user namespaces)."
    fi
    if [[ "$setup" != no-pcscd && $EUID -ne 0 ]]; then
        skip "starting pcscd on the machine's /run/pcscd needs root, and private namespaces are not allowed here"
    fi
    port=$((20000 + ($$ % 20000) * 2))
fi

wait_for_log() {  # pattern count what
    local i
    for ((i = 0; i < 200; ++i)); do
        if (($(grep -c -- "$1" "$work/pcscd.log" || true) >= $2)); then
            return 0
        fi
        kill -0 "$pcscd_pid" 2>/dev/null || { cat "$work/pcscd.log" >&2; fail "pcscd ended early"; }
        sleep 0.05
    done
    cat "$work/pcscd.log" >&2
    fail "pcscd did not show $3 within 10 s"
}

start_pcscd() {  # reader.conf
    pcscd -f -i -c "$1" >"$work/pcscd.log" 2>&1 &
    pcscd_pid=$!
    wait_for_log "daemon ready" 1 "that it is ready"
}

case "$setup" in
    no-pcscd) ;;
    no-readers)
        : >"$work/reader.conf"
        start_pcscd "$work/reader.conf"
        ;;
    vpcd)
        # One vpcd entry gives two readers ("... 00 00" and "... 00 01") on two ports.
        cat >"$work/reader.conf" <<EOF
FRIENDLYNAME "Zebrik vpcd"
DEVICENAME   /dev/null:$port
LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so
CHANNELID    $port
EOF
        start_pcscd "$work/reader.conf"
        slot=0
        for card in "${cards[@]}"; do
            "$card_bin" --card "$card" --port $((port + slot)) --log "$work/apdu-$slot.log" \
                2>>"$work/card.log" &
            card_pids+=($!)
            slot=$((slot + 1))
        done
        wait_for_log "Card ATR:" "${#cards[@]}" "the inserted cards"
        ;;
    *) fail "unknown setup '$setup'" ;;
esac

actual="$work/report.txt"
started=$EPOCHREALTIME
set +e
if [[ -n "$input" ]]; then
    # Debian's own python3 first: a version manager's shim on PATH is slow to start.
    python=/usr/bin/python3
    [[ -x "$python" ]] || python=python3
    "$python" "$here/pty_session.py" --answers "$input" --stdout "$actual" -- "${wrap[@]}" "$report_bin"
else
    # A session of its own has no controlling terminal: every PIN prompt cancels.
    setsid -w timeout 60 "${wrap[@]}" "$report_bin" </dev/null >"$actual" 2>"$work/stderr.txt"
fi
status=$?
awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "e2e: zebrik-report took %.2f s\n", b - a }' >&2
set -e
if [[ -s "$work/stderr.txt" ]]; then
    echo "zebrik-report wrote on stderr:" >&2
    cat "$work/stderr.txt" >&2
fi
if [[ -s "$work/card.log" ]]; then
    cat "$work/card.log" >&2
fi

# The commands the card in slot 0 received, one per line in hex, when the test keeps an
# expected list of them (an empty list: no command may reach the card).
expected_apdus="${expected%.txt}.apdu"
actual_apdus="$work/apdu-0.log"
[[ -f "$actual_apdus" ]] || : >"$actual_apdus"

# Card names come from pcsc-tools' ATR list, which changes with that package or may be
# missing. Only a case whose expected report names the card compares the names; the
# others leave the "Name der Chipkarte: " lines out.
names_line='^Name der Chipkarte: '
smartcard_list=/usr/share/pcsc/smartcard_list.txt
if [[ -f "$expected" ]] && ! grep -q "$names_line" "$expected"; then
    grep -v "$names_line" "$actual" >"$work/report-without-names.txt" || true
    actual="$work/report-without-names.txt"
elif ((!update)) && [[ ! -f "$smartcard_list" ]]; then
    skip "the expected report names the card, but $smartcard_list (pcsc-tools) is not installed"
fi

if ((update)); then
    cp "$actual" "$expected"
    echo "e2e: wrote $expected (exit status $status); review it by eye before committing:"
    cat "$expected"
    if [[ -f "$expected_apdus" ]]; then
        cp "$actual_apdus" "$expected_apdus"
        echo "e2e: wrote $expected_apdus ($(wc -l <"$expected_apdus") commands)"
    fi
    exit 0
fi

result=0
if ! diff -u --label expected --label actual "$expected" "$actual"; then
    echo "e2e: the report differs from $expected" >&2
    result=1
fi
if [[ -f "$expected_apdus" ]] &&
    ! diff -u --label expected-commands --label actual-commands "$expected_apdus" "$actual_apdus"; then
    echo "e2e: the card received other commands than $expected_apdus lists" >&2
    result=1
fi
if ((status != exit_code)); then
    echo "e2e: zebrik-report ended with $status, expected $exit_code" >&2
    result=1
fi
# Nothing typed at a prompt may reach standard output. A value that the report shows
# anyway (PIN 1234 of the test cards is part of their ICCID) cannot tell, so only the
# typed values that the expected report does not hold are looked for.
if [[ -n "$input" ]]; then
    while IFS= read -r line; do
        [[ "$line" == *"=>"* && "$line" != \#* ]] || continue
        typed=$(sed 's/^[[:space:]]*//; s/[[:space:]]*$//' <<<"${line#*=>}")
        if ((${#typed} >= 4)) && [[ "$typed" != "<EOF>" && "$typed" != "<INTR>" ]] &&
            ! grep -qF -- "$typed" "$expected" && grep -qF -- "$typed" "$work/report.txt"; then
            echo "e2e: the typed text '$typed' appeared on standard output" >&2
            result=1
        fi
    done <"$input"
fi
if ((result == 0)); then
    where="private namespaces"
    [[ "$mode" == private ]] || where="the machine's /run/pcscd"
    echo "e2e: report as expected ($where, exit status $status)"
fi
exit $result
