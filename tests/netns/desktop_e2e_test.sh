#!/usr/bin/env bash
# The desktop program end to end, as a person uses it. corvane-messenger runs
# as ALICE in namespace 1 on a private X server with a session bus, a
# notification daemon, a sound server and a tray host. CAROL in namespace 2
# writes with smbclient -M; BOB in namespace 3 runs corvane listen and writes
# with corvane send. The test reads each popup through its "More..." menu and
# the clipboard, answers BOB through Reply and the write window (typed with
# xdotool), opens a write window with a global hot key, checks the archive,
# and quits from the tray menu. Screenshots and the popup's title stay in the
# artefact folder.
# Usage: desktop_e2e_test.sh PATH/TO/corvane PATH/TO/corvane-messenger ARTEFACT-FOLDER
set -uo pipefail

corvane=$(realpath "$1")
messenger=$(realpath "$2")
artefacts=$3
probe=$corvane  # netns_lib.sh expects a program in $probe
source "$(dirname "$0")/netns_lib.sh"
source "$(dirname "$0")/desktop_session.sh"
for tool in Xvfb xdpyinfo xwininfo xdotool xclip import dbus-daemon dbus-send dunst trayer \
    pulseaudio smbclient nmblookup python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed; scripts/deps.sh test installs it"
        exit 1
    fi
done
mkdir -p "$artefacts"
rm -f "$artefacts"/*.png "$artefacts"/*.txt

messenger_pid=
stop_messenger() {
    [[ -n $messenger_pid ]] && kill "$messenger_pid" 2>/dev/null && wait "$messenger_pid" 2>/dev/null
    messenger_pid=
}
cleanup_hooks+=(stop_messenger)
netns_setup 3
session_start || exit 1

station_env() {  # station_env N USER COMPUTER
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_REGISTRY=$home/user.reg CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3" \
        "CORVANE_WORKGROUP=TESTGRP"
}
alice_env=$(station_env 1 ALICE PC1)
python3 -c 'import wave, struct, sys
w = wave.open(sys.argv[1], "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(b"".join(struct.pack("<h", (i * 37) % 20000 - 10000) for i in range(2000))); w.close()' \
    "$work/ding.wav"
# Hot key Ctrl+Alt+W writes a new message; popups stay until closed; a sound
# for every personal message.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"HotKeyEnabled"=dword:00000001\r\n"HotKeyWriteNewMsg"=dword:00000657\r\n"RecvMsgPopWndAutoclose"=dword:00000000\r\n"SoundEnabled"=dword:00000001\r\n"RecvMsgSoundNotify"=dword:00000001\r\n"SoundEventIncMsgPriv"="%s"\r\n' \
    "$work/ding.wav" >"$work/home1/user.reg"

echo "== corvane-messenger as ALICE in namespace 1"
# shellcheck disable=SC2086
ip netns exec corvane-ns1 env $alice_env DISPLAY="$DISPLAY" \
    DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" PULSE_SERVER="$PULSE_SERVER" \
    "$messenger" >"$work/messenger.out" 2>&1 &
messenger_pid=$!
icon=
for _ in $(seq 100); do
    icon=$(tray_icon_centre)
    [[ -n $icon ]] && break
    sleep 0.1
done
check "the tray icon is in the tray" test -n "$icon"

cat >"$work/client.conf" <<CONF
[global]
    workgroup = TESTGRP
    interfaces = eth0
    name resolve order = bcast
CONF
registered() {
    for _ in $(seq 150); do
        ip netns exec corvane-ns2 nmblookup -s "$work/client.conf" 'ALICE#03' 2>/dev/null |
            grep -q '198.18.0.1 ALICE<03>' && return 0
        sleep 0.1
    done
    return 1
}
check "ALICE's name is registered on the LAN" registered
# shellcheck disable=SC2086
ip netns exec corvane-ns1 env $alice_env "$corvane" listen >"$work/listen-refused.out" 2>&1
check "corvane listen refuses while the desktop program runs" test $? -eq 1
check "and says why" grep -q "desktop program (corvane-messenger) runs" "$work/listen-refused.out"

popup_window() {  # the popup's window id, waiting up to 10 s
    for _ in $(seq 100); do
        local id
        id=$(xdotool search --name '^Messages received' 2>/dev/null | head -1)
        [[ -n $id ]] && xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
popup_button() {  # popup_button ID INDEX: clicks toolbar button INDEX (0 Reply ... 3 More...)
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local x=$((X + 6 + (WIDTH - 12) * (2 * $2 + 1) / 8)) y=$((Y + HEIGHT - 12))
    xdotool mousemove "$x" "$y" click 1
    sleep 0.3
}
popup_text() {  # the shown message, through "More..." and "Copy"
    printf 'clipboard before copy' | xclip -selection clipboard -i
    popup_button "$1" 3
    xdotool key Down Return
    sleep 0.5
    xclip -selection clipboard -o 2>/dev/null
}
title_is() {  # title_is ID TEXT
    [[ $(xdotool getwindowname "$1") == "$2"* ]] || { echo "title: $(xdotool getwindowname "$1")"; return 1; }
}
same() {  # same ACTUAL EXPECTED
    [[ "$1" == "$2" ]] || { printf 'got:      %q\nexpected: %q\n' "$1" "$2"; return 1; }
}

echo "== global hot key Ctrl+Alt+W"
xdotool key ctrl+alt+w
hotkey_window=
for _ in $(seq 100); do
    hotkey_window=$(xdotool search --name '^Write message' 2>/dev/null | head -1)
    [[ -n $hotkey_window ]] && break
    sleep 0.1
done
check "the hot key opens a write window" test -n "$hotkey_window"
import -window root "$artefacts/hotkey-write-window.png"
# The user works in that window when the messages come.
xdotool windowfocus --sync "$hotkey_window" 2>/dev/null

echo "== smbclient -M from CAROL in namespace 2"
text1="Hello Alice, lunch at noon? From smbclient"
printf '%s' "$text1" | ip netns exec corvane-ns2 timeout 20 smbclient -s "$work/client.conf" \
    -M ALICE -U CAROL -N >"$work/smbclient.out" 2>&1
check "smbclient -M delivered" test $? -eq 0
popup=$(popup_window)
check "a popup appeared" test -n "$popup"
sleep 0.5
import -window root "$artefacts/popup-smbclient.png"
xdotool getwindowname "$popup" >"$artefacts/popup-title.txt"
check "the popup's title counts one message" title_is "$popup" "Messages received (1/1)"
check "the popup left the keyboard focus where it was" test "$(xdotool getwindowfocus)" = "$hotkey_window"
check "the popup shows smbclient's text" same "$(popup_text "$popup")" "$text1"

echo "== corvane send from BOB's station in namespace 3"
bob_env=$(station_env 3 BOB PC3)
# shellcheck disable=SC2086
ip netns exec corvane-ns3 env $bob_env "$corvane" listen --json >"$work/bob.out" 2>"$work/bob.err" &
pids+=($!)
for _ in $(seq 150); do
    grep -q "TESTGRP group: registered" "$work/bob.err" && break
    sleep 0.1
done
text2="Alice, the build is green. From corvane send"
# shellcheck disable=SC2086
ip netns exec corvane-ns3 env $bob_env "$corvane" send ALICE "$text2" >"$work/send.out" 2>&1
check "corvane send delivered" test $? -eq 0
counts() {
    for _ in $(seq 100); do
        title_is "$popup" "Messages received (1/2)" >/dev/null && return 0
        sleep 0.1
    done
    title_is "$popup" "Messages received (1/2)"
}
check "the open popup counts two messages" counts
popup_button "$popup" 2  # ">"
check "the popup pages to the second message" title_is "$popup" "Messages received (2/2)"
check "it shows corvane send's text" same "$(popup_text "$popup")" "$text2"
import -window root "$artefacts/popup-corvane-send.png"

echo "== Reply from the popup, typed in the write window"
popup_button "$popup" 0  # Reply
write=
for _ in $(seq 100); do
    write=$(xdotool search --name '^Write message' 2>/dev/null | grep -vx "$hotkey_window" | head -1)
    [[ -n $write ]] && break
    sleep 0.1
done
check "Reply opens the write window" test -n "$write"
xdotool windowfocus --sync "$write" 2>/dev/null
answer="Thanks Bob, typed in the write window"
xdotool type --delay 20 "$answer"
import -window root "$artefacts/write-window.png"
xdotool key ctrl+Return
answered() {
    for _ in $(seq 100); do
        grep -Fq "\"text\":\"$answer\"" "$work/bob.out" && return 0
        sleep 0.1
    done
    cat "$work/bob.out"
    return 1
}
check "BOB's station received the answer" answered
check "the answer is signed ALICE" grep -Fq '"sender":"ALICE"' "$work/bob.out"
closed() {
    for _ in $(seq 50); do
        xdotool search --name '^Write message' 2>/dev/null | grep -qx "$write" || return 0
        sleep 0.1
    done
    return 1
}
check "the write window closed after delivering" closed

echo "== the archive"
# shellcheck disable=SC2086
ip netns exec corvane-ns1 env $alice_env "$corvane" history >"$work/history.out" 2>&1
# shellcheck disable=SC2086
ip netns exec corvane-ns1 env $alice_env "$corvane" history BOB >"$work/history-bob.out" 2>&1
check "the archive lists CAROL's message" grep -Fq "$text1" "$work/history.out"
check "the archive holds BOB's message" grep -Fq "$text2" "$work/history-bob.out"
check "and the answer sent to BOB" grep -Fq "$answer" "$work/history-bob.out"

echo "== Exit Corvane from the tray menu"
read -r icon_x icon_y <<<"$(tray_icon_centre)"
xdotool mousemove "$icon_x" "$icon_y" click 3
sleep 0.5
import -window root "$artefacts/tray-menu.png"
xdotool key Up Return
ended() {
    for _ in $(seq 100); do
        kill -0 "$messenger_pid" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
check "the program ends" ended
wait "$messenger_pid"
status=$?
messenger_pid=
check "with exit code 0" test "$status" -eq 0
check "and its tray icon is gone" test -z "$(tray_icon_centre)"
cp "$work/messenger.out" "$artefacts/messenger.out"
echo "--- corvane-messenger said:"
cat "$work/messenger.out"
netns_finish
