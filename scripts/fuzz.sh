#!/usr/bin/env bash
# Fuzzes Zebrik SmartCard: builds the libFuzzer targets (fuzz/) with clang-14, writes
# their seed corpus from the simulated cards and runs every target in turn for its share
# of the given time. Prints executions and findings per target; exits 1 on any finding.
#
#   scripts/fuzz.sh [SECONDS] [BUILD_DIR]
#       SECONDS    the time of all targets together (default 600); the dispatch and the
#                  analysis run get three shares each, every parser target one
#       BUILD_DIR  default build-fuzz/ in the repository
#
# The corpus that the targets grow is kept in BUILD_DIR/fuzz-corpus, so a later run goes
# on from it; the inputs of past findings, fuzz/regressions/TARGET, are run every time.
# Findings (crash-*, leak-*, timeout-*, oom-*) land in BUILD_DIR/fuzz-findings.
# Reproduce one with: BUILD_DIR/fuzz/zebrik_fuzz_TARGET FILE (ZEBRIK_FUZZ_REPORT=1 also
# prints the report the input gave).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
total=${1:-600}
build=${2:-$root/build-fuzz}
[[ "$total" =~ ^[0-9]+$ ]] || { echo "fuzz: SECONDS must be a number, not '$total'" >&2; exit 2; }

echo "== Build the fuzz targets with clang-14"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEBRIK_FUZZ=ON -DZEBRIK_BUILD_GUI=OFF -DZEBRIK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target zebrik_fuzzers -j"$(nproc)"

seeds="$build/fuzz-seeds"
corpus="$build/fuzz-corpus"
findings="$build/fuzz-findings"
logs="$build/fuzz-logs"
rm -rf "$seeds" "$logs"
mkdir -p "$corpus" "$findings" "$logs"
list=/usr/share/pcsc/smartcard_list.txt
if [[ -f "$list" ]]; then
    "$build/fuzz/zebrik_fuzz_seeds" "$seeds" "$list"
else
    "$build/fuzz/zebrik_fuzz_seeds" "$seeds"
fi

mapfile -t targets <"$build/fuzz-targets.txt"
weight() { case "$1" in dispatch | analysis) echo 3 ;; *) echo 1 ;; esac; }
shares=0
for target in "${targets[@]}"; do
    shares=$((shares + $(weight "$target")))
done

echo "== Fuzz ${#targets[@]} targets for $total s in all"
summary=()
all_findings=0
all_executions=0
for target in "${targets[@]}"; do
    seconds=$((total * $(weight "$target") / shares))
    ((seconds >= 1)) || seconds=1
    mkdir -p "$corpus/$target" "$findings/$target"
    before=$(find "$findings/$target" -type f | wc -l)
    log="$logs/$target.log"
    echo "-- $target: $seconds s"
    set +e
    inputs=("$seeds/$target")
    if [[ -d "$root/fuzz/regressions/$target" ]]; then
        inputs+=("$root/fuzz/regressions/$target")
    fi
    # A run that takes more than 10 s, or more than 2 GB, is a finding too.
    "$build/fuzz/zebrik_fuzz_$target" "$corpus/$target" "${inputs[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$findings/$target/" >"$log" 2>&1
    status=$?
    set -e
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    units=$(find "$corpus/$target" -type f | wc -l)
    # The edges of the code under test that the corpus reaches, as libFuzzer counts them.
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
    after=$(find "$findings/$target" -type f | wc -l)
    found=$((after - before))
    if ((status != 0 && found == 0)); then
        found=1  # ended badly without leaving an input: a finding all the same
    fi
    if ((found > 0)); then
        echo "   FINDING: see $log and $findings/$target/" >&2
        grep -E '^(==[0-9]+==ERROR|==zebrik-fuzz==|SUMMARY|.*runtime error)' "$log" | head -5 >&2 || true
    fi
    all_findings=$((all_findings + found))
    all_executions=$((all_executions + ${executions:-0}))
    summary+=("$(printf '%-12s %6s s %12s %10s %8s %7s %9s' "$target" "$seconds" \
        "${executions:-?}" "${rate:-?}" "$units" "${edges:-?}" "$found")")
done

echo
printf '%-12s %8s %12s %10s %8s %7s %9s\n' target time executions exec/s corpus edges findings
printf '%s\n' "${summary[@]}"
printf '%-12s %6s s %12s %10s %8s %7s %9s\n' "all" "$total" "$all_executions" "" "" "" \
    "$all_findings"
if ((all_findings > 0)); then
    echo "fuzz: $all_findings finding(s); the inputs are in $findings" >&2
    exit 1
fi
echo "fuzz: no findings"
