#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

#include "storage/CvMsgArchive.h"

// Files messages into a message archive and keeps the ones the file did not
// take (another program held its lock beyond the busy time-out, the disk was
// full) to try them again, oldest first and before anything newer. A
// received message was already acknowledged to its sender: losing it because
// the file was briefly busy would lose it for good.
//
// After a failed attempt the next one waits a pause that doubles from
// `firstPause` up to kMaxPause, so that a file locked for long does not stall
// the caller for a busy time-out at every message; messages stored meanwhile
// join the queue untried. Memory is bounded: when the waiting messages take
// more than `maxPendingBytes` (kMaxPendingBytes, 4 MiB: some 600 messages of
// the longest kind, thousands of usual ones), the oldest are dropped, each
// reported on standard error.
//
// Not thread-safe: the owner files from one thread at a time.
class CvArchiveBacklog {
public:
    static constexpr size_t kMaxPendingBytes = 4 * 1024 * 1024;
    static constexpr std::chrono::milliseconds kFirstPause{1000};
    static constexpr std::chrono::milliseconds kMaxPause{30000};

    explicit CvArchiveBacklog(size_t maxPendingBytes = kMaxPendingBytes,
                              std::chrono::milliseconds firstPause = kFirstPause);
    // Messages still waiting are lost; says so on standard error.
    ~CvArchiveBacklog();
    CvArchiveBacklog(const CvArchiveBacklog&) = delete;
    CvArchiveBacklog& operator=(const CvArchiveBacklog&) = delete;

    // Queues `records` behind the waiting ones and, unless a pause after a
    // failure runs, files the queue into `archive` in one transaction.
    // Returns how many messages were filed by this call.
    size_t Store(CvMsgArchive& archive, std::vector<CvMsgArchive::Record> records);
    // Files the waiting messages when no pause runs. True when none waits.
    bool Retry(CvMsgArchive& archive);
    // Files the waiting messages now, pause or not (before the archive
    // closes). True when none waits.
    bool Flush(CvMsgArchive& archive);

    // Drops the waiting messages (archiving was turned off), saying so on
    // standard error.
    void Clear();

    size_t PendingCount() const { return m_pending.size(); }
    // Messages dropped because the queue was full.
    size_t DroppedCount() const { return m_dropped; }

private:
    using Clock = std::chrono::steady_clock;

    void Attempt(CvMsgArchive& archive, size_t& filed);
    void DropBeyondBound();
    static size_t Cost(const CvMsgArchive::Record& record);

    const size_t m_maxPendingBytes;
    const std::chrono::milliseconds m_firstPause;
    std::deque<CvMsgArchive::Record> m_pending;
    size_t m_pendingBytes = 0;
    size_t m_dropped = 0;
    bool m_failing = false;  // the last attempt left messages waiting
    std::chrono::milliseconds m_pause{0};
    Clock::time_point m_nextAttempt{};
};
