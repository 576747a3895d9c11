#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/CvHotKey.h"

namespace {

// Windows virtual keys used below.
constexpr uint8_t kVkReturn = 0x0D;
constexpr uint8_t kVkPause = 0x13;
constexpr uint8_t kVkEscape = 0x1B;
constexpr uint8_t kVkSpace = 0x20;
constexpr uint8_t kVkPrior = 0x21;
constexpr uint8_t kVkNext = 0x22;
constexpr uint8_t kVkEnd = 0x23;
constexpr uint8_t kVkHome = 0x24;
constexpr uint8_t kVkLeft = 0x25;
constexpr uint8_t kVkUp = 0x26;
constexpr uint8_t kVkSnapshot = 0x2C;
constexpr uint8_t kVkInsert = 0x2D;
constexpr uint8_t kVkDelete = 0x2E;
constexpr uint8_t kVkNumpad0 = 0x60;
constexpr uint8_t kVkNumpad9 = 0x69;
constexpr uint8_t kVkDivide = 0x6F;
constexpr uint8_t kVkF1 = 0x70;
constexpr uint8_t kVkF13 = 0x7C;
constexpr uint8_t kVkF24 = 0x87;

TEST(CvHotKey, TranslatesModifiersToTheRegistrationForm) {
    struct Case {
        int32_t value;
        uint32_t modifiers;
        uint8_t virtualKey;
        bool extended;
    };
    const Case cases[] = {
        {0x64D, 3, 'M', false},                             // Control + Alt
        {0x14D, 4, 'M', false},                             // Shift alone
        {0x24D, 2, 'M', false},                             // Control alone
        {0x44D, 1, 'M', false},                             // Alt alone
        {0x34D, 6, 'M', false},                             // Shift + Control
        {0x74D, 7, 'M', false},   {0x826, 0, kVkUp, true},  // the extended bit is no modifier
        {0xE70, 3, kVkF1, true},  {0, 0, 0, false},
        {0x1064D, 3, 'M', false},  // bits above the hot key control's are ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "value 0x" << std::hex << c.value);
        EXPECT_EQ(CvHotKeyModifiers(c.value), c.modifiers);
        EXPECT_EQ(CvHotKeyVirtualKey(c.value), c.virtualKey);
        EXPECT_EQ(CvHotKeyIsExtended(c.value), c.extended);
    }
}

TEST(CvHotKey, DisplayTextNamesKeysAsTheUsLayoutDoes) {
    struct Case {
        int32_t value;
        const char* text;
    };
    const Case cases[] = {
        {0, ""},
        {0x64D, "Ctrl + Alt + M"},
        {0x74D, "Ctrl + Shift + Alt + M"},  // fixed order, whatever the bits' order
        {0x54D, "Shift + Alt + M"},
        {0x04D, "M"},
        {0xA4D, "Ctrl + M"},  // a letter has no extended name of its own
        {0x231, "Ctrl + 1"},
        {0x230, "Ctrl + 0"},
        {0x100 | kVkF1, "Shift + F1"},
        {0x200 | kVkF13, "Ctrl + F13"},
        {0x200 | kVkF24, "Ctrl + F24"},
        {0x620, "Ctrl + Alt + Space"},
        {0x200 | kVkEscape, "Ctrl + Esc"},
        {0x208, "Ctrl + Backspace"},
        {0x209, "Ctrl + Tab"},
        // The extended bit tells the navigation keys from their keypad twins.
        {0x200 | kVkUp, "Ctrl + Num 8"},
        {0xA00 | kVkUp, "Ctrl + Up"},
        {0x200 | kVkLeft, "Ctrl + Num 4"},
        {0xA00 | kVkLeft, "Ctrl + Left"},
        {0x200 | kVkInsert, "Ctrl + Num 0"},
        {0xA00 | kVkInsert, "Ctrl + Insert"},
        {0x200 | kVkDelete, "Ctrl + Num Del"},
        {0xA00 | kVkDelete, "Ctrl + Delete"},
        {0x200 | kVkHome, "Ctrl + Num 7"},
        {0xA00 | kVkHome, "Ctrl + Home"},
        {0x200 | kVkEnd, "Ctrl + Num 1"},
        {0xA00 | kVkEnd, "Ctrl + End"},
        {0x200 | kVkPrior, "Ctrl + Num 9"},
        {0xA00 | kVkPrior, "Ctrl + Page Up"},
        {0x200 | kVkNext, "Ctrl + Num 3"},
        {0xA00 | kVkNext, "Ctrl + Page Down"},
        {0x200 | kVkReturn, "Ctrl + Enter"},
        {0xA00 | kVkReturn, "Ctrl + Num Enter"},
        // Keypad keys; Num / and Print Screen exist only as extended keys.
        {0x200 | kVkNumpad0, "Ctrl + Num 0"},
        {0x200 | kVkNumpad9, "Ctrl + Num 9"},
        {0x26A, "Ctrl + Num *"},
        {0x26B, "Ctrl + Num +"},
        {0x26D, "Ctrl + Num -"},
        {0x26E, "Ctrl + Num Del"},
        {0x200 | kVkDivide, "Ctrl + Num /"},
        {0xA00 | kVkDivide, "Ctrl + Num /"},
        {0x200 | kVkSnapshot, "Ctrl + Prnt Scrn"},
        {0x200 | kVkPause, "Ctrl + Pause"},
        {0x291, "Ctrl + Scroll Lock"},
        {0x25D, "Ctrl + Application"},
        // Punctuation of the US layout.
        {0x2BA, "Ctrl + ;"},
        {0x2BB, "Ctrl + ="},
        {0x2BC, "Ctrl + ,"},
        {0x2BD, "Ctrl + -"},
        {0x2BE, "Ctrl + ."},
        {0x2BF, "Ctrl + /"},
        {0x2C0, "Ctrl + `"},
        {0x2DB, "Ctrl + ["},
        {0x2DC, "Ctrl + \\"},
        {0x2DD, "Ctrl + ]"},
        {0x2DE, "Ctrl + '"},
        // No key, or one without a name: the key's part stays empty.
        {0x200, "Ctrl + "},
        {0x6FF, "Ctrl + Alt + "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "value 0x" << std::hex << c.value);
        EXPECT_EQ(CvHotKeyDisplayText(c.value), c.text);
    }
}

TEST(CvHotKey, VirtualKeysMapToUsLayoutKeysyms) {
    struct Case {
        uint8_t virtualKey;
        bool extended;
        uint32_t keysym;
    };
    const Case cases[] = {
        {'A', false, 0x61},  // XK_a
        {'M', false, 0x6D},  // XK_m
        {'M', true, 0x6D},
        {'Z', false, 0x7A},           // XK_z
        {'0', false, 0x30},           // XK_0
        {'9', false, 0x39},           // XK_9
        {kVkF1, false, 0xFFBE},       // XK_F1
        {0x7B, false, 0xFFC9},        // XK_F12
        {kVkF24, false, 0xFFD5},      // XK_F24
        {kVkUp, true, 0xFF52},        // XK_Up
        {kVkUp, false, 0xFF97},       // XK_KP_Up
        {kVkLeft, true, 0xFF51},      // XK_Left
        {kVkLeft, false, 0xFF96},     // XK_KP_Left
        {kVkHome, true, 0xFF50},      // XK_Home
        {kVkHome, false, 0xFF95},     // XK_KP_Home
        {kVkEnd, true, 0xFF57},       // XK_End
        {kVkEnd, false, 0xFF9C},      // XK_KP_End
        {kVkPrior, true, 0xFF55},     // XK_Prior
        {kVkPrior, false, 0xFF9A},    // XK_KP_Prior
        {kVkNext, true, 0xFF56},      // XK_Next
        {kVkNext, false, 0xFF9B},     // XK_KP_Next
        {kVkInsert, true, 0xFF63},    // XK_Insert
        {kVkInsert, false, 0xFF9E},   // XK_KP_Insert
        {kVkDelete, true, 0xFFFF},    // XK_Delete
        {kVkDelete, false, 0xFF9F},   // XK_KP_Delete
        {kVkReturn, false, 0xFF0D},   // XK_Return
        {kVkReturn, true, 0xFF8D},    // XK_KP_Enter
        {kVkSpace, false, 0x20},      // XK_space
        {kVkEscape, false, 0xFF1B},   // XK_Escape
        {0x08, false, 0xFF08},        // XK_BackSpace
        {0x09, false, 0xFF09},        // XK_Tab
        {kVkNumpad0, false, 0xFFB0},  // XK_KP_0
        {kVkNumpad9, false, 0xFFB9},  // XK_KP_9
        {0x6A, false, 0xFFAA},        // XK_KP_Multiply
        {0x6B, false, 0xFFAB},        // XK_KP_Add
        {0x6D, false, 0xFFAD},        // XK_KP_Subtract
        {0x6E, false, 0xFFAE},        // XK_KP_Decimal
        {kVkDivide, false, 0xFFAF},   // XK_KP_Divide
        {kVkDivide, true, 0xFFAF},
        {0xBA, false, 0x3B},           // VK_OEM_1: XK_semicolon
        {0xBB, false, 0x3D},           // VK_OEM_PLUS: XK_equal
        {0xBC, false, 0x2C},           // VK_OEM_COMMA: XK_comma
        {0xBD, false, 0x2D},           // VK_OEM_MINUS: XK_minus
        {0xBE, false, 0x2E},           // VK_OEM_PERIOD: XK_period
        {0xBF, false, 0x2F},           // VK_OEM_2: XK_slash
        {0xC0, false, 0x60},           // VK_OEM_3: XK_grave
        {0xDB, false, 0x5B},           // VK_OEM_4: XK_bracketleft
        {0xDC, false, 0x5C},           // VK_OEM_5: XK_backslash
        {0xDD, false, 0x5D},           // VK_OEM_6: XK_bracketright
        {0xDE, false, 0x27},           // VK_OEM_7: XK_apostrophe
        {kVkPause, false, 0xFF13},     // XK_Pause
        {kVkSnapshot, false, 0xFF61},  // XK_Print
        {kVkSnapshot, true, 0xFF61},
        {0x91, false, 0xFF14},  // VK_SCROLL: XK_Scroll_Lock
        // Nothing to grab: no key, modifiers, lock keys, unknown keys.
        {0, false, 0},
        {0x10, false, 0},  // VK_SHIFT
        {0x11, true, 0},   // VK_CONTROL
        {0x12, false, 0},  // VK_MENU
        {0x14, false, 0},  // VK_CAPITAL
        {0x90, true, 0},   // VK_NUMLOCK
        {0xFF, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "vk 0x" << std::hex << int{c.virtualKey}
                                        << (c.extended ? " extended" : ""));
        EXPECT_EQ(CvVirtualKeyToKeysym(c.virtualKey, c.extended), c.keysym);
    }
}

TEST(CvHotKey, KeysymsGiveTheValueTheHotKeyControlWouldStore) {
    struct Case {
        uint32_t keysym;
        bool ctrl;
        bool shift;
        bool alt;
        int32_t value;
    };
    const Case cases[] = {
        {0x6D, true, false, true, 0x64D},     // XK_m
        {0x4D, true, false, true, 0x64D},     // XK_M, as a capture with Shift or Caps Lock sees it
        {0x6D, false, true, false, 0x14D},    //
        {0xFF52, true, false, false, 0xA26},  // XK_Up: the extended key
        {0xFF97, true, false, false, 0x226},  // XK_KP_Up
        {0xFFB8, true, false, false, 0x268},  // XK_KP_8: Num Lock on
        {0xFF0D, false, false, true, 0x40D},  // XK_Return
        {0xFF8D, false, false, true, 0xC0D},  // XK_KP_Enter
        {0xFFAF, true, false, false, 0xA6F},  // XK_KP_Divide: always extended
        {0xFF61, true, false, false, 0xA2C},  // XK_Print: always extended
        {0xFE20, false, true, false, 0x109},  // XK_ISO_Left_Tab: Shift + Tab
        {0xFFD5, false, false, false, 0x87},  // XK_F24
        {0xFFE1, true, false, false, 0},      // XK_Shift_L: a modifier is no key
        {0x20AC, true, false, false, 0},      // XK_EuroSign: no virtual key
        {0, true, true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "keysym 0x" << std::hex << c.keysym);
        EXPECT_EQ(CvHotKeyFromKeysym(c.keysym, c.ctrl, c.shift, c.alt), c.value);
    }
}

// Every key that can be grabbed survives keysym -> value -> keysym, and the
// value reads as the same key.
TEST(CvHotKey, EveryGrabbableKeyRoundTripsAndHasAName) {
    int keys = 0;
    for (int vk = 1; vk <= 0xFF; ++vk) {
        for (bool extended : {false, true}) {
            const uint32_t keysym = CvVirtualKeyToKeysym(static_cast<uint8_t>(vk), extended);
            if (keysym == 0) {
                continue;
            }
            ++keys;
            SCOPED_TRACE(testing::Message()
                         << "vk 0x" << std::hex << vk << (extended ? " extended" : ""));
            const int32_t value = CvHotKeyFromKeysym(keysym, true, false, false);
            ASSERT_NE(value, 0);
            EXPECT_EQ(CvVirtualKeyToKeysym(CvHotKeyVirtualKey(value), CvHotKeyIsExtended(value)),
                      keysym);
            const int32_t original = 0x200 | vk | (extended ? 0x800 : 0);
            EXPECT_EQ(CvHotKeyDisplayText(value), CvHotKeyDisplayText(original));
            EXPECT_NE(CvHotKeyDisplayText(original), "Ctrl + ");
        }
    }
    // Letters, digits, F-keys, keypad, navigation and punctuation at least.
    EXPECT_GT(keys, 100);
}

}  // namespace
