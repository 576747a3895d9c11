#pragma once

#include <cstdint>

#include "app/CvThreadClassFunction.h"
#include "messaging/CvMsgOutboxSendResult.h"

class CvMsgOutbox;

// Sends one message through the outbox's client and reports the result. It
// deletes itself when done. The body is Run itself, not a member of the
// outbox, so no outbox method is bound.
class CvMsgSendThread : public CvThreadClassFunction<CvMsgOutbox> {
public:
    CvMsgSendThread(CvMsgOutbox* outbox, CvMsgOutboxReceiver* receiver, const CMsg& msg,
                    int32_t id);

    int32_t Id() const { return m_id; }
    // Under the outbox's result lock: no result will be delivered.
    void ClearReceiver() { m_receiver = nullptr; }

protected:
    void Run() override;

private:
    CvMsgOutbox* m_outbox;
    CvMsgOutboxReceiver* m_receiver;
    CMsg m_msg;
    int32_t m_id;
};
