#include "storage/CvArchiveReader.h"

#include <utility>

CvArchiveReader::CvArchiveReader(std::u16string path) : m_path(std::move(path)) {
    m_database.SetPath(m_path);
    m_database.SetReadOnly(true);
    Start();
}

CvArchiveReader::~CvArchiveReader() {
    ++m_generation;
    StopAndWait();
    m_database.Close();
}

void CvArchiveReader::Post(Job job) {
    std::lock_guard guard(m_lock);
    ++m_generation;
    m_next = std::move(job);
    m_wake.Set();
}

void CvArchiveReader::Cancel() {
    std::unique_lock guard(m_lock);
    ++m_generation;
    m_next = nullptr;
    m_idle.wait(guard, [this] { return !m_running; });
}

void CvArchiveReader::Run() {
    // Asked by the connection while a statement runs or waits for a lock.
    uint64_t current = 0;
    m_database.SetInterrupt(
        [this, &current] { return IsStopRequested() || m_generation.load() != current; });
    while (WaitForEventOrStop(m_wake, kInfinite)) {
        Job job;
        {
            std::lock_guard guard(m_lock);
            job = std::move(m_next);
            m_next = nullptr;
            if (!job) {
                continue;
            }
            current = m_generation.load();
            m_running = true;
        }
        if (!m_database.IsOpen()) {
            m_database.Open();
        }
        const Cancelled cancelled = [this, generation = current] {
            return IsStopRequested() || m_generation.load() != generation;
        };
        job(m_database, cancelled);
        ++m_finished;
        {
            std::lock_guard guard(m_lock);
            m_running = false;
        }
        m_idle.notify_all();
    }
    std::lock_guard guard(m_lock);
    m_running = false;
    m_idle.notify_all();
}
