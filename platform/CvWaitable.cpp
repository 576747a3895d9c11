#include "platform/CvWaitable.h"

#include <algorithm>
#include <chrono>

std::mutex& CvWaitable::SharedLock() {
    static std::mutex lock;
    return lock;
}

void CvWaitable::WakeWaitersLocked() {
    for (Waiter* waiter : m_waiters) {
        waiter->cv.notify_all();
    }
}

uint32_t CvWaitable::Wait(uint32_t ms) {
    CvWaitable* self = this;
    return WaitAny(std::span<CvWaitable* const>(&self, 1), ms);
}

uint32_t CvWaitable::WaitAny(std::span<CvWaitable* const> objects, uint32_t ms) {
    std::unique_lock lock(SharedLock());
    auto firstSignalled = [&]() -> int {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i] != nullptr && objects[i]->IsSignalledLocked()) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };

    int index = firstSignalled();
    if (index < 0 && ms != 0) {
        Waiter waiter;
        for (CvWaitable* object : objects) {
            if (object != nullptr) {
                object->m_waiters.push_back(&waiter);
            }
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while ((index = firstSignalled()) < 0) {
            if (ms == kInfinite) {
                waiter.cv.wait(lock);
            } else if (waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
                index = firstSignalled();
                break;
            }
        }
        for (CvWaitable* object : objects) {
            if (object != nullptr) {
                auto& list = object->m_waiters;
                list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
            }
        }
    }
    if (index < 0) {
        return kWaitTimeout;
    }
    objects[static_cast<size_t>(index)]->ConsumeLocked();
    return kWaitObject0 + static_cast<uint32_t>(index);
}
