#!/usr/bin/env bash
# Installs Pexumo's packages into a bare Debian 12 (debootstrap --variant=minbase bookworm) the
# way a user would, with apt and without Recommends, and checks what the user gets:
#   1. in a root without systemd (a container, an image being built): what pexumo-logger brings
#      (no graphics library, the installed size), the programs, the system user made by adduser
#      and its state folder, the units, then apt remove (no enabled instance left) and apt purge
#      (nothing of Pexumo left but the system user);
#   2. in a root booted with systemd-nspawn: the system user made by systemd-sysusers, the
#      instance pexumo-logger@ttyUSB0 logging a simulated meter under its hardened unit, an
#      upgrade under the running instance (it runs the new program afterwards), the removal that
#      stops it, and the purge.
# Run on request, as root (it installs debootstrap and systemd-container when missing); it
# needs Debian's mirror (PEXUMO_MIRROR, default http://deb.debian.org/debian). The bare root is
# kept in build/install-check/ (remove the folder to start afresh), so a rerun takes a minute.
# Usage: tests/packaging/install_check.sh DEB...   (the two packages scripts/package.sh makes)
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "install_check.sh installs packages into a root of its own: run it as root" >&2
    exit 2
fi
if [ $# -eq 0 ]; then
    echo "usage: $0 pexumo-logger_VERSION_ARCH.deb pexumo_VERSION_ARCH.deb" >&2
    exit 2
fi
logger_deb=
window_deb=
for deb in "$@"; do
    case "$(dpkg-deb -f "$deb" Package 2>/dev/null)" in
        pexumo-logger) logger_deb=$(realpath "$deb") ;;
        pexumo) window_deb=$(realpath "$deb") ;;
        *) echo "$deb is no package of Pexumo" >&2; exit 2 ;;
    esac
done
if [ -z "$logger_deb" ]; then
    echo "the package pexumo-logger is missing from: $*" >&2
    exit 2
fi
version=$(dpkg-deb -f "$logger_deb" Version)

missing=()
command -v debootstrap >/dev/null || missing+=(debootstrap)
command -v systemd-nspawn >/dev/null || missing+=(systemd-container)
command -v systemd-analyze >/dev/null || missing+=(systemd)
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mirror=${PEXUMO_MIRROR:-http://deb.debian.org/debian}
cache="$(cd "$(dirname "$0")/../.." && pwd)/build/install-check"
base="$cache/bookworm-minbase.tar.gz"
tmp=$(mktemp -d /var/tmp/pexumo-install-check.XXXXXX)
debs=/var/cache/install-check # in each root: the packages to install
container_pid=

cleanup() {
    if [ -n "$container_pid" ] && kill -0 "$container_pid" 2>/dev/null; then
        kill "$container_pid" 2>/dev/null
        wait "$container_pid" 2>/dev/null
    fi
    for r in "$tmp"/*/; do
        for m in dev/pts dev sys proc; do
            mountpoint -q "$r$m" 2>/dev/null && umount -l "$r$m"
        done
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

. "$(dirname "$(realpath "$0")")/checks.sh"
lacks() { ! grep -Eq "$1" <<<"$2"; }
finish() {
    echo "install check: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# The bare root, made once and kept.
if [ ! -s "$base" ]; then
    echo "== debootstrap --variant=minbase bookworm (kept in $base)"
    mkdir -p "$cache"
    if ! debootstrap --variant=minbase bookworm "$tmp/bootstrap" "$mirror" >"$tmp/debootstrap.log" 2>&1; then
        tail -20 "$tmp/debootstrap.log"
        echo "debootstrap failed" >&2
        exit 1
    fi
    tar -C "$tmp/bootstrap" -czf "$base.part" . && mv "$base.part" "$base"
    rm -rf "$tmp/bootstrap"
fi

new_root() {
    mkdir "$1"
    tar -C "$1" -xzf "$base"
    cp /etc/resolv.conf "$1/etc/resolv.conf"
    mkdir -p "$1$debs"
    cp "$logger_deb" ${window_deb:+"$window_deb"} "$1$debs/"
}

# ---------------------------------------------------------------------------------------------
echo "== 1. a root without systemd"
root="$tmp/plain"
new_root "$root"
for m in proc sys dev dev/pts; do
    mount --bind "/$m" "$root/$m"
done
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
installed() { in_root dpkg-query -W -f '${db:Status-Status} ${Package}\n' | awk '$1 == "installed" { print $2 }' | sort; }
check "apt-get update" in_root apt-get update -qq

# What pexumo-logger brings: every package apt adds, and their installed size.
installed >"$tmp/before"
check "apt install --no-install-recommends ./pexumo-logger_${version}_*.deb" \
    bash -c "chroot '$root' env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
             apt-get install -y --no-install-recommends $debs/$(basename "$logger_deb") >'$tmp/apt-logger.log' 2>&1 ||
             { cat '$tmp/apt-logger.log'; false; }"
installed >"$tmp/after"
comm -13 "$tmp/before" "$tmp/after" >"$tmp/logger-closure"
closure_kb=$(in_root dpkg-query -W -f '${Package} ${Installed-Size}\n' $(cat "$tmp/logger-closure") |
    awk '{ s += $2 } END { print s + 0 }')
echo "    pexumo-logger brings $(wc -l <"$tmp/logger-closure") packages, $((closure_kb / 1024)) MB installed:"
in_root dpkg-query -W -f '${Installed-Size}\t${Package}\n' $(cat "$tmp/logger-closure") | sort -rn |
    awk -F'\t' '{ printf "      %6.1f MB  %s\n", $1 / 1024, $2 }'
grep -h 'additional disk space' "$tmp/apt-logger.log" | sed 's/^/    apt: /'
check "pexumo-logger brings no Qt GUI, X11 or GL library" \
    lacks '^(libqt6gui6|libqt6widgets6|libx11-6|libgl1|libglx0|libegl1|libopengl0|libgles2|libglvnd0|libgl1-mesa-dri)$' \
    "$(cat "$tmp/logger-closure")"
check "pexumo-logger and all it brings take at most 100 MB" test "$closure_kb" -le $((100 * 1024))
logger_kb=$(in_root dpkg-query -W -f '${Installed-Size}' pexumo-logger)
echo "    pexumo-logger itself: $logger_kb kB installed"

# The system user, made by adduser here, and its state folder.
check "no systemd-sysusers in this root (so adduser made the user)" bash -c "! chroot '$root' sh -c 'command -v systemd-sysusers'"
user=$(in_root getent passwd pexumo)
check "the system user pexumo exists" test -n "$user"
same "pexumo's home is /var/lib/pexumo" "/var/lib/pexumo" "$(cut -d: -f6 <<<"$user")"
check "pexumo is a system user (uid below 1000)" test "$(cut -d: -f3 <<<"$user")" -lt 1000
check "pexumo is in the group dialout" grep -qw pexumo <<<"$(in_root id -nG pexumo)"
same "/var/lib/pexumo belongs to pexumo, mode 700" "pexumo pexumo 700" "$(in_root stat -c '%U %G %a' /var/lib/pexumo)"
check "/etc/pexumo/config.ini is a conffile" grep -q '/etc/pexumo/config.ini' \
    <<<"$(in_root dpkg-query -W -f '${Conffiles}' pexumo-logger)"

# The programs run, without a display: the demo logger writes a journal, also as the system
# user with the system service's files.
for p in pexumo-logger pexumo-web pexumo-journal pexumo-decode pexumo-meter-sim; do
    same "$p --version" "$p $version" "$(in_root "$p" --version 2>&1)"
done
in_root mkdir -p /tmp/home
check "pexumo-logger --demo runs and ends with status 0 on SIGTERM" \
    in_root env HOME=/tmp/home timeout --preserve-status -s TERM 4 pexumo-logger --demo --journal /tmp/demo.sqlite
check "its session, with rows, is in the journal" grep -Eq $'\tpH=[1-9][0-9]*/.*\tpexumo-logger$' \
    <<<"$(in_root env HOME=/tmp/home pexumo-journal --journal /tmp/demo.sqlite list 2>&1)"
check "pexumo-logger --demo as the user pexumo writes its journal in /var/lib/pexumo" \
    in_root runuser -u pexumo -- timeout --preserve-status -s TERM 4 pexumo-logger --demo \
    --config /etc/pexumo/config.ini --journal /var/lib/pexumo/demo.sqlite
check "... with rows" grep -Eq $'\tpH=[1-9]' \
    <<<"$(in_root runuser -u pexumo -- pexumo-journal --journal /var/lib/pexumo/demo.sqlite list 2>&1)"

# The window's package on top: what it adds.
if [ -n "$window_deb" ]; then
    installed >"$tmp/before"
    check "apt install --no-install-recommends ./pexumo_${version}_*.deb" \
        bash -c "chroot '$root' env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
                 apt-get install -y --no-install-recommends $debs/$(basename "$window_deb") >'$tmp/apt-window.log' 2>&1 ||
                 { cat '$tmp/apt-window.log'; false; }"
    installed >"$tmp/after"
    comm -13 "$tmp/before" "$tmp/after" >"$tmp/window-closure"
    window_closure_kb=$(in_root dpkg-query -W -f '${Installed-Size}\n' $(cat "$tmp/window-closure") | awk '{ s += $1 } END { print s + 0 }')
    echo "    pexumo itself: $(in_root dpkg-query -W -f '${Installed-Size}' pexumo) kB installed;" \
         "with what it adds to pexumo-logger: $(wc -l <"$tmp/window-closure") packages, $((window_closure_kb / 1024)) MB"
    same "pexumo --version" "pexumo $version" "$(in_root env HOME=/tmp/home pexumo --version 2>/dev/null)"
fi

# An administrator enables an instance (offline, as in an image), then removes the packages.
wants="$root/etc/systemd/system/multi-user.target.wants"
check "systemctl --root enables pexumo-logger@ttyUSB0" systemctl --root="$root" enable pexumo-logger@ttyUSB0.service
check "... its link is there" test -L "$wants/pexumo-logger@ttyUSB0.service"
printf '[Alarms]\nDO=4.0..\n' >"$root/etc/pexumo/alarms.conf"
check "apt remove pexumo-logger${window_deb:+ pexumo}" in_root apt-get remove -y -qq pexumo-logger ${window_deb:+pexumo}
check "after remove no link enables an instance" test -z "$(find "$root/etc/systemd" -name 'pexumo-logger@*.service' 2>/dev/null)"
check "after remove no program of Pexumo is left" test -z "$(ls "$root/usr/bin" | grep pexumo)"
same "after remove pexumo-logger keeps its configuration (state config-files)" "config-files" \
    "$(in_root dpkg-query -W -f '${db:Status-Status}' pexumo-logger)"
check "after remove /etc/pexumo and the journals are still there" \
    test -f "$root/etc/pexumo/config.ini" -a -f "$root/etc/pexumo/alarms.conf" -a -f "$root/var/lib/pexumo/demo.sqlite"
check "apt purge pexumo-logger" in_root apt-get purge -y -qq pexumo-logger ${window_deb:+pexumo}
check "after purge dpkg knows no package of Pexumo" test -z "$(in_root dpkg-query -W -f '${Package}\n' 'pexumo*' 2>/dev/null)"
left=$(find "$root" -xdev \( -path "$root/proc" -o -path "$root/sys" -o -path "$root/dev" -o -path "$root/tmp" -o -path "$root$debs" \) -prune \
       -o -iname '*pexumo*' -print)
check "after purge no file of Pexumo is left" test -z "$left"
[ -z "$left" ] || echo "$left" | sed 's/^/    /'
left=$(grep -rl pexumo "$root/etc" "$root/var/lib" 2>/dev/null | sed "s#^$root##" | grep -Ev '^/etc/(passwd|group|shadow|gshadow)-?$' |
       grep -v '^/var/lib/dpkg/')
check "after purge nothing names Pexumo in /etc and /var/lib but the user's entries" test -z "$left"
[ -z "$left" ] || echo "$left" | sed 's/^/    /'
check "after purge the system user pexumo is kept" in_root getent passwd pexumo

# ---------------------------------------------------------------------------------------------
echo "== 2. a root booted with systemd-nspawn"
root="$tmp/booted"
new_root "$root"
nspawn=(systemd-nspawn -q -D "$root" --register=no --keep-unit)
in_root() {
    "${nspawn[@]}" --pipe env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@" 2> >(grep -v 'Attempted to remove disk file system' >&2)
}
check "apt install systemd systemd-sysv (the init system of a booted Debian)" \
    in_root sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends systemd systemd-sysv >/dev/null'

# The one package pexumo of 0.1.0, as far as the logger goes: the same files (the window left
# out, to spare its libraries), under the old name, with the old postinst and no other script.
dpkg-deb -R "$logger_deb" "$tmp/old"
sed -i -e 's/^Package: .*/Package: pexumo/' -e 's/^Version: .*/Version: 0.1.0/' \
    -e '/^\(Breaks\|Replaces\|Source\):/d' "$tmp/old/DEBIAN/control"
rm -rf "$tmp/old/DEBIAN/"{prerm,postrm,conffiles} "$tmp/old/etc" "$tmp/old/usr/share/lintian"
mv "$tmp/old/usr/share/doc/pexumo-logger" "$tmp/old/usr/share/doc/pexumo"
printf '#!/bin/sh\nset -e\nif [ "$1" = configure ] && command -v systemd-sysusers >/dev/null 2>&1; then\n    systemd-sysusers pexumo.conf\nfi\n' \
    >"$tmp/old/DEBIAN/postinst"
dpkg-deb -b -Zgzip "$tmp/old" "$root$debs/pexumo_0.1.0.deb" >/dev/null
# The next version, for an upgrade of pexumo-logger: the same files under a higher version.
next="$version+check1"
dpkg-deb -R "$logger_deb" "$tmp/next"
sed -i "s/^Version: .*/Version: $next/" "$tmp/next/DEBIAN/control"
dpkg-deb -b -Zgzip "$tmp/next" "$root$debs/pexumo-logger_next.deb" >/dev/null

check "apt install the one package pexumo 0.1.0" in_root apt-get install -y -qq --no-install-recommends $debs/pexumo_0.1.0.deb
# A simulated meter on /dev/ttyUSB0 (a pseudo-terminal) for the instance to log.
printf '%s\n' '[Unit]' 'Description=Simulated meter on /dev/ttyUSB0' '[Service]' \
    'ExecStart=/usr/bin/pexumo-meter-sim --pty --link /dev/ttyUSB0' >"$root/etc/systemd/system/check-meter.service"

"${nspawn[@]}" -b >"$tmp/boot.log" 2>&1 &
nspawn_pid=$!
container_pid=$nspawn_pid
leader=
for _ in $(seq 50); do
    leader=$(pgrep -P "$nspawn_pid" -x systemd | head -1)
    [ -n "$leader" ] && break
    sleep 0.2
done
if [ -z "$leader" ]; then
    failed=$((failed + 1))
    echo "FAILED: systemd-nspawn boots the root"
    sed 's/^/    /' "$tmp/boot.log"
    finish
fi
in_box() { nsenter -t "$leader" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
state=
for _ in $(seq 60); do
    state=$(in_box systemctl is-system-running 2>/dev/null)
    case "$state" in running | degraded) break ;; esac
    sleep 1
done
check "systemd-nspawn boots the root (state: $state)" grep -Eq '^(running|degraded)$' <<<"$state"
if ! grep -Eq '^(running|degraded)$' <<<"$state"; then
    sed 's/^/    /' "$tmp/boot.log" | tail -30
    finish
fi

# The instance on the simulated meter.
check "the simulated meter starts" in_box systemctl start check-meter.service
for _ in $(seq 50); do in_box test -e /dev/ttyUSB0 && break; sleep 0.2; done
# What udev gives a USB serial adapter: the group dialout may read and write it.
in_box sh -c 'chgrp dialout "$(readlink -f /dev/ttyUSB0)" && chmod 660 "$(readlink -f /dev/ttyUSB0)"'
check "systemctl enable --now pexumo-logger@ttyUSB0" in_box systemctl enable --now pexumo-logger@ttyUSB0.service
journal_rows() {
    in_box runuser -u pexumo -- pexumo-journal --journal /var/lib/pexumo/ttyUSB0.sqlite list 2>/dev/null |
        awk -F'\t' '{ for (i = 1; i <= NF; i++) if (split($i, f, "[=/]") == 3) s += f[2] } END { print s + 0 }'
}
# more_rows_than N: waits up to 30 s for the journal to hold more than N rows.
more_rows_than() {
    local rows
    for _ in $(seq 30); do
        rows=$(journal_rows)
        [ "$rows" -gt "$1" ] && return 0
        sleep 1
    done
    echo "rows: $rows"
    in_box journalctl -u pexumo-logger@ttyUSB0.service --no-pager -o cat | tail -20
    return 1
}
check "the instance of pexumo 0.1.0 logs the meter" more_rows_than 0
main_pid() { in_box systemctl show -p MainPID --value pexumo-logger@ttyUSB0.service; }
# upgrade_restarts WHAT DEB: installing DEB restarts the running instance on the new program.
upgrade_restarts() {
    local before after rows
    before=$(main_pid)
    rows=$(journal_rows)
    check "$1: apt install ./$(basename "$2") under the running instance" \
        in_box apt-get install -y -qq --no-install-recommends "$debs/$(basename "$2")"
    for _ in $(seq 20); do
        [ "$(in_box systemctl is-active pexumo-logger@ttyUSB0.service)" = active ] && break
        sleep 0.5
    done
    after=$(main_pid)
    check "$1: the instance was restarted (main process $before, then $after)" \
        test -n "$after" -a "$after" != 0 -a "$after" != "$before"
    same "$1: the instance runs the new program file" "/usr/bin/pexumo-logger" "$(in_box readlink "/proc/$after/exe")"
    same "$1: the instance is still enabled" "enabled" "$(in_box systemctl is-enabled pexumo-logger@ttyUSB0.service)"
    check "$1: the instance goes on logging into its journal" more_rows_than "$rows"
}
cp "$logger_deb" "$root$debs/"
upgrade_restarts "from pexumo 0.1.0 to pexumo-logger $version" "$logger_deb"
same "pexumo 0.1.0 is gone" "" "$(in_box dpkg-query -W -f '${db:Status-Status}' pexumo 2>/dev/null | grep -x installed)"
check "the user pexumo is in the group dialout" grep -qw dialout <<<"$(in_box id -nG pexumo)"
log=$(in_box journalctl -u pexumo-logger@ttyUSB0.service --no-pager -o cat)
check "its status lines say it connected" grep -q 'connected to ttyUSB0' <<<"$log"
grep -q 'connected to ttyUSB0' <<<"$log" || echo "$log" | tail -20 | sed 's/^/    /'

# Every unit, as the systemd of this root sees it, and the running instance's exposure.
for unit in $(cd "$root" && ls usr/lib/systemd/system/pexumo* usr/lib/systemd/user/pexumo*); do
    name=$(basename "$unit")
    if [[ $unit == */user/* ]]; then
        out=$(in_box env XDG_RUNTIME_DIR=/run systemd-analyze --user --man=no verify "/$unit" 2>&1)
        name="$name (user)"
    else
        [ "${name%@.service}" != "$name" ] && name="${name%@.service}@ttyUSB0.service"
        out=$(in_box systemd-analyze --man=no verify "$name" 2>&1)
    fi
    check "systemd-analyze verify $name" test -z "$out"
    [ -z "$out" ] || echo "$out" | sed 's/^/    /'
done
exposure_of() { in_box systemd-analyze security "$1" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p'; }
exposure=$(exposure_of pexumo-logger@ttyUSB0.service)
echo "    exposure of the running instance: $exposure"
check "the running instance's exposure is at most 2.0" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }'

# The web view as a system service, on its default loopback address, under its own unit.
check "systemctl enable --now pexumo-web" in_box systemctl enable --now pexumo-web.service
sleep 2
same "pexumo-web runs" "active" "$(in_box systemctl is-active pexumo-web.service)"
web_pid() { in_box systemctl show -p MainPID --value pexumo-web.service; }
web_before=$(web_pid)
exposure=$(exposure_of pexumo-web.service)
echo "    exposure of pexumo-web: $exposure"
check "pexumo-web's exposure is at most 2.0" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }'

upgrade_restarts "upgrade to $next" "$root$debs/pexumo-logger_next.deb"
web_after=$(web_pid)
check "upgrade to $next: pexumo-web was restarted (main process $web_before, then $web_after)" \
    test -n "$web_after" -a "$web_after" != 0 -a "$web_after" != "$web_before"
same "upgrade to $next: pexumo-web runs the new program file" "/usr/bin/pexumo-web" "$(in_box readlink "/proc/$web_after/exe")"

# Removal stops it; purge leaves nothing but the user.
check "apt remove pexumo-logger" in_box apt-get remove -y -qq pexumo-logger
check "after remove no instance runs" test -z "$(in_box systemctl list-units --plain --no-legend --state=active 'pexumo-logger@*')"
check "after remove pexumo-web does not run" bash -c "! nsenter -t $leader -a pgrep -x pexumo-web"
check "after remove no process of pexumo-logger is left" bash -c "! nsenter -t $leader -a pgrep -x pexumo-logger"
same "after remove systemd has forgotten the unit (daemon-reload)" "not-found" \
    "$(in_box systemctl show -p LoadState --value pexumo-logger@ttyUSB0.service)"
check "after remove no link enables an instance" test -z "$(find "$root/etc/systemd" -name 'pexumo-logger@*' 2>/dev/null)"
check "apt purge pexumo-logger" in_box apt-get purge -y -qq pexumo-logger
left=$(find "$root" -xdev \( -path "$root/proc" -o -path "$root/sys" -o -path "$root/dev" -o -path "$root/tmp" -o -path "$root/run" -o -path "$root$debs" \) -prune \
       -o -iname '*pexumo*' -print)
check "after purge no file of Pexumo is left" test -z "$left"
[ -z "$left" ] || echo "$left" | sed 's/^/    /'
check "after purge the system user pexumo is kept" grep -q '^pexumo:' "$root/etc/passwd"

in_box systemctl poweroff >/dev/null 2>&1
wait "$nspawn_pid" 2>/dev/null
container_pid=
finish
