#pragma once

#include <cstdint>
#include <vector>

#include "app/CvThread.h"
#include "messaging/CvNetNamePingRequest.h"
#include "platform/CvAdapterStatus.h"
#include "platform/CvEvent.h"
#include "platform/CvNcb.h"

class CvNetNamePinger;

// One of the pinger's slots: a thread that runs one ping each time its start
// event is set, with the NCB, answer buffer and completion event it needs.
// The pinger hands a request over while the slot is free (free flag set) and
// the slot gives the semaphore unit back when it is done.
class CvNetNamePingThread : public CvThread {
public:
    // Room for the status header and 255 name entries.
    static constexpr size_t kBufferSize =
        CvAdapterStatus::kHeaderSize + CvAdapterStatus::kNameSize * 255;

    explicit CvNetNamePingThread(CvNetNamePinger& pinger);
    ~CvNetNamePingThread() override;

    // Caller (the pinger's worker) has found the slot free.
    void Assign(CvNetNamePingRequest request);
    bool IsFree() const { return m_free; }

    // Reads an answer into a result: status 4 with the computer name and the
    // messenger names of the table (group names skipped, at most 255 entries
    // as counted in the header). An answer too short for its count yields
    // the entries that are complete.
    static void ReadNameTable(const uint8_t* buffer, size_t length, CvNetNamePingResult& result);

protected:
    void Run() override;

private:
    CvNetNamePingResult Ping(const CvNetNamePingRequest& request);
    // The adapter status return code for one adapter, or kNrcCmdCan when stopped.
    uint8_t AskAdapter(uint8_t lana, const std::string& oemName, uint8_t suffix);

    CvNetNamePinger& m_pinger;
    CvNetNamePingRequest m_request;
    CvNcb m_ncb;
    std::vector<uint8_t> m_buffer;
    CvEvent m_completion{true, false};
    CvEvent m_start{false, false};
    std::atomic<bool> m_free{true};
};
