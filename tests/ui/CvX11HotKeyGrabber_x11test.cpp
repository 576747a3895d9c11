#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QObject>
#include <QProcess>
#include <QtTest>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include "ui/shell/CvX11HotKeyGrabber.h"

namespace {

constexpr uint8_t kVkM = 0x4D;
constexpr uint8_t kVkN = 0x4E;
constexpr uint32_t kCtrlAlt = 3;         // Control 2 + Alt 1
constexpr xcb_keysym_t kKeysymM = 0x6D;  // XK_m
constexpr int kTimeoutMs = 5000;

// Presses keys as a user would, through the XTEST extension.
bool Press(const QString& keys) {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}) == 0;
}

// Another X client, to hold grabs the grabber under test must respect.
class OtherClient {
public:
    OtherClient() {
        int screen = 0;
        m_connection = xcb_connect(nullptr, &screen);
        if (!Connected()) {
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screen; ++i) {
            xcb_screen_next(&it);
        }
        m_root = it.data->root;
    }
    ~OtherClient() { xcb_disconnect(m_connection); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool Connected() const { return xcb_connection_has_error(m_connection) == 0; }

    xcb_keycode_t Keycode(xcb_keysym_t keysym) {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes != nullptr ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return code;
    }

    // False when the server refused the grab.
    bool GrabKey(xcb_keycode_t code, uint16_t modifiers) {
        xcb_generic_error_t* error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, code,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

    void UngrabKey(xcb_keycode_t code, uint16_t modifiers) {
        xcb_ungrab_key(m_connection, code, m_root, modifiers);
        xcb_flush(m_connection);
    }

    // The keyboard's modifier and lock state now.
    uint16_t ModifierState() {
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
        const uint16_t mask = reply != nullptr ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
};

// Runs `onFirstPress`, posted to the event loop, when the first key press
// event arrives.
class KeyPressSpy : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (!seen && eventType == "xcb_generic_event_t" &&
            (static_cast<xcb_generic_event_t*>(message)->response_type & 0x7F) == XCB_KEY_PRESS) {
            seen = true;
            QMetaObject::invokeMethod(qApp, onFirstPress, Qt::QueuedConnection);
        }
        return false;
    }

    std::function<void()> onFirstPress;
    bool seen = false;
};

// Restores an environment variable at the end of a scope.
class EnvironmentGuard {
public:
    explicit EnvironmentGuard(const char* name)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name)) {}
    ~EnvironmentGuard() {
        if (m_wasSet) {
            qputenv(m_name, m_value);
        } else {
            qunsetenv(m_name);
        }
    }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_value;
};

}  // namespace

class CvX11HotKeyGrabberTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "this test needs an X server (run it through ctest, which starts xvfb-run)");
    }

    void init() {
        m_presses.clear();
        m_grabber = std::make_unique<CvX11HotKeyGrabber>();
        m_grabber->SetPressHandler([this](int id) { m_presses.push_back(id); });
    }

    void cleanup() { m_grabber.reset(); }

    void pressOfAGrabbedCombinationReachesTheHandler() {
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, std::vector<int>{21}, kTimeoutMs);

        // Other modifiers are another combination.
        QVERIFY(Press(QStringLiteral("ctrl+m")));
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, (std::vector<int>{21, 21}), kTimeoutMs);
    }

    void lockKeysDoNotMatter() {
        OtherClient observer;
        QVERIFY(observer.Connected());
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));

        QVERIFY(Press(QStringLiteral("Caps_Lock")));
        QVERIFY((observer.ModifierState() & XCB_MOD_MASK_LOCK) != 0);
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QVERIFY(Press(QStringLiteral("Num_Lock")));
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QVERIFY(Press(QStringLiteral("Caps_Lock")));
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QVERIFY(Press(QStringLiteral("Num_Lock")));
        QVERIFY((observer.ModifierState() & XCB_MOD_MASK_LOCK) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, (std::vector<int>{21, 21, 21}), kTimeoutMs);
    }

    void combinationHeldByAnotherProgramIsRefused() {
        OtherClient other;
        QVERIFY(other.Connected());
        const xcb_keycode_t m = other.Keycode(kKeysymM);
        QVERIFY(m != 0);
        const uint16_t ctrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
        QVERIFY(other.GrabKey(m, ctrlAlt));

        QVERIFY(!m_grabber->Grab(21, kCtrlAlt, kVkM, false));
        // The lock variants that were granted were given back.
        QVERIFY(other.GrabKey(m, ctrlAlt | XCB_MOD_MASK_LOCK));
        other.UngrabKey(m, ctrlAlt | XCB_MOD_MASK_LOCK);

        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        other.UngrabKey(m, ctrlAlt);
        QVERIFY(m_grabber->Grab(22, kCtrlAlt, kVkN, false));  // a marker: presses arrive in order
        QVERIFY(Press(QStringLiteral("ctrl+alt+n")));
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, std::vector<int>{22}, kTimeoutMs);

        // Free again, it can be had.
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));
    }

    void oneCombinationBelongsToOneId() {
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));
        QVERIFY(!m_grabber->Grab(22, kCtrlAlt, kVkM, false));
        // Grabbing the same id again replaces its combination.
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkN, false));
        QVERIFY(m_grabber->Grab(22, kCtrlAlt, kVkM, false));
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QVERIFY(Press(QStringLiteral("ctrl+alt+n")));
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, (std::vector<int>{22, 21}), kTimeoutMs);
    }

    void ungrabStopsDelivery() {
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));
        QVERIFY(m_grabber->Grab(22, kCtrlAlt, kVkN, false));
        m_grabber->Ungrab(21);
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QVERIFY(Press(QStringLiteral("ctrl+alt+n")));
        // Events arrive in order: once 22 is in, a press for 21 would be too.
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, std::vector<int>{22}, kTimeoutMs);

        // The released combination is free for others.
        OtherClient other;
        QVERIFY(other.GrabKey(other.Keycode(kKeysymM), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    }

    void ungrabDropsAPressAlreadyOnItsWay() {
        QVERIFY(m_grabber->Grab(21, kCtrlAlt, kVkM, false));
        QVERIFY(m_grabber->Grab(22, kCtrlAlt, kVkN, false));
        // Installed last, the spy sees the press first; what it posts runs
        // before the grabber's queued delivery of the same press.
        KeyPressSpy spy;
        spy.onFirstPress = [this] { m_grabber->Ungrab(21); };
        qApp->installNativeEventFilter(&spy);
        QVERIFY(Press(QStringLiteral("ctrl+alt+m")));
        QTRY_VERIFY_WITH_TIMEOUT(spy.seen, kTimeoutMs);
        QVERIFY(Press(QStringLiteral("ctrl+alt+n")));
        QTRY_COMPARE_WITH_TIMEOUT(m_presses, std::vector<int>{22}, kTimeoutMs);
        qApp->removeNativeEventFilter(&spy);
    }

    void availableOnlyOutsideWaylandSessions() {
        EnvironmentGuard waylandDisplay("WAYLAND_DISPLAY");
        EnvironmentGuard sessionType("XDG_SESSION_TYPE");
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("XDG_SESSION_TYPE", "x11");
        std::string why = "stale";
        QVERIFY(CvX11HotKeyGrabber::Available(&why));
        QCOMPARE(why, std::string());

        qputenv("WAYLAND_DISPLAY", "wayland-0");
        QVERIFY(!CvX11HotKeyGrabber::Available(&why));
        QVERIFY(why.find("Wayland") != std::string::npos);
        QVERIFY(why.find('\n') == std::string::npos);

        qunsetenv("WAYLAND_DISPLAY");
        qputenv("XDG_SESSION_TYPE", "wayland");
        QVERIFY(!CvX11HotKeyGrabber::Available(nullptr));
    }

private:
    std::unique_ptr<CvX11HotKeyGrabber> m_grabber;
    std::vector<int> m_presses;
};

QTEST_MAIN(CvX11HotKeyGrabberTest)
#include "CvX11HotKeyGrabber_x11test.moc"
