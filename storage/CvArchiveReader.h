#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/CvThread.h"
#include "platform/CvEvent.h"
#include "storage/CvDatabase2.h"

// Reads the message archive file on a thread of its own, through a read-only
// connection of its own, so that the thread that writes the archive (and
// draws its windows) never waits for a long read: searches and exports.
//
// It runs one job at a time, the one posted last: posting drops a job still
// waiting and cancels the one running. A cancelled job's statements are
// interrupted, and its `cancelled` answers true from then on, so it ends
// soon and delivers nothing.
//
// A job holds the file's shared lock only while one of its statements runs,
// and the writer waits for that lock before it commits (rollback journal):
// jobs keep their statements short (CvArchiveSearch, CvArchiveExport read a
// window of row ids per statement).
class CvArchiveReader : private CvThread {
public:
    using Cancelled = std::function<bool()>;
    using Job = std::function<void(CvDatabase2& database, const Cancelled& cancelled)>;

    // The connection opens read-only at the first job; a file that cannot be
    // opened leaves every statement failing.
    explicit CvArchiveReader(std::u16string path);
    // Cancels the job running and waits for it.
    ~CvArchiveReader() override;
    CvArchiveReader(const CvArchiveReader&) = delete;
    CvArchiveReader& operator=(const CvArchiveReader&) = delete;

    void Post(Job job);
    // Drops the job waiting and cancels the one running; returns once none
    // runs, so that nothing a job calls happens after it.
    void Cancel();

    // Jobs run so far (for tests).
    uint64_t Finished() const { return m_finished.load(); }

private:
    void Run() override;

    const std::u16string m_path;
    CvDatabase2 m_database;  // used on the reader's thread only
    std::mutex m_lock;
    std::condition_variable m_idle;
    CvEvent m_wake{false, false};
    Job m_next;
    bool m_running = false;
    // Raised by every Post and Cancel; a job runs for the value it started
    // with and is cancelled once it moves on.
    std::atomic<uint64_t> m_generation{0};
    std::atomic<uint64_t> m_finished{0};
};
