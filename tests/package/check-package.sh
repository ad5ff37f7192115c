#!/usr/bin/env bash
# Checks the Debian packages from `make package` in a fresh Debian 12 root, by hand (not part of
# `make test`; needs root and Debian's mirror, and takes several minutes):
#   1. `apt install ./kestrafon_*.deb` resolves the dependencies and installs;
#   2. desktop-file-validate accepts the desktop entry and the autostart entry;
#   3. lintian reports no error for either package;
#   4. `kestrafon` starts under Xvfb as an unprivileged user: it says in its log (in the user's
#      state folder) that it has no device library, its page shows, and a screenshot is kept;
#      then with kestrafon-emulator installed the page lists the emulated devices;
#   5. `apt purge` leaves nothing in /opt and keeps the user's own folders.
# Usage: tests/package/check-package.sh [BUILD_DIR] [BASE_ROOT]
#   BASE_ROOT: a debootstrapped Debian 12 root, made there when missing and reused (copied) later.
set -euo pipefail
build=$(realpath "${1:-build}")
base=${2:-/var/tmp/kestrafon-bookworm-root}
here=$(cd "$(dirname "$0")" && pwd)
shots=$build/screenshots/package
[ "$(id -u)" = 0 ] || { echo "run as root (debootstrap, chroot)"; exit 2; }
client_deb=$(ls "$build"/kestrafon_*.deb 2>/dev/null | head -1)
emulator_deb=$(ls "$build"/kestrafon-emulator_*.deb 2>/dev/null | head -1)
[ -n "$client_deb" ] && [ -n "$emulator_deb" ] || { echo "no packages in $build: run make package"; exit 2; }

if [ ! -x "$base/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian
fi
work=$(mktemp -d /var/tmp/kf-package-check.XXXXXX)
root=$work/root
mounted=()
cleanup() {
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
cp -a "$base" "$root"
for m in proc sys dev dev/pts dev/shm; do
    mkdir -p "$root/$m"
    case $m in
        proc) mount -t proc proc "$root/proc" ;;
        *) mount --bind "/$m" "$root/$m" ;;
    esac
    mounted+=("$root/$m")
done
# Downloaded packages are kept beside the base root, so a second run does not fetch them again.
mkdir -p "$base.apt-archives/partial"
mount --bind "$base.apt-archives" "$root/var/cache/apt/archives"
mounted+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mkdir -p "$root/pkg" "$shots"
cp "$client_deb" "$emulator_deb" "$root/pkg/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 "$@"; }
failures=0
passes=0
verdict() {
    if [ "$1" = 0 ]; then echo "PASS: $2"; passes=$((passes + 1)); else echo "FAIL: $2"; failures=$((failures + 1)); fi
}

echo "== 1. apt install ./$(basename "$client_deb")"
in_root apt-get update -q >/dev/null
status=0
(cd "$root/pkg" && in_root sh -c "cd /pkg && apt-get install -y -q ./$(basename "$client_deb")") >"$work/install.log" 2>&1 || status=$?
tail -3 "$work/install.log"
verdict $status "the package installs with its dependencies"
in_root dpkg -s kestrafon | grep -E '^(Version|Depends|Recommends):' || true

echo "== 2. desktop-file-validate"
in_root apt-get install -y -q desktop-file-utils lintian xvfb xauth python3 procps >/dev/null 2>&1
out=$(in_root desktop-file-validate /usr/share/applications/kestrafon.desktop /etc/xdg/autostart/kestrafon.desktop 2>&1) && status=0 || status=$?
[ -z "$out" ] || echo "$out"
verdict $status "desktop-file-validate accepts both entries"

echo "== 3. lintian"
in_root lintian --fail-on error --display-level '>=warning' /pkg/"$(basename "$client_deb")" \
    /pkg/"$(basename "$emulator_deb")" >"$work/lintian.log" 2>&1 && status=0 || status=$?
cat "$work/lintian.log"
verdict $status "lintian reports no error"

echo "== 4. kestrafon as an unprivileged user under Xvfb"
in_root useradd -m -s /bin/sh kfuser
port=9377
cp "$here/../e2e/page_probe.py" "$work/"
run_client() {  # $1: name of the screenshot
    rm -f "$root/home/kfuser/client.pid"
    in_root su - kfuser -c "QTWEBENGINE_REMOTE_DEBUGGING=$port xvfb-run -a -s '-screen 0 1280x800x24' \
        sh -c 'echo \$\$ > ~/client.pid; exec kestrafon'" >"$work/client-$1.out" 2>&1 &
    local pid=$!
    local text=""
    for _ in $(seq 90); do
        text=$(python3 - "$port" "$shots/$1.png" "$work" <<'PY' 2>/dev/null || true
import sys
import time
sys.path.insert(0, sys.argv[3])
from page_probe import PageProbe
probe = PageProbe.connect(int(sys.argv[1]))
if probe:
    read = lambda: probe.eval('document.body ? document.body.innerText : ""') or ''
    if len(read()) > 20:
        time.sleep(8)  # let the device list settle
        probe.screenshot(sys.argv[2])
        print(' '.join(read().split())[:400])
PY
)
        [ -n "$text" ] && break
        sleep 1
    done
    echo "page: $text"
    # The client's own pid (the launcher execs it); SIGTERM makes it save and quit.
    [ -s "$root/home/kfuser/client.pid" ] && kill -TERM "$(cat "$root/home/kfuser/client.pid")" 2>/dev/null || true
    wait "$pid" || true
    [ -n "$text" ]
}
run_client no-library && status=0 || status=$?
verdict $status "the client starts and shows its page without a device library"
log=$root/home/kfuser/.local/state/kestrafon/kestrafon.log
grep -m1 "device library could not be loaded" "$log" && status=0 || status=$?
verdict $status "the log in the user's state folder says there is no device library"
ls -la "$root/tmp" | grep kestrafon || true

in_root apt-get install -y -q "/pkg/$(basename "$emulator_deb")" >/dev/null 2>&1 && status=0 || status=$?
verdict $status "kestrafon-emulator installs"
run_client emulator && status=0 || status=$?
verdict $status "the client shows its page with the emulated devices"

echo "== 5. apt purge"
in_root apt-get purge -y -q kestrafon kestrafon-emulator >/dev/null 2>&1 && status=0 || status=$?
leftovers=$(ls -A "$root/opt" "$root/var/lib/kestrafon" 2>/dev/null | grep -v '^/' || true)
[ $status = 0 ] && [ -z "$leftovers" ] && [ ! -e "$root/usr/bin/kestrafon" ] && status=0 || status=1
verdict $status "apt purge removes the installation"
[ -d "$root/home/kfuser/.local/state/kestrafon" ] && status=0 || status=1
verdict $status "the user's own folders stay"

echo "screenshots: $shots"
echo "$passes passed, $failures failed"
[ $failures = 0 ]
