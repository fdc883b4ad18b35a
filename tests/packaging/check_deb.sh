#!/usr/bin/env bash
# Builds the Debian package from a build tree with cpack and looks inside: control fields and
# dependencies, exactly what `cmake --install` installs with Debian's owners and modes,
# stripped programs that run, the man page and the desktop entry.
#   check_deb.sh BUILD_DIR SOURCE_DIR VERSION WITH_GUI(1|0)   (0 passed, 1 failed, 77 skipped)
set -uo pipefail
build=$1 source=$2 version=$3 gui=$4
for tool in cpack dpkg-deb dpkg-shlibdeps file; do  # cpack lists the dependencies with the last two
    command -v "$tool" >/dev/null || { echo "check_deb: SKIPPED: $tool is not installed" >&2; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/out/zebrik-smartcard_${version}_$arch.deb pkg=$work/package
dpkg-deb --info "$deb" && dpkg-deb --contents "$deb" | tee "$work/contents" && dpkg-deb --extract "$deb" "$pkg" || exit 1
failures=0
check() {  # what went wrong, then a command that must succeed
    local out
    out=$("${@:2}" 2>&1) || { printf 'check_deb: %s\n%s\n' "$1" "$out" >&2; failures=$((failures + 1)); }
}
field() { dpkg-deb --field "$deb" "$1"; }
names() { field "$1" | tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/:any//; s/ //g'; }  # of packages
matches() { [[ $1 =~ ^($2)$ ]]; }
while read -r name pattern; do  # deb_fields.txt: a field and the pattern its whole value matches
    pattern=${pattern//VERSION/${version//./\\.}} pattern=${pattern//ARCH/$arch}
    check "$name is '$(field "$name")'" matches "$(field "$name")" "$pattern"
done <"$(dirname "$0")/deb_fields.txt"
needs="libpcsclite1 pcscd libc6 libstdc++6" qt="libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6svg6"
for need in $needs $( ((gui)) && echo "$qt"); do
    check "Depends lacks $need: $(field Depends)" grep -qx -- "$need" <<<"$(names Depends)"
done
((gui)) || check "a package without the window depends on Qt" matches "$(names Depends | grep libqt6)" ""
check "Recommends lacks pcsc-tools" grep -qx pcsc-tools <<<"$(names Recommends)"

files="bin/zebrik-report share/man/man1/zebrik-report.1.gz"
((gui)) && files+=" bin/zebrik-smartcard share/applications/zebrik-smartcard.desktop
    share/icons/hicolor/scalable/apps/zebrik-smartcard.svg"
for file in $files; do check "the package lacks /usr/$file" test -f "$pkg/usr/$file"; done
# Owners and modes as Debian wants them: root, directories and programs 0755, the rest 0644.
check "owners or modes" awk '{ mode = $1 ~ /^d/ || $6 ~ /^\.\/usr\/bin\/./ ? "rwxr-xr-x" : "rw-r--r--" }
    $2 != "root/root" || $1 !~ /^[d-]/ || substr($1, 2) != mode { print; bad = 1 } END { exit bad }' "$work/contents"
DESTDIR=$work/installed cmake --install "$build" --prefix /usr >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
check "the package differs from what cmake --install installs" \
    diff <(cd "$work/installed" && find . ! -type d | sort) <(cd "$pkg" && find . ! -type d | sort)
for program in "$pkg"/usr/bin/*; do
    check "$program is not a stripped ELF program" matches "$(file -b "$program")" "ELF.*, stripped.*"
done
check "zebrik-report --version" matches "$("$pkg/usr/bin/zebrik-report" --version)" "zebrik-report $version"

man_page=$pkg/usr/share/man/man1/zebrik-report.1.gz
check "the packaged man page is not docs/zebrik-report.1" cmp <(gzip -dc "$man_page") "$source/docs/zebrik-report.1"
if command -v man >/dev/null; then
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" >"$work/man" 2>"$work/warnings"
    check "man shows no page" grep -q zebrik-report "$work/man"
    check "the man page has roff warnings: $(cat "$work/warnings")" test ! -s "$work/warnings"
    for option in $("$pkg/usr/bin/zebrik-report" --help | grep -oE '^ +--[a-z-]+'); do
        check "the man page lacks $option" grep -qE -- "^ +$option( |\$)" "$work/man"
    done
fi
if ((gui)); then
    desktop=$pkg/usr/share/applications/zebrik-smartcard.desktop
    program=$pkg/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    check "the desktop entry starts no program of the package" test -f "$program" -a -x "$program"
    check "the desktop entry's icon is not in the package" test -f "$pkg/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg"
    ! command -v desktop-file-validate >/dev/null || check "desktop-file-validate" desktop-file-validate "$desktop"
fi
# Whether dpkg would install it here, where install-deps.sh put every dependency (root only).
((EUID)) || check "dpkg would not install the package here" dpkg --dry-run --install "$deb"
((failures == 0)) && echo "check_deb: $(basename "$deb") as expected"
