#!/usr/bin/env bash
# Installs everything Zebrik SmartCard needs to build, run and test on Debian 12.
# Non-interactive and idempotent: when every package is already there it asks no
# package server at all and ends at once.
#   scripts/install-deps.sh            what the Linux build and its demo need
#   scripts/install-deps.sh --tests    and what only the test command needs besides
set -euo pipefail

packages=(
    # Build
    build-essential cmake pkg-config git clang-format
    clang-14 libclang-rt-14-dev
    # Tests: GoogleTest, sanitizers and leak checks, the PIN prompt under a pseudo-terminal
    libgtest-dev libgmock-dev valgrind python3 util-linux procps
    # PC/SC: the resource manager, its client library, the virtual reader, peer tools
    pcscd libpcsclite-dev libpcsclite1 vsmartcard-vpcd pcsc-tools
    # End-to-end tests in private namespaces
    iproute2
    # The Debian package: CPack's dependency listing and the package check, with lintian and
    # the validators of the desktop entry and the AppStream data
    dpkg-dev file lintian desktop-file-utils appstream
    # The window: Qt 6 widgets and Qt Test, run headless under Xvfb
    qt6-base-dev qt6-base-dev-tools libqt6test6 qt6-qpa-plugins libgl-dev
    xvfb xauth xdotool xclip fonts-dejavu-core
    # The window's SVG icon, and metric twins of its Arial and Courier New faces
    libqt6svg6 fonts-liberation2
)
if [[ "${1:-}" == --tests ]]; then
    packages+=(
        # The cross build for Windows, its GoogleTest from source, and Wine to test it
        g++-mingw-w64-x86-64-posix googletest wine64
    )
elif (($#)); then
    echo "Aufruf: install-deps.sh [--tests]" >&2
    exit 2
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "installed" ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: alle Pakete sind bereits installiert."
    exit 0
fi

as_root=()
if ((EUID != 0)); then
    if command -v sudo >/dev/null; then
        as_root=(sudo)
    else
        echo "install-deps: es fehlen ${missing[*]}; bitte als root ausführen." >&2
        exit 1
    fi
fi

echo "install-deps: installiere ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
