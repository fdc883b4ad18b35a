# shellcheck shell=bash
# A pcscd of our own with the vpcd reader and simulated cards (e2e, GUI e2e, benchmark); sourced
# under `set -euo pipefail`. sandbox_enter re-runs the caller in private mount and network
# namespaces (tmpfs over /run/pcscd, own loopback): the machine's pcscd is never touched and runs
# go side by side; where namespaces are not allowed, the caller is skipped (77). What it starts
# is stopped by pid at exit: start from the caller's own shell, not in $(...), to stay its children.

sandbox_name=sandbox sandbox_work="" sandbox_card_bin="" sandbox_pcscd_pid=""
sandbox_port=35963   # the port of slot 0; slot 1 listens on the next one
sandbox_card_pids=() # by slot
sandbox_pids=()      # the caller's own helpers (sandbox_track)

sandbox_python=/usr/bin/python3  # not a version manager's slow shim on PATH
[[ -x $sandbox_python ]] || sandbox_python=python3

sandbox_fail() { echo "$sandbox_name: $*" >&2; exit 1; }
sandbox_skip() { echo "$sandbox_name: SKIPPED: $*" >&2; exit 77; }

sandbox_enter() {  # name (for messages), then the script and its arguments to run again
    sandbox_name=$1 && shift
    sandbox_entered || sandbox_reexec_in_namespaces "$@"
    ip link set lo up
    # In a user namespace /run may not be ours to write a /run/pcscd into: cover it first.
    mkdir -p /run/pcscd 2>/dev/null || { mount -t tmpfs -o mode=0755 tmpfs /run && mkdir /run/pcscd; }
    mount -t tmpfs -o mode=0755 tmpfs /run/pcscd
    sandbox_work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-$sandbox_name.XXXXXX")
    : >"$sandbox_work/pcscd.log"
    trap sandbox_cleanup EXIT
    trap 'exit 1' INT TERM
}

sandbox_namespaces() { readlink "/proc/${1:-self}/ns/mnt" "/proc/${1:-self}/ns/net" | paste -sd ' '; }

# True in the run that sandbox_reexec_in_namespaces started: none of our namespaces is our
# parent's (or the variable's): a stray variable must never make us cover the machine's /run/pcscd.
sandbox_entered() {
    local from=${ZEBRIK_SANDBOX_FROM:-} outside ns
    unset ZEBRIK_SANDBOX_FROM
    [[ -n "$from" ]] || return 1
    outside=$(sandbox_namespaces "$PPID" 2>/dev/null) || outside=$from
    for ns in $(sandbox_namespaces); do
        [[ " $outside " != *" $ns "* ]] || return 1
    done
}

# As root directly, otherwise as root of a user namespace; skips when neither is allowed.
sandbox_reexec_in_namespaces() {  # script [argument]...
    local user_ns
    for user_ns in "" -r; do
        unshare ${user_ns:+"$user_ns"} -m -n true 2>/dev/null || continue
        export ZEBRIK_SANDBOX_FROM && ZEBRIK_SANDBOX_FROM=$(sandbox_namespaces)
        exec unshare ${user_ns:+"$user_ns"} -m -n -- bash "$@"
    done
    sandbox_skip "private namespaces are not allowed here (run as root, or allow user namespaces); the tests never use the machine's /run/pcscd"
}

# "vpcd": the two readers of one vpcd entry; "none": no reader. The vpcd driver keeps its
# slots in one table for all its entries, so a second entry would take over the slots of
# the first: two readers are all one pcscd can have.
sandbox_reader_conf() {  # vpcd|none
    case "$1" in
        none) : >"$sandbox_work/reader.conf" ;;
        vpcd) printf 'FRIENDLYNAME "Zebrik vpcd"\nDEVICENAME /dev/null:%s\nLIBPATH %s\nCHANNELID %s\n' \
            "$sandbox_port" /usr/lib/pcsc/drivers/serial/libifdvpcd.so "$sandbox_port" >"$sandbox_work/reader.conf" ;;
        *) sandbox_fail "no reader set-up '$1' (vpcd or none)" ;;
    esac
}

sandbox_reader_name() { printf 'Zebrik vpcd 00 %02d\n' "$1"; }  # slot

# pcscd in the foreground, its log appended to $sandbox_work/pcscd.log across restarts;
# returns when it is ready for clients.
sandbox_pcscd_start() {
    local mark
    mark=$(wc -l <"$sandbox_work/pcscd.log")
    pcscd -f -i -c "$sandbox_work/reader.conf" >>"$sandbox_work/pcscd.log" 2>&1 &
    sandbox_pcscd_pid=$!
    sandbox_wait_for_log "$mark" "that it is ready" "daemon ready"
}

# The cards go with pcscd: vpcd closes their connections and they end.
sandbox_pcscd_stop() {
    sandbox_stop $sandbox_pcscd_pid "${sandbox_card_pids[@]}"
    sandbox_pcscd_pid="" sandbox_card_pids=()
}

# Puts catalogue CARD into reader SLOT (0 or 1) and returns once pcscd has read its ATR.
# Its commands are appended to LOG, one per line in hex; its messages go to card.log.
sandbox_card_in() {  # slot card [log]
    local slot=$1 card=$2 reader mark
    [[ -x "$sandbox_card_bin" ]] || sandbox_fail "zebrik-vpcd-card not built ('$sandbox_card_bin')"
    reader=$(sandbox_reader_name "$slot") mark=$(wc -l <"$sandbox_work/pcscd.log")
    "$sandbox_card_bin" --card "$card" --port $((sandbox_port + slot)) --log "${3:-/dev/null}" \
        2>>"$sandbox_work/card.log" &
    sandbox_card_pids[slot]=$!
    # Only the ATR: a card quicker than the reader's first poll comes without "Card inserted into".
    sandbox_wait_for_log "$mark" "the card $card in $reader" "Card ATR:"
}

sandbox_card_out() {  # slot: its process ends; returns once pcscd has seen it
    local reader mark
    reader=$(sandbox_reader_name "$1") mark=$(wc -l <"$sandbox_work/pcscd.log")
    sandbox_stop "${sandbox_card_pids[$1]}"
    unset "sandbox_card_pids[$1]"
    sandbox_wait_for_log "$mark" "the card leaving $reader" "Card Removed From $reader"
}

sandbox_track() { sandbox_pids+=("$1"); }  # pid of the caller's to stop at exit

# Only a pid that is still a running child is signalled: once reaped, the number may
# belong to someone else.
sandbox_stop() {  # pid...
    local pid
    for pid; do
        [[ $'\n'$(jobs -p)$'\n' != *$'\n'$pid$'\n'* ]] || kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

# shellcheck disable=SC2317  # called by the EXIT trap
sandbox_cleanup() {
    sandbox_stop "${sandbox_card_pids[@]}" "${sandbox_pids[@]}" $sandbox_pcscd_pid
    [[ -z "$sandbox_work" ]] || rm -rf "$sandbox_work"
}

# Waits until pcscd's log shows the TEXTs in this order after line MARK; gives up with the
# log after 10 s or when pcscd ends.
sandbox_wait_for_log() {  # mark what text...
    local mark=$1 what=$2 i IFS=$'\t'
    shift 2
    for ((i = 0; i < 200; ++i)); do
        awk -v from="$mark" -v texts="$*" 'BEGIN { n = split(texts, text, "\t"); i = 1 }
            NR > from && index($0, text[i]) { if (++i > n) exit }
            END { exit i <= n }' "$sandbox_work/pcscd.log" && return 0
        kill -0 "$sandbox_pcscd_pid" 2>/dev/null ||
            { cat "$sandbox_work/pcscd.log" >&2; sandbox_fail "pcscd ended early"; }
        sleep 0.05
    done
    cat "$sandbox_work/pcscd.log" "$sandbox_work/card.log" >&2 2>/dev/null || true
    sandbox_fail "pcscd did not show $what within 10 s"
}

# The helpers of the tests that source this file, also without a sandbox (gui_window.sh).
failed=0
check() {  # what, then a command: PASS or FAIL by its status, SKIP for 77
    local status=0
    "${@:2}" || status=$?
    case $status in
        0) echo "PASS $1" ;;
        77) echo "SKIP $1" ;;
        *) echo "FAIL $1" && failed=$((failed + 1)) ;;
    esac
}
not() { ! "$@"; }
wait_until() {  # tenths of a second (0: try once), then a command that must succeed by then
    local i
    for ((i = 0; i <= $1; ++i)); do "${@:2}" >/dev/null 2>&1 && return 0 || ((i == $1)) || sleep 0.1; done
    return 1
}

# An X server for a window test (DISPLAY), stopped with the tracked pids; skips without its tools.
sandbox_xvfb() {  # work folder
    local tool
    for tool in Xvfb xdotool xclip; do
        command -v "$tool" >/dev/null || sandbox_skip "$tool is not installed (scripts/install-deps.sh --tests)"
    done
    exec 8>"$1/display"
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
    sandbox_track $!
    wait_until 100 test -s "$1/display" || sandbox_fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$1/display")"
}

# The window tests' hands on the display (gui_e2e.sh, gui_window.sh); each has a fail().
named() { xdotool search --onlyvisible --name "^$1\$"; }
start_window() {  # command...: sets first (its pid) and window
    "$@" >>"$sandbox_work/window.log" 2>&1 &
    first=$! && sandbox_track $first
    wait_until 300 named 'Zebrik SmartCard' || fail "no window appeared"
    window=$(named 'Zebrik SmartCard' | head -n1)
}
press() { xdotool windowfocus --sync "$window" key --clearmodifiers "$1"; }
press_until() {  # key, then a command; a key sent before the window has the focus is lost
    local try
    for ((try = 0; try < 3; ++try)); do
        press "$1"
        ! wait_until 100 "${@:2}" || return 0
    done
    return 1
}
type_into() {  # title of a window, what is typed into it before Return
    xdotool windowfocus --sync "$(named "$1" | head -n1)" type --delay 20 "$2"
    xdotool key Return
}
copy_report() {  # pattern; keys pressed during the run are dropped: again until it matches
    press alt+m && press alt+k && sleep 0.2
    xclip -selection clipboard -o >"$sandbox_work/clipboard.txt" && grep -q "$1" "$sandbox_work/clipboard.txt"
}
ended_with() {  # status, key
    press "$2"
    wait_until 100 not kill -0 "$first" || fail "$2 did not close the window"
    wait "$first" && status=0 || status=$?
    ((status == $1)) || fail "the window ended with $status after $2, expected $1"
}
