#!/usr/bin/env bash
# Packs a built tree into its two Debian packages, pexumo-logger and pexumo, in a temporary
# folder of its own, and checks them as Debian's tools and a user's system see them: lintian
# without errors or warnings, hardened programs, every file in the package it belongs to (no
# program of pexumo-logger links a graphics library), the desktop entry and the AppStream
# metadata valid, the maintainer scripts' work on a root of their own, and the programs
# unpacked from the packages running.
# Usage: tests/packaging/check_package.sh BUILD_DIR VERSION
set -uo pipefail
build=$(realpath "$1")
version=$2
arch=$(dpkg --print-architecture)
app_id=org.pexumo.Pexumo
split_version=0.2.0

for tool in cpack dpkg-deb lintian hardening-check desktop-file-validate appstreamcli file readelf \
            objdump ldd systemd-analyze systemd-sysusers; do
    if ! command -v "$tool" >/dev/null; then
        echo "missing $tool: run scripts/install-deps.sh" >&2
        exit 1
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
. "$(dirname "$(realpath "$0")")/checks.sh"

summary() {
    echo "package: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    failed=$((failed + 1))
    summary
    exit 1
fi
logger_deb="$tmp/pkg/pexumo-logger_${version}_$arch.deb"
window_deb="$tmp/pkg/pexumo_${version}_$arch.deb"
check "the headless package is named pexumo-logger_${version}_$arch.deb" test -f "$logger_deb"
check "the window's package is named pexumo_${version}_$arch.deb" test -f "$window_deb"
if [ ! -f "$logger_deb" ] || [ ! -f "$window_deb" ]; then
    ls "$tmp/pkg"
    summary
    exit 1
fi

# Control fields.
field() { dpkg-deb -f "$1" "$2"; }
# has_dep DEB FIELD PACKAGE: FIELD of DEB names PACKAGE (alone or with a version).
has_dep() { grep -Eq "(^|, )$3( \\(|,|$)" <<<"$(field "$1" "$2")"; }
for deb in "$logger_deb" "$window_deb"; do
    name=$(field "$deb" Package)
    same "$name: Version comes from the project" "$version" "$(field "$deb" Version)"
    same "$name: Architecture" "$arch" "$(field "$deb" Architecture)"
    check "$name: Maintainer is a name and an address" grep -Eq '^[^<]+ <[^@ ]+@[^> ]+>$' <<<"$(field "$deb" Maintainer)"
    check "$name: a short and a long description" test "$(field "$deb" Description | wc -l)" -ge 3
    check "$name: the description mentions the journal" grep -q journal <<<"$(field "$deb" Description)"
done
# The logger: Qt's libraries found by dpkg-shlibdeps, the SQLite driver that Qt loads as a
# plugin (where dpkg-shlibdeps cannot see it), adduser for a system without systemd-sysusers;
# no library of a display.
for dep in libqt6core6 libqt6serialport6 libqt6sql6 libqt6sql6-sqlite libmosquitto1 adduser; do
    check "pexumo-logger depends on $dep" has_dep "$logger_deb" Depends "$dep"
done
lacks() { ! grep -Eq "$1" <<<"$2"; }
check "pexumo-logger depends on no graphics library" \
    lacks 'libqt6(gui|widgets|charts|svg|opengl)|libx11|libgl|libegl|qpa' "$(field "$logger_deb" Depends)"
same "pexumo-logger takes over the files of the one package before it (Replaces)" \
    "pexumo (<< $split_version~)" "$(field "$logger_deb" Replaces)"
same "pexumo-logger takes over the files of the one package before it (Breaks)" \
    "pexumo (<< $split_version~)" "$(field "$logger_deb" Breaks)"
same "pexumo-logger comes from the source pexumo" "pexumo" "$(field "$logger_deb" Source)"
# The window: the logger of the very same version, the widgets, the platform plugins.
check "pexumo depends on pexumo-logger (= $version)" grep -Fq "pexumo-logger (= $version)" <<<"$(field "$window_deb" Depends)"
for dep in libqt6widgets6 libqt6charts6 qt6-qpa-plugins; do
    check "pexumo depends on $dep" has_dep "$window_deb" Depends "$dep"
done
same "pexumo recommends the fonts and the Wayland plugin" "fonts-liberation, qt6-wayland" "$(field "$window_deb" Recommends)"

# lintian: errors and warnings fail; notes are shown for the record.
lintian --fail-on error,warning --display-info "$logger_deb" "$window_deb" >"$tmp/lintian" 2>&1
lintian_status=$?
grep -v '^running with root privileges' "$tmp/lintian" | sed 's/^/    lintian: /'
check "lintian finds no error and no warning" test "$lintian_status" -eq 0

logger_root="$tmp/logger"
window_root="$tmp/window"
root="$tmp/root" # both, as installed together
dpkg-deb -x "$logger_deb" "$logger_root"
dpkg-deb -x "$window_deb" "$window_root"
dpkg-deb -x "$logger_deb" "$root"
dpkg-deb -x "$window_deb" "$root"
usr="$root/usr"

# Where every file lies. dpkg refuses two packages that hold one file.
(cd "$logger_root" && find . ! -type d | sort) >"$tmp/logger.files"
(cd "$window_root" && find . ! -type d | sort) >"$tmp/window.files"
check "no file is in both packages" test -z "$(comm -12 "$tmp/logger.files" "$tmp/window.files")"
same "pexumo holds the window only" "pexumo" "$(ls "$window_root/usr/bin")"
for p in pexumo-logger pexumo-journal pexumo-decode pexumo-meter-sim pexumo-web; do
    check "pexumo-logger holds $p" test -x "$logger_root/usr/bin/$p"
done
# The rule that sorts the programs: a program that loads Qt GUI needs a display and is in
# pexumo, any other in pexumo-logger, so that a tool added later lands where it belongs.
for p in $(ls "$logger_root/usr/bin"); do
    check "$p of pexumo-logger loads no Qt GUI, X11 or GL library" \
        bash -c "! ldd '$logger_root/usr/bin/$p' | grep -Eq 'libQt6(Gui|Widgets|OpenGL)|libX11|libGL|libEGL'"
done
check "pexumo needs Qt GUI (else it would belong to pexumo-logger)" grep -q 'libQt6Gui' <<<"$(ldd "$window_root/usr/bin/pexumo")"
for pkg_root in "$logger_root" "$window_root"; do
    for p in $(ls "$pkg_root/usr/bin"); do
        check "$p has a manual page in its package" test -s "$pkg_root/usr/share/man/man1/$p.1.gz"
        check "$p is stripped" grep -q ', stripped' <<<"$(file -b "$pkg_root/usr/bin/$p")"
        check "$p finds its libraries without the build folder" \
            bash -c "! readelf -d '$pkg_root/usr/bin/$p' | grep -Eq 'RPATH|RUNPATH'"
    done
done
for f in etc/pexumo/config.ini usr/lib/systemd/system/pexumo-logger@.service \
         usr/lib/systemd/user/pexumo-logger.service usr/lib/sysusers.d/pexumo.conf \
         usr/share/doc/pexumo-logger/README.md; do
    check "pexumo-logger holds /$f" test -s "$logger_root/$f"
done
for f in usr/share/applications/$app_id.desktop usr/share/metainfo/$app_id.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/$app_id.svg; do
    check "pexumo holds /$f" test -s "$window_root/$f"
done
for pkg in pexumo-logger pexumo; do
    [ "$pkg" = pexumo ] && pkg_root=$window_root || pkg_root=$logger_root
    for doc in copyright changelog.gz; do
        check "share/doc/$pkg/$doc is there" test -s "$pkg_root/usr/share/doc/$pkg/$doc"
    done
    same "the changelog of $pkg names this version" "pexumo ($version) unstable; urgency=medium" \
        "$(zcat "$pkg_root/usr/share/doc/$pkg/changelog.gz" | head -1)"
done

# Hardening: every program as Debian builds it. hardening-check with no option, except that
# "Control flow integrity" needs the C library's start files (Scrt1.o, crti.o) to carry the
# IBT/SHSTK note as well, which Debian 12's do not: the linker then drops the note whatever
# our code was compiled with. There -fcf-protection is shown by the ENDBR64 that starts main.
scrt1=$(gcc -print-file-name=Scrt1.o)
if readelf -n "$scrt1" | grep -q 'IBT, SHSTK'; then cf_option=; else cf_option=--nocfprotection; fi
for pkg_root in "$logger_root" "$window_root"; do
    for p in $(ls "$pkg_root/usr/bin"); do
        check "hardening-check $cf_option passes for $p" hardening-check $cf_option "$pkg_root/usr/bin/$p"
        built=$(find "$build" -path '*/_CPack_Packages' -prune -o -name "$p" -type f -perm -u+x -print | head -1)
        check "$p was compiled with -fcf-protection (main starts with ENDBR64)" \
            grep -q endbr64 <<<"$(objdump -d --disassemble=main "$built" | grep -A1 '<main>:')"
    done
done

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

check "the scalable icon is an SVG" grep -q 'SVG' <<<"$(file -b "$usr/share/icons/hicolor/scalable/apps/$app_id.svg")"
for size in 16 24 32 48 64 128 256; do
    check "the ${size}x${size} icon is a PNG of that size" \
        grep -q "PNG image data, $size x $size," <<<"$(file -b "$usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")"
done

# The logger's services. systemd-analyze only warns of an unknown key, so any word from it
# fails; ExecStart is pointed at the unpacked program, which verify wants to find.
check "sysusers.d makes the system user pexumo in dialout" \
    grep -qx 'm pexumo dialout' "$usr/lib/sysusers.d/pexumo.conf"
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
exposure=$(systemd-analyze security --offline=true "$tmp/units/pexumo-logger@ttyUSB0.service" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
echo "    the system unit's exposure: $exposure"
check "the system unit's exposure (systemd-analyze security) is at most 2.0" \
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }'
for key in DevicePolicy=closed 'DeviceAllow=/dev/%I rw' ProtectClock=yes MemoryDenyWriteExecute=yes; do
    check "the system unit sets $key" grep -qx "$key" "$usr/lib/systemd/system/pexumo-logger@.service"
done

# /etc/pexumo/config.ini: a conffile of comments only, so that it changes nothing until edited.
same "config.ini is the one conffile" "/etc/pexumo/config.ini" "$(dpkg-deb -I "$logger_deb" conffiles)"
check "every setting in config.ini is commented out" \
    bash -c "! grep -Ev '^[[:space:]]*([;#].*|\\[[A-Za-z]+\\])?[[:space:]]*$' '$root/etc/pexumo/config.ini'"

# The maintainer scripts on a root of their own (DPKG_ROOT, which they and Debian's helpers
# honour): the system user, and what removal and purge take away and leave.
maint="$tmp/maint"
dpkg-deb -e "$logger_deb" "$maint"
script() { DPKG_ROOT="$1" sh "$maint/$2" "${@:3}"; }
if [ "$(id -u)" -eq 0 ]; then
    r="$tmp/scripts-root"
    mkdir -p "$r/etc" "$r/usr/lib/sysusers.d" "$r/etc/systemd/system/multi-user.target.wants" \
             "$r/etc/systemd/system/pexumo-logger@ttyUSB0.service.d" "$r/var/lib/pexumo" "$r/etc/pexumo"
    printf 'root:x:0:\ndialout:x:20:\n' >"$r/etc/group"
    printf 'root:x:0:0:root:/root:/bin/sh\n' >"$r/etc/passwd"
    cp "$usr/lib/sysusers.d/pexumo.conf" "$r/usr/lib/sysusers.d/"
    check "postinst configure succeeds" script "$r" postinst configure
    same "postinst makes the system user pexumo, at home in /var/lib/pexumo" "/var/lib/pexumo" \
        "$(awk -F: '$1 == "pexumo" { print $6 }' "$r/etc/passwd")"
    check "postinst puts pexumo in the group dialout" grep -Eq '^dialout:x:20:(.*,)?pexumo(,|$)' "$r/etc/group"
    check "postinst again (an upgrade) succeeds" script "$r" postinst configure "$version"

    wants="$r/etc/systemd/system/multi-user.target.wants"
    ln -s /usr/lib/systemd/system/pexumo-logger@.service "$wants/pexumo-logger@ttyUSB0.service"
    ln -s /usr/lib/systemd/system/pexumo-logger@.service "$wants/pexumo-logger@ttyUSB1.service"
    ln -s /usr/lib/systemd/system/ssh.service "$wants/ssh.service"
    : >"$r/etc/pexumo/alarms.conf"
    : >"$r/var/lib/pexumo/ttyUSB0.sqlite"
    : >"$r/etc/systemd/system/pexumo-logger@ttyUSB0.service.d/override.conf"
    check "prerm remove succeeds" script "$r" prerm remove
    same "prerm remove takes away the links that enabled instances, and no other" "ssh.service" "$(ls "$wants")"
    check "postrm remove succeeds" script "$r" postrm remove
    check "postrm remove keeps /etc/pexumo and the journals" test -f "$r/etc/pexumo/alarms.conf" -a -f "$r/var/lib/pexumo/ttyUSB0.sqlite"
    ln -s /usr/lib/systemd/system/pexumo-logger@.service "$wants/pexumo-logger@ttyACM0.service"
    check "postrm purge succeeds" script "$r" postrm purge
    check "postrm purge removes /etc/pexumo and /var/lib/pexumo" test ! -e "$r/etc/pexumo" -a ! -e "$r/var/lib/pexumo"
    check "postrm purge removes the drop-ins of the instances" test ! -e "$r/etc/systemd/system/pexumo-logger@ttyUSB0.service.d"
    same "postrm purge removes every link to an instance, and no other" "ssh.service" "$(ls "$wants")"
    check "postrm purge keeps the system user" grep -q '^pexumo:' "$r/etc/passwd"
else
    echo "skipped: the maintainer scripts on a root of their own (needs root)"
fi

# The unpacked programs run, with a private home and no display.
home="$tmp/home"
mkdir -m 700 "$home"
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_RUNTIME_DIR="$home" \
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
        XDG_STATE_HOME="$home/state" QT_QPA_PLATFORM=offscreen "$@"
}
same "pexumo --version prints the version" "pexumo $version" "$(cd "$home" && run "$usr/bin/pexumo" --version 2>&1)"
# A live pH reading of 7.12 pH at 25.3 C, then memory record 3: ORP 100 mV.
sample='\x0f\xff\x00\x07\x12\x02\x53\x0d\x00\x0f\xfd\x0f\xff\x03\x10\x00\x02\x50\x10\x00\x0f\xfd'
same "pexumo-decode decodes a sample" \
    "$(printf 'live\tpH\t7.12\tpH\t25.3\tC\t1\nrecord\t3\tORP\t100\tmV\t\t\t1')" \
    "$(printf "$sample" | run "$usr/bin/pexumo-decode" 2>&1)"

# The logger samples the demo meter without a display, with the example configuration, and
# ends clean on SIGTERM.
check "pexumo-logger runs the demo meter with /etc/pexumo/config.ini and ends with status 0 on SIGTERM" \
    run timeout --preserve-status -s TERM 3 "$usr/bin/pexumo-logger" --demo \
    --config "$root/etc/pexumo/config.ini" --journal "$tmp/logger.sqlite"
check "its session is in the journal" grep -q 'pexumo-logger$' \
    <<<"$(run "$usr/bin/pexumo-journal" --journal "$tmp/logger.sqlite" list 2>&1)"

summary
