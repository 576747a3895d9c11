#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh), checks it with lintian,
# installs it, checks the installed programs, lets a user make settings, an
# archive with a message and a contact list with the installed programs, and
# removes the package again: the user's files must stay as they were. Run as
# root on a machine where the package may be installed and removed: an
# installed corvane package is replaced and removed at the end. The user's
# station runs in the network namespaces of scripts/netns.sh
# ($CORVANE_NETNS, default "corvane") on a private X server (Xvfb).
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
for tool in Xvfb ip setpriv; do
    if ! command -v "$tool" >/dev/null; then
        echo "package-test.sh: $tool is not installed; scripts/deps.sh test installs it" >&2
        exit 1
    fi
done

log=$(mktemp)
# Not below /tmp, which may be closed to other users.
user_home=$(mktemp -d -p /var/tmp corvane-user.XXXXXX)
sender=$(mktemp -d)
background=()
cleanup() {
    for pid in "${background[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [[ -z ${netns_up:-} ]] || scripts/netns.sh down
    rm -rf "$log" "$user_home" "$sender"
}
trap cleanup EXIT

if ! scripts/package.sh >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "package-test.sh: scripts/package.sh failed" >&2
    exit 1
fi
deb=$PWD/$(tail -n 1 "$log")
echo "package: $deb"

echo "-- lintian"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"

echo "-- install"
export DEBIAN_FRONTEND=noninteractive
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

echo "-- a user's settings, archive and contacts"
# The user is nobody with a home of its own; the desktop program runs as that
# user in namespace 1 and gets a message from a station in namespace 2.
user=nobody
chown "$user:" "$user_home"
chmod 700 "$user_home"
as_user() {  # as_user COMMAND...: as the user, with the user's home and nothing else
    setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups \
        env -i HOME="$user_home" XDG_RUNTIME_DIR="$user_home/run" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 CORVANE_COMPUTER_NAME=PKGTEST CORVANE_WORKGROUP=PKGTEST "$@"
}
as_user mkdir -p "$user_home/run" "$user_home/.config/corvane"
as_user chmod 700 "$user_home/run"
# A setting of the user's own: no sound.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"SoundEnabled"=dword:00000000\r\n' |
    as_user tee "$user_home/.config/corvane/user.reg" >/dev/null
if ! as_user /usr/bin/corvane settings | grep -Eq "SoundEnabled.*user.*0"; then
    fail "corvane settings does not show the user's setting SoundEnabled=0"
fi

netns_up=1
scripts/netns.sh up 2
# Without file capabilities the NetBIOS ports need this (per namespace).
ip netns exec "${CORVANE_NETNS:-corvane}-ns1" sysctl -qw net.ipv4.ip_unprivileged_port_start=137
# The X server runs in namespace 1 too: the user reaches it through its
# abstract socket there. It picks a free display and writes its number.
exec {display_fd}>"$sender/display"
ip netns exec "${CORVANE_NETNS:-corvane}-ns1" Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 \
    -nolisten tcp >/dev/null 2>&1 &
background+=($!)
exec {display_fd}>&-
for _ in $(seq 100); do
    [[ -s $sender/display ]] && break
    sleep 0.1
done
display=$(cat "$sender/display")
[[ -n $display ]] || fail "Xvfb did not start in namespace 1"
ip netns exec "${CORVANE_NETNS:-corvane}-ns1" setpriv --reuid="$user" --regid="$(id -g "$user")" \
    --init-groups env -i HOME="$user_home" XDG_RUNTIME_DIR="$user_home/run" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 CORVANE_COMPUTER_NAME=PKGTEST CORVANE_WORKGROUP=PKGTEST DISPLAY=":$display" \
    /usr/bin/corvane-messenger >"$sender/messenger.out" 2>&1 &
messenger=$!
background+=("$messenger")
from_station() {  # from_station COMMAND...: corvane in namespace 2 as another user
    ip netns exec "${CORVANE_NETNS:-corvane}-ns2" env XDG_RUNTIME_DIR="$sender" \
        XDG_CONFIG_HOME="$sender/config" XDG_DATA_HOME="$sender/data" CORVANE_USER_NAME=SENDER \
        CORVANE_COMPUTER_NAME=SENDERPC CORVANE_WORKGROUP=PKGTEST /usr/bin/corvane "$@"
}
answers=no
for _ in $(seq 30); do  # the user's names register (bounded)
    if from_station ping "$user" >/dev/null 2>&1; then
        answers=yes
        break
    fi
    sleep 1
done
[[ $answers == yes ]] || fail "the desktop program of $user does not answer on the network"
text="kept when the package goes"
from_station send "$user" "$text" || fail "corvane send to $user failed"
archived=no
for _ in $(seq 50); do
    if as_user /usr/bin/corvane history SENDER 2>/dev/null | grep -qF "$text"; then
        archived=yes
        break
    fi
    sleep 0.1
done
[[ $archived == yes ]] || fail "the message is not in the user's archive"
kill "$messenger"
wait "$messenger" || fail "corvane-messenger did not end cleanly: $(cat "$sender/messenger.out")"
data="$user_home/.local/share/Corvane Messenger/3.x"
for file in "$user_home/.config/corvane/user.reg" "$data/messages" "$data/contacts"; do
    [[ -s $file ]] || fail "$file was not made"
done
# Everything the user has, with its contents.
user_files() {
    (cd "$user_home" && find . -path ./run -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
}
before=$(user_files)
echo "$before"

echo "-- remove"
apt-get remove -y -q corvane
for program in corvane corvane-messenger corvane-elevated-writer; do
    [[ ! -e /usr/bin/$program ]] || fail "/usr/bin/$program is still there after the removal"
done
after=$(user_files)
if [[ $after != "$before" ]]; then
    fail "the removal changed the user's files:"
    diff <(echo "$before") <(echo "$after") >&2 || true
fi

if ((failures)); then
    echo "package: $failures check(s) failed" >&2
    exit 1
fi
echo "package: all checks passed"
