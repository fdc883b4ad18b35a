#!/usr/bin/env bash
# Sets Zebrik SmartCard up on a Debian 12 machine and shows what it does: installs what
# is needed, builds the program and prints the report over the built-in demo readers.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/release"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

echo
echo "==================== zebrik-report --demo ===================="
if [[ -t 0 ]]; then
    "$build/zebrik-report" --demo
else
    # Run without input: a demo card's PIN prompt is cancelled instead of waiting.
    setsid -w "$build/zebrik-report" --demo </dev/null
fi
echo "=============================================================="
cat <<EOF

That was the report over built-in sample readers and cards. To read real cards:
  1. Plug in a PC/SC card reader and make sure pcscd runs:
       systemctl start pcscd.socket      (or start it by hand: pcscd)
  2. Insert the card, then either
       $build/zebrik-report
     for the report on standard output, or open the window and press "Aktualisieren":
       $build/src/app/zebrik-smartcard
EOF
