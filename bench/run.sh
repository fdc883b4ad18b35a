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
#   --runs N         runs per figure (default 7; the start-up figures take three times as many)
#   --markdown FILE  also write the table with the machine and load into FILE
#
# What is measured (medians of N runs; each card's runs are interleaved, all in the same
# pcscd and the same card process):
#   overhead ratio   wall time of zebrik-report (process start to exit) over the wall time
#                    of zebrik_bench_replay, a plain pcsc-lite client sending the very
#                    commands that zebrik-report's run sent (taken from the card's log);
#                    the median of the per-pair ratios
#   start-up         zebrik-report with pcscd running but no reader, and with no pcscd;
#                    the window's first paint (zebrik_bench_gui, the window built as
#                    main() builds it, on Qt's offscreen platform), from process start
#   1 000-record SIM zebrik_bench_gui pressing "&Aktualisieren" against the same pcscd,
#                    from the press to the whole report painted, over zebrik-report's time
#                    for the same card (interleaved with it); over the same analysis into a
#                    plain text report in the same process (before and after the window's
#                    run); and that last pair against the simulated resource manager, in
#                    process (no pcscd, no card latency)
#   (diagnostic)     zebrik-report with pcsc-tools' ATR list out of sight (private
#                    namespaces only), to show what reading it costs
#   peak memory      max RSS (getrusage of the ended child) of every run above, and of the
#                    real zebrik-smartcard idle on the offscreen platform
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
cards=(geldkarte egk sim-phonebook-1000)
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
        zebrik_bench_replay zebrik-smartcard zebrik_bench_gui >/dev/null
fi

report_bin="$build_dir/zebrik-report"
card_bin="$build_dir/zebrik-vpcd-card"
gui_bin="$build_dir/src/app/zebrik-smartcard"
measure_bin="$build_dir/bench/zebrik_bench_measure"
replay_bin="$build_dir/bench/zebrik_bench_replay"
gui_bench_bin="$build_dir/bench/zebrik_bench_gui"
for bin in "$report_bin" "$card_bin" "$gui_bin" "$measure_bin" "$replay_bin" "$gui_bench_bin"; do
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
status_check() {  # key expected-status
    local bad
    bad=$(values "$1" status | grep -vc "^$2\$" || true)
    ((bad == 0)) || echo "bench: warning: $bad runs of $1 ended with another status than $2" >&2
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

sandbox_reader_conf none
sandbox_pcscd_start
echo "bench: start-up with pcscd and no reader, first paint ($startup_runs runs)" >&2
for ((i = 0; i < startup_runs; ++i)); do
    measure startup-no-reader "$report_bin"
    measure first-paint "$gui_bench_bin" first-paint
    start=$(field first-paint start_ns)
    paint=$(field first-paint first_paint_ns)
    [[ -n "$paint" ]] || fail "zebrik_bench_gui printed no first paint: $(cat "$work/err.txt")"
    echo "first-paint-ms ms=$(awk -v a="$start" -v b="$paint" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')" >>"$work/figures"
done
status_check startup-no-reader 1
status_check first-paint 0
# The real program, idle with its window shown, for its memory.
setsid -w "$measure_bin" --out "$work/idle.txt" --kill-after-ms 3000 -- "$gui_bin" </dev/null >/dev/null 2>&1
echo "gui-idle $(cat "$work/idle.txt")" >>"$work/figures"
sandbox_pcscd_stop

# --- each card: zebrik-report and the replay of its commands, interleaved ------------------
mismatched_runs=0
atr_list_dir=/usr/share/pcsc
mkdir "$work/no-atr-list"
for card in "${cards[@]}"; do
    echo "bench: $card ($runs runs of each side)" >&2
    sandbox_reader_conf vpcd
    sandbox_pcscd_start
    : >"$work/apdu.log"
    sandbox_card_in 0 "$card" "$work/apdu.log"
    # A first run, unmeasured, gives the command list and warms pcscd and the card up.
    setsid -w "$report_bin" </dev/null >"$work/report-$card.txt" 2>/dev/null || true
    cp "$work/apdu.log" "$work/commands-$card.txt"
    commands=$(wc -l <"$work/commands-$card.txt")
    ((commands > 0)) || fail "the card $card received no command"
    echo "commands-$card n=$commands" >>"$work/figures"
    for ((i = 0; i < runs; ++i)); do
        before=$(wc -l <"$work/apdu.log")
        measure "report-$card" "$report_bin"
        # The run must have sent the very same commands, or the replay compares nothing.
        if ! tail -n +"$((before + 1))" "$work/apdu.log" | cmp -s - "$work/commands-$card.txt"; then
            mismatched_runs=$((mismatched_runs + 1))
        fi
        measure "replay-$card" "$replay_bin" "$(sandbox_reader_name 0)" "$work/commands-$card.txt"
        [[ "$(field "replay-$card" status)" == 0 ]] || fail "the replay failed: $(cat "$work/err.txt")"
        # What reading pcsc-tools' ATR list costs: the same run with the list out of sight.
        if [[ "$sandbox_mode" == private && -d "$atr_list_dir" ]]; then
            mount --bind "$work/no-atr-list" "$atr_list_dir"
            measure "report-no-list-$card" "$report_bin"
            umount "$atr_list_dir"
        fi
        echo "ratio-$card r=$(awk -v a="$(field "report-$card" wall_ms)" -v b="$(field "replay-$card" wall_ms)" 'BEGIN { printf "%.4f", a / b }')" >>"$work/figures"
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
    echo "bench: warning: $mismatched_runs runs of zebrik-report sent other commands than the first run" >&2

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
add_row() {  # label key field decimals comparison limit target-text [suffix]
    local label=$1 key=$2 name=$3 decimals=$4 op=$5 limit=$6 target=$7 m lo hi
    read -r m lo hi <<<"$(fmt "$(values "$key" "$name" | stats)" "$decimals")"
    row "$label" "$m" "$lo" "$hi" "$target" "$(verdict "$m" "$op" "$limit")"
}
add_info_row() {  # label key field decimals
    local m lo hi
    read -r m lo hi <<<"$(fmt "$(values "$2" "$3" | stats)" "$4")"
    row "$1" "$m" "$lo" "$hi" "" ""
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
    add_row "overhead ratio, $card ($n commands)" "ratio-$card" r 3 "<=" 1.10 "≤ 1.10"
    add_info_row "  zebrik-report, $card (ms)" "report-$card" wall_ms 1
    add_info_row "  replay, $card (ms)" "replay-$card" wall_ms 1
    add_info_row "  zebrik-report CPU user+sys, $card (ms)" "report-$card" cpu_ms 1
    add_info_row "  replay CPU user+sys, $card (ms)" "replay-$card" cpu_ms 1
    add_info_row "  zebrik-report without the ATR list, $card (ms)" "report-no-list-$card" wall_ms 1
done
add_row "zebrik-report start to exit, pcscd without reader (ms)" startup-no-reader wall_ms 2 "<" 20 "< 20 ms"
add_row "zebrik-report start to exit, no pcscd (ms)" startup-no-pcscd wall_ms 2 "<" 20 "< 20 ms"
add_row "window start to first paint, offscreen (ms)" first-paint-ms ms 1 "<" 300 "< 300 ms"
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
{
    echo "Machine: $(nproc) CPUs ($cpu_model), $ram RAM, Linux $(uname -r); $(pcscd --version 2>/dev/null | head -n1 | sed 's/ version / /; s/\.$//' || echo pcscd)"
    echo "Load average (1/5/15 min): $load_before before, $load_after after; $runs runs per figure ($startup_runs for start-up), $(sandbox_where); $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo
    echo "| measure | median | min | max | target | met |"
    echo "| --- | ---: | ---: | ---: | --- | --- |"
    printf '%s\n' "${rows[@]}"
} >"$work/table.md"
cat "$work/table.md"
if [[ -n "$markdown" ]]; then
    cp "$work/table.md" "$markdown"
fi
