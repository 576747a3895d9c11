#pragma once

#include <cstdint>
#include <map>
#include <thread>

#include "app/CvFunction.h"
#include "platform/CvHotKeyGrabber.h"

// The program's global hot keys: an id (the setting id of the action) maps to
// a stored hot key value and the callback of its action. While enabled, every
// entry's combination is grabbed; a press of one runs that entry's callback.
//
// Lives on the UI thread, as does the grabber; callbacks run there too.
class CvHotKeyDispatcher {
public:
    // `grabber` may be null where the session offers no global keys: entries
    // are then kept but nothing is ever grabbed. The grabber must outlive the
    // dispatcher, which installs its press handler and takes it away again.
    explicit CvHotKeyDispatcher(CvHotKeyGrabber* grabber);
    ~CvHotKeyDispatcher();

    CvHotKeyDispatcher(const CvHotKeyDispatcher&) = delete;
    CvHotKeyDispatcher& operator=(const CvHotKeyDispatcher&) = delete;

    // Stores `value` (settings form, see CvHotKey.h) and `callback` (not
    // owned; may be null) under `id`, replacing an earlier entry, whose grab is
    // released first. Grabs at once while enabled. A refused grab is not an
    // error for the caller: the key then does nothing (see IsGrabbed). A
    // value without a key (0, or modifiers alone) grabs nothing.
    void Register(int id, int32_t value, CvNullaryFunction<void>* callback);
    // Removes the entry and releases its grab; no effect for an unknown id.
    void Unregister(int id);

    // Grabs every entry, in ascending id order, unless already enabled.
    void Enable();
    // Releases every grab, unless already disabled. The entries stay.
    void Disable();
    bool IsEnabled() const;

    // Whether the combination of `id` is grabbed now: false while disabled,
    // for an unknown id or one without a key, and when the system refused it
    // (taken by another program).
    bool IsGrabbed(int id) const;

    // A press of the combination of `id` (delivered by the grabber): runs the
    // entry's callback while its combination is grabbed.
    void OnHotKey(int id);

private:
    struct Entry {
        uint8_t virtualKey = 0;
        uint32_t modifiers = 0;
        bool extended = false;
        CvNullaryFunction<void>* callback = nullptr;
        bool grabbed = false;
    };

    void GrabEntry(int id, Entry& entry);
    void UngrabEntry(int id, Entry& entry);
    bool OnOwnerThread() const;

    CvHotKeyGrabber* m_grabber;
    bool m_enabled = false;
    std::map<int, Entry> m_entries;
    std::thread::id m_ownerThread;
};
