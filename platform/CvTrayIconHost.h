#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the tray icon needs of the desktop: its place in the notification
// area, two timers and the cursor. Icons are identified by number; the host
// maps them to pictures.
class CvTrayIconHost {
public:
    // Where the host delivers what happens, on the user interface thread: the
    // ticks of the timers, and the icon's mouse messages (0x200 the cursor
    // moved over it, at x, y; 0x201 left button down, 0x203 left double
    // click, 0x205 right button up, ...).
    struct Events {
        std::function<void(int id)> timer;
        std::function<void(long message, int x, int y)> mouse;
    };

    virtual ~CvTrayIconHost() = default;

    // Replaces the receivers; empty functions receive nothing.
    virtual void SetEvents(Events events) = 0;

    // Changes the shown icon and tip; false when the icon is not in the
    // notification area (never added, or lost with the panel). Any thread.
    virtual bool Modify(int icon, const std::string& tip) = 0;
    // Puts the icon into the notification area; false when there is none.
    // Any thread.
    virtual bool Add(int icon, const std::string& tip) = 0;
    // Removes the icon. Any thread.
    virtual void Remove() = 0;

    // Starts or restarts timer `id`: its ticks then arrive every `ms`
    // milliseconds until StopTimer.
    virtual void StartTimer(int id, uint32_t ms) = 0;
    virtual void StopTimer(int id) = 0;

    // Where the cursor is; false when the platform does not tell.
    virtual bool CursorPosition(int& x, int& y) = 0;
};
