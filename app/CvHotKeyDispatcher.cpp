#include "app/CvHotKeyDispatcher.h"

#include <cassert>

#include "app/CvHotKey.h"

CvHotKeyDispatcher::CvHotKeyDispatcher(CvHotKeyGrabber* grabber)
    : m_grabber(grabber), m_ownerThread(std::this_thread::get_id()) {
    if (m_grabber != nullptr) {
        m_grabber->SetPressHandler([this](int id) { OnHotKey(id); });
    }
}

CvHotKeyDispatcher::~CvHotKeyDispatcher() {
    Disable();
    if (m_grabber != nullptr) {
        m_grabber->SetPressHandler({});
    }
}

void CvHotKeyDispatcher::Register(int id, int32_t value, CvNullaryFunction<void>* callback) {
    assert(OnOwnerThread());
    Entry& entry = m_entries[id];
    UngrabEntry(id, entry);
    entry.virtualKey = CvHotKeyVirtualKey(value);
    entry.modifiers = CvHotKeyModifiers(value);
    entry.extended = CvHotKeyIsExtended(value);
    entry.callback = callback;
    if (m_enabled) {
        GrabEntry(id, entry);
    }
}

void CvHotKeyDispatcher::Unregister(int id) {
    assert(OnOwnerThread());
    auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        return;
    }
    UngrabEntry(id, it->second);
    m_entries.erase(it);
}

void CvHotKeyDispatcher::Enable() {
    assert(OnOwnerThread());
    if (m_enabled) {
        return;
    }
    for (auto& [id, entry] : m_entries) {
        GrabEntry(id, entry);
    }
    m_enabled = true;
}

void CvHotKeyDispatcher::Disable() {
    assert(OnOwnerThread());
    if (!m_enabled) {
        return;
    }
    for (auto& [id, entry] : m_entries) {
        UngrabEntry(id, entry);
    }
    m_enabled = false;
}

bool CvHotKeyDispatcher::IsEnabled() const {
    return m_enabled;
}

bool CvHotKeyDispatcher::IsGrabbed(int id) const {
    auto it = m_entries.find(id);
    return it != m_entries.end() && it->second.grabbed;
}

void CvHotKeyDispatcher::OnHotKey(int id) {
    assert(OnOwnerThread());
    auto it = m_entries.find(id);
    // A press that was on its way when the grab went is dropped.
    if (it == m_entries.end() || !it->second.grabbed || it->second.callback == nullptr) {
        return;
    }
    // The callback may register or unregister keys, so no iterator is kept
    // across it.
    CvNullaryFunction<void>* callback = it->second.callback;
    callback->Invoke();
}

void CvHotKeyDispatcher::GrabEntry(int id, Entry& entry) {
    // Modifiers without a key are what the hot key control stores while the
    // user is still typing; there is nothing to grab.
    if (m_grabber == nullptr || entry.virtualKey == 0) {
        return;
    }
    entry.grabbed = m_grabber->Grab(id, entry.modifiers, entry.virtualKey, entry.extended);
}

void CvHotKeyDispatcher::UngrabEntry(int id, Entry& entry) {
    if (!entry.grabbed) {
        return;
    }
    m_grabber->Ungrab(id);
    entry.grabbed = false;
}

bool CvHotKeyDispatcher::OnOwnerThread() const {
    return std::this_thread::get_id() == m_ownerThread;
}
