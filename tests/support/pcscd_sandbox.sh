# shellcheck shell=bash
# A pcscd of our own with the vpcd virtual reader and catalogue cards in it, for the
# end-to-end tests, the window's end-to-end test and the benchmark. Source it from bash
# with `set -euo pipefail`; every name it defines starts with sandbox_.
#
# The caller re-runs itself in private mount and network namespaces (sandbox_enter): a
# tmpfs over /run/pcscd gives it a pcscd socket of its own and a private loopback gives
# it vpcd ports of its own, so it never touches a pcscd the machine runs and several
# runs can go side by side. Where namespaces are not allowed it falls back to the
# machine's /run/pcscd and loopback, one run at a time, and skips (exit 77) when another
# pcscd is in the way: one we did not start is not ours to stop or to share.
# ZEBRIK_SANDBOX_NO_NAMESPACES=1 takes the fallback as if namespaces were not allowed.
#
#   sandbox_enter e2e "$script" "$@"         # from here on: $sandbox_work, $sandbox_mode
#   sandbox_card_bin=$bin_dir/zebrik-vpcd-card
#   sandbox_reader_conf vpcd
#   sandbox_pcscd_start
#   sandbox_card_in 0 sim "$sandbox_work/apdu-0.log"
#   ... zebrik-report sees "Zebrik vpcd 00 00" with the SIM, "Zebrik vpcd 00 01" empty ...
#   sandbox_card_out 0; sandbox_pcscd_restart; ...
#
# Whatever it starts is stopped by process id when the caller exits (sandbox_cleanup);
# start them from the caller's own shell, not in $(...), so that they stay its children.

sandbox_name=sandbox      # the caller's name, in front of every message
sandbox_mode=""           # private (own namespaces) or shared (the machine's /run/pcscd)
sandbox_work=""           # a directory of this run, removed at exit
sandbox_port=0            # the port of slot 0; slot 1 listens on the next one
sandbox_card_bin=""       # zebrik-vpcd-card, set by the caller before sandbox_card_in
sandbox_pcscd_pid=""
sandbox_card_pids=()      # by slot
sandbox_card_names=()     # by slot: the card in it, to put it back after a restart
sandbox_card_logs=()      # by slot: the file its commands are appended to
sandbox_pids=()           # the caller's own helpers (sandbox_track)
sandbox_timeout_s=10

sandbox_fail() {
    echo "$sandbox_name: $*" >&2
    exit 1
}
sandbox_skip() {
    echo "$sandbox_name: SKIPPED: $*" >&2
    exit 77
}

# Runs the caller in its own namespaces or falls back to the machine's; then makes the
# work directory and the exit trap. NAME goes in front of messages and into the name of
# the work directory; SCRIPT and its ARGUMENTS are run again inside the namespaces.
sandbox_enter() {  # name script [argument]...
    sandbox_name=$1
    local script=$2
    shift 2
    if sandbox_entered; then
        sandbox_mode=private
        sandbox_loopback_up
        sandbox_private_run_pcscd
        sandbox_port=35963
    else
        [[ "${ZEBRIK_SANDBOX_NO_NAMESPACES:-}" == 1 ]] || sandbox_reexec_in_namespaces "$script" "$@"
        sandbox_fall_back
    fi
    sandbox_work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-$sandbox_name.XXXXXX")
    : >"$sandbox_work/pcscd.log"
    trap sandbox_cleanup EXIT
    trap 'exit 1' INT TERM
}

sandbox_namespaces() {  # [pid]
    readlink "/proc/${1:-self}/ns/mnt" "/proc/${1:-self}/ns/net" | paste -sd ' '
}

# True in the run that sandbox_reexec_in_namespaces started: none of our namespaces may
# be one of our parent's, which stayed outside (or, where we may not look at the parent,
# one of those the variable brought along). A variable left in the environment by mistake
# must never make us cover the machine's /run/pcscd.
sandbox_entered() {
    local from=${ZEBRIK_SANDBOX_FROM:-} outside ns
    unset ZEBRIK_SANDBOX_FROM
    [[ -n "$from" ]] || return 1
    outside=$(sandbox_namespaces "$PPID" 2>/dev/null) || outside=$from
    for ns in $(sandbox_namespaces); do
        [[ " $outside " != *" $ns "* ]] || return 1
    done
}

# Runs the script again in new mount and network namespaces: as root directly, otherwise
# as root of a user namespace. Returns only when neither is allowed.
sandbox_reexec_in_namespaces() {  # script [argument]...
    local user_ns
    for user_ns in "" -r; do
        if unshare ${user_ns:+"$user_ns"} -m -n true 2>/dev/null; then
            ZEBRIK_SANDBOX_FROM=$(sandbox_namespaces)
            export ZEBRIK_SANDBOX_FROM
            exec unshare ${user_ns:+"$user_ns"} -m -n -- bash "$@"
        fi
    done
}

sandbox_loopback_up() {
    ip link set lo up
}

# pcscd's socket and its pid file go to /run/pcscd: a tmpfs there is ours alone.
sandbox_private_run_pcscd() {
    if mkdir -p /run/pcscd 2>/dev/null; then
        mount -t tmpfs -o mode=0755 tmpfs /run/pcscd
    else
        # In a user namespace /run itself may not be ours to write: cover it whole.
        mount -t tmpfs -o mode=0755 tmpfs /run
        mkdir -p /run/pcscd
    fi
}

# The machine's /run/pcscd and loopback. One run at a time (the lock is held until
# exit), and never beside another pcscd.
sandbox_fall_back() {
    local others
    sandbox_mode=shared
    echo "$sandbox_name: private namespaces are not allowed here; using the machine's /run/pcscd and loopback" >&2
    exec 9>"${TMPDIR:-/tmp}/zebrik-e2e.lock"
    flock 9
    others=$(sandbox_other_pcscd)
    if [[ -n "$others" ]]; then
        sandbox_skip "another pcscd is in the way: $others. Without private namespaces this cannot run beside it: stop it (e.g. 'systemctl stop pcscd.socket pcscd') or run where namespaces are allowed (as root, or with user namespaces)."
    fi
    # Ports of our own, away from the fixed port a vpcd entry of the machine may use.
    sandbox_port=$((20000 + ($$ % 20000) * 2))
}

# Another pcscd, or the socket through which systemd would start one on demand.
sandbox_other_pcscd() {
    local pids
    pids=$(pgrep -x pcscd | paste -sd ' ' || true)
    if [[ -n "$pids" ]]; then
        echo "pcscd is running (pid $pids)"
    elif [[ -S /run/pcscd/pcscd.comm ]]; then
        echo "/run/pcscd/pcscd.comm exists (a pcscd socket, perhaps systemd's pcscd.socket)"
    fi
}

sandbox_where() {
    if [[ "$sandbox_mode" == private ]]; then echo "private namespaces"; else echo "the machine's /run/pcscd"; fi
}

# The readers pcscd gets: "vpcd" for the two readers of one vpcd entry, "none" for none.
# The vpcd driver keeps its slots in one table for all its entries, so a second entry
# would take over the slots of the first: two readers are all one pcscd can have.
sandbox_reader_conf() {  # vpcd|none
    case "$1" in
        none) : >"$sandbox_work/reader.conf" ;;
        vpcd)
            cat >"$sandbox_work/reader.conf" <<EOF
FRIENDLYNAME "Zebrik vpcd"
DEVICENAME   /dev/null:$sandbox_port
LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so
CHANNELID    $sandbox_port
EOF
            ;;
        *) sandbox_fail "no reader set-up '$1' (vpcd or none)" ;;
    esac
}

sandbox_reader_name() {  # slot
    printf 'Zebrik vpcd 00 %02d\n' "$1"
}

# pcscd in the foreground with our reader.conf, its log appended to
# $sandbox_work/pcscd.log across restarts; returns when it is ready for clients.
sandbox_pcscd_start() {
    local mark
    [[ -z "$sandbox_pcscd_pid" ]] || sandbox_fail "pcscd runs already (pid $sandbox_pcscd_pid)"
    [[ "$sandbox_mode" == private || $EUID -eq 0 ]] ||
        sandbox_skip "starting pcscd on the machine's /run/pcscd needs root, and private namespaces are not allowed here"
    mark=$(sandbox_log_mark)
    pcscd -f -i -c "$sandbox_work/reader.conf" >>"$sandbox_work/pcscd.log" 2>&1 &
    sandbox_pcscd_pid=$!
    sandbox_wait_for_log "$mark" "that it is ready" "daemon ready"
}

# Stops pcscd. The cards go with it: vpcd closes their connections and they end.
sandbox_pcscd_stop() {
    local slot
    [[ -n "$sandbox_pcscd_pid" ]] || return 0
    sandbox_stop "$sandbox_pcscd_pid"
    sandbox_pcscd_pid=""
    for slot in "${!sandbox_card_pids[@]}"; do
        sandbox_stop "${sandbox_card_pids[$slot]}"
    done
    sandbox_card_pids=() sandbox_card_names=()
}

# Stops pcscd and starts it again; the cards that were in the readers are put back (a
# new process each, appending to the same command log), as cards stay in real readers.
sandbox_pcscd_restart() {
    local names=("${sandbox_card_names[@]}") slots=("${!sandbox_card_names[@]}") i
    sandbox_pcscd_stop
    sandbox_pcscd_start
    for i in "${!slots[@]}"; do
        sandbox_card_in "${slots[$i]}" "${names[$i]}" "${sandbox_card_logs[${slots[$i]}]}"
    done
}

# Puts catalogue CARD into reader SLOT (0 or 1) of the running pcscd and returns once
# pcscd has read its ATR. The commands it receives are appended to LOG, one per line in
# hex; its own messages go to $sandbox_work/card.log.
sandbox_card_in() {  # slot card [log]
    local slot=$1 card=$2 log=${3:-/dev/null} mark reader
    [[ -n "$sandbox_pcscd_pid" ]] || sandbox_fail "no pcscd runs to put the card $card into"
    [[ -z "${sandbox_card_pids[$slot]:-}" ]] || sandbox_fail "reader $slot holds a card already"
    [[ -x "$sandbox_card_bin" ]] || sandbox_fail "zebrik-vpcd-card not built ('$sandbox_card_bin')"
    reader=$(sandbox_reader_name "$slot")
    mark=$(sandbox_log_mark)
    "$sandbox_card_bin" --card "$card" --port $((sandbox_port + slot)) --log "$log" \
        2>>"$sandbox_work/card.log" &
    sandbox_card_pids[slot]=$!
    sandbox_card_names[slot]=$card
    sandbox_card_logs[slot]=$log
    sandbox_wait_for_log "$mark" "the card $card in $reader" "Card inserted into $reader" "Card ATR:"
}

# Takes the card out of reader SLOT (its process ends) and returns once pcscd has seen it.
sandbox_card_out() {  # slot
    local slot=$1 mark reader
    [[ -n "${sandbox_card_pids[$slot]:-}" ]] || sandbox_fail "reader $slot holds no card"
    reader=$(sandbox_reader_name "$slot")
    mark=$(sandbox_log_mark)
    sandbox_stop "${sandbox_card_pids[$slot]}"
    unset "sandbox_card_pids[$slot]" "sandbox_card_names[$slot]"
    sandbox_wait_for_log "$mark" "the card leaving $reader" "Card Removed From $reader"
}

# A process of the caller's (an X server, the program under test) to stop at exit.
sandbox_track() {  # pid
    sandbox_pids+=("$1")
}

# Ends a child of ours and waits for it. Only a pid that is still a running child is
# signalled: once reaped, the number may belong to someone else.
sandbox_stop() {  # pid
    local running
    running=$(jobs -p)
    if [[ $'\n'$running$'\n' == *$'\n'$1$'\n'* ]]; then
        kill "$1" 2>/dev/null || true
    fi
    wait "$1" 2>/dev/null || true
}

# shellcheck disable=SC2317  # called by the EXIT trap
sandbox_cleanup() {
    local pid
    for pid in "${sandbox_card_pids[@]}" "${sandbox_pids[@]}" $sandbox_pcscd_pid; do
        sandbox_stop "$pid"
    done
    [[ -z "$sandbox_work" ]] || rm -rf "$sandbox_work"
}

# The number of lines in pcscd's log: what comes later is news.
sandbox_log_mark() {
    wc -l <"$sandbox_work/pcscd.log"
}

# Waits until pcscd's log shows the TEXTs in this order after line MARK; gives up with
# the log after 10 s or when pcscd ends.
sandbox_wait_for_log() {  # mark what text...
    local mark=$1 what=$2 i
    shift 2
    for ((i = 0; i < sandbox_timeout_s * 20; ++i)); do
        sandbox_logged_in_order "$mark" "$@" && return 0
        if ! kill -0 "$sandbox_pcscd_pid" 2>/dev/null; then
            cat "$sandbox_work/pcscd.log" >&2
            sandbox_fail "pcscd ended early"
        fi
        sleep 0.05
    done
    cat "$sandbox_work/pcscd.log" "$sandbox_work/card.log" >&2 2>/dev/null || true
    sandbox_fail "pcscd did not show $what within $sandbox_timeout_s s"
}

sandbox_logged_in_order() {  # mark text...
    local mark=$1 IFS=$'\t'
    shift
    awk -v from="$mark" -v texts="$*" '
        BEGIN { n = split(texts, text, "\t"); i = 1 }
        NR > from && index($0, text[i]) { if (++i > n) exit }
        END { exit i <= n }' "$sandbox_work/pcscd.log"
}
