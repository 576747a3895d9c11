#!/usr/bin/env bash
# Builds the Debian package: an optimised build without sanitizers in
# build-package/ with Debian's hardening flags, then cpack. Prints the path
# of the .deb on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh package

# Debian's flags (fortify, stack protector, relro, bind now) without -g: the
# package ships stripped programs, and debug info only slows the build.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=${cxxflags//-g /}
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_DOCDIR:PATH=share/doc/corvane -DCORVANE_BUILD_TESTS=OFF -DCORVANE_SANITIZE= \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    >/dev/null
cmake --build build-package
rm -f build-package/corvane_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/corvane_*.deb)
echo "$deb"
