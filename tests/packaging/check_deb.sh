#!/usr/bin/env bash
# Builds the Debian package from a build tree with cpack and checks it: the control fields
# and dependencies, that it holds exactly what `cmake --install` installs (programs, man
# page, desktop entry, icon) with sound owners and modes, and that the programs in it run.
#
#   check_deb.sh --build-dir DIR --source-dir DIR --version X.Y.Z --gui ON|OFF
#
# Exit status: 0 passed, 1 failed, 77 skipped (a tool it needs is not installed).
set -euo pipefail

build=""
source=""
version=""
gui=ON

fail() {
    echo "check_deb: $*" >&2
    exit 1
}

while (($#)); do
    case "$1" in
        --build-dir) build=$2; shift 2 ;;
        --source-dir) source=$2; shift 2 ;;
        --version) version=$2; shift 2 ;;
        --gui) gui=$2; shift 2 ;;
        *) fail "unknown argument '$1'" ;;
    esac
done
[[ -n "$build" && -n "$source" && -n "$version" ]] || fail "--build-dir, --source-dir and --version are needed"
[[ "$gui" == ON || "$gui" == OFF ]] || fail "--gui takes ON or OFF, not '$gui'"
# cpack's dependency list needs file and dpkg-shlibdeps (dpkg-dev).
for tool in cpack dpkg-deb dpkg dpkg-shlibdeps file; do
    if ! command -v "$tool" >/dev/null; then
        echo "check_deb: SKIPPED: $tool is not installed" >&2
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== cpack -G DEB"
if ! cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack failed"
fi
arch=$(dpkg --print-architecture)
deb="$work/out/zebrik-smartcard_${version}_${arch}.deb"
if [[ ! -f "$deb" ]]; then
    ls -l "$work/out" >&2
    fail "no package $(basename "$deb")"
fi
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb" | sed 's/^/    /'

failures=0
problem() {
    echo "check_deb: $*" >&2
    failures=$((failures + 1))
}

echo "== control fields"
field() { dpkg-deb --field "$deb" "$1"; }
expect_field() {  # name value
    local actual
    actual=$(field "$1")
    [[ "$actual" == "$2" ]] || problem "$1 is '$actual', not '$2'"
}
expect_field Package zebrik-smartcard
expect_field Version "$version"
expect_field Architecture "$arch"
expect_field Section utils
expect_field Priority optional
[[ $(field Maintainer) =~ ^[^\<\>]+\ \<[^\<\>@\ ]+@[^\<\>@\ ]+\>$ ]] ||
    problem "Maintainer '$(field Maintainer)' is not 'Name <address>'"
[[ -n $(field Description) ]] || problem "no Description"

# The package names of a relation field, alternatives and versions left out.
package_names() {
    field "$1" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/:any//; s/^ +//; s/ +$//' | grep -v '^$' || true
}
needs=(libpcsclite1 pcscd libc6 libstdc++6)
if [[ "$gui" == ON ]]; then
    needs+=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6svg6)
fi
depends=$(package_names Depends)
for need in "${needs[@]}"; do
    grep -qx -- "$need" <<<"$depends" || problem "Depends lacks $need: $(field Depends)"
done
if [[ "$gui" == OFF ]] && grep -q '^libqt6' <<<"$depends"; then
    problem "a package without the window depends on Qt: $(field Depends)"
fi
package_names Recommends | grep -qx pcsc-tools || problem "Recommends lacks pcsc-tools"

echo "== contents"
dpkg-deb --contents "$deb" >"$work/contents.txt"
sed 's/^/    /' "$work/contents.txt"
required=(./usr/bin/zebrik-report ./usr/share/man/man1/zebrik-report.1.gz)
if [[ "$gui" == ON ]]; then
    required+=(./usr/bin/zebrik-smartcard
        ./usr/share/applications/zebrik-smartcard.desktop
        ./usr/share/icons/hicolor/scalable/apps/zebrik-smartcard.svg)
fi
for path in "${required[@]}"; do
    awk '{ print $6 }' "$work/contents.txt" | grep -qx -- "$path" || problem "the package lacks $path"
done
# Owners and modes as Debian wants them: root, programs 0755, everything else 0644.
while read -r mode owner _ _ _ path _; do
    [[ "$owner" == root/root ]] || problem "$path belongs to $owner"
    case "$mode" in
        d*) [[ "$mode" == drwxr-xr-x ]] || problem "directory $path has mode $mode" ;;
        -*)
            if [[ "$path" == ./usr/bin/* ]]; then
                [[ "$mode" == -rwxr-xr-x ]] || problem "program $path has mode $mode"
            else
                [[ "$mode" == -rw-r--r-- ]] || problem "file $path has mode $mode"
            fi
            ;;
        *) problem "unexpected entry $mode $path" ;;
    esac
done <"$work/contents.txt"

# Exactly what `cmake --install` puts under the prefix, nothing more and nothing less.
DESTDIR="$work/installed" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
dpkg-deb --extract "$deb" "$work/package"
(cd "$work/installed" && find . ! -type d | sort) >"$work/installed.txt"
(cd "$work/package" && find . ! -type d | sort) >"$work/packaged.txt"
diff -u --label installed --label packaged "$work/installed.txt" "$work/packaged.txt" ||
    problem "the package differs from what cmake --install installs"

echo "== programs, man page, desktop entry"
for program in "$work"/package/usr/bin/*; do
    description=$(file -b "$program")
    [[ "$description" == ELF* && "$description" == *", stripped"* ]] ||
        problem "$(basename "$program") is not a stripped ELF program: $description"
done
reported=$("$work/package/usr/bin/zebrik-report" --version) || problem "zebrik-report --version failed"
[[ "$reported" == "zebrik-report $version" ]] || problem "zebrik-report --version says '$reported'"

man_page="$work/package/usr/share/man/man1/zebrik-report.1.gz"
if [[ -f "$man_page" ]]; then
    gzip -dc "$man_page" | cmp -s - "$source/docs/zebrik-report.1" ||
        problem "the packaged man page is not docs/zebrik-report.1"
    if command -v man >/dev/null; then
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" >"$work/man.txt" 2>"$work/man-warnings.txt" ||
            problem "man cannot show the man page"
        [[ ! -s "$work/man-warnings.txt" ]] ||
            problem "the man page has roff warnings: $(cat "$work/man-warnings.txt")"
        grep -q 'zebrik-report' "$work/man.txt" || problem "the man page shows no name"
        # Every option the program's own help names is described.
        for option in $("$work/package/usr/bin/zebrik-report" --help | grep -oE '^ +--[a-z-]+'); do
            grep -qE -- "^ +$option( |\$)" "$work/man.txt" || problem "the man page lacks $option"
        done
    fi
fi

desktop="$work/package/usr/share/applications/zebrik-smartcard.desktop"
if [[ -f "$desktop" ]]; then
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [[ -x "$work/package/usr/bin/${exec_line%% *}" ]] ||
        problem "the desktop entry starts '$exec_line', which the package does not hold"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [[ -f "$work/package/usr/share/icons/hicolor/scalable/apps/$icon.svg" ]] ||
        problem "the desktop entry's icon '$icon' is not in the package"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$desktop" || problem "desktop-file-validate finds fault"
    fi
fi

# Whether dpkg would install it here: its dependencies are all on this machine (the
# project's scripts/install-deps.sh installs them). Only root may ask dpkg this.
if ((EUID == 0)); then
    echo "== dpkg --dry-run --install"
    dpkg --dry-run --install "$deb" || problem "dpkg would not install the package here"
fi

if ((failures)); then
    fail "$failures problem(s) with $(basename "$deb")"
fi
echo "check_deb: $(basename "$deb") as expected"
