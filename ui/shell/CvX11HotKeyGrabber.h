#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/CvHotKeyGrabber.h"

struct xcb_connection_t;

// Global hot keys as passive key grabs on the X server, over the
// application's own X connection. Each combination is grabbed four times,
// with and without Caps Lock and Num Lock, so that the lock states do not
// matter. Presses are seen by a native event filter and handed to the press
// handler through the event loop.
//
// Keys are grabbed by keycode: a keypad key fires its hot key whatever the Num
// Lock state (VK_NUMPAD8 and the keypad's VK_UP are one key to X, and the
// second of them is refused as taken).
//
// Lives on the GUI thread and must not outlive the QGuiApplication.
class CvX11HotKeyGrabber : public CvHotKeyGrabber, private QAbstractNativeEventFilter {
public:
    // Without an X connection (another Qt platform) every Grab fails.
    CvX11HotKeyGrabber();
    ~CvX11HotKeyGrabber() override;

    CvX11HotKeyGrabber(const CvX11HotKeyGrabber&) = delete;
    CvX11HotKeyGrabber& operator=(const CvX11HotKeyGrabber&) = delete;

    // Whether global hot keys can work in this session. False, with a
    // one-line reason in `why` (may be null), when the Qt platform is not X11
    // or the session is a Wayland one: there X grabs fire only while one of
    // the program's own windows has focus.
    static bool Available(std::string* why);

    bool Grab(int id, uint32_t modifiers, uint8_t virtualKey, bool extended) override;
    void Ungrab(int id) override;
    void SetPressHandler(std::function<void(int id)> handler) override;

private:
    struct Combination {
        std::vector<uint8_t> keycodes;
        uint16_t modifiers = 0;
        uint16_t ignoredModifiers = 0;  // Caps Lock and Num Lock
        uint64_t serial = 0;            // tells a press from one of an earlier grab
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void Deliver(int id, uint64_t serial);
    void Release(const Combination& combination);

    xcb_connection_t* m_connection = nullptr;
    std::vector<uint32_t> m_roots;
    std::map<int, Combination> m_grabs;
    uint64_t m_nextSerial = 1;
    std::function<void(int id)> m_handler;
    // Queued presses are posted to this object and die with it.
    QObject m_deliveryContext;
};
