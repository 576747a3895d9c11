#pragma once

#include <cstdint>
#include <functional>

// System-wide key combinations, each under a caller-chosen id: the stand-in
// for the system's global hot key registration. Every call belongs to the
// thread that owns the grabber (the UI thread).
class CvHotKeyGrabber {
public:
    virtual ~CvHotKeyGrabber() = default;

    // Grabs the combination for `id`: `modifiers` in the registration form
    // (1 Alt, 2 Control, 4 Shift), a Windows virtual key, and whether it is the
    // E0-prefixed key (the arrow rather than the keypad key). A grab already
    // held under `id` is released first. False, with nothing held for `id`,
    // when the system refuses: the combination is taken (by another program,
    // or by another id), or the key does not exist here.
    virtual bool Grab(int id, uint32_t modifiers, uint8_t virtualKey, bool extended) = 0;

    // Releases the grab of `id`; no effect when it holds none. No press of it is
    // handed on afterwards, not even one that was already on its way.
    virtual void Ungrab(int id) = 0;

    // Where presses of grabbed combinations go, with the id, on the owner's
    // thread and never from inside Grab, Ungrab or SetPressHandler. An empty
    // handler drops presses. The handler may call Grab and Ungrab.
    virtual void SetPressHandler(std::function<void(int id)> handler) = 0;
};
