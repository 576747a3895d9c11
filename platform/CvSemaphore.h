#pragma once

#include <cstdint>

#include "platform/CvWaitable.h"

// A counting semaphore; a successful wait takes one unit.
class CvSemaphore : public CvWaitable {
public:
    CvSemaphore(int32_t initialCount, int32_t maximumCount);

    // Adds `count` units. Fails, changing nothing, when the maximum would be
    // exceeded or `count` is not positive.
    bool Release(int32_t count = 1);
    int32_t Count() const;

protected:
    bool IsSignalledLocked() const override { return m_count > 0; }
    void ConsumeLocked() override { --m_count; }

private:
    int32_t m_count;
    const int32_t m_maximum;
};
