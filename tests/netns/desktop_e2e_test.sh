#!/usr/bin/env bash
# The desktop program end to end, as a person uses it. corvane-messenger runs
# as ALICE in namespace 1 on a private X server with a session bus, a
# notification daemon, a sound server and a tray host; first it refuses to
# start beside ALICE's corvane listen, and a second one ends by itself. CAROL
# in namespace 2 writes with smbclient -M (the chosen sound plays); BOB in
# namespace 3 runs corvane listen and writes with corvane send, and ALICE's
# corvane send reaches him through the desktop program. The test reads each
# popup through its "More..." menu and
# the clipboard, answers BOB through Reply and the write window (typed with
# xdotool), opens a write window with a global hot key, checks the archive
# and the archive window (dialogues, a dialogue's message, the search), adds
# BOB to the contact list and writes to him from there, and quits from the
# tray menu. A second start shows BOB online in the contact list (the
# presence thread probes its contacts 10 s after the start and then only
# every three minutes) and the LAN browser lists BOB's station, BOB and the
# workgroup (the neighbourhood is scanned when the program starts, and BOB's
# station runs by then) and writes to BOB. Then the options dialog, opened
# from the tray menu, makes a new message open the archive window instead of
# the popup. Screenshots and the popup's title
# stay in the artefact folder.
# Usage: desktop_e2e_test.sh PATH/TO/corvane PATH/TO/corvane-messenger ARTEFACT-FOLDER
set -uo pipefail

corvane=$(realpath "$1")
messenger=$(realpath "$2")
artefacts=$3
probe=$corvane  # netns_lib.sh expects a program in $probe
source "$(dirname "$0")/netns_lib.sh"
source "$(dirname "$0")/desktop_session.sh"
for tool in Xvfb xdpyinfo xwininfo xdotool xclip import dbus-daemon dbus-send dunst trayer \
    pulseaudio pactl convert smbclient nmblookup python3; do
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
# 1.5 s long, so that the test sees its stream while it plays.
python3 -c 'import wave, struct, sys
w = wave.open(sys.argv[1], "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(b"".join(struct.pack("<h", (i * 37) % 20000 - 10000) for i in range(12000))); w.close()' \
    "$work/ding.wav"
# Hot key Ctrl+Alt+W writes a new message; popups stay until closed; a sound
# for every personal message.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"HotKeyEnabled"=dword:00000001\r\n"HotKeyWriteNewMsg"=dword:00000657\r\n"RecvMsgPopWndAutoclose"=dword:00000000\r\n"SoundEnabled"=dword:00000001\r\n"RecvMsgSoundNotify"=dword:00000001\r\n"SoundEventIncMsgPriv"="%s"\r\n' \
    "$work/ding.wav" >"$work/home1/user.reg"

run_messenger() {  # run_messenger LOG: starts it in the background; $! is its pid
    # shellcheck disable=SC2086
    ip netns exec $nsset-ns1 env $alice_env DISPLAY="$DISPLAY" \
        DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" PULSE_SERVER="$PULSE_SERVER" \
        "$messenger" >"$1" 2>&1 &
}
start_messenger() {  # start_messenger LOG: runs it, waits for the tray icon
    run_messenger "$1"
    messenger_pid=$!
    icon=
    for _ in $(seq 100); do
        icon=$(tray_icon_centre)
        [[ -n $icon ]] && break
        sleep 0.1
    done
    check "the tray icon is in the tray" test -n "$icon"
}
# The clipboard starts each copy with a text of the test's own; what a copy
# put there is read once the clipboard changed (up to 5 s).
clipboard_sentinel="clipboard before copy"
clear_clipboard() {
    # Not on our output: a command substitution around this would wait for
    # the child xclip leaves running until something else takes the clipboard.
    printf '%s' "$clipboard_sentinel" | xclip -selection clipboard -i >/dev/null 2>&1
    # xclip takes the selection in a child it leaves running: wait for it, or
    # it could take the selection back after the program's copy.
    for _ in $(seq 50); do
        [[ $(xclip -selection clipboard -o 2>/dev/null) == "$clipboard_sentinel" ]] && return 0
        sleep 0.1
    done
}
copied_text() {  # prints the clipboard once it changed, or the test's text after 5 s
    local text
    for _ in $(seq 50); do
        text=$(xclip -selection clipboard -o 2>/dev/null)
        [[ $text != "$clipboard_sentinel" ]] && break
        sleep 0.1
    done
    printf '%s\n' "$text"
}
copied() {  # copied KEYS...: presses the keys, prints what they put on the clipboard
    clear_clipboard
    xdotool key "$@"
    copied_text
}
same() {  # same ACTUAL EXPECTED
    [[ "$1" == "$2" ]] || { printf 'got:      %q\nexpected: %q\n' "$1" "$2"; return 1; }
}
ended_within() {  # ended_within PID SECONDS: the process ended; sets $status to its exit code
    for _ in $(seq $(($2 * 10))); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            status=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}
window_of() {  # window_of PID: a viewable window of the process, waiting up to 20 s
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1)
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

echo "== corvane-messenger refuses to start while corvane listen runs"
# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env "$corvane" listen >/dev/null 2>"$work/alice-listen.err" &
alice_listen=$!
pids+=("$alice_listen")
listen_runs() {
    for _ in $(seq 150); do
        grep -q "control socket" "$work/alice-listen.err" && return 0
        sleep 0.1
    done
    cat "$work/alice-listen.err"
    return 1
}
check "corvane listen runs as ALICE" listen_runs
run_messenger "$work/refused.out"
refused=$!
box=$(window_of "$refused")
check "corvane-messenger shows a message box" test -n "$box"
check "titled Corvane Messenger" same "$(xdotool getwindowname "$box" 2>&1)" "Corvane Messenger"
# The box's text is in the screenshot; the program prints it too.
import -window root "$artefacts/refused-while-listen.png"
refusal="Corvane Messenger cannot start: a command-line station of user ALICE (corvane listen) runs"
check "and says why on standard error" grep -qF "$refusal" "$work/refused.out"
check "without a tray icon" test -z "$(tray_icon_centre)"
# Without a box, focusing "" would leave the keyboard focus on no window.
[[ -n $box ]] && xdotool windowfocus --sync "$box" 2>/dev/null && xdotool key Return
check "it ends once the box is closed" ended_within "$refused" 10
check "with exit code 1" test "$status" -eq 1
kill "$alice_listen"
wait "$alice_listen"
check "corvane listen then stops cleanly" grep -q "corvane: stopped" "$work/alice-listen.err"

echo "== corvane-messenger as ALICE in namespace 1"
start_messenger "$work/messenger.out"

cat >"$work/client.conf" <<CONF
[global]
    workgroup = TESTGRP
    interfaces = eth0
    name resolve order = bcast
CONF
registered() {
    for _ in $(seq 150); do
        ip netns exec $nsset-ns2 nmblookup -s "$work/client.conf" 'ALICE#03' 2>/dev/null |
            grep -q '198.18.0.1 ALICE<03>' && return 0
        sleep 0.1
    done
    return 1
}
check "ALICE's name is registered on the LAN" registered
# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env "$corvane" listen >"$work/listen-refused.out" 2>&1
check "corvane listen refuses while the desktop program runs" test $? -eq 1
check "and says why" grep -q "desktop program (corvane-messenger) runs" "$work/listen-refused.out"
run_messenger "$work/second.out"
second=$!
check "a second corvane-messenger of ALICE ends by itself" ended_within "$second" 20
check "quietly, with exit code 0" test "$status" -eq 0

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
    sleep 0.3  # lets a menu open before the keys that follow
}
popup_text() {  # the shown message, through "More..." and "Copy"
    clear_clipboard
    popup_button "$1" 3
    xdotool key Down Return
    copied_text
}
title_is() {  # title_is ID TEXT: the window's title begins with TEXT within 5 s
    for _ in $(seq 50); do
        [[ $(xdotool getwindowname "$1") == "$2"* ]] && return 0
        sleep 0.1
    done
    echo "title: $(xdotool getwindowname "$1")"
    return 1
}
bob_received() {  # bob_received TEXT: BOB's station got TEXT, addressed to BOB, within 10 s
    for _ in $(seq 100); do
        grep -Fq "\"sender\":\"ALICE\",\"recipient\":\"BOB\",\"text\":\"$1\"" "$work/bob.out" &&
            return 0
        sleep 0.1
    done
    cat "$work/bob.out"
    return 1
}
sound_played() {  # a stream of the chosen sound file reached the sound server, within 10 s
    for _ in $(seq 100); do
        pactl list sink-inputs 2>/dev/null | grep -qF "media.filename = \"$work/ding.wav\"" &&
            return 0
        sleep 0.1
    done
    echo "no stream of $work/ding.wav; the sound server's streams:"
    pactl list sink-inputs
    return 1
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
printf '%s' "$text1" | ip netns exec $nsset-ns2 timeout 20 smbclient -s "$work/client.conf" \
    -M ALICE -U CAROL -N >"$work/smbclient.out" 2>&1
check "smbclient -M delivered" test $? -eq 0
check "the chosen sound plays" sound_played
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
start_bob() {  # start_bob LOG: BOB's station, its messages appended to bob.out
    # shellcheck disable=SC2086
    ip netns exec $nsset-ns3 env $bob_env "$corvane" listen --json >>"$work/bob.out" 2>"$work/$1" &
    bob_pid=$!
    pids+=("$bob_pid")
    for _ in $(seq 150); do
        grep -q "name BOB personal: registered" "$work/$1" &&
            grep -q "TESTGRP group: registered" "$work/$1" && return 0
        sleep 0.1
    done
    echo "BOB's station did not register:"
    cat "$work/$1"
    return 1
}
check "BOB's station registers" start_bob bob.err
text2="Alice, the build is green. From corvane send"
# shellcheck disable=SC2086
ip netns exec $nsset-ns3 env $bob_env "$corvane" send ALICE "$text2" >"$work/send.out" 2>&1
check "corvane send delivered" test $? -eq 0
check "the open popup counts two messages" title_is "$popup" "Messages received (1/2)"
popup_button "$popup" 2  # ">"
check "the popup pages to the second message" title_is "$popup" "Messages received (2/2)"
check "it shows corvane send's text" same "$(popup_text "$popup")" "$text2"
import -window root "$artefacts/popup-corvane-send.png"

echo "== corvane send in ALICE's session goes through the desktop program"
# A station of its own could not start beside the desktop program: only the
# hand-over gets the message out.
text_cli="Bob, sent with corvane send beside the desktop program"
# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env "$corvane" send BOB "$text_cli" >"$work/send-alice.out" 2>&1
status=$?
check "corvane send exits 0" test "$status" -eq 0
check "BOB's station received it from ALICE" bob_received "$text_cli"
archived() {  # archived TEXT: ALICE's archive holds TEXT in the dialogue with BOB, within 10 s
    for _ in $(seq 20); do
        # shellcheck disable=SC2086
        ip netns exec $nsset-ns1 env $alice_env "$corvane" history BOB >"$work/history-bob.out" 2>&1
        grep -Fq "$1" "$work/history-bob.out" && return 0
        sleep 0.5
    done
    cat "$work/history-bob.out"
    return 1
}
# The program files a sent message after the sender has its result.
check "and the desktop program archived it" archived "$text_cli"

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
check "the answer is signed ALICE, addressed to BOB" bob_received "$answer"
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
ip netns exec $nsset-ns1 env $alice_env "$corvane" history >"$work/history.out" 2>&1
# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env "$corvane" history BOB >"$work/history-bob.out" 2>&1
check "the archive lists CAROL's message" grep -Fq "$text1" "$work/history.out"
check "the archive holds BOB's message" grep -Fq "$text2" "$work/history-bob.out"
check "and the answer sent to BOB" archived "$answer"

# ---- the archive window ------------------------------------------------------
window_named() {  # window_named PATTERN: a viewable window's id, waiting up to 10 s
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [[ -n $id ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
gone() {  # gone ID: the window is hidden or closed within 5 s
    for _ in $(seq 50); do
        xwininfo -id "$1" 2>/dev/null | grep -q "IsViewable" || return 0
        sleep 0.1
    done
    return 1
}
tray_menu() {  # opens the tray menu
    read -r icon_x icon_y <<<"$(tray_icon_centre)"
    xdotool mousemove "$icon_x" "$icon_y" click 3
    sleep 0.5
}

echo "== the archive window"
tray_menu
xdotool key Down Down Return  # "Read messages..."
archive=$(window_named '^Message archive$')
check "Read messages... opens the archive window" test -n "$archive"
xdotool windowfocus --sync "$archive" 2>/dev/null
sleep 0.3
# The dialogue list, newest first: BOB's (his newest is the answer), CAROL's.
check "the newest dialogue is BOB's, with the answer" same "$(copied ctrl+c)" "$answer"
check "the other one is CAROL's" same "$(copied End ctrl+c)" "$text1"
import -window root "$artefacts/archive-dialogues.png"
eval "$(xdotool getwindowgeometry --shell "$archive")"
xdotool mousemove $((X + 60)) $((Y + 17)) click 1  # the search field
sleep 0.2
xdotool type --delay 20 "lunch"
xdotool key Down  # to the dialogues found
searched() {  # the search runs 500 ms after the last key and selects its first row
    for _ in $(seq 50); do
        [[ $(copied Home ctrl+c) == "$text1" ]] && return 0
        sleep 0.2
    done
    same "$(copied Home ctrl+c)" "$text1"
}
check "searching \"lunch\" leaves CAROL's dialogue first" searched
check "and alone" same "$(copied End ctrl+c)" "$text1"
import -window root "$artefacts/archive-search.png"
xdotool key Return  # open it
sleep 0.5
# "Copy" from the row menu (Write message to sender, Copy, Delete).
check "CAROL's dialogue holds smbclient's message" same "$(copied Menu Down Down Return)" "$text1"
import -window root "$artefacts/archive-dialogue-carol.png"
xdotool key Escape
check "Escape hides the archive window" gone "$archive"

# ---- the contact list -----------------------------------------------------------
contact_list() {  # the shown contact list's id (the 260 pixels wide window), up to 10 s
    local id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name '^Corvane Messenger$' 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$id")"
            ((WIDTH == 260)) && { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
open_contact_list() {  # a left click on the tray icon; sets $contacts
    read -r icon_x icon_y <<<"$(tray_icon_centre)"
    xdotool mousemove "$icon_x" "$icon_y" click 1
    contacts=$(contact_list)
}
# From top to bottom the list is: frame 1, the contact lines, separator 2,
# three link lines, 1, frame 1. The separator's upper line has the frame's
# colour across the window; the links give the line height, the space above
# the separator then holds a whole number of contact lines.
measure_list() {  # measure_list ID: sets $line_height and $lines (contact lines) from its pixels
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/contact-list.png"
    read -r line_height lines < <(convert "$work/contact-list.png" -depth 8 rgb:- | python3 -c '
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
data = sys.stdin.buffer.read()
def pixel(x, y):
    i = 3 * (y * w + x)
    return data[i:i + 3]
frame = pixel(0, h // 2)
for y in range(1, h - 1):
    if sum(pixel(x, y) == frame for x in range(1, w - 1)) >= 0.9 * (w - 2):
        break
else:
    sys.exit(print(0, "none (no separator)"))
contacts, links = y - 1, h - y - 4
if links <= 0 or links % 3 != 0:
    sys.exit(print(0, f"none (links {links} pixels high)"))
line = links // 3
print(line, contacts // line if contacts % line == 0 else f"none ({contacts} pixels, lines of {line})")
' "$WIDTH" "$HEIGHT")
    ((line_height > 0))
}
click_line() {  # click_line ID LINE: a contact line (0 the first) or, negative, a link (-3 first)
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local y
    if (($2 >= 0)); then
        y=$((Y + 1 + $2 * line_height + line_height / 2))
    else
        y=$((Y + HEIGHT - 2 + $2 * line_height + line_height / 2))
    fi
    xdotool mousemove $((X + 130)) "$y" click 1
}
green_dots() {  # green_dots ID: pixels of the online mark in the contact lines
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "$((WIDTH - 2))x$(((HEIGHT - 5) - 3 * line_height))+$((X + 1))+$((Y + 1))" \
        +repage "$work/contact-lines.png"
    convert "$work/contact-lines.png" txt:- | grep -ci '#1EA032'
}
send_from() {  # send_from ID TEXT SHOT: types TEXT in write window ID and sends it
    xdotool windowfocus --sync "$1" 2>/dev/null
    xdotool type --delay 20 "$2"
    import -window root "$artefacts/$3"
    xdotool key ctrl+Return
}

echo "== a new contact from the contact list"
# BOB's station stops first: whenever the presence thread probes him (its
# first pass comes 10 s after the start), he is offline.
kill "$bob_pid"
wait "$bob_pid"
check "BOB's station stops for a while" grep -q "corvane: stopped" "$work/bob.err"
mouse_away() { xdotool mousemove 1279 0; sleep 0.3; }
open_contact_list
check "a left click on the tray icon shows the contact list" test -n "$contacts"
mouse_away
check "its separator and three links are drawn" measure_list "$contacts"
check "no contacts: one line (saying so)" same "$lines" 1
import -window root "$artefacts/contacts-empty.png"
click_line "$contacts" -3  # "Add new contact"
edit=$(window_named '^Contact information$')
check "Add new contact opens the contact dialog" test -n "$edit"
check "and hides the contact list" gone "$contacts"
xdotool windowfocus --sync "$edit" 2>/dev/null
# Recipient name (focused), display name, group, then Save.
xdotool type --delay 20 "BOB"
xdotool key Tab
xdotool type --delay 20 "Bob the builder"
xdotool key Tab
xdotool type --delay 20 "Team"
import -window root "$artefacts/contact-dialog.png"
xdotool key Tab Return
check "Save closes the dialog" gone "$edit"
open_contact_list
check "the contact list shows again" test -n "$contacts"
mouse_away
measure_list "$contacts"
check "with the group Team and BOB in it" same "$lines" 2
import -window root "$artefacts/contacts-bob-offline.png"
check "BOB is not marked online" same "$(green_dots "$contacts")" 0
check "BOB's station runs again" start_bob bob2.err
write_window_other_than() {  # write_window_other_than ID...: a new write window, up to 10 s
    local id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name '^Write message' 2>/dev/null); do
            [[ " $* " == *" $id "* ]] || { echo "$id"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
click_line "$contacts" 1
write=$(write_window_other_than "$hotkey_window")
check "a click on BOB opens a write window" test -n "$write"
check "and hides the contact list" gone "$contacts"
text3="Bob, this one comes through the contact list"
send_from "$write" "$text3" contact-write-window.png
check "BOB's station received it, addressed to BOB" bob_received "$text3"
check "the write window closed after delivering" gone "$write"

quit_messenger() {  # quits from the tray menu; checks the exit
    tray_menu
    import -window root "$artefacts/tray-menu.png"
    xdotool key Up Return
    check "the program ends" ended_within "$messenger_pid" 10
    messenger_pid=
    check "with exit code 0" test "$status" -eq 0
    check "and its tray icon is gone" test -z "$(tray_icon_centre)"
}
echo "== Exit Corvane from the tray menu"
quit_messenger
cp "$work/messenger.out" "$artefacts/messenger.out"
echo "--- corvane-messenger said:"
cat "$work/messenger.out"

echo "== corvane-messenger again: BOB online"
start_messenger "$work/messenger2.out"
open_contact_list
check "the contact list shows" test -n "$contacts"
mouse_away
measure_list "$contacts"
check "with the group and BOB, kept in the contact list file" same "$lines" 2
online() {  # the first pass of the presence thread comes 10 s after the start
    for _ in $(seq 60); do
        (($(green_dots "$contacts") >= 4)) && return 0
        sleep 0.5
    done
    echo "no online mark in the contact lines"
    return 1
}
check "BOB turns online (his station answers)" online
import -window root "$artefacts/contacts-bob-online.png"

echo "== the LAN browser"
click_line "$contacts" -2  # "Find users in network"
browser=$(window_named '^Local network search$')
check "Find users in network opens the LAN browser" test -n "$browser"
xdotool windowfocus --sync "$browser" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$browser")"
start_button="$((X + 55)) $((Y + 16))"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 60)) click 1  # below the rows
listed() {  # listed ROWS NAME COMPUTER DOMAIN: a row with these cells, available
    awk -F'\t' -v n="$2" -v c="$3" -v d="$4" \
        '$1 == n && (c == "" || $3 == c) && $4 == d && $5 == "Available" { found = 1 }
         END { exit !found }' <<<"$1"
}
all_listed() {  # all_listed ROWS: BOB's station, BOB and the workgroup, all available
    listed "$1" BOB PC3 TESTGRP && listed "$1" PC3 PC3 TESTGRP && listed "$1" TESTGRP "" TESTGRP
}
found_all() {  # polls the list through Ctrl+A and Ctrl+C for up to 45 s
    local rows i
    for i in $(seq 90); do
        rows=$(copied ctrl+a ctrl+c)
        all_listed "$rows" && break
        # A search lists the neighbourhood as last scanned, and the first scan
        # may still run: "Start search" again every 10 s (disabled while a
        # search runs).
        # shellcheck disable=SC2086
        ((i % 20 == 0)) && xdotool mousemove $start_button click 1
        sleep 0.5
    done
    printf '%s\n' "$rows" >"$artefacts/lan-rows.txt"
    all_listed "$rows" && return 0
    cat "$artefacts/lan-rows.txt"
    return 1
}
check "it lists PC3, BOB and TESTGRP, available" found_all
import -window root "$artefacts/lan-browser.png"
# BOB's row by typing his name, then "Write message" from the row menu.
xdotool type --delay 50 "BOB"
check "typing BOB selects his row alone" listed "$(copied ctrl+c)" BOB PC3 TESTGRP
check "and nothing else" same "$(copied ctrl+c | wc -l)" 1
xdotool key Menu Down Return
write=$(write_window_other_than)
check "Write message opens a write window" test -n "$write"
text4="Bob, found you in the network"
send_from "$write" "$text4" lan-write-window.png
check "BOB's station received it, addressed to BOB" bob_received "$text4"
check "the write window closed after delivering" gone "$write"

echo "== the options: a message opens the archive instead of the popup"
tray_menu
xdotool key Down Down Down Return  # "Change options..."
options=$(window_named '^Options$')
check "Change options... opens the options dialog" test -n "$options"
xdotool windowfocus --sync "$options" 2>/dev/null
# The tree has the focus: the page by its name, then Tab to its first radio
# group, Down to its second button, and Return for OK.
xdotool type --delay 20 "Message receiving"
xdotool key Tab Down
sleep 0.3
import -window root "$artefacts/options-receiving.png"
xdotool key Return
check "OK closes the dialog" gone "$options"
check "and the choice is saved" grep -q '"RecvMsgMainAct"=dword:00000002' "$work/home1/user.reg"
text5="Alice, this one should open your archive"
# shellcheck disable=SC2086
ip netns exec $nsset-ns3 env $bob_env "$corvane" send ALICE "$text5" >"$work/send5.out" 2>&1
check "corvane send delivered" test $? -eq 0
archive=$(window_named '^Message archive$')
check "the message opens the archive window" test -n "$archive"
# A copy from the archive window passes through the program's event queue
# after all the message made it do: a popup would be on the screen by then.
xdotool windowfocus --sync "$archive" 2>/dev/null
check "which has the message selected" same "$(copied ctrl+c)" "$text5"
import -window root "$artefacts/options-archive-opened.png"
check "and no popup" test -z "$(xdotool search --onlyvisible --name '^Messages received' 2>/dev/null)"
# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env "$corvane" history BOB >"$work/history-bob2.out" 2>&1
check "the archive holds the message" grep -Fq "$text5" "$work/history-bob2.out"

echo "== Exit Corvane again"
quit_messenger
cp "$work/messenger2.out" "$artefacts/messenger2.out"
echo "--- corvane-messenger said:"
cat "$work/messenger2.out"
netns_finish
