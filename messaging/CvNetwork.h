#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/CvFunction.h"
#include "app/CvShareable.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvNetworkInterface.h"

// The set of LAN adapters, re-enumerated by a watch thread. The owner sets the
// change listener, then calls StartWatch; the listener is called on the watch
// thread after a pass that added or removed an adapter.
//
// The interface list is guarded by the shareable lock: readers call Lock(),
// use InterfaceCount()/GetInterface(), then Unlock(). Interfaces are owned by
// the network and may be deleted by the next watch pass once the lock is free.
class CvNetwork : public CvShareable {
public:
    static constexpr uint32_t kWatchPeriodMs = 5000;

    CvNetwork() = default;
    ~CvNetwork() override;

    // Re-enumerates the adapters and updates the list; called with the lock
    // held. Does nothing here.
    virtual void Refresh() {}
    // Deletes every interface.
    virtual void ClearInterfaces();

    // Starts the watch thread unless it runs.
    void StartWatch();
    // Stops and joins the watch thread. Derived classes call it in their
    // destructor, before the Refresh they override goes away.
    void StopWatch();

    void SetChangeListener(CvNullaryFunction<void>* listener) { m_listener = listener; }
    // For tests: the pause between watch passes.
    void SetWatchPeriod(uint32_t ms) { m_watchPeriodMs = ms; }

    size_t InterfaceCount() const { return m_interfaces.size(); }
    CvNetworkInterface* GetInterface(size_t index) const { return m_interfaces[index].get(); }

protected:
    void WatchThread(CvThread* thread);

    std::unique_ptr<CvThreadClassFunction<CvNetwork>> m_watchThread;
    CvNullaryFunction<void>* m_listener = nullptr;
    bool m_changed = false;
    std::vector<std::unique_ptr<CvNetworkInterface>> m_interfaces;

private:
    uint32_t m_watchPeriodMs = kWatchPeriodMs;
};
