#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/CvFunction.h"
#include "app/CvMemberFunction.h"
#include "messaging/CMsg.h"
#include "messaging/CvMsgQueue.h"
#include "storage/CvMsgFiler.h"

class CvControlServer;
class CvMsgArchive;
class CvPopupList;
class CvStation;

// A running station with what a program that runs one keeps around it: the
// message archive, the queues that carry received and sent records away from
// the transport and send threads, the filer with its backlog, the control
// socket through which `corvane send` hands messages over, and the order in
// which all of them stop. The command-line station and the desktop program
// each own one.
//
// Records are filed in one of two ways:
// - on arrival, on the thread that reports them: the archive holds a
//   received message before its sender hears of success, so not even a
//   killed process loses one (the command-line station);
// - on drain, by the owner's thread, which is woken once per batch (the
//   desktop's window thread, which also shows them in the popup list).
//
// Stop order: no new requests (control socket), no new messages and no send
// under way (the station: a send in progress ends and reports), then every
// received and sent record is filed, the backlog flushed, and the archive
// closed. So a message acknowledged to its sender, or a send reported as a
// success, before the stop is in the archive afterwards.
class CvStationHost {
public:
    enum class Filing { OnArrival, OnDrain };

    // Received messages also go to `popupList` when given (not owned).
    explicit CvStationHost(Filing filing, CvPopupList* popupList = nullptr);
    // Stops, without waiting for a busy archive file.
    ~CvStationHost();
    CvStationHost(const CvStationHost&) = delete;
    CvStationHost& operator=(const CvStationHost&) = delete;

    // Before Start: takes over an open archive; null files nothing.
    void SetArchive(std::unique_ptr<CvMsgArchive> archive);
    CvMsgArchive* Archive() const { return m_archive.get(); }
    // Before Start, filing on drain: called from any thread when received
    // (or sent) records wait, once until the owner drains them. Not owned.
    void SetWakeUps(CvNullaryFunction<void>* received, CvNullaryFunction<void>* sent);
    // Before Start: called on the transport thread with each received
    // message once it was queued (filing on arrival: filed). Not owned.
    void SetReceiveTap(CvUnaryFunction<void, const CMsg&>* tap) { m_tap = tap; }
    // The filer's settings (own broadcasts); from the owner's thread.
    CvMsgFiler& Filer() { return m_filer; }

    // Starts `station` with the host's receivers, then opens and starts the
    // control socket at `controlPath` ("" for none). False, with the reason
    // in `controlError`, when the socket cannot be opened; the station runs
    // all the same.
    bool Start(std::unique_ptr<CvStation> station, const std::string& controlPath,
               std::string* controlError);
    CvStation* Station() const { return m_station.get(); }
    bool HasControlSocket() const { return m_control != nullptr; }
    std::string ControlPath() const;

    // Filing on drain, from the owner's thread: files what the queues hold;
    // received records at most `limit` at a time, so that a flood does not
    // hold the owner's thread for long (Result::more: drain again).
    CvMsgFiler::Result DrainReceived(size_t limit = SIZE_MAX);
    int DrainSent();
    // Files what waits for the archive file when its pause is over; cheap
    // otherwise. True when nothing waits.
    bool RetryArchive();
    size_t ArchivePending();

    // The stop order above; while the archive file refuses the last records
    // it is tried again for up to `flushFor`. From the owner's thread;
    // idempotent.
    void Stop(std::chrono::milliseconds flushFor);
    bool IsStopped() const { return m_stopped; }

    // What the station calls (transport and send threads).
    CvUnaryFunction<void, CMsg&>& ReceivedBinding() { return m_receivedBinding; }
    CvUnaryFunction<void, CMsg&>& SentBinding() { return m_sentBinding; }

private:
    void OnReceived(CMsg& msg);
    void OnSent(CMsg& msg);

    const Filing m_filing;
    std::unique_ptr<CvMsgArchive> m_archive;
    CvMsgQueue m_received;
    CvMsgQueue m_sent;
    // Guards the filer while records are filed on arrival.
    std::mutex m_fileLock;
    CvMsgFiler m_filer;
    std::unique_ptr<CvStation> m_station;
    std::unique_ptr<CvControlServer> m_control;
    CvNullaryFunction<void>* m_wakeReceived = nullptr;
    CvNullaryFunction<void>* m_wakeSent = nullptr;
    std::atomic<bool> m_receivedWoken{false};
    std::atomic<bool> m_sentWoken{false};
    CvUnaryFunction<void, const CMsg&>* m_tap = nullptr;
    bool m_stopped = false;

    CvVoidUnaryMemberFunction<CvStationHost, CMsg&> m_receivedBinding{this,
                                                                      &CvStationHost::OnReceived};
    CvVoidUnaryMemberFunction<CvStationHost, CMsg&> m_sentBinding{this, &CvStationHost::OnSent};
};
