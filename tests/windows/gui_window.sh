#!/usr/bin/env bash
# The Win32 window under Wine and Xvfb: the --demo report on the clipboard is the Linux
# zebrik-report --demo's; a second start brings the first window to Wine's foreground (the
# X stacking does not follow without a window manager) and ends with 0; exit codes; the PIN
# dialogs' OK rules (pin_dialog_cases.txt); a PIN typed over the window reaches a SIM.
#   tests/windows/gui_window.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR   (0 passed, 1 failed, 77 skipped)
# Uses the WINEPREFIX it is given (run_wine_tests.sh's), else one of its own.
set -euo pipefail
windows=$(realpath "$1") linux=$(realpath "$2") here=$(dirname "$(realpath "$0")")
wine=/usr/lib/wine/wine64
for tool in Xvfb xdotool xclip "$wine"; do
    command -v "$tool" >/dev/null || { echo "gui-window: no $tool (scripts/install-deps.sh --tests)"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-wine-gui.XXXXXX")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[[ -n ${WINEPREFIX:-} ]] || { export WINEPREFIX=$work/prefix && own_prefix=1; }
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -z ${own_prefix:-} ]] || /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "gui-window: $*" >&2 && exit 1; }
not() { ! "$@"; }
wait_until() {  # tenths of a second, then a command that must succeed by then
    for ((i = 0; i < $1; ++i)); do "${@:2}" >/dev/null 2>&1 && return 0 || sleep 0.1; done
    return 1
}
named() { xdotool search --onlyvisible --name "^$1\$"; }
is_foreground() { [[ $("$wine" "$windows/window_probe.exe" foreground | tr -d '\r') == "$1" ]]; }

exec 8>"$work/display"
Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
if [[ -n ${own_prefix:-} ]]; then
    "$wine" wineboot --init >/dev/null 2>&1
else  # a Wine session started without this display would keep its desktop process
    timeout 60 /usr/lib/wine/wineserver -w || fail "the Wine session of $WINEPREFIX does not end"
fi

start_window() {  # PROGRAM ARGUMENTS...: sets first and window
    "$wine" "$windows/$1" "${@:2}" >/dev/null 2>&1 &
    first=$! && pids+=($first)
    wait_until 300 named 'Zebrik SmartCard' || fail "no window appeared"
    window=$(named 'Zebrik SmartCard' | head -n1)
}
press() { xdotool windowfocus --sync "$window" key --clearmodifiers "$1"; }
copy_report() {  # keys pressed during the run are dropped: again until the report is there
    press alt+m && press alt+k && sleep 0.2
    xclip -selection clipboard -o | sed 's/\r$//' >"$work/clipboard.txt"
    grep -q "$1" "$work/clipboard.txt"
}
refresh_and_copy() {  # FIRST_LINE_PATTERN; a key sent before the window has the focus is lost
    for ((try = 0; try < 3; ++try)); do
        press alt+a
        ! wait_until 50 copy_report "$1" || return 0
    done
}
ended_with() {  # STATUS KEY
    press "$2"
    wait_until 100 not kill -0 "$first" || fail "$2 did not close the window"
    wait "$first" && status=0 || status=$?
    ((status == $1)) || fail "the window ended with $status after $2, expected $1"
}

# Without --demo: Wine's winscard has no resource manager behind it.
start_window zebrik-smartcard.exe
refresh_and_copy '^Fehler'
[[ $(cat "$work/clipboard.txt") == "Fehler 0x80100001" ]] || fail "without --demo: $(cat "$work/clipboard.txt")"
ended_with 1 alt+b

start_window zebrik-smartcard.exe --demo
refresh_and_copy '^Chipkartenleser gefunden'
"$linux/zebrik-report" --demo >"$work/linux.txt" </dev/null
cmp "$work/linux.txt" "$work/clipboard.txt" || fail "the clipboard differs from zebrik-report --demo"

"$wine" notepad >/dev/null 2>&1 &
notepad=$! && pids+=($notepad)
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
    xdotool windowfocus --sync "$(named "$title" | head -n1)"
    IFS='|' read -ra fields <<<"$typed"
    for ((f = 0; f < ${#fields[@]}; ++f)); do
        ((f == 0)) || xdotool key Tab
        [[ -z ${fields[f]} ]] || xdotool type --delay 20 "${fields[f]}"
    done
    xdotool key Return
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
start_window window_probe.exe window "$here/../cards/sim-pin.card"
press alt+a
wait_until 100 named 'PIN prüfen' || fail "no PIN dialog over the window"
xdotool windowfocus --sync "$(named 'PIN prüfen' | head -n1)" type --delay 20 1234
xdotool key Return
wait_until 100 copy_report '^Chipkartenleser gefunden: "Zebrik Testleser"' || fail "no report"
grep -qx 'IMSI: 262011234567890' "$work/clipboard.txt" || fail "no IMSI: the PIN did not reach the card"
ended_with 1 alt+b
echo "gui-window: the demo report on the clipboard; one window, in front, after a second start; Escape 2; no resource manager, \"&Beenden\" 1; the PIN dialogs' OK rules; a PIN to the card"
