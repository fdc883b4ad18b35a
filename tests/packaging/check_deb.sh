#!/usr/bin/env bash
# Builds the Debian package from a build tree with cpack, looks inside and runs lintian over it.
#   check_deb.sh BUILD_DIR SOURCE_DIR VERSION WITH_GUI(1|0)   (0 passed, 1 failed, 77 skipped)
set -uo pipefail
build=$1 source=$2 version=$3 gui=$4
# cpack lists the dependencies with dpkg-shlibdeps and file; the rest check the package.
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian appstreamcli desktop-file-validate; do
    command -v "$tool" >/dev/null || { echo "check_deb: SKIPPED: $tool is not installed" >&2; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zebrik-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/out/zebrik-smartcard_${version}_$arch.deb pkg=$work/package
dpkg-deb --info "$deb" && dpkg-deb --contents "$deb" && dpkg-deb --extract "$deb" "$pkg" || exit 1
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
check "Recommends lacks pcsc-tools" grep -qx pcsc-tools <<<"$(names Recommends)"

docs=share/doc/zebrik-smartcard programs="zebrik-report$( ((gui)) && echo " zebrik-smartcard")"
while read -r file only; do  # deb_files.txt
    [[ $file == \#* || ($only == gui && $gui == 0) ]] || check "the package lacks /usr/$file" test -f "$pkg/usr/$file"
done <"$(dirname "$0")/deb_files.txt"
check "zebrik-report --version" matches "$("$pkg/usr/bin/zebrik-report" --version)" "zebrik-report $version"

# The bash completion as bash calls it: the words of the line, the last one being completed.
mkdir "$work/traces" && touch "$work/traces/mitschrift.txt"
complete_words() {
    (cd "$work/traces" && bash -c 'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _zebrik_report; printf "%s\n" "${COMPREPLY[@]}"' "$pkg/usr/share/bash-completion/completions/zebrik-report" \
        "$@" | sort | xargs)
}
check "--trace does not complete to a file or -" matches "$(complete_words zebrik-report --trace "")" "- mitschrift.txt"
check "--trace m does not complete to the file" matches "$(complete_words zebrik-report --atr --trace m)" "mitschrift.txt"
check "an option is offered twice" matches "$(complete_words zebrik-report --atr --)" "--demo --help --trace --version --watch"
for program in $programs; do
    man_page=$pkg/usr/share/man/man1/$program.1.gz
    check "the packaged man page is not docs/$program.1" cmp <(gzip -dc "$man_page") "$source/docs/$program.1"
    command -v man >/dev/null || continue
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" >"$work/$program.man" 2>"$work/warnings"
    check "man shows no page for $program" grep -q "$program" "$work/$program.man"
    check "the man page of $program has roff warnings: $(cat "$work/warnings")" test ! -s "$work/warnings"
done
for option in $("$pkg/usr/bin/zebrik-report" --help | grep -oE '^ +--[a-z-]+'); do
    [[ ! -e $work/zebrik-report.man ]] || check "the man page lacks $option" grep -qE -- "^ +$option( |\$)" "$work/zebrik-report.man"
    check "the bash completion lacks $option" grep -qw -- "$option" <<<"$(complete_words zebrik-report "")"
done
# Changelog and copyright: the version packed, and the licence of LICENSE word for word.
check "changelog.gz does not begin with version $version" \
    matches "$(gzip -dc "$pkg/usr/$docs/changelog.gz" | head -1)" "zebrik-smartcard \\(${version//./\\.}\\) .*"
check "the licence in copyright is not that of LICENSE" diff <(sed -n '/^Permission/,$p' "$source/LICENSE") \
    <(sed 's/^ //; s/^\.$//' "$pkg/usr/$docs/copyright" | sed -n '/^Permission/,$p')
if ((gui)); then
    desktop=$pkg/usr/share/applications/de.zebrik.smartcard.desktop
    program=$pkg/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    check "the desktop entry starts no program of the package" test -f "$program" -a -x "$program"
    check "the desktop entry's icon is not in the package" test -f "$pkg/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg"
    check "desktop-file-validate" desktop-file-validate "$desktop"
    # A software centre finds the window by the metainfo's id, which names the desktop entry.
    metainfo=$pkg/usr/share/metainfo/de.zebrik.smartcard.metainfo.xml
    check "the metainfo's id is not the desktop entry's name" \
        grep -qx "  <id>$(basename "$desktop" .desktop)</id>" "$metainfo"
    check "the metainfo's launchable is not the desktop entry" \
        grep -qx "  <launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo"
    check "the metainfo's latest release is not $version" \
        matches "$(grep -m1 -o '<release version="[^"]*"' "$metainfo")" "<release version=\"${version//./\\.}\""
    check "appstreamcli validate" appstreamcli validate --no-net --explain "$metainfo"
fi
# Whether dpkg would install it here, where install-deps.sh put every dependency (root only).
((EUID)) || check "dpkg would not install the package here" dpkg --dry-run --install "$deb"
# Errors and warnings fail, among them owners and modes other than Debian's and programs not
# stripped; informational tags are shown (-I) but pass.
lintian -I --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || failures=$((failures + 1))
sed 's/^/check_deb: lintian: /' "$work/lintian"
((failures == 0)) && echo "check_deb: $(basename "$deb") as expected"
