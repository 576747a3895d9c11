#include "ui/shell/CvX11HotKeyGrabber.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include "app/CvHotKey.h"

namespace {

constexpr xcb_keysym_t kKeysymNumLock = 0xFF7F;  // XK_Num_Lock
constexpr xcb_keysym_t kKeysymAltL = 0xFFE9;     // XK_Alt_L
constexpr xcb_keysym_t kKeysymAltR = 0xFFEA;     // XK_Alt_R

// Shift, Lock, Control and Mod1-Mod5; the higher bits of a key event's state
// are mouse buttons.
constexpr uint16_t kModifierBits = 0xFF;

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
template <class T>
using XcbMemory = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* ApplicationConnection() {
    if (qGuiApp == nullptr) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

bool Contains(const std::vector<uint8_t>& keycodes, uint8_t keycode) {
    return std::find(keycodes.begin(), keycodes.end(), keycode) != keycodes.end();
}

// Every subset of `bits`: the lock states a grab must cover.
std::vector<uint16_t> Subsets(uint16_t bits) {
    std::vector<uint16_t> subsets;
    for (uint16_t subset = bits;; subset = (subset - 1) & bits) {
        subsets.push_back(subset);
        if (subset == 0) {
            break;
        }
    }
    return subsets;
}

// The server's keyboard mapping as it is now (it changes with the layout,
// so it is read for every grab).
class KeyboardMap {
public:
    explicit KeyboardMap(xcb_connection_t* connection)
        : m_symbols(xcb_key_symbols_alloc(connection)),
          m_modifiers(xcb_get_modifier_mapping_reply(
              connection, xcb_get_modifier_mapping(connection), nullptr)) {}
    ~KeyboardMap() {
        if (m_symbols != nullptr) {
            xcb_key_symbols_free(m_symbols);
        }
    }
    KeyboardMap(const KeyboardMap&) = delete;
    KeyboardMap& operator=(const KeyboardMap&) = delete;

    std::vector<uint8_t> Keycodes(xcb_keysym_t keysym) const {
        std::vector<uint8_t> keycodes;
        if (m_symbols == nullptr) {
            return keycodes;
        }
        XcbMemory<xcb_keycode_t> found(xcb_key_symbols_get_keycode(m_symbols, keysym));
        for (const xcb_keycode_t* code = found.get(); code != nullptr && *code != XCB_NO_SYMBOL;
             ++code) {
            if (!Contains(keycodes, *code)) {
                keycodes.push_back(*code);
            }
        }
        return keycodes;
    }

    // The modifier bit that a key producing `keysym` sets, or 0.
    uint16_t ModifierOf(xcb_keysym_t keysym) const {
        if (m_modifiers == nullptr) {
            return 0;
        }
        const std::vector<uint8_t> keycodes = Keycodes(keysym);
        const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(m_modifiers.get());
        const int perModifier = m_modifiers->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = map[modifier * perModifier + i];
                if (code != 0 && Contains(keycodes, code)) {
                    return static_cast<uint16_t>(1u << modifier);
                }
            }
        }
        return 0;
    }

private:
    xcb_key_symbols_t* m_symbols;
    XcbMemory<xcb_get_modifier_mapping_reply_t> m_modifiers;
};

}  // namespace

CvX11HotKeyGrabber::CvX11HotKeyGrabber() : m_connection(ApplicationConnection()) {
    if (m_connection == nullptr) {
        return;
    }
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
         it.rem > 0; xcb_screen_next(&it)) {
        m_roots.push_back(it.data->root);
    }
    qGuiApp->installNativeEventFilter(this);
}

CvX11HotKeyGrabber::~CvX11HotKeyGrabber() {
    // Once the application has closed its connection the grabs went with it.
    if (m_connection != nullptr && ApplicationConnection() == m_connection) {
        for (const auto& [id, combination] : m_grabs) {
            Release(combination);
        }
    }
    // The filter is removed by ~QAbstractNativeEventFilter.
}

bool CvX11HotKeyGrabber::Available(std::string* why) {
    std::string reason;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")) {
        reason =
            "Global hot keys are off in this Wayland session: X11 key grabs would only fire while "
            "a window of this program has the focus.";
    } else if (ApplicationConnection() == nullptr) {
        const QString platform =
            qGuiApp != nullptr ? QGuiApplication::platformName() : QStringLiteral("none");
        reason = "Global hot keys need the X11 (xcb) display platform; this session uses \"" +
                 platform.toStdString() + "\".";
    }
    if (why != nullptr) {
        *why = reason;
    }
    return reason.empty();
}

bool CvX11HotKeyGrabber::Grab(int id, uint32_t modifiers, uint8_t virtualKey, bool extended) {
    Q_ASSERT(QThread::currentThread() == m_deliveryContext.thread());
    Ungrab(id);
    const uint32_t keysym = CvVirtualKeyToKeysym(virtualKey, extended);
    if (m_connection == nullptr || keysym == 0) {
        return false;
    }

    const KeyboardMap keyboard(m_connection);
    Combination combination;
    combination.keycodes = keyboard.Keycodes(keysym);
    if (combination.keycodes.empty()) {
        return false;
    }
    uint16_t alt = keyboard.ModifierOf(kKeysymAltL);
    alt = alt != 0 ? alt : keyboard.ModifierOf(kKeysymAltR);
    alt = alt != 0 ? alt : static_cast<uint16_t>(XCB_MOD_MASK_1);
    if ((modifiers & CvHotKeyModifier::kShift) != 0) {
        combination.modifiers |= XCB_MOD_MASK_SHIFT;
    }
    if ((modifiers & CvHotKeyModifier::kControl) != 0) {
        combination.modifiers |= XCB_MOD_MASK_CONTROL;
    }
    if ((modifiers & CvHotKeyModifier::kAlt) != 0) {
        combination.modifiers |= alt;
    }
    combination.ignoredModifiers = static_cast<uint16_t>(
        (XCB_MOD_MASK_LOCK | keyboard.ModifierOf(kKeysymNumLock)) & ~combination.modifiers);

    // X lets a client grab a combination twice; the system's registration does
    // not, and an Ungrab of one id would silently take the other's key.
    for (const auto& entry : m_grabs) {
        const auto& other = entry.second;
        if (other.modifiers == combination.modifiers &&
            std::any_of(combination.keycodes.begin(), combination.keycodes.end(),
                        [&other](uint8_t code) { return Contains(other.keycodes, code); })) {
            return false;
        }
    }

    // Owner events off: every press goes to the root, also while one of our
    // own windows has the focus.
    std::vector<xcb_void_cookie_t> cookies;
    const std::vector<uint16_t> lockStates = Subsets(combination.ignoredModifiers);
    for (uint32_t root : m_roots) {
        for (uint8_t code : combination.keycodes) {
            for (uint16_t locks : lockStates) {
                cookies.push_back(xcb_grab_key_checked(m_connection, 0, root,
                                                       combination.modifiers | locks, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            }
        }
    }
    // Every cookie is checked, so that no error is left for Qt to report.
    bool refused = false;
    for (xcb_void_cookie_t cookie : cookies) {
        XcbMemory<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        refused = refused || error != nullptr;  // BadAccess: another client holds it
    }
    if (refused) {
        Release(combination);
        return false;
    }
    combination.serial = m_nextSerial++;
    m_grabs.emplace(id, std::move(combination));
    return true;
}

void CvX11HotKeyGrabber::Ungrab(int id) {
    Q_ASSERT(QThread::currentThread() == m_deliveryContext.thread());
    auto it = m_grabs.find(id);
    if (it == m_grabs.end()) {
        return;
    }
    Release(it->second);
    m_grabs.erase(it);
}

void CvX11HotKeyGrabber::SetPressHandler(std::function<void(int id)> handler) {
    m_handler = std::move(handler);
}

void CvX11HotKeyGrabber::Release(const Combination& combination) {
    // Releasing a variant another client holds leaves that client's grab alone.
    const std::vector<uint16_t> lockStates = Subsets(combination.ignoredModifiers);
    for (uint32_t root : m_roots) {
        for (uint8_t code : combination.keycodes) {
            for (uint16_t locks : lockStates) {
                xcb_ungrab_key(m_connection, code, root, combination.modifiers | locks);
            }
        }
    }
    xcb_flush(m_connection);
}

bool CvX11HotKeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message,
                                           qintptr* /*result*/) {
    if (m_grabs.empty() || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) {
        return false;
    }
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (std::find(m_roots.begin(), m_roots.end(), press->event) == m_roots.end()) {
        return false;
    }
    for (const auto& [id, combination] : m_grabs) {
        const uint16_t state = press->state & kModifierBits & ~combination.ignoredModifiers;
        if (state != combination.modifiers || !Contains(combination.keycodes, press->detail)) {
            continue;
        }
        // Handed on from the event loop, like a posted message: the handler
        // may open windows or change grabs, which it should not do from
        // inside Qt's event processing.
        const int pressedId = id;
        const uint64_t serial = combination.serial;
        QMetaObject::invokeMethod(
            &m_deliveryContext, [this, pressedId, serial] { Deliver(pressedId, serial); },
            Qt::QueuedConnection);
        return true;
    }
    return false;
}

void CvX11HotKeyGrabber::Deliver(int id, uint64_t serial) {
    // A press of a grab that was released, or replaced, meanwhile is dropped.
    auto it = m_grabs.find(id);
    if (it == m_grabs.end() || it->second.serial != serial || !m_handler) {
        return;
    }
    const std::function<void(int id)> handler = m_handler;  // it may replace itself
    handler(id);
}
