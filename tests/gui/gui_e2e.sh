#!/usr/bin/env bash
# The desktop program in Xvfb against the real pcscd with a SIM (PIN query on) behind vpcd,
# driven by xdotool like a user.
#   gui_e2e.sh BIN_DIR GUI_BINARY   (0 passed, 1 failed, 77 skipped)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"
bin_dir=$1 gui=$2 pin=1234
sandbox_enter gui-e2e "$here/gui_e2e.sh" "$@"
work=$sandbox_work sandbox_card_bin=$bin_dir/zebrik-vpcd-card
fail() { echo "gui-e2e: $*" >&2; cat "$work/window.log" >&2 2>/dev/null; exit 1; }

sandbox_reader_conf vpcd; sandbox_pcscd_start; sandbox_card_in 0 sim-pin
sandbox_xvfb "$work"
# The program's socket in a runtime directory of its own.
export XDG_RUNTIME_DIR=$work/runtime NO_AT_BRIDGE=1
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
start_window "$gui"
timeout 20 "$gui" >"$work/second.log" 2>&1 || fail "the second start ended with $?, expected 0"
(($(named 'Zebrik SmartCard' | wc -l) == 1)) || fail "not one window after the second start"
kill -0 "$first" || fail "the first instance has gone"

press_until alt+a named 'PIN prüfen' || fail "no PIN dialog appeared"
type_into 'PIN prüfen' "$pin"
wait_until 100 not named 'PIN prüfen' || fail "the PIN dialog did not take the PIN"
wait_until 60 copy_report "Chipkartenleser gefunden" || fail "the report never reached the clipboard"
# What the terminal twin prints for the same card, with the same PIN typed.
"$sandbox_python" "$here/../e2e/pty_session.py" --answers <(echo "PIN-Code: => $pin") --stdout "$work/cli.txt" \
    -- "$bin_dir/zebrik-report" 2>"$work/pty.log" || { cat "$work/pty.log" >&2; fail "zebrik-report failed"; }
diff -u --label zebrik-report --label clipboard "$work/cli.txt" "$work/clipboard.txt" ||
    fail "the clipboard differs from what zebrik-report prints"
ended_with 1 alt+b
echo "gui-e2e: the clipboard holds zebrik-report's output; one window after a second start; exit code 1"
