#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the client need.
# Idempotent: when everything is present it changes nothing and does not touch the network.
set -euo pipefail

PACKAGES=(
    # toolchain and test frameworks
    build-essential cmake pkg-config make git python3 clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # Qt 5 and the browser engine
    qtbase5-dev qtbase5-dev-tools qtwebengine5-dev libqt5webchannel5-dev libqt5svg5-dev
    # multimedia: without the two gstreamer plugin packages the decoder hangs silently
    qtmultimedia5-dev libqt5multimedia5-plugins gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    libkissfft-dev libtag1-dev
    # the music tests make their MP3, FLAC and Ogg files with gst-launch-1.0
    gstreamer1.0-tools
    # formats
    libpugixml-dev liblzma-dev xz-utils
    # platform stand-ins
    libudev-dev libx11-dev libxi-dev libxtst-dev x11-xserver-utils
    # "SetIME" switches the layout with setxkbmap; "OpenUrl" hands URLs to the desktop with xdg-open
    x11-xkb-utils xdg-utils
    # windowed tests and screenshots
    xvfb xauth x11-utils xdotool imagemagick
    # fonts so Chinese texts render in screenshots
    fonts-noto-cjk fonts-dejavu-core
    # `make package`: dpkg-shlibdeps computes the package's dependencies; the two-user test
    # switches users with setpriv (util-linux); tests/package/check-package.sh makes a fresh
    # Debian root and checks the package there
    dpkg-dev util-linux debootstrap
    # page tests: Debian's browser, driven by playwright-core from npm (which never downloads one)
    chromium
)

# The pages are built with Node.js and npm: Debian's when the machine has none of its own.
command -v node >/dev/null 2>&1 || PACKAGES+=(nodejs)
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
