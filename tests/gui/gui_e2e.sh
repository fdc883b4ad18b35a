#!/usr/bin/env bash
# The desktop program in Xvfb against the real pcscd with a SIM (PIN query on) behind vpcd:
# xdotool presses "&Aktualisieren", types the PIN into the dialog and presses "&Kopieren"; the
# clipboard must hold exactly what zebrik-report prints for the card. A second start ends with
# 0 and leaves one window; "&Beenden" ends with 1.
#   gui_e2e.sh BIN_DIR GUI_BINARY   (0 passed, 1 failed, 77 skipped)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"
bin_dir=$1 gui=$2 pin=1234
for tool in Xvfb xdotool xclip pcscd; do
    command -v "$tool" >/dev/null || sandbox_skip "$tool is not installed (scripts/install-deps.sh)"
done
sandbox_enter gui-e2e "$here/gui_e2e.sh" "$@"
work=$sandbox_work sandbox_card_bin=$bin_dir/zebrik-vpcd-card
fail() { echo "gui-e2e: $*" >&2; cat "$work/gui.log" >&2 2>/dev/null; exit 1; }
not() { ! "$@"; }
wait_until() {  # tenths of a second, then a command that must succeed by then
    for ((i = 0; i < $1; ++i)); do "${@:2}" >/dev/null 2>&1 && return 0 || sleep 0.1; done
    return 1
}
windows() { xdotool search --onlyvisible --name "$1"; }
press() { xdotool windowfocus --sync "$window" key --clearmodifiers "$1"; }

sandbox_reader_conf vpcd; sandbox_pcscd_start; sandbox_card_in 0 sim-pin
# An X server of its own; the program's socket in a runtime directory of its own.
exec 8>"$work/display"
Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
sandbox_track $!
wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")" XDG_RUNTIME_DIR=$work/runtime NO_AT_BRIDGE=1
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
"$gui" >"$work/gui.log" 2>&1 &
gui_pid=$! && sandbox_track $gui_pid
wait_until 100 windows '^Zebrik SmartCard$' || fail "no window appeared"
window=$(windows '^Zebrik SmartCard$' | head -n1)

timeout 20 "$gui" >"$work/second.log" 2>&1 || fail "the second start ended with $?, expected 0"
(($(windows '^Zebrik SmartCard$' | wc -l) == 1)) || fail "not one window after the second start"
kill -0 $gui_pid || fail "the first instance has gone"

# A key that reaches the window before it has the focus is lost: press again then (during
# the run the window takes no input anyway).
for ((try = 0; try < 3; ++try)); do
    press alt+a
    ! wait_until 100 windows '^PIN prüfen$' || break
done
dialog=$(windows '^PIN prüfen$' | head -n1) || fail "no PIN dialog appeared"
xdotool windowfocus --sync "$dialog" type --delay 20 "$pin"
xdotool key Return
wait_until 100 not windows '^PIN prüfen$' || fail "the PIN dialog did not take the PIN"
copy_report() {  # only once the run is over
    press alt+k
    sleep 0.3
    xclip -selection clipboard -o >"$work/clipboard.txt" && grep -q "Chipkartenleser gefunden" "$work/clipboard.txt"
}
wait_until 60 copy_report || fail "the report never reached the clipboard"
# What the terminal twin prints for the same card, with the same PIN typed.
python3 "$here/../e2e/pty_session.py" --answers <(echo "PIN-Code: => $pin") --stdout "$work/cli.txt" \
    -- "$bin_dir/zebrik-report" 2>"$work/pty.log" || { cat "$work/pty.log" >&2; fail "zebrik-report failed"; }
diff -u --label zebrik-report --label clipboard "$work/cli.txt" "$work/clipboard.txt" ||
    fail "the clipboard differs from what zebrik-report prints"

press alt+b
wait_until 100 not kill -0 $gui_pid || fail "zebrik-smartcard still runs after \"&Beenden\""
wait $gui_pid && status=0 || status=$?
((status == 1)) || fail "zebrik-smartcard ended with $status after \"&Beenden\", expected 1"
echo "gui-e2e: the clipboard holds zebrik-report's output; one window after a second start; exit code 1"
