#include "app/CvHotKey.h"

#include <vector>

namespace {

// Key names of the US-English layout by scan code: the plain key's name and,
// where the E0-prefixed key at that code is another key, its name. nullptr
// where there is no such key.
struct ScanCodeName {
    uint8_t scanCode;
    const char* name;
    const char* extendedName;
};

constexpr ScanCodeName kScanCodeNames[] = {
    {0x01, "Esc", nullptr},
    {0x02, "1", nullptr},
    {0x03, "2", nullptr},
    {0x04, "3", nullptr},
    {0x05, "4", nullptr},
    {0x06, "5", nullptr},
    {0x07, "6", nullptr},
    {0x08, "7", nullptr},
    {0x09, "8", nullptr},
    {0x0A, "9", nullptr},
    {0x0B, "0", nullptr},
    {0x0C, "-", nullptr},
    {0x0D, "=", nullptr},
    {0x0E, "Backspace", nullptr},
    {0x0F, "Tab", nullptr},
    {0x10, "Q", nullptr},
    {0x11, "W", nullptr},
    {0x12, "E", nullptr},
    {0x13, "R", nullptr},
    {0x14, "T", nullptr},
    {0x15, "Y", nullptr},
    {0x16, "U", nullptr},
    {0x17, "I", nullptr},
    {0x18, "O", nullptr},
    {0x19, "P", nullptr},
    {0x1A, "[", nullptr},
    {0x1B, "]", nullptr},
    {0x1C, "Enter", "Num Enter"},
    {0x1D, "Ctrl", "Right Ctrl"},
    {0x1E, "A", nullptr},
    {0x1F, "S", nullptr},
    {0x20, "D", nullptr},
    {0x21, "F", nullptr},
    {0x22, "G", nullptr},
    {0x23, "H", nullptr},
    {0x24, "J", nullptr},
    {0x25, "K", nullptr},
    {0x26, "L", nullptr},
    {0x27, ";", nullptr},
    {0x28, "'", nullptr},
    {0x29, "`", nullptr},
    {0x2A, "Shift", nullptr},
    {0x2B, "\\", nullptr},
    {0x2C, "Z", nullptr},
    {0x2D, "X", nullptr},
    {0x2E, "C", nullptr},
    {0x2F, "V", nullptr},
    {0x30, "B", nullptr},
    {0x31, "N", nullptr},
    {0x32, "M", nullptr},
    {0x33, ",", nullptr},
    {0x34, ".", nullptr},
    {0x35, "/", "Num /"},
    {0x36, "Right Shift", nullptr},
    {0x37, "Num *", "Prnt Scrn"},
    {0x38, "Alt", "Right Alt"},
    {0x39, "Space", nullptr},
    {0x3A, "Caps Lock", nullptr},
    {0x3B, "F1", nullptr},
    {0x3C, "F2", nullptr},
    {0x3D, "F3", nullptr},
    {0x3E, "F4", nullptr},
    {0x3F, "F5", nullptr},
    {0x40, "F6", nullptr},
    {0x41, "F7", nullptr},
    {0x42, "F8", nullptr},
    {0x43, "F9", nullptr},
    {0x44, "F10", nullptr},
    {0x45, "Pause", "Num Lock"},
    {0x46, "Scroll Lock", "Break"},
    {0x47, "Num 7", "Home"},
    {0x48, "Num 8", "Up"},
    {0x49, "Num 9", "Page Up"},
    {0x4A, "Num -", nullptr},
    {0x4B, "Num 4", "Left"},
    {0x4C, "Num 5", nullptr},
    {0x4D, "Num 6", "Right"},
    {0x4E, "Num +", nullptr},
    {0x4F, "Num 1", "End"},
    {0x50, "Num 2", "Down"},
    {0x51, "Num 3", "Page Down"},
    {0x52, "Num 0", "Insert"},
    {0x53, "Num Del", "Delete"},
    {0x54, "Sys Req", nullptr},
    {0x57, "F11", nullptr},
    {0x58, "F12", nullptr},
    {0x5B, nullptr, "Left Super"},
    {0x5C, nullptr, "Right Super"},
    {0x5D, nullptr, "Application"},
    {0x64, "F13", nullptr},
    {0x65, "F14", nullptr},
    {0x66, "F15", nullptr},
    {0x67, "F16", nullptr},
    {0x68, "F17", nullptr},
    {0x69, "F18", nullptr},
    {0x6A, "F19", nullptr},
    {0x6B, "F20", nullptr},
    {0x6C, "F21", nullptr},
    {0x6D, "F22", nullptr},
    {0x6E, "F23", nullptr},
    {0x76, "F24", nullptr},
};

// Virtual keys of the US-English layout: scan code, whether the key only
// exists as an E0-prefixed key, the keysym the key produces and, for keys
// with an extended twin (arrows, navigation block, Enter), the twin's keysym.
// For all other keys the extended bit of a value makes no difference.
// Keysym 0: nothing a global hot key can grab.
struct VirtualKeyInfo {
    uint8_t virtualKey;
    uint8_t scanCode;
    bool alwaysExtended;
    uint32_t keysym;
    uint32_t extendedKeysym;
};

constexpr VirtualKeyInfo kVirtualKeys[] = {
    {0x08, 0x0E, false, 0xFF08, 0},       // VK_BACK: XK_BackSpace
    {0x09, 0x0F, false, 0xFF09, 0},       // VK_TAB: XK_Tab
    {0x0C, 0x4C, false, 0xFF9D, 0},       // VK_CLEAR: XK_KP_Begin
    {0x0D, 0x1C, false, 0xFF0D, 0xFF8D},  // VK_RETURN: XK_Return, extended XK_KP_Enter
    {0x10, 0x2A, false, 0, 0},            // VK_SHIFT
    {0x11, 0x1D, false, 0, 0},            // VK_CONTROL
    {0x12, 0x38, false, 0, 0},            // VK_MENU
    {0x13, 0x45, false, 0xFF13, 0},       // VK_PAUSE: XK_Pause
    {0x14, 0x3A, false, 0, 0},            // VK_CAPITAL
    {0x1B, 0x01, false, 0xFF1B, 0},       // VK_ESCAPE: XK_Escape
    {0x20, 0x39, false, 0x0020, 0},       // VK_SPACE: XK_space
    {0x21, 0x49, false, 0xFF9A, 0xFF55},  // VK_PRIOR: XK_KP_Prior, extended XK_Prior
    {0x22, 0x51, false, 0xFF9B, 0xFF56},  // VK_NEXT: XK_KP_Next, extended XK_Next
    {0x23, 0x4F, false, 0xFF9C, 0xFF57},  // VK_END: XK_KP_End, extended XK_End
    {0x24, 0x47, false, 0xFF95, 0xFF50},  // VK_HOME: XK_KP_Home, extended XK_Home
    {0x25, 0x4B, false, 0xFF96, 0xFF51},  // VK_LEFT: XK_KP_Left, extended XK_Left
    {0x26, 0x48, false, 0xFF97, 0xFF52},  // VK_UP: XK_KP_Up, extended XK_Up
    {0x27, 0x4D, false, 0xFF98, 0xFF53},  // VK_RIGHT: XK_KP_Right, extended XK_Right
    {0x28, 0x50, false, 0xFF99, 0xFF54},  // VK_DOWN: XK_KP_Down, extended XK_Down
    {0x2C, 0x37, true, 0xFF61, 0},        // VK_SNAPSHOT: XK_Print
    {0x2D, 0x52, false, 0xFF9E, 0xFF63},  // VK_INSERT: XK_KP_Insert, extended XK_Insert
    {0x2E, 0x53, false, 0xFF9F, 0xFFFF},  // VK_DELETE: XK_KP_Delete, extended XK_Delete
    {0x30, 0x0B, false, 0x0030, 0},       // '0': XK_0
    {0x31, 0x02, false, 0x0031, 0},       // '1': XK_1
    {0x32, 0x03, false, 0x0032, 0},       // '2': XK_2
    {0x33, 0x04, false, 0x0033, 0},       // '3': XK_3
    {0x34, 0x05, false, 0x0034, 0},       // '4': XK_4
    {0x35, 0x06, false, 0x0035, 0},       // '5': XK_5
    {0x36, 0x07, false, 0x0036, 0},       // '6': XK_6
    {0x37, 0x08, false, 0x0037, 0},       // '7': XK_7
    {0x38, 0x09, false, 0x0038, 0},       // '8': XK_8
    {0x39, 0x0A, false, 0x0039, 0},       // '9': XK_9
    {0x41, 0x1E, false, 0x0061, 0},       // 'A': XK_a
    {0x42, 0x30, false, 0x0062, 0},       // 'B': XK_b
    {0x43, 0x2E, false, 0x0063, 0},       // 'C': XK_c
    {0x44, 0x20, false, 0x0064, 0},       // 'D': XK_d
    {0x45, 0x12, false, 0x0065, 0},       // 'E': XK_e
    {0x46, 0x21, false, 0x0066, 0},       // 'F': XK_f
    {0x47, 0x22, false, 0x0067, 0},       // 'G': XK_g
    {0x48, 0x23, false, 0x0068, 0},       // 'H': XK_h
    {0x49, 0x17, false, 0x0069, 0},       // 'I': XK_i
    {0x4A, 0x24, false, 0x006A, 0},       // 'J': XK_j
    {0x4B, 0x25, false, 0x006B, 0},       // 'K': XK_k
    {0x4C, 0x26, false, 0x006C, 0},       // 'L': XK_l
    {0x4D, 0x32, false, 0x006D, 0},       // 'M': XK_m
    {0x4E, 0x31, false, 0x006E, 0},       // 'N': XK_n
    {0x4F, 0x18, false, 0x006F, 0},       // 'O': XK_o
    {0x50, 0x19, false, 0x0070, 0},       // 'P': XK_p
    {0x51, 0x10, false, 0x0071, 0},       // 'Q': XK_q
    {0x52, 0x13, false, 0x0072, 0},       // 'R': XK_r
    {0x53, 0x1F, false, 0x0073, 0},       // 'S': XK_s
    {0x54, 0x14, false, 0x0074, 0},       // 'T': XK_t
    {0x55, 0x16, false, 0x0075, 0},       // 'U': XK_u
    {0x56, 0x2F, false, 0x0076, 0},       // 'V': XK_v
    {0x57, 0x11, false, 0x0077, 0},       // 'W': XK_w
    {0x58, 0x2D, false, 0x0078, 0},       // 'X': XK_x
    {0x59, 0x15, false, 0x0079, 0},       // 'Y': XK_y
    {0x5A, 0x2C, false, 0x007A, 0},       // 'Z': XK_z
    {0x5B, 0x5B, true, 0, 0},             // VK_LWIN
    {0x5C, 0x5C, true, 0, 0},             // VK_RWIN
    {0x5D, 0x5D, true, 0xFF67, 0},        // VK_APPS: XK_Menu
    {0x60, 0x52, false, 0xFFB0, 0},       // VK_NUMPAD0: XK_KP_0
    {0x61, 0x4F, false, 0xFFB1, 0},       // VK_NUMPAD1: XK_KP_1
    {0x62, 0x50, false, 0xFFB2, 0},       // VK_NUMPAD2: XK_KP_2
    {0x63, 0x51, false, 0xFFB3, 0},       // VK_NUMPAD3: XK_KP_3
    {0x64, 0x4B, false, 0xFFB4, 0},       // VK_NUMPAD4: XK_KP_4
    {0x65, 0x4C, false, 0xFFB5, 0},       // VK_NUMPAD5: XK_KP_5
    {0x66, 0x4D, false, 0xFFB6, 0},       // VK_NUMPAD6: XK_KP_6
    {0x67, 0x47, false, 0xFFB7, 0},       // VK_NUMPAD7: XK_KP_7
    {0x68, 0x48, false, 0xFFB8, 0},       // VK_NUMPAD8: XK_KP_8
    {0x69, 0x49, false, 0xFFB9, 0},       // VK_NUMPAD9: XK_KP_9
    {0x6A, 0x37, false, 0xFFAA, 0},       // VK_MULTIPLY: XK_KP_Multiply
    {0x6B, 0x4E, false, 0xFFAB, 0},       // VK_ADD: XK_KP_Add
    {0x6D, 0x4A, false, 0xFFAD, 0},       // VK_SUBTRACT: XK_KP_Subtract
    {0x6E, 0x53, false, 0xFFAE, 0},       // VK_DECIMAL: XK_KP_Decimal
    {0x6F, 0x35, true, 0xFFAF, 0},        // VK_DIVIDE: XK_KP_Divide
    {0x70, 0x3B, false, 0xFFBE, 0},       // VK_F1: XK_F1
    {0x71, 0x3C, false, 0xFFBF, 0},       // VK_F2: XK_F2
    {0x72, 0x3D, false, 0xFFC0, 0},       // VK_F3: XK_F3
    {0x73, 0x3E, false, 0xFFC1, 0},       // VK_F4: XK_F4
    {0x74, 0x3F, false, 0xFFC2, 0},       // VK_F5: XK_F5
    {0x75, 0x40, false, 0xFFC3, 0},       // VK_F6: XK_F6
    {0x76, 0x41, false, 0xFFC4, 0},       // VK_F7: XK_F7
    {0x77, 0x42, false, 0xFFC5, 0},       // VK_F8: XK_F8
    {0x78, 0x43, false, 0xFFC6, 0},       // VK_F9: XK_F9
    {0x79, 0x44, false, 0xFFC7, 0},       // VK_F10: XK_F10
    {0x7A, 0x57, false, 0xFFC8, 0},       // VK_F11: XK_F11
    {0x7B, 0x58, false, 0xFFC9, 0},       // VK_F12: XK_F12
    {0x7C, 0x64, false, 0xFFCA, 0},       // VK_F13: XK_F13
    {0x7D, 0x65, false, 0xFFCB, 0},       // VK_F14: XK_F14
    {0x7E, 0x66, false, 0xFFCC, 0},       // VK_F15: XK_F15
    {0x7F, 0x67, false, 0xFFCD, 0},       // VK_F16: XK_F16
    {0x80, 0x68, false, 0xFFCE, 0},       // VK_F17: XK_F17
    {0x81, 0x69, false, 0xFFCF, 0},       // VK_F18: XK_F18
    {0x82, 0x6A, false, 0xFFD0, 0},       // VK_F19: XK_F19
    {0x83, 0x6B, false, 0xFFD1, 0},       // VK_F20: XK_F20
    {0x84, 0x6C, false, 0xFFD2, 0},       // VK_F21: XK_F21
    {0x85, 0x6D, false, 0xFFD3, 0},       // VK_F22: XK_F22
    {0x86, 0x6E, false, 0xFFD4, 0},       // VK_F23: XK_F23
    {0x87, 0x76, false, 0xFFD5, 0},       // VK_F24: XK_F24
    {0x90, 0x45, true, 0, 0},             // VK_NUMLOCK
    {0x91, 0x46, false, 0xFF14, 0},       // VK_SCROLL: XK_Scroll_Lock
    {0xBA, 0x27, false, 0x003B, 0},       // VK_OEM_1: XK_semicolon
    {0xBB, 0x0D, false, 0x003D, 0},       // VK_OEM_PLUS: XK_equal
    {0xBC, 0x33, false, 0x002C, 0},       // VK_OEM_COMMA: XK_comma
    {0xBD, 0x0C, false, 0x002D, 0},       // VK_OEM_MINUS: XK_minus
    {0xBE, 0x34, false, 0x002E, 0},       // VK_OEM_PERIOD: XK_period
    {0xBF, 0x35, false, 0x002F, 0},       // VK_OEM_2: XK_slash
    {0xC0, 0x29, false, 0x0060, 0},       // VK_OEM_3: XK_grave
    {0xDB, 0x1A, false, 0x005B, 0},       // VK_OEM_4: XK_bracketleft
    {0xDC, 0x2B, false, 0x005C, 0},       // VK_OEM_5: XK_backslash
    {0xDD, 0x1B, false, 0x005D, 0},       // VK_OEM_6: XK_bracketright
    {0xDE, 0x28, false, 0x0027, 0},       // VK_OEM_7: XK_apostrophe
};

constexpr uint8_t kVkShift = 0x10;
constexpr uint8_t kVkControl = 0x11;
constexpr uint8_t kVkAlt = 0x12;
constexpr uint8_t kVkTab = 0x09;

constexpr uint32_t kKeysymIsoLeftTab = 0xFE20;  // XK_ISO_Left_Tab: Shift+Tab
constexpr uint32_t kKeysymUpperA = 0x41;        // XK_A
constexpr uint32_t kKeysymUpperZ = 0x5A;        // XK_Z
constexpr uint32_t kKeysymLowerA = 0x61;        // XK_a

const VirtualKeyInfo* FindVirtualKey(uint8_t virtualKey) {
    for (const VirtualKeyInfo& key : kVirtualKeys) {
        if (key.virtualKey == virtualKey) {
            return &key;
        }
    }
    return nullptr;
}

// The name of a key, or "" when the table has none. The extended bit only
// counts for keys with an extended twin; elsewhere a stray bit would turn
// Num Del into Delete.
std::string KeyName(uint8_t virtualKey, bool extended) {
    const VirtualKeyInfo* key = FindVirtualKey(virtualKey);
    if (key == nullptr) {
        return {};
    }
    extended = key->extendedKeysym != 0 ? extended : key->alwaysExtended;
    for (const ScanCodeName& entry : kScanCodeNames) {
        if (entry.scanCode != key->scanCode) {
            continue;
        }
        const char* name =
            extended && entry.extendedName != nullptr ? entry.extendedName : entry.name;
        return name != nullptr ? name : "";
    }
    return {};
}

}  // namespace

uint8_t CvHotKeyVirtualKey(int32_t value) {
    return static_cast<uint8_t>(value & CvHotKeyBits::kVirtualKeyMask);
}

uint32_t CvHotKeyModifiers(int32_t value) {
    uint32_t modifiers = 0;
    if ((value & CvHotKeyBits::kShift) != 0) {
        modifiers |= CvHotKeyModifier::kShift;
    }
    if ((value & CvHotKeyBits::kControl) != 0) {
        modifiers |= CvHotKeyModifier::kControl;
    }
    if ((value & CvHotKeyBits::kAlt) != 0) {
        modifiers |= CvHotKeyModifier::kAlt;
    }
    return modifiers;
}

bool CvHotKeyIsExtended(int32_t value) {
    return (value & CvHotKeyBits::kExtended) != 0;
}

std::string CvHotKeyDisplayText(int32_t value) {
    std::vector<std::string> names;
    if ((value & CvHotKeyBits::kControl) != 0) {
        names.push_back(KeyName(kVkControl, false));
    }
    if ((value & CvHotKeyBits::kShift) != 0) {
        names.push_back(KeyName(kVkShift, false));
    }
    if ((value & CvHotKeyBits::kAlt) != 0) {
        names.push_back(KeyName(kVkAlt, false));
    }
    names.push_back(KeyName(CvHotKeyVirtualKey(value), CvHotKeyIsExtended(value)));

    std::string text = names.front();
    for (size_t i = 1; i < names.size(); ++i) {
        text += " + " + names[i];
    }
    return text;
}

uint32_t CvVirtualKeyToKeysym(uint8_t virtualKey, bool extended) {
    const VirtualKeyInfo* key = FindVirtualKey(virtualKey);
    if (key == nullptr) {
        return 0;
    }
    return extended && key->extendedKeysym != 0 ? key->extendedKeysym : key->keysym;
}

int32_t CvHotKeyFromKeysym(uint32_t keysym, bool ctrl, bool shift, bool alt) {
    if (keysym >= kKeysymUpperA && keysym <= kKeysymUpperZ) {
        keysym += kKeysymLowerA - kKeysymUpperA;
    } else if (keysym == kKeysymIsoLeftTab) {
        keysym = CvVirtualKeyToKeysym(kVkTab, false);
    }
    if (keysym == 0) {
        return 0;
    }
    int32_t value = 0;
    for (const VirtualKeyInfo& key : kVirtualKeys) {
        if (key.keysym == keysym) {
            value = key.virtualKey | (key.alwaysExtended ? CvHotKeyBits::kExtended : 0);
            break;
        }
        if (key.extendedKeysym == keysym) {
            value = key.virtualKey | CvHotKeyBits::kExtended;
            break;
        }
    }
    if (value == 0) {
        return 0;
    }
    value |= ctrl ? CvHotKeyBits::kControl : 0;
    value |= shift ? CvHotKeyBits::kShift : 0;
    value |= alt ? CvHotKeyBits::kAlt : 0;
    return value;
}
