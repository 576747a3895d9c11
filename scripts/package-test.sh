#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh), checks it with lintian,
# installs it, checks the installed programs and removes it again. Run as
# root on a machine where the package may be installed and removed: an
# installed corvane package is replaced and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -ne 0 ]]; then
    echo "package-test.sh: run as root (it installs and removes the package)" >&2
    exit 1
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

deb=$PWD/$(scripts/package.sh | tail -n 1)
echo "package: $deb"

echo "-- lintian"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

echo "-- install"
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt-get install -y -q --reinstall "$deb" 2>&1 | tee "$log"

# The programs run from the installed path as a normal user.
if out=$(runuser -u nobody -- /usr/bin/corvane --help); then
    [[ $out == "usage: corvane"* ]] || fail "corvane --help as nobody printed: $out"
else
    fail "corvane --help as nobody failed"
fi
if out=$(runuser -u nobody -- env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/corvane-messenger --help); then
    [[ $out == "usage: corvane-messenger"* ]] || fail "corvane-messenger --help printed: $out"
else
    fail "corvane-messenger --help as nobody failed"
fi

# The postinst gives the capability or says why it could not.
for program in /usr/bin/corvane /usr/bin/corvane-messenger; do
    caps=$(getcap "$program")
    if [[ $caps == *cap_net_bind_service=ep* ]]; then
        echo "capability: $caps"
    elif grep -q "could not give.*$program" "$log"; then
        echo "NOT CHECKED: the file system of $program cannot hold file capabilities here;" \
            "the postinst said so and the install went on (see above)" >&2
    else
        fail "$program has no cap_net_bind_service, and the postinst did not say why"
    fi
done

entry=/usr/share/applications/corvane-messenger.desktop
if [[ -f $entry ]]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
else
    fail "$entry is not installed"
fi
for metainfo in /usr/share/metainfo/*corvane*.metainfo.xml; do
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
done
for file in /usr/share/man/man1/corvane.1.gz /usr/share/man/man1/corvane-messenger.1.gz \
    /usr/share/polkit-1/actions/net.corvane.messenger.elevated-writer.policy \
    /usr/share/corvane-messenger/language/german.lng \
    /usr/share/icons/hicolor/48x48/apps/corvane-messenger.png \
    /usr/share/icons/hicolor/scalable/apps/corvane-messenger.svg; do
    [[ -f $file ]] || fail "$file is not installed"
done

echo "-- remove"
apt-get remove -y -q corvane
for program in corvane corvane-messenger corvane-elevated-writer; do
    [[ ! -e /usr/bin/$program ]] || fail "/usr/bin/$program is still there after the removal"
done

if ((failures)); then
    echo "package: $failures check(s) failed" >&2
    exit 1
fi
echo "package: all checks passed"
