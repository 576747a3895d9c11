#include "storage/CvArchiveBacklog.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/CvTimeStamp.h"
#include "messaging/CvMsgLineFormat.h"

namespace {

// What a queued record holds beyond its strings.
constexpr size_t kRecordOverhead = sizeof(CvMsgArchive::Record) + 64;

}  // namespace

CvArchiveBacklog::CvArchiveBacklog(size_t maxPendingBytes, std::chrono::milliseconds firstPause)
    : m_maxPendingBytes(maxPendingBytes), m_firstPause(firstPause) {}

CvArchiveBacklog::~CvArchiveBacklog() {
    Clear();
}

void CvArchiveBacklog::Clear() {
    if (!m_pending.empty()) {
        std::fprintf(stderr,
                     "corvane: message archive: %zu message(s) could not be filed and are lost\n",
                     m_pending.size());
    }
    m_pending.clear();
    m_pendingBytes = 0;
    m_failing = false;
    m_pause = std::chrono::milliseconds(0);
    m_nextAttempt = Clock::time_point();
}

size_t CvArchiveBacklog::Cost(const CvMsgArchive::Record& record) {
    const CMsg& msg = record.msg;
    return kRecordOverhead + msg.address.size() + msg.sender.size() + msg.recipient.size() +
           msg.text.size();
}

size_t CvArchiveBacklog::Store(CvMsgArchive& archive, std::vector<CvMsgArchive::Record> records) {
    for (auto& record : records) {
        m_pendingBytes += Cost(record);
        m_pending.push_back(std::move(record));
    }
    DropBeyondBound();
    size_t filed = 0;
    if (!m_pending.empty() && Clock::now() >= m_nextAttempt) {
        Attempt(archive, filed);
    }
    return filed;
}

bool CvArchiveBacklog::Retry(CvMsgArchive& archive) {
    Store(archive, {});
    return m_pending.empty();
}

bool CvArchiveBacklog::Flush(CvMsgArchive& archive) {
    size_t filed = 0;
    if (!m_pending.empty()) {
        Attempt(archive, filed);
    }
    return m_pending.empty();
}

void CvArchiveBacklog::Attempt(CvMsgArchive& archive, size_t& filed) {
    const std::vector<CvMsgArchive::Record> batch(m_pending.begin(), m_pending.end());
    filed = std::min(archive.Store(batch), m_pending.size());
    for (size_t i = 0; i < filed; ++i) {
        m_pendingBytes -= Cost(m_pending.front());
        m_pending.pop_front();
    }
    if (m_pending.empty()) {
        if (m_failing) {
            std::fprintf(stderr, "corvane: message archive: the waiting messages are filed\n");
        }
        m_failing = false;
        m_pause = std::chrono::milliseconds(0);
        m_nextAttempt = Clock::time_point();
        return;
    }
    if (!m_failing) {
        std::fprintf(stderr,
                     "corvane: message archive: %zu message(s) could not be filed yet; they are "
                     "kept and tried again\n",
                     m_pending.size());
    }
    m_pause = m_failing ? std::min(m_pause * 2, kMaxPause) : m_firstPause;
    m_failing = true;
    m_nextAttempt = Clock::now() + m_pause;
}

void CvArchiveBacklog::DropBeyondBound() {
    while (m_pendingBytes > m_maxPendingBytes && !m_pending.empty()) {
        const CMsg& msg = m_pending.front().msg;
        std::fprintf(stderr,
                     "corvane: message archive: dropped the message %s %s of %s: more than %zu "
                     "bytes of messages wait to be filed\n",
                     m_pending.front().received ? "from" : "to",
                     CvMsgLineFormat::Printable(
                         m_pending.front().received ? msg.sender : msg.recipient, false)
                         .c_str(),
                     CvTimeStampText(msg.time).c_str(), m_maxPendingBytes);
        m_pendingBytes -= Cost(m_pending.front());
        m_pending.pop_front();
        ++m_dropped;
    }
}
