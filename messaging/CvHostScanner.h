#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/CvCriticalSection.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvNetResourceInfo.h"
#include "platform/CvEvent.h"
#include "platform/CvNeighbourhood.h"

// Walks the network neighbourhood every two minutes, and at once when a fresh
// pass is asked for, and publishes a tree of domains/workgroups (type 2)
// holding their computers (type 1).
//
// On each adapter's segment a pass asks who answers "*<00>" and who is a
// browse master, reads the name table of each new station, then asks for
// every workgroup seen (the group names with suffix 0x00 the tables hold,
// the workgroups master browsers hold <1D> for, and this station's own) and
// reads the tables of the stations that answer. A computer appears under each
// workgroup its table lists; its name is its unique name with suffix 0x00
// (0x20 when it has none), and a station without either is left out.
// Comments stay empty: the name service carries none.
class CvHostScanner {
public:
    static constexpr uint32_t kScanPeriodMs = 120000;
    // Pause between two node status requests of a pass.
    static constexpr uint32_t kStatusPauseMs = 5;
    // Workgroup queries per adapter and pass, and the time a pass may take.
    static constexpr size_t kMaxGroupQueries = 16;
    static constexpr std::chrono::milliseconds kPassLimit{20000};

    // `ownWorkgroup` (upper case, may be empty) is listed whenever an adapter
    // is there. The neighbourhood must outlive the scanner.
    CvHostScanner(CvNeighbourhood& neighbourhood, std::string ownWorkgroup);
    ~CvHostScanner();
    CvHostScanner(const CvHostScanner&) = delete;
    CvHostScanner& operator=(const CvHostScanner&) = delete;

    // Starts the scan thread (first pass at once); false when it runs already.
    bool Start();
    void Stop();
    // For tests: the pause between passes.
    void SetPeriod(uint32_t ms) { m_periodMs = ms; }

    // Runs one pass on the calling thread and publishes its tree.
    void ScanOnce();

    // A copy of the latest published tree (empty root before the first pass).
    CvNetResourceNode Tree();
    // Whether the latest tree has a node of `type` named `name`; letters are
    // compared without regard to case.
    bool Contains(int32_t type, const std::string& name);
    // Passes published so far.
    uint64_t PassCount();
    // How long ago the latest tree was published (the largest duration
    // before the first pass).
    std::chrono::steady_clock::duration Age();

    // Asks the scan thread for a fresh pass: one that starts after this call,
    // at once or right after the pass under way. Returns the ticket that
    // WaitForPass takes, or nothing when the scan thread does not run.
    std::optional<uint64_t> RequestPass();
    // Waits until a pass that started at or after `ticket` is published; false
    // when `stopped` said so or `timeout` ran out first.
    bool WaitForPass(uint64_t ticket, const CvNeighbourhood::StopCheck& stopped,
                     std::chrono::milliseconds timeout);

    // One pass into a fresh tree; returns early, with what it has, when
    // `stopped` says so.
    CvNetResourceNode Enumerate(const CvNeighbourhood::StopCheck& stopped);

private:
    void ScanThread(CvThread* thread);
    void Publish(CvNetResourceNode tree);

    CvNeighbourhood& m_neighbourhood;
    const std::string m_ownWorkgroup;
    CvCriticalSection m_lock;
    CvNetResourceNode m_tree;
    uint64_t m_passes = 0;
    std::chrono::steady_clock::time_point m_publishedAt;

    // Passes are numbered as they start; the number of the latest published
    // pass, and whether a pass was asked for.
    std::mutex m_passLock;
    std::condition_variable m_passChanged;
    uint64_t m_startedPasses = 0;
    uint64_t m_publishedPass = 0;
    bool m_passRequested = false;
    CvEvent m_wake{false, false};
    uint32_t m_periodMs = kScanPeriodMs;
    std::unique_ptr<CvThreadClassFunction<CvHostScanner>> m_thread;
};
