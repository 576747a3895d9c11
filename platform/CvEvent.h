#pragma once

#include "platform/CvWaitable.h"

// An event object: manual-reset events stay signalled until Reset; auto-reset
// events release one waiter and fall back to non-signalled.
class CvEvent : public CvWaitable {
public:
    explicit CvEvent(bool manualReset = true, bool initialState = false);

    void Set();
    void Reset();
    bool IsSet() const;

protected:
    bool IsSignalledLocked() const override { return m_signalled; }
    void ConsumeLocked() override;

private:
    const bool m_manualReset;
    bool m_signalled;
};
