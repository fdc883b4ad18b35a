#!/usr/bin/env bash
# The Win32 window under Wine and Xvfb. The foreground is asked of Wine: the X stacking does
# not follow it without a window manager.
#   tests/windows/gui_window.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR   (0 passed, 1 failed, 77 skipped)
# Runs in the Wine prefix of run_wine_tests.sh.
set -euo pipefail
windows=$(realpath "$1") linux=$(realpath "$2") here=$(dirname "$(realpath "$0")")
wine=/usr/lib/wine/wine64
# shellcheck source=../support/pcscd_sandbox.sh
source "$here/../support/pcscd_sandbox.sh"  # the helpers, not the sandbox
sandbox_name=gui-window sandbox_work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-wine-gui.XXXXXX")
work=$sandbox_work
trap sandbox_cleanup EXIT
fail() { sandbox_fail "$@"; }
clipboard() { sed 's/\r$//' "$work/clipboard.txt"; }
is_foreground() { [[ $("$wine" "$windows/window_probe.exe" foreground | tr -d '\r') == "$1" ]]; }

sandbox_xvfb "$work"
# A Wine session started without this display would keep its desktop process.
timeout 60 /usr/lib/wine/wineserver -w || fail "the Wine session of $WINEPREFIX does not end"

# Without --demo: Wine's winscard has no resource manager behind it.
start_window "$wine" "$windows/zebrik-smartcard.exe"
press_until alt+a copy_report '^Fehler' || fail "without --demo: no report on the clipboard"
[[ $(clipboard) == "Fehler 0x80100001" ]] || fail "without --demo: $(clipboard)"
ended_with 1 alt+b

start_window "$wine" "$windows/zebrik-smartcard.exe" --demo
press_until alt+a copy_report '^Chipkartenleser gefunden' || fail "--demo: no report on the clipboard"
"$linux/zebrik-report" --demo >"$work/linux.txt" </dev/null
cmp "$work/linux.txt" <(clipboard) || fail "the clipboard differs from zebrik-report --demo"

"$wine" notepad >/dev/null 2>&1 &
notepad=$! && sandbox_track $notepad
wait_until 100 not is_foreground 'Zebrik SmartCard' || fail "notepad did not come to the front"
timeout 60 "$wine" "$windows/zebrik-smartcard.exe" --demo >/dev/null 2>&1 ||
    fail "the second start ended with $?, expected 0"
(($(named 'Zebrik SmartCard' | wc -l) == 1)) || fail "not one window after the second start"
is_foreground 'Zebrik SmartCard' || fail "the first window did not come to the front"
kill "$notepad"
ended_with 2 Escape

while IFS=';' read -r dialog typed expected; do
    [[ -n $dialog && $dialog != \#* ]] || continue
    title="PIN prüfen" && [[ $dialog == entry ]] || title="PIN entsperren"
    "$wine" "$windows/window_probe.exe" "$dialog" >"$work/probe.txt" 2>/dev/null &
    probe=$!
    wait_until 100 named "$title" || fail "$dialog: no dialog \"$title\""
    type_into "$title" "${typed//|/$'\t'}"  # Tab to the next field
    if [[ $expected == offen ]]; then
        sleep 0.5 && named "$title" >/dev/null || fail "$dialog \"$typed\": OK was enabled"
        xdotool key Escape
        expected="2 -" && [[ $dialog == entry ]] || expected="2 - -"
    fi
    wait_until 100 not kill -0 "$probe" || fail "$dialog \"$typed\": the dialog stays open"
    [[ $(tr -d '\r' <"$work/probe.txt") == "$expected" ]] ||
        fail "$dialog \"$typed\": \"$(cat "$work/probe.txt")\", expected \"$expected\""
done <"$here/pin_dialog_cases.txt"
# A SIM that asks for its PIN: the dialog comes up over the window, the PIN reaches the card.
start_window "$wine" "$windows/window_probe.exe" window "$here/../cards/sim-pin.card"
press_until alt+a named 'PIN prüfen' || fail "no PIN dialog over the window"
type_into 'PIN prüfen' 1234
wait_until 100 copy_report '^Chipkartenleser gefunden: "Zebrik Testleser"' || fail "no report"
clipboard | grep -qx 'IMSI: 262011234567890' || fail "no IMSI: the PIN did not reach the card"
ended_with 1 alt+b
echo "gui-window: the demo report on the clipboard; one window, in front, after a second start; Escape 2; no resource manager, \"&Beenden\" 1; the PIN dialogs' OK rules; a PIN to the card"
