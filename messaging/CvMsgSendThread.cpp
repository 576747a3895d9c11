#include "messaging/CvMsgSendThread.h"

#include <mutex>

#include "messaging/CvError.h"
#include "messaging/CvMessagingClient.h"
#include "messaging/CvMsgOutbox.h"
#include "messaging/SendResultCode.h"

CvMsgSendThread::CvMsgSendThread(CvMsgOutbox* outbox, CvMsgOutboxReceiver* receiver,
                                 const CMsg& msg, int32_t id)
    : CvThreadClassFunction<CvMsgOutbox>(outbox, nullptr),
      m_outbox(outbox),
      m_receiver(receiver),
      m_msg(msg),
      m_id(id) {}

void CvMsgSendThread::Run() {
    int32_t code = SendResultSuccess;
    try {
        m_outbox->Client()->Send(m_msg);
    } catch (const CvAddrNotFoundErr&) {
        code = SendResultAddrNotFound;
    } catch (const CvDataTransmissionErr&) {
        code = SendResultTransmission;
    } catch (const CvNoInterfaceAvailErr&) {
        code = SendResultNoInterface;
    } catch (const CvNetworkErr&) {
        code = SendResultUnknownError;
    } catch (...) {
        // Not a network error: still one result, and the next send may go.
        code = SendResultUnknownError;
    }

    CvMsgOutboxSendResult result{m_msg, m_id, nullptr, code, {}};
    {
        std::lock_guard guard(m_outbox->ResultLock());
        if (code == SendResultSuccess && m_outbox->SentListener() != nullptr) {
            CMsg sent = m_msg;
            try {
                (*m_outbox->SentListener())(sent);
            } catch (...) {
                // As for the receiver below.
            }
        }
        if (m_receiver != nullptr) {
            result.receiver = m_receiver;
            try {
                (*m_receiver)(result);
            } catch (...) {
                // A receiver that throws must not stop the outbox.
            }
        }
    }
    m_outbox->SendFinished(this);
}
