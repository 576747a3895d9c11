#include "storage/CvMsgFiler.h"

#include <vector>

#include "messaging/CMsg.h"
#include "messaging/CvMsgQueue.h"
#include "platform/CvTextCodec.h"
#include "storage/CvMsgArchive.h"
#include "storage/CvPopupList.h"

namespace {

constexpr int32_t kRegisteredEverywhere = 4;

}  // namespace

CvMsgFiler::CvMsgFiler(CvMsgQueue& received, CvMsgQueue& sent, CvPopupList* popupList)
    : m_received(received), m_sent(sent), m_popupList(popupList) {}

void CvMsgFiler::SetArchive(CvMsgArchive* archive) {
    m_archive = archive;
    if (m_archive == nullptr) {
        m_backlog.Clear();
    }
}

void CvMsgFiler::SetOwnBroadcastFilter(bool discard, std::string userName, std::string computerName,
                                       NameState* state) {
    m_discardOwn = discard;
    m_userName = std::move(userName);
    m_computerName = std::move(computerName);
    m_state = state;
}

bool CvMsgFiler::IsOwnBroadcast(const std::string& sender) {
    if (m_state == nullptr) {
        return false;
    }
    const std::string upper = CvText::UpperCase(sender);
    for (const std::string* own : {&m_userName, &m_computerName}) {
        if (!own->empty() && upper == CvText::UpperCase(*own)) {
            return (*m_state)(*own) == kRegisteredEverywhere;
        }
    }
    return false;
}

CvMsgFiler::Result CvMsgFiler::DrainReceived(size_t limit) {
    Result result;
    std::vector<CvMsgArchive::Record> kept;
    CMsg msg;
    for (size_t taken = 0;; ++taken) {
        if (taken == limit) {
            result.more = m_received.Size() > 0;
            break;
        }
        if (!m_received.Take(msg)) {
            break;
        }
        if (msg.type == MsgBroadcast && m_discardOwn && IsOwnBroadcast(msg.sender)) {
            continue;
        }
        if (m_popupList != nullptr) {
            m_popupList->Append(msg, msg.time);
        }
        result.lastType = msg.type;
        ++result.kept;
        if (m_archive != nullptr) {
            kept.push_back({msg, true});
        }
    }
    if (m_archive != nullptr) {
        m_backlog.Store(*m_archive, std::move(kept));  // also what waits from before
    }
    return result;
}

int CvMsgFiler::DrainSent() {
    std::vector<CvMsgArchive::Record> sent;
    CMsg msg;
    while (m_sent.Take(msg)) {
        sent.push_back({msg, false});
    }
    const int count = static_cast<int>(sent.size());
    if (m_archive != nullptr) {
        m_backlog.Store(*m_archive, std::move(sent));
    }
    return count;
}

bool CvMsgFiler::RetryArchive() {
    return m_archive == nullptr || m_backlog.Retry(*m_archive);
}

bool CvMsgFiler::FlushArchive() {
    return m_archive == nullptr || m_backlog.Flush(*m_archive);
}
