#!/usr/bin/env bash
# One end-to-end test of zebrik-report against a pcscd of its own (pcscd_sandbox.sh),
# simulated cards behind the vpcd reader, compared with an expected report.
#   run_e2e.sh --bin-dir DIR --case tests/e2e/expected/CARD[@VARIANT].txt
#       CARD in slot 0 of the vpcd reader. Beside the .txt, if they exist: .input, the answers
#       typed at the PIN prompts on a pseudo-terminal (pty_session.py; else no terminal at all);
#       .apdu, the commands the card must receive (hex lines); .args, zebrik-report's options.
#   run_e2e.sh --bin-dir DIR --setup no-pcscd|no-readers|vpcd --expected FILE [--exit-code N]
# --wrap "PROGRAM [ARGS]" starts zebrik-report through PROGRAM (valgrind). Exit status: 0
# passed, 1 failed, 77 skipped.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script="$here/$(basename "${BASH_SOURCE[0]}")"
original_args=("$@")
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"

bin_dir="" setup="" card="" expected="" input="" exit_code=0 wrap=() report_args=()
sandbox_name=e2e
fail() { sandbox_fail "$@"; }

while (($#)); do
    case "$1" in
        --bin-dir) bin_dir=$2; shift 2 ;;
        --setup) setup=$2; shift 2 ;;
        --expected) expected=$2; shift 2 ;;
        --exit-code) exit_code=$2; shift 2 ;;
        --case)
            expected=$2 setup=vpcd card=$(basename "$2" .txt) card=${card%%@*}
            [[ ! -f "${2%.txt}.input" ]] || input="${2%.txt}.input"
            [[ ! -f "${2%.txt}.args" ]] || read -r -a report_args <"${2%.txt}.args"
            shift 2 ;;
        --wrap) read -r -a wrap <<<"$2"; shift 2 ;;
        *) fail "unknown argument '$1' (see the head of $script)" ;;
    esac
done

report_bin="$bin_dir/zebrik-report" card_bin="$bin_dir/zebrik-vpcd-card"
[[ -f "$expected" ]] || fail "no expected report $expected"

sandbox_enter e2e "$script" "${original_args[@]}"
work=$sandbox_work
sandbox_card_bin=$card_bin

case "$setup" in
    no-pcscd) ;;
    no-readers | vpcd) sandbox_reader_conf "${setup/no-readers/none}"; sandbox_pcscd_start ;;
    *) fail "unknown setup '$setup'" ;;
esac
[[ -z "$card" ]] || sandbox_card_in 0 "$card" "$work/apdu-0.log"  # its card_in checks card_bin

actual="$work/report.txt" status=0
if [[ -n "$input" ]]; then
    "$sandbox_python" "$here/pty_session.py" --answers "$input" --stdout "$actual" -- "${wrap[@]}" "$report_bin" "${report_args[@]}"
else
    # A session of its own has no controlling terminal: every PIN prompt cancels.
    setsid -w timeout 60 "${wrap[@]}" "$report_bin" "${report_args[@]}" </dev/null >"$actual" 2>"$work/stderr.txt"
fi || status=$?
cat "$work/stderr.txt" "$work/card.log" >&2 2>/dev/null || true

expected_apdus="${expected%.txt}.apdu" actual_apdus="$work/apdu-0.log"

# Card names come from pcsc-tools' ATR list, which changes with that package or may be
# missing: only a case whose expected report names the card compares them.
names_line='^Name der Chipkarte: ' smartcard_list=/usr/share/pcsc/smartcard_list.txt
if ! grep -q "$names_line" "$expected"; then
    grep -v "$names_line" "$actual" >"$work/report-without-names.txt" || true
    actual="$work/report-without-names.txt"
elif [[ ! -f "$smartcard_list" ]]; then
    sandbox_skip "the expected report names the card, but $smartcard_list (pcsc-tools) is not installed"
fi

result=0
diff -u --label expected --label actual "$expected" "$actual" || result=1
[[ ! -f "$expected_apdus" ]] ||
    diff -u --label expected-commands --label sent-commands "$expected_apdus" "$actual_apdus" || result=1
((status == exit_code)) || { echo "e2e: zebrik-report ended with $status, expected $exit_code" >&2; result=1; }
# Nothing typed at a prompt may reach standard output. A value that the report shows
# anyway (PIN 1234 of the test cards is part of their ICCID) cannot tell, so only the
# typed values that the expected report does not hold are looked for.
while IFS= read -r typed; do
    if ((${#typed} >= 4)) && [[ "$typed" != \<*\> ]] && ! grep -qF -- "$typed" "$expected" &&
        grep -qF -- "$typed" "$work/report.txt"; then
        echo "e2e: the typed text '$typed' appeared on standard output" >&2
        result=1
    fi
done < <([[ -z "$input" ]] || sed -nE '/^#/d; s/.*=>[[:space:]]*(.*[^[:space:]])[[:space:]]*$/\1/p' "$input")
((result)) || echo "e2e: report as expected (exit status $status)"
exit $result
