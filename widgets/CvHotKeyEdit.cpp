#include "widgets/CvHotKeyEdit.h"

#include <QKeyEvent>

#include "app/CvHotKey.h"

namespace {

// X keysyms of the keys Qt names without a character.
struct KeyKeysym {
    int key;
    uint32_t keysym;
};

constexpr KeyKeysym kNamedKeys[] = {
    {Qt::Key_Escape, 0xFF1B},    {Qt::Key_Tab, 0xFF09},        {Qt::Key_Backtab, 0xFE20},
    {Qt::Key_Backspace, 0xFF08}, {Qt::Key_Return, 0xFF0D},     {Qt::Key_Enter, 0xFF8D},
    {Qt::Key_Insert, 0xFF63},    {Qt::Key_Delete, 0xFFFF},     {Qt::Key_Pause, 0xFF13},
    {Qt::Key_Print, 0xFF61},     {Qt::Key_Home, 0xFF50},       {Qt::Key_End, 0xFF57},
    {Qt::Key_Left, 0xFF51},      {Qt::Key_Up, 0xFF52},         {Qt::Key_Right, 0xFF53},
    {Qt::Key_Down, 0xFF54},      {Qt::Key_PageUp, 0xFF55},     {Qt::Key_PageDown, 0xFF56},
    {Qt::Key_Menu, 0xFF67},      {Qt::Key_ScrollLock, 0xFF14}, {Qt::Key_Space, 0x0020},
};

// The same keys on the keypad (Num Lock off for the navigation keys).
constexpr KeyKeysym kKeypadKeys[] = {
    {Qt::Key_Home, 0xFF95},     {Qt::Key_Left, 0xFF96},  {Qt::Key_Up, 0xFF97},
    {Qt::Key_Right, 0xFF98},    {Qt::Key_Down, 0xFF99},  {Qt::Key_PageUp, 0xFF9A},
    {Qt::Key_PageDown, 0xFF9B}, {Qt::Key_End, 0xFF9C},   {Qt::Key_Insert, 0xFF9E},
    {Qt::Key_Delete, 0xFF9F},   {Qt::Key_Clear, 0xFF9D}, {Qt::Key_Asterisk, 0xFFAA},
    {Qt::Key_Plus, 0xFFAB},     {Qt::Key_Minus, 0xFFAD}, {Qt::Key_Period, 0xFFAE},
    {Qt::Key_Slash, 0xFFAF},    {Qt::Key_Enter, 0xFF8D},
};

// What Shift makes of the keys of a US keyboard, back to the plain key.
constexpr char kShiftedFrom[][2] = {
    {'!', '1'},  {'@', '2'}, {'#', '3'},  {'$', '4'}, {'%', '5'}, {'^', '6'}, {'&', '7'},
    {'*', '8'},  {'(', '9'}, {')', '0'},  {'_', '-'}, {'+', '='}, {'{', '['}, {'}', ']'},
    {'|', '\\'}, {':', ';'}, {'"', '\''}, {'<', ','}, {'>', '.'}, {'?', '/'}, {'~', '`'},
};

uint32_t Lookup(const KeyKeysym* begin, const KeyKeysym* end, int key) {
    for (const KeyKeysym* it = begin; it != end; ++it) {
        if (it->key == key) {
            return it->keysym;
        }
    }
    return 0;
}

// The unshifted keysym of a key event, from Qt's key code (the offscreen
// platform and synthetic events carry no native key).
uint32_t KeysymOf(int key, bool keypad) {
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9) {
            return 0xFFB0 + static_cast<uint32_t>(key - Qt::Key_0);
        }
        if (const uint32_t keysym = Lookup(std::begin(kKeypadKeys), std::end(kKeypadKeys), key)) {
            return keysym;
        }
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 0xFFBE + static_cast<uint32_t>(key - Qt::Key_F1);
    }
    if (const uint32_t keysym = Lookup(std::begin(kNamedKeys), std::end(kNamedKeys), key)) {
        return keysym;
    }
    for (const auto& [shifted, plain] : kShiftedFrom) {
        if (key == shifted) {
            return static_cast<uint32_t>(plain);
        }
    }
    // Letters, digits and punctuation: Qt's code is the character's.
    return key > 0x20 && key < 0x7F ? static_cast<uint32_t>(key) : 0;
}

// VK_F1 to VK_F24.
constexpr int32_t kVirtualKeyF1 = 0x70;
constexpr int32_t kVirtualKeyF24 = 0x87;

bool IsModifierKey(int key) {
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R;
}

// The bit of a modifier key itself: X11 reports the state before the event,
// so a press does not count its own key yet and a release still does.
int32_t ModifierKeyBit(int key) {
    switch (key) {
        case Qt::Key_Control:
            return CvHotKeyBits::kControl;
        case Qt::Key_Shift:
            return CvHotKeyBits::kShift;
        case Qt::Key_Alt:
            return CvHotKeyBits::kAlt;
        default:
            return 0;
    }
}

int32_t ModifierBits(Qt::KeyboardModifiers modifiers) {
    int32_t bits = 0;
    bits |= modifiers.testFlag(Qt::ControlModifier) ? CvHotKeyBits::kControl : 0;
    bits |= modifiers.testFlag(Qt::ShiftModifier) ? CvHotKeyBits::kShift : 0;
    bits |= modifiers.testFlag(Qt::AltModifier) ? CvHotKeyBits::kAlt : 0;
    return bits;
}

}  // namespace

CvHotKeyEdit::CvHotKeyEdit(QWidget* parent) : QLineEdit(parent) {
    // The text is ours; the field keeps a caret-free look of an edit box.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAcceptDrops(false);
    ShowValue();
}

void CvHotKeyEdit::SetValue(int32_t value) {
    m_value = value;
    ShowValue();
}

int32_t CvHotKeyEdit::ValueOf(const QKeyEvent& event) {
    if (IsModifierKey(event.key())) {
        return 0;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    // Under X11 the native key is the keysym; it tells the keypad apart.
    int32_t value = CvHotKeyFromKeysym(event.nativeVirtualKey(), ctrl, shift, alt);
    if (value == 0) {
        value = CvHotKeyFromKeysym(KeysymOf(event.key(), modifiers.testFlag(Qt::KeypadModifier)),
                                   ctrl, shift, alt);
    }
    return value;
}

bool CvHotKeyEdit::event(QEvent* event) {
    // Tab with Ctrl or Alt is a combination to record, not a focus move.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CvHotKeyEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const int32_t modifiers = ModifierBits(event->modifiers());
    if (modifiers == 0 && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        Record(0);
        return;
    }
    if (IsModifierKey(key)) {
        setText(QString::fromStdString(CvHotKeyDisplayText(modifiers | ModifierKeyBit(key))));
        return;
    }
    const int32_t value = ValueOf(*event);
    // Any key but a function key needs Ctrl or Alt: a bare Escape, Return or
    // arrow (pressed to leave the field), like a character, would be taken
    // from every program on the desktop.
    const int32_t virtualKey = CvHotKeyVirtualKey(value);
    const bool functionKey = virtualKey >= kVirtualKeyF1 && virtualKey <= kVirtualKeyF24;
    const bool hasModifier = (modifiers & (CvHotKeyBits::kControl | CvHotKeyBits::kAlt)) != 0;
    if (value == 0 || (!functionKey && !hasModifier)) {
        ShowValue();
        return;
    }
    Record(value);
}

void CvHotKeyEdit::keyReleaseEvent(QKeyEvent* event) {
    // Modifiers let go without a key: back to the recorded combination.
    if (IsModifierKey(event->key())) {
        const int32_t held = ModifierBits(event->modifiers()) & ~ModifierKeyBit(event->key());
        if (held == 0) {
            ShowValue();
        } else {
            setText(QString::fromStdString(CvHotKeyDisplayText(held)));
        }
    }
}

void CvHotKeyEdit::focusOutEvent(QFocusEvent* event) {
    ShowValue();
    QLineEdit::focusOutEvent(event);
}

void CvHotKeyEdit::ShowValue() {
    setText(QString::fromStdString(CvHotKeyDisplayText(m_value)));
}

void CvHotKeyEdit::Record(int32_t value) {
    m_value = value;
    ShowValue();
    emit valueChanged(value);
}
