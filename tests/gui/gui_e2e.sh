#!/usr/bin/env bash
# End-to-end test of the desktop program in a real X server: zebrik-smartcard under Xvfb
# against the real pcscd with a simulated SIM (PIN query on) behind the vpcd reader.
# xdotool presses "&Aktualisieren", types the PIN into the dialog and presses
# "&Kopieren"; the clipboard (read with xclip) must hold exactly what zebrik-report
# prints for the same card. A second start must end with 0 and leave one window, and
# "&Beenden" must end the program with 1. A picture of the window with the report is
# left in the artefact directory.
#
#   gui_e2e.sh --bin-dir DIR --gui BINARY --shot BINARY --artefacts DIR
#
# Like the e2e tests of zebrik-report it runs in private namespaces with a pcscd of its
# own, or on the machine's when namespaces are not allowed (tests/support/pcscd_sandbox.sh).
# Exit status: 0 passed, 1 failed, 77 skipped.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script="$here/$(basename "${BASH_SOURCE[0]}")"
e2e="$here/../e2e"
original_args=("$@")
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"
card=sim-pin
pin=1234

fail() {
    echo "gui-e2e: $*" >&2
    # What the screen showed and what the program said, to see why.
    if [[ -n "${DISPLAY:-}" && -n "${artefacts:-}" ]]; then
        mkdir -p "$artefacts"
        "$shot_bin" 0 "$artefacts/failure.png" 2>/dev/null &&
            echo "gui-e2e: the screen at the failure: $artefacts/failure.png" >&2
    fi
    [[ -s "${work:-}/gui.log" ]] && { echo "gui-e2e: zebrik-smartcard wrote:" >&2; cat "$work/gui.log" >&2; }
    exit 1
}
skip() {
    echo "gui-e2e: SKIPPED: $*" >&2
    exit 77
}

bin_dir="" gui_bin="" shot_bin="" artefacts=""
while (($#)); do
    case "$1" in
        --bin-dir) bin_dir=$2; shift 2 ;;
        --gui) gui_bin=$2; shift 2 ;;
        --shot) shot_bin=$2; shift 2 ;;
        --artefacts) artefacts=$2; shift 2 ;;
        *) fail "unknown argument '$1' (see the head of $script)" ;;
    esac
done
[[ -n "$bin_dir" && -n "$gui_bin" && -n "$shot_bin" && -n "$artefacts" ]] ||
    fail "--bin-dir, --gui, --shot and --artefacts are needed"
for tool in Xvfb xdotool xclip pcscd; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh)"
done

sandbox_enter gui-e2e "$script" "${original_args[@]}"
work=$sandbox_work
sandbox_card_bin=$bin_dir/zebrik-vpcd-card

# Polls a command for up to $1 tenths of a second.
wait_until() {
    local tenths=$1 i
    shift
    for ((i = 0; i < tenths; ++i)); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# pcscd with one vpcd reader and the SIM in its first slot.
sandbox_reader_conf vpcd
sandbox_pcscd_start
sandbox_card_in 0 "$card"

# An X server of its own; the program's socket in a runtime directory of its own.
exec 8>"$work/display"
Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
sandbox_track $!
wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export NO_AT_BRIDGE=1
unset QT_QPA_PLATFORM

"$gui_bin" >"$work/gui.log" 2>&1 &
gui_pid=$!
sandbox_track $gui_pid
title='^Zebrik SmartCard$'
wait_until 100 xdotool search --onlyvisible --name "$title" || fail "no window appeared"
window=$(xdotool search --onlyvisible --name "$title" | head -n1)

# A second start hands over to the first and ends with 0.
set +e
timeout 20 "$gui_bin" >"$work/second.log" 2>&1
second=$?
set -e
((second == 0)) || fail "the second start ended with $second, expected 0"
count=$(xdotool search --onlyvisible --name "$title" | wc -l)
((count == 1)) || fail "$count windows after the second start, expected 1"
kill -0 "$gui_pid" || fail "the first instance has gone"

# Refresh, then the PIN into the dialog that the SIM's PIN query opens.
# A key that reaches the window before it has taken the focus is lost: press again then.
# A press during the run is harmless, the window takes no input meanwhile.
pin_dialog='^PIN prüfen$'
for ((press = 0; press < 3; ++press)); do
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers alt+a
    if wait_until 100 xdotool search --onlyvisible --name "$pin_dialog"; then
        break
    fi
done
dialog=$(xdotool search --onlyvisible --name "$pin_dialog" | head -n1)
[[ -n "$dialog" ]] || fail "no PIN dialog appeared"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$pin"
xdotool key Return
dialog_gone() { ! xdotool search --onlyvisible --name "$pin_dialog"; }
wait_until 100 dialog_gone || fail "the PIN dialog did not take the PIN"

# "&Kopieren" works only when the run is over; until then the window takes no input.
copy_report() {
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers alt+k
    sleep 0.3
    xclip -selection clipboard -o >"$work/clipboard.txt" 2>/dev/null || return 1
    grep -q "Chipkartenleser gefunden" "$work/clipboard.txt"
}
wait_until 60 copy_report || fail "the report never reached the clipboard"

# What the terminal twin prints for the same card, with the same PIN typed.
printf '# typed by gui_e2e.sh\nPIN-Code: => %s\n' "$pin" >"$work/answers"
python3 "$e2e/pty_session.py" --answers "$work/answers" --stdout "$work/cli.txt" \
    -- "$bin_dir/zebrik-report" >"$work/pty.log" 2>&1 || { cat "$work/pty.log" >&2; fail "zebrik-report failed"; }
if ! diff -u --label zebrik-report --label clipboard "$work/cli.txt" "$work/clipboard.txt"; then
    fail "the clipboard differs from what zebrik-report prints"
fi

# The picture: caret to the top, so the report shows from its start, unselected.
mkdir -p "$artefacts"
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" 40 40 click 1
xdotool key --clearmodifiers ctrl+Home
sleep 0.3
"$shot_bin" "$window" "$artefacts/zebrik-smartcard-$card.png" ||
    fail "no screenshot"
echo "gui-e2e: window ${WIDTH}x${HEIGHT}, screenshot in $artefacts/zebrik-smartcard-$card.png"

# "&Beenden" ends the program with 1.
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+b
set +e
for ((i = 0; i < 100; ++i)); do
    kill -0 "$gui_pid" 2>/dev/null || break
    sleep 0.1
done
wait "$gui_pid"
status=$?
set -e
((status == 1)) || { cat "$work/gui.log" >&2; fail "zebrik-smartcard ended with $status after \"&Beenden\", expected 1"; }
echo "gui-e2e: clipboard equals zebrik-report's output ($(wc -l <"$work/cli.txt") lines), one window after the second start, exit code 1"
