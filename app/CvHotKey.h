#pragma once

#include <cstdint>
#include <string>

// A hot key as the settings store it (the form of the Windows hot key
// control, so settings files move between systems unchanged):
// bits 0-7 the Windows virtual key, then the modifier and extended-key bits
// below; 0 means no hot key. Bits above 11 are ignored.
namespace CvHotKeyBits {
inline constexpr int32_t kVirtualKeyMask = 0xFF;
inline constexpr int32_t kShift = 0x100;
inline constexpr int32_t kControl = 0x200;
inline constexpr int32_t kAlt = 0x400;
// The key sends the E0 prefix: it tells the dedicated arrow, Home, End,
// Page Up/Down, Insert and Delete keys from their keypad twins, and Enter
// from Num Enter.
inline constexpr int32_t kExtended = 0x800;
}  // namespace CvHotKeyBits

// Modifier set in the form the system's global hot key registration takes.
namespace CvHotKeyModifier {
inline constexpr uint32_t kAlt = 1;
inline constexpr uint32_t kControl = 2;
inline constexpr uint32_t kShift = 4;
}  // namespace CvHotKeyModifier

// The virtual key of a stored value (its low 8 bits; 0 = no key).
uint8_t CvHotKeyVirtualKey(int32_t value);

// The modifiers of a stored value as CvHotKeyModifier bits. The extended
// bit is not a modifier and is left out.
uint32_t CvHotKeyModifiers(int32_t value);

bool CvHotKeyIsExtended(int32_t value);

// What the options page shows for a stored value: the names of the held
// modifiers in the order Ctrl, Shift, Alt, then the key's name, joined by
// " + ", with the names a US-English Windows keyboard gives (the extended bit
// picks a key's extended name: VK_UP reads "Num 8", with the bit "Up").
// A key the table cannot name contributes an empty name, as the system's key
// name text does: 0 (no hot key) reads "", Control alone "Ctrl + ".
std::string CvHotKeyDisplayText(int32_t value);

// The X11 keysym a virtual key produces on a US layout; `extended` picks the
// dedicated navigation keys over the keypad. 0 when the key has none that a
// global hot key can use (modifiers, lock keys, unknown keys).
uint32_t CvVirtualKeyToKeysym(uint8_t virtualKey, bool extended);

// The stored value for a key caught by a key-capture field: `keysym` is the
// key's unshifted keysym (upper-case letters and ISO_Left_Tab are accepted
// too). 0 when the keysym has no virtual key.
int32_t CvHotKeyFromKeysym(uint32_t keysym, bool ctrl, bool shift, bool alt);
