#!/usr/bin/env bash
# Benchmark of zebrik-report and zebrik-smartcard against the real pcscd with simulated
# cards behind the vpcd virtual reader. Prints its figures as a table; it is no test and
# never fails on a time (exit status 1 only when something could not be run at all, 77
# when another pcscd is in the way and namespaces are not allowed).
#
#   bench/run.sh [--build-dir DIR] [--runs N] [--no-build] [--markdown FILE]
#
#   --build-dir DIR  a build of the project with the window (-DZEBRIK_BUILD_GUI=ON);
#                    default build-bench beside this directory. The script configures it
#                    with -DZEBRIK_BUILD_BENCH=ON and builds what it needs, unless --no-build.
#   --runs N         runs per figure (default 7; the start-up figures take three times as
#                    many, the card-name lookups 201 each)
#   --markdown FILE  also write the table with the machine and load into FILE
#
# What is measured (medians of N runs; each card's runs are interleaved, all in the same
# pcscd and the same card process):
#   overhead ratio, same calls
#                    wall time of zebrik-report (process start to exit) over the wall time
#                    of zebrik_bench_replay --calls, a plain pcsc-lite client making every
#                    resource-manager call that zebrik-report's run made, in the same order
#                    with the same arguments (recorded at the seam by zebrik_bench_record;
#                    the card names through the same lookup in pcsc-tools' list); the median
#                    of the per-pair ratios. Cards: geldkarte, egk, sim-phonebook-1000,
#                    usim-phonebook-250, each in the first vpcd reader with the second one
#                    empty, and empty-readers, both readers empty
#   overhead ratio, commands only
#                    the same over zebrik_bench_replay READER COMMANDS, which connects and
#                    sends only the card's commands (taken from the card's log)
#   list out of sight
#                    zebrik-report with pcsc-tools' ATR list out of sight (private
#                    namespaces only), and the per-pair difference to the run with it
#   card-name lookup zebrik_bench_card_names: one card's names, list included, warm and as
#                    the first lookup of a new process; and reading the list alone (open,
#                    read, find the lines), the least any scan of it in place costs
#   start-up         zebrik-report with pcscd running but no reader, and with no pcscd;
#                    the window's first paint (zebrik_bench_gui, the window built as
#                    main() builds it) from process start, on Qt's offscreen platform and
#                    under Xvfb (a real X server, when installed)
#   1 000-record SIM zebrik_bench_gui pressing "&Aktualisieren" against the same pcscd,
#                    from the press to the whole report painted, over zebrik-report's time
#                    for the same card (interleaved with it); over the same analysis into a
#                    plain text report in the same process (before and after the window's
#                    run); and that last pair against the simulated resource manager, in
#                    process (no pcscd, no card latency)
#   peak memory      max RSS (getrusage of the ended child) of every run above, and of the
#                    real zebrik-smartcard idle on the offscreen platform
#
# Every measured run of zebrik-report and of the replay of its calls must send the card the
# very commands of the first, unmeasured run, and the recording run must have sent them and
# written the same report; the replay checks that each call gave back what it gave when it
# was recorded.
#
# Like the end-to-end tests it runs in private mount and network namespaces with a pcscd
# of its own, or on the machine's when namespaces are not allowed
# (tests/support/pcscd_sandbox.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script="$here/$(basename "${BASH_SOURCE[0]}")"
original_args=("$@")
# shellcheck source=../tests/support/pcscd_sandbox.sh
source "$here/../tests/support/pcscd_sandbox.sh"

build_dir="$here/../build-bench"
runs=7
build=1
markdown=""
# Cards in the first vpcd reader (the second stays empty); empty-readers: both empty.
cards=(geldkarte egk sim-phonebook-1000 usim-phonebook-250 empty-readers)
no_card=empty-readers
large_sim=sim-phonebook-1000

fail() {
    echo "bench: $*" >&2
    exit 1
}

while (($#)); do
    case "$1" in
        --build-dir) build_dir=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --no-build) build=0; shift ;;
        --markdown) markdown=$(realpath -m "$2"); shift 2 ;;
        *) fail "unknown argument '$1' (see the head of $script)" ;;
    esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "--runs needs a positive number"
build_dir=$(realpath -m "$build_dir")

if ((build)); then
    cmake -S "$here/.." -B "$build_dir" -DZEBRIK_BUILD_BENCH=ON >/dev/null
    cmake --build "$build_dir" -j2 --target zebrik-report zebrik-vpcd-card zebrik_bench_measure \
        zebrik_bench_record zebrik_bench_replay zebrik_bench_card_names zebrik-smartcard \
        zebrik_bench_gui >/dev/null
fi

report_bin="$build_dir/zebrik-report"
card_bin="$build_dir/zebrik-vpcd-card"
gui_bin="$build_dir/src/app/zebrik-smartcard"
measure_bin="$build_dir/bench/zebrik_bench_measure"
record_bin="$build_dir/bench/zebrik_bench_record"
replay_bin="$build_dir/bench/zebrik_bench_replay"
names_bin="$build_dir/bench/zebrik_bench_card_names"
gui_bench_bin="$build_dir/bench/zebrik_bench_gui"
for bin in "$report_bin" "$card_bin" "$gui_bin" "$measure_bin" "$record_bin" "$replay_bin" \
    "$names_bin" "$gui_bench_bin"; do
    [[ -x "$bin" ]] || fail "$bin is not built (a build with -DZEBRIK_BUILD_GUI=ON -DZEBRIK_BUILD_BENCH=ON)"
done
command -v pcscd >/dev/null || fail "pcscd is not installed (scripts/install-deps.sh)"

# Built already: the run inside the namespaces builds nothing.
sandbox_enter bench "$script" "${original_args[@]}" --no-build
work=$sandbox_work
sandbox_card_bin=$card_bin

# The window's single-instance socket in a runtime directory of its own.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen NO_AT_BRIDGE=1
unset DISPLAY WAYLAND_DISPLAY

# One measured run: measure's line (prefixed with the given key) into $work/figures.
# Standard output of the program goes to $work/out.txt.
measure() {  # key program [argument]...
    local key=$1 line
    shift
    rm -f "$work/measure.txt"
    setsid -w "$measure_bin" --out "$work/measure.txt" -- "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt"
    line=$(cat "$work/measure.txt")
    [[ "$line" == *"status="* ]] || fail "no measurement of $*"
    echo "$key $line $(tr '\n' ' ' <"$work/out.txt")" >>"$work/figures"
}

# Field value of the last line of a key in $work/figures.
field() {  # key name
    awk -v key="$1" -v name="$2" '$1 == key { for (i = 2; i <= NF; ++i) { split($i, kv, "="); if (kv[1] == name) v = kv[2] } } END { print v }' "$work/figures"
}
# Every value of a field of a key, one per line.
values() {  # key name
    awk -v key="$1" -v name="$2" '$1 == key { for (i = 2; i <= NF; ++i) { split($i, kv, "="); if (kv[1] == name) print kv[2] } }' "$work/figures"
}
# Median, min and max of numbers on standard input: "median min max".
stats() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "- - -"; exit }
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}
median() {
    stats | cut -d' ' -f1
}
status_check() {  # key expected-status
    local bad
    bad=$(values "$1" status | grep -vc "^$2\$" || true)
    ((bad == 0)) || echo "bench: warning: $bad runs of $1 ended with another status than $2" >&2
}
# "key r=A/B" from the last runs of two keys: the per-pair ratio, or difference with "-".
pair() {  # key first-key second-key [ratio|difference]
    awk -v a="$(field "$2" wall_ms)" -v b="$(field "$3" wall_ms)" -v how="${4:-ratio}" -v key="$1" \
        'BEGIN { printf "%s r=%.4f\n", key, how == "ratio" ? a / b : a - b }' >>"$work/figures"
}
# The commands the card got since line FROM of its log: equal to the first run's?
same_commands() {  # from commands-file
    tail -n +"$(($1 + 1))" "$work/apdu.log" | cmp -s - "$2"
}
log_lines() {
    wc -l <"$work/apdu.log"
}

# One measured run of one side of a card's comparison. Every measured run must send the
# very commands of the first run of zebrik-report, or the replays compare nothing.
measure_side() {  # side card
    local side=$1 card=$2 before
    before=$(log_lines)
    case "$side" in
    report) measure "report-$card" "$report_bin" ;;
    calls)
        measure "calls-$card" "$replay_bin" --calls "$work/calls-$card.txt"
        [[ "$(field "calls-$card" status)" == 0 ]] || fail "the replay of the calls failed: $(cat "$work/err.txt")"
        ;;
    commands-only)
        measure "commands-only-$card" "$replay_bin" "$(sandbox_reader_name 0)" "$work/commands-$card.txt"
        [[ "$(field "commands-only-$card" status)" == 0 ]] || fail "the replay failed: $(cat "$work/err.txt")"
        ;;
    report-no-list)
        mount --bind "$work/no-atr-list" "$atr_list_dir"
        measure "report-no-list-$card" "$report_bin"
        umount "$atr_list_dir"
        ;;
    esac
    same_commands "$before" "$work/commands-$card.txt" || mismatched_runs=$((mismatched_runs + 1))
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$work/figures"
startup_runs=$((runs * 3))

# --- start-up: no pcscd at all, then pcscd with no reader ---------------------------------
echo "bench: start-up without pcscd ($startup_runs runs)" >&2
for ((i = 0; i < startup_runs; ++i)); do
    measure startup-no-pcscd "$report_bin"
done
status_check startup-no-pcscd 1

# An X server of its own for the window's first paint on a real display.
x_display=""
if command -v Xvfb >/dev/null; then
    exec 8>"$work/display"
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    sandbox_track "$xvfb_pid"
    exec 8>&-
    for ((i = 0; i < 100; ++i)); do
        [[ ! -s "$work/display" ]] || break
        sleep 0.1
    done
    [[ -s "$work/display" ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    x_display=":$(head -n1 "$work/display")"
else
    echo "bench: Xvfb is not installed; no first paint on a real X server" >&2
fi

# The first paint of one window: its time from process start into key-ms.
first_paint() {  # key
    local start paint
    measure "$1" "$gui_bench_bin" first-paint
    start=$(field "$1" start_ns)
    paint=$(field "$1" first_paint_ns)
    [[ -n "$paint" ]] || fail "zebrik_bench_gui printed no first paint: $(cat "$work/err.txt")"
    echo "$1-ms ms=$(awk -v a="$start" -v b="$paint" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')" >>"$work/figures"
}

sandbox_reader_conf none
sandbox_pcscd_start
echo "bench: start-up with pcscd and no reader, first paint ($startup_runs runs)" >&2
for ((i = 0; i < startup_runs; ++i)); do
    measure startup-no-reader "$report_bin"
    first_paint first-paint
    if [[ -n "$x_display" ]]; then
        DISPLAY=$x_display QT_QPA_PLATFORM=xcb first_paint first-paint-x11
    fi
done
status_check startup-no-reader 1
status_check first-paint 0
[[ -z "$x_display" ]] || status_check first-paint-x11 0
[[ -z "$x_display" ]] || sandbox_stop "$xvfb_pid"
# The real program, idle with its window shown, for its memory.
setsid -w "$measure_bin" --out "$work/idle.txt" --kill-after-ms 3000 -- "$gui_bin" </dev/null >/dev/null 2>&1
echo "gui-idle $(cat "$work/idle.txt")" >>"$work/figures"
sandbox_pcscd_stop

# --- one card's names, pcsc-tools' list included ------------------------------------------
echo "bench: card-name lookups" >&2
"$names_bin" >"$work/names.txt" || fail "zebrik_bench_card_names failed"

# --- each card: zebrik-report and the replays of its calls and its commands, interleaved ---
mismatched_runs=0
atr_list_dir=/usr/share/pcsc
mkdir "$work/no-atr-list"
for card in "${cards[@]}"; do
    echo "bench: $card ($runs runs of each side)" >&2
    sandbox_reader_conf vpcd
    sandbox_pcscd_start
    : >"$work/apdu.log"
    [[ "$card" == "$no_card" ]] || sandbox_card_in 0 "$card" "$work/apdu.log"
    # A first run, unmeasured, gives the command list and warms pcscd and the card up.
    setsid -w "$report_bin" </dev/null >"$work/report-$card.txt" 2>/dev/null || true
    cp "$work/apdu.log" "$work/commands-$card.txt"
    commands=$(wc -l <"$work/commands-$card.txt")
    [[ "$card" == "$no_card" ]] || ((commands > 0)) || fail "the card $card received no command"
    # The recording: the same run, its calls written down at the seam.
    before=$(log_lines)
    setsid -w "$record_bin" "$work/calls-$card.txt" </dev/null >"$work/recorded-$card.txt" 2>"$work/err.txt" ||
        fail "the recording of $card failed: $(cat "$work/err.txt")"
    same_commands "$before" "$work/commands-$card.txt" ||
        fail "the recording run of $card sent other commands than zebrik-report"
    cmp -s <(tr -d '\r' <"$work/recorded-$card.txt") "$work/report-$card.txt" ||
        fail "the recording run of $card wrote another report than zebrik-report"
    echo "commands-$card n=$commands calls=$(wc -l <"$work/calls-$card.txt")" >>"$work/figures"
    # One run of each side per round; every other round in reverse order, so that neither
    # side always comes first after the previous round (warm caches, a mount just undone).
    sides=(report calls)
    if [[ "$card" != "$no_card" ]]; then
        sides+=(commands-only)
        [[ -d "$atr_list_dir" ]] && sides+=(report-no-list)
    fi
    for ((i = 0; i < runs; ++i)); do
        order=("${sides[@]}")
        ((i % 2 == 0)) || order=($(printf '%s\n' "${sides[@]}" | tac))
        for side in "${order[@]}"; do
            measure_side "$side" "$card"
        done
        pair "ratio-calls-$card" "report-$card" "calls-$card"
        if [[ "$card" != "$no_card" ]]; then
            pair "ratio-commands-$card" "report-$card" "commands-only-$card"
        fi
        if [[ " ${sides[*]} " == *" report-no-list "* ]]; then
            # What the card names cost the whole run: the same run with the list out of sight.
            pair "list-cost-$card" "report-$card" "report-no-list-$card" difference
        fi
        if [[ "$card" == "$large_sim" ]]; then
            measure gui-refresh "$gui_bench_bin" refresh
            [[ -n "$(field gui-refresh refresh_ms)" ]] || fail "zebrik_bench_gui refresh printed nothing: $(cat "$work/err.txt")"
            [[ "$(field gui-refresh same_text)" == 1 ]] || fail "the window's report differs from the plain one"
            echo "gui-ratio r=$(awk -v a="$(field gui-refresh refresh_ms)" -v b="$(field "report-$card" wall_ms)" 'BEGIN { printf "%.4f", a / b }')" >>"$work/figures"
            echo "gui-plain-ratio r=$(awk -v a="$(field gui-refresh refresh_ms)" -v b="$(field gui-refresh plain_ms)" 'BEGIN { printf "%.4f", a / b }')" >>"$work/figures"
        fi
    done
    status_check "report-$card" 0
    sandbox_pcscd_stop
done
((mismatched_runs == 0)) ||
    echo "bench: warning: $mismatched_runs runs sent other commands than the first run of zebrik-report" >&2

# --- the window's run against the plain report, in process --------------------------------
echo "bench: $large_sim in process ($runs runs)" >&2
for ((i = 0; i < runs; ++i)); do
    measure gui-sim "$gui_bench_bin" refresh-sim "$large_sim"
    [[ "$(field gui-sim same_text)" == 1 ]] || fail "the window's report differs from the plain one"
    echo "gui-sim-ratio r=$(awk -v a="$(field gui-sim refresh_ms)" -v b="$(field gui-sim plain_ms)" 'BEGIN { printf "%.4f", a / b }')" >>"$work/figures"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- the table -----------------------------------------------------------------------------
rows=()
row() {  # measure median min max target met
    rows+=("$(printf '| %s | %s | %s | %s | %s | %s |' "$@")")
}
verdict() {  # value comparison limit
    awk -v v="$1" -v limit="$3" -v op="$2" 'BEGIN { if (v == "-") { print "-"; exit }
        ok = (op == "<" ? v < limit : v <= limit); print ok ? "yes" : "**no**" }'
}
fmt() {  # "median min max" decimals -> three fields
    awk -v d="$2" '$1 == "-" { print; next } { for (i = 1; i <= 3; ++i) printf "%s%." d "f", (i > 1 ? " " : ""), $i; print "" }' <<<"$1"
}
add_row() {  # label key field decimals comparison limit target-text
    local label=$1 key=$2 name=$3 decimals=$4 op=$5 limit=$6 target=$7 m lo hi
    read -r m lo hi <<<"$(fmt "$(values "$key" "$name" | stats)" "$decimals")"
    row "$label" "$m" "$lo" "$hi" "$target" "$(verdict "$m" "$op" "$limit")"
}
add_info_row() {  # label key field decimals
    local m lo hi
    read -r m lo hi <<<"$(fmt "$(values "$2" "$3" | stats)" "$4")"
    row "$1" "$m" "$lo" "$hi" "" ""
}
# The per-pair differences against the noise of the runs themselves: measurable when the
# median difference is larger than the median absolute deviation of the runs with the list.
difference_row() {  # label difference-key runs-key
    local m lo hi spread met
    read -r m lo hi <<<"$(fmt "$(values "$2" r | stats)" 2)"
    [[ "$m" != "-" ]] || return 0
    spread=$(values "$3" wall_ms | awk -v m="$(values "$3" wall_ms | median)" '{ d = $1 - m; print d < 0 ? -d : d }' | median)
    met=$(awk -v d="$m" -v s="$spread" 'BEGIN { print (d < 0 ? -d : d) <= s ? "yes" : "**no**" }')
    row "$1" "$m" "$lo" "$hi" "within the runs' noise (± $(printf '%.2f' "$spread") ms)" "$met"
}
peak_row() {  # label limit-kb target-text key...
    local label=$1 limit=$2 target=$3 peak
    shift 3
    peak=$(for key in "$@"; do values "$key" maxrss_kb; done | sort -g | tail -n1)
    local mb
    mb=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
    if [[ -n "$limit" ]]; then
        row "$label" "$mb" "" "" "$target" "$(verdict "$peak" "<" "$limit")"
    else
        row "$label" "$mb" "" "" "" ""
    fi
}

for card in "${cards[@]}"; do
    n=$(field "commands-$card" n)
    calls=$(field "commands-$card" calls)
    add_row "overhead ratio, same calls, $card ($calls calls, $n commands)" "ratio-calls-$card" r 3 "<=" 1.05 "≤ 1.05"
    add_info_row "  zebrik-report, $card (ms)" "report-$card" wall_ms 1
    add_info_row "  replay of the same calls, $card (ms)" "calls-$card" wall_ms 1
    add_info_row "  zebrik-report CPU user+sys, $card (ms)" "report-$card" cpu_ms 1
    add_info_row "  replay of the same calls CPU user+sys, $card (ms)" "calls-$card" cpu_ms 1
    [[ "$card" != "$no_card" ]] || continue
    add_info_row "overhead ratio, commands only, $card" "ratio-commands-$card" r 3
    add_info_row "  replay of the commands only, $card (ms)" "commands-only-$card" wall_ms 1
    add_info_row "  zebrik-report with the ATR list out of sight, $card (ms)" "report-no-list-$card" wall_ms 1
    difference_row "  zebrik-report with the list minus without, per pair, $card (ms)" "list-cost-$card" "report-$card"
done
# The lookups have their target; reading the list alone shows what any scan of it costs.
while IFS='|' read -r label m lo hi; do
    if [[ "$label" == card-name* ]]; then
        row "$label (ms)" "$m" "$lo" "$hi" "< 0.3 ms" "$(verdict "$m" "<" 0.3)"
    else
        row "  $label (ms)" "$m" "$lo" "$hi" "" ""
    fi
done < <(sed -nE 's/^(.*): median ([0-9.]+) ms \(min ([0-9.]+), max ([0-9.]+);.*$/\1|\2|\3|\4/p' "$work/names.txt")
add_row "zebrik-report start to exit, pcscd without reader (ms)" startup-no-reader wall_ms 2 "<" 20 "< 20 ms"
add_row "zebrik-report start to exit, no pcscd (ms)" startup-no-pcscd wall_ms 2 "<" 20 "< 20 ms"
add_row "window start to first paint, offscreen (ms)" first-paint-ms ms 1 "<" 300 "< 300 ms"
if [[ -n "$x_display" ]]; then
    add_row "window start to first paint, Xvfb (ms)" first-paint-x11-ms ms 1 "<" 300 "< 300 ms"
fi
add_row "window: \"&Aktualisieren\" to report shown over zebrik-report, $large_sim" gui-ratio r 3 "<=" 1.10 "≤ 1.10"
add_info_row "  window: press to report shown (ms)" gui-refresh refresh_ms 1
add_info_row "  window: press to end of run (ms)" gui-refresh run_ms 1
add_info_row "window run over plain run in the same process, through pcscd" gui-plain-ratio r 3
add_info_row "  plain text report in the window's process, through pcscd (ms)" gui-refresh plain_ms 1
add_info_row "window run over plain run, in process, simulated manager" gui-sim-ratio r 3
add_info_row "  window: press to report shown, in process (ms)" gui-sim refresh_ms 1
add_info_row "  plain text report, in process (ms)" gui-sim plain_ms 1
peak_row "zebrik-report peak RSS, every run (MB)" 10240 "< 10 MB" startup-no-pcscd startup-no-reader "${cards[@]/#/report-}"
peak_row "zebrik-report peak RSS, $large_sim (MB)" "" "" "report-$large_sim"
peak_row "zebrik_bench_gui peak RSS, $large_sim through pcscd (MB)" "" "" gui-refresh
peak_row "zebrik_bench_gui peak RSS, first paint (MB)" "" "" first-paint
peak_row "zebrik-smartcard peak RSS, idle 3 s, offscreen (MB)" "" "" gui-idle

cpu_model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
ram=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
name_runs=$(sed -nE '1s/.*; ([0-9]+) runs.*/\1/p' "$work/names.txt")
{
    echo "Machine: $(nproc) CPUs ($cpu_model), $ram RAM, Linux $(uname -r); $(pcscd --version 2>/dev/null | head -n1 | sed 's/ version / /; s/\.$//' || echo pcscd)"
    echo "Load average (1/5/15 min): $load_before before, $load_after after; $runs runs per figure ($startup_runs for start-up, $name_runs for the card-name lookups), private namespaces; $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo
    echo "| measure | median | min | max | target | met |"
    echo "| --- | ---: | ---: | ---: | --- | --- |"
    printf '%s\n' "${rows[@]}"
} >"$work/table.md"
cat "$work/table.md"
if [[ -n "$markdown" ]]; then
    cp "$work/table.md" "$markdown"
fi
