#!/usr/bin/env bash
# Packs a built tree into the Debian package, in a temporary folder of its own, and checks the
# package as Debian's tools and a user's system see it: lintian without errors, the desktop entry
# and the AppStream metadata valid, every file where it belongs, and the programs unpacked from
# the package running.
# Usage: tests/packaging/check_package.sh BUILD_DIR VERSION
set -uo pipefail
build=$(realpath "$1")
version=$2
app_id=org.pexumo.Pexumo

for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli file readelf ldd systemd-analyze; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool: run scripts/install-deps.sh" >&2
        exit 1
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0

# check WHAT COMMAND...: runs COMMAND; its output is shown when it fails.
check() {
    local what=$1
    shift
    if "$@" >"$tmp/out" 2>&1; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        sed 's/^/    /' "$tmp/out"
    fi
}

# same WHAT EXPECTED ACTUAL
same() {
    check "$1" test "$2" = "$3"
    [ "$2" = "$3" ] || printf '    expected: %q\n    actual:   %q\n' "$2" "$3"
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "package: 0 passed, 1 failed"
    exit 1
fi
deb="$tmp/pkg/pexumo_${version}_amd64.deb"
check "the package is named pexumo_${version}_amd64.deb" test -f "$deb"
[ -f "$deb" ] || { # The logger samples the demo meter without a display and ends clean on SIGTERM.
check "pexumo-logger runs the demo meter and ends with status 0 on SIGTERM" \
    run timeout --preserve-status -s TERM 3 "$usr/bin/pexumo-logger" --demo --journal "$tmp/logger.sqlite"

echo "package: $passed passed, $failed failed"; exit 1; }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
same "Version comes from the project" "$version" "$(field Version)"
same "Recommends the fonts" "fonts-liberation" "$(field Recommends)"
same "Architecture" "amd64" "$(field Architecture)"
check "Maintainer is a name and an address" grep -Eq '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field Maintainer)"
check "Depends lists Qt's libraries, found by dpkg-shlibdeps" \
    grep -Eq 'libqt6widgets6 \(>= [0-9.]+\).*libqt6serialport6|libqt6serialport6.*libqt6widgets6' <<<"$(field Depends)"
check "a short and a long description" test "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3
# Qt loads these as plugins at run time, where dpkg-shlibdeps cannot see them.
for plugin in libqt6sql6-sqlite qt6-qpa-plugins; do
    check "Depends names $plugin" grep -Eq "(^|, )$plugin(,|$| )" <<<"$(field Depends)"
done
for word in CSV journal; do
    check "the description mentions the $word" grep -q "$word" <<<"$(field Description)"
done

# lintian: errors fail, warnings and notes are shown for the record.
lintian --fail-on error --display-info "$deb" >"$tmp/lintian" 2>&1
lintian_status=$?
grep -v '^running with root privileges' "$tmp/lintian" | sed 's/^/    lintian: /'
check "lintian finds no error" test "$lintian_status" -eq 0

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
usr="$root/usr"
desktop="$usr/share/applications/$app_id.desktop"
metainfo="$usr/share/metainfo/$app_id.metainfo.xml"

check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
check "the desktop entry starts an installed program" test -x "$usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
same "the desktop entry names the window class Qt gives pexumo" "Pexumo" "$(sed -n 's/^StartupWMClass=//p' "$desktop")"
same "the desktop entry names the installed icon" "$app_id" "$(sed -n 's/^Icon=//p' "$desktop")"
check "appstreamcli accepts the metadata" appstreamcli validate --no-net "$metainfo"
check "the metadata launches the desktop entry" grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo"
release_date=$(sed -n "s/.*<release version=\"$version\" date=\"\([0-9-]*\)\".*/\1/p" "$metainfo")
changelog_date=$(zcat "$usr/share/doc/pexumo/changelog.gz" | sed -n 's/^ -- .*>  //p' | head -1)
same "the metadata and the changelog date the release alike" "$release_date" "$(date -u -d "$changelog_date" +%F)"
same "the changelog names this version" "pexumo ($version) unstable; urgency=medium" \
    "$(zcat "$usr/share/doc/pexumo/changelog.gz" | head -1)"

check "the scalable icon is an SVG" grep -q 'SVG' <<<"$(file -b "$usr/share/icons/hicolor/scalable/apps/$app_id.svg")"
for size in 16 24 32 48 64 128 256; do
    check "the ${size}x${size} icon is a PNG of that size" \
        grep -q "PNG image data, $size x $size," <<<"$(file -b "$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")"
done

for doc in README.md LICENSE copyright changelog.gz; do
    check "share/doc/pexumo/$doc is there" test -s "$usr/share/doc/pexumo/$doc"
done

programs=$(ls "$usr/bin")
for p in $programs; do
    check "$p has a manual page" test -s "$usr/share/man/man1/$p.1.gz"
    check "$p is stripped" grep -q ', stripped' <<<"$(file -b "$usr/bin/$p")"
    check "$p finds its libraries without the build folder" \
        bash -c "! readelf -d '$usr/bin/$p' | grep -Eq 'RPATH|RUNPATH'"
done
for p in pexumo pexumo-decode pexumo-meter-sim pexumo-logger pexumo-web; do
    check "the package holds $p" grep -qx "$p" <<<"$programs"
done
check "pexumo-logger needs no Qt GUI library" \
    bash -c "! ldd '$usr/bin/pexumo-logger' | grep -Eq 'libQt6(Gui|Widgets)'"

# The logger's services. systemd-analyze only warns of an unknown key, so any word from it
# fails; ExecStart is pointed at the unpacked program, which verify wants to find.
check "the user unit is in systemd's user folder" test -s "$usr/lib/systemd/user/pexumo-logger.service"
check "the system template unit is in systemd's folder" test -s "$usr/lib/systemd/system/pexumo-logger@.service"
check "sysusers.d makes the system user pexumo in dialout" \
    grep -qx 'm pexumo dialout' "$usr/lib/sysusers.d/pexumo.conf"
check "the postinst makes the system user at once" grep -q 'systemd-sysusers pexumo.conf' \
    <<<"$(dpkg-deb -I "$deb" postinst)"
mkdir -p "$tmp/units" "$tmp/runtime"
chmod 700 "$tmp/runtime"
sed "s#/usr/bin/#$usr/bin/#" "$usr/lib/systemd/system/pexumo-logger@.service" >"$tmp/units/pexumo-logger@ttyUSB0.service"
sed "s#/usr/bin/#$usr/bin/#" "$usr/lib/systemd/user/pexumo-logger.service" >"$tmp/units/pexumo-logger.service"
analyze() {
    local out
    out=$(MANPATH="$usr/share/man" XDG_RUNTIME_DIR="$tmp/runtime" systemd-analyze "$@" 2>&1) && [ -z "$out" ] ||
        { echo "$out"; return 1; }
}
check "systemd-analyze verifies the system template unit" analyze verify "$tmp/units/pexumo-logger@ttyUSB0.service"
check "systemd-analyze verifies the user unit" analyze --user verify "$tmp/units/pexumo-logger.service"
# pexumo-web's units, and the system one's exposure as systemd rates its hardening.
check "pexumo-web's user unit is in systemd's user folder" test -s "$usr/lib/systemd/user/pexumo-web.service"
check "pexumo-web's system unit is in systemd's folder" test -s "$usr/lib/systemd/system/pexumo-web.service"
sed "s#/usr/bin/#$usr/bin/#" "$usr/lib/systemd/system/pexumo-web.service" >"$tmp/units/pexumo-web.service"
mkdir -p "$tmp/units/user"
sed "s#/usr/bin/#$usr/bin/#" "$usr/lib/systemd/user/pexumo-web.service" >"$tmp/units/user/pexumo-web.service"
check "systemd-analyze verifies pexumo-web's system unit" analyze verify "$tmp/units/pexumo-web.service"
check "systemd-analyze verifies pexumo-web's user unit" analyze --user verify "$tmp/units/user/pexumo-web.service"
exposure=$(systemd-analyze security --offline=true "$tmp/units/pexumo-web.service" 2>/dev/null |
           sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
check "pexumo-web's system unit has an exposure of at most 2.5 ($exposure)" \
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.5) }'
check "pexumo-web needs no Qt GUI library" \
    bash -c "! ldd '$usr/bin/pexumo-web' | grep -Eq 'libQt6(Gui|Widgets)'"

# The unpacked programs run, with a private home and no display.
home="$tmp/home"
mkdir -m 700 "$home"
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_RUNTIME_DIR="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
        QT_QPA_PLATFORM=offscreen "$@"
}
same "pexumo --version prints the version" "pexumo $version" "$(cd "$home" && run "$usr/bin/pexumo" --version 2>&1)"
# A live pH reading of 7.12 pH at 25.3 C, then memory record 3: ORP 100 mV.
sample='\x0f\xff\x00\x07\x12\x02\x53\x0d\x00\x0f\xfd\x0f\xff\x03\x10\x00\x02\x50\x10\x00\x0f\xfd'
same "pexumo-decode decodes a sample" \
    "$(printf 'live\tpH\t7.12\tpH\t25.3\tC\t1\nrecord\t3\tORP\t100\tmV\t\t\t1')" \
    "$(printf "$sample" | run "$usr/bin/pexumo-decode" 2>&1)"

# The logger samples the demo meter without a display and ends clean on SIGTERM.
check "pexumo-logger runs the demo meter and ends with status 0 on SIGTERM" \
    run timeout --preserve-status -s TERM 3 "$usr/bin/pexumo-logger" --demo --journal "$tmp/logger.sqlite"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
