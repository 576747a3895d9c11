#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/deps.sh [build|package|test-build|test]
#   test-build: what building the test suite needs; test adds what running it
#   needs (the SMB suite, X, sound, lintian), so scripts/test.sh can install
#   that part while it compiles.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config ccache lld libicu-dev libsqlite3-dev
          qt6-base-dev libxcb1-dev libxcb-keysyms1-dev libx11-dev libcanberra-dev
          libcanberra0 libcanberra-pulse qt6-qpa-plugins)
mode=${1:-build}
if [[ "$mode" == "package" || "$mode" == test* ]]; then
    # cpack's Debian generator: dpkg-shlibdeps and dpkg-buildflags, file.
    packages+=(dpkg-dev file)
fi
if [[ "$mode" == test* ]]; then
    packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
               xvfb)
fi
if [[ "$mode" == "test" ]]; then
    # The package check (lintian, getcap, the desktop entry and metainfo),
    # the SMB suite, the network namespaces, X, notifications and sound.
    packages+=(lintian libcap2-bin desktop-file-utils appstream
               iproute2 samba-common-bin samba smbclient hyperfine
               xauth xdotool x11-utils imagemagick trayer dunst libnotify-bin dbus
               dbus-bin pulseaudio pulseaudio-utils xclip fonts-dejavu-core)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
