# A desktop session for the end-to-end desktop test, sourced after
# netns_lib.sh: a private X server, a session bus, a notification daemon, a
# sound server with a null sink and a tray host, started in that order (the
# tray host before the program, so that Qt finds it) and stopped by the
# cleanup hooks. Exports DISPLAY, DBUS_SESSION_BUS_ADDRESS and PULSE_SERVER.

session_pids=()
stop_session() {
    for pid in "${session_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${session_pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    session_pids=()
}
cleanup_hooks+=(stop_session)

session_start() {
    # Xvfb picks a free display itself and writes its number: two sessions
    # started at the same time cannot take the same one.
    local fd
    exec {fd}>"$work/xvfb.display"
    Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    session_pids+=($!)
    exec {fd}>&-
    for _ in $(seq 100); do
        [[ -s $work/xvfb.display ]] && break
        sleep 0.1
    done
    export DISPLAY=:$(cat "$work/xvfb.display")
    xdpyinfo >/dev/null 2>&1 || { echo "FAIL: Xvfb did not start"; cat "$work/xvfb.log"; return 1; }

    local bus=$work/session-bus
    dbus-daemon --session --nofork --address="unix:path=$bus" >"$work/dbus.log" 2>&1 &
    session_pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$bus
    for _ in $(seq 100); do
        [[ -S $bus ]] && break
        sleep 0.1
    done

    dunst -config /dev/null >"$work/dunst.log" 2>&1 &
    session_pids+=($!)
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
            grep -q "boolean true" && break
        sleep 0.1
    done

    mkdir -p "$work/pulse"
    chmod 700 "$work/pulse"
    XDG_RUNTIME_DIR=$work/pulse pulseaudio --daemonize=no -n --exit-idle-time=-1 --disable-shm \
        --load=module-native-protocol-unix --load="module-null-sink sink_name=nullsink" \
        >"$work/pulse.log" 2>&1 &
    session_pids+=($!)
    export PULSE_SERVER=unix:$work/pulse/pulse/native

    trayer --edge bottom --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
    session_pids+=($!)
    for _ in $(seq 100); do
        xwininfo -root -tree 2>/dev/null | grep -q '("panel" "trayer")' && return 0
        sleep 0.1
    done
    echo "FAIL: the tray host did not start"
    return 1
}

# The absolute position of the program's icon in the tray: "X Y" of its
# centre, or nothing.
tray_icon_centre() {
    xwininfo -root -tree 2>/dev/null | awk '
        /\("panel" "trayer"\)/ { inpanel = 1; next }
        inpanel && /"Corvane Messenger": \("corvane-messenger"/ {
            split($NF, abs, "+"); split($(NF-1), size, "x");
            print abs[2] + 11, abs[3] + 11; exit }'
}
