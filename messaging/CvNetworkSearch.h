#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvFunction.h"
#include "app/CvMemberFunctionSafe.h"
#include "app/CvThreadClassFunction.h"
#include "messaging/CvNetNamePingResult.h"
#include "messaging/CvNetResourceInfo.h"
#include "messaging/CvNetsearchThread.h"
#include "platform/CvEvent.h"

class CvHostScanner;
class CvNetDirectory;
class CvNetNamePinger;
class CvPropertyList;

// What a network search looks for.
struct CvNetworkSearchOptions {
    bool inNeighbourhood = true;  // LanSrchInNet
    bool inDirectory = true;      // LanSrchInAD
    bool domains = true;          // LanSrchTypeGroup
    bool users = true;            // LanSrchTypeUser
    bool computers = true;        // LanSrchTypeComp
    bool answeringOnly = false;   // LanSrchStateOnline
    // Whether the neighbourhood is read from a scanner pass that starts after
    // the search (when the scanner runs) rather than from its latest tree.
    bool freshPass = false;
    // This station, listed like a computer that answered with its messenger
    // names, since a scan does not find the station that runs it. Not listed
    // without a computer name, or when the scan saw no adapter.
    std::string ownComputer;
    std::string ownWorkgroup;
    std::vector<std::string> ownMessengerNames;

    static CvNetworkSearchOptions FromList(const CvPropertyList& list);
};

// One search of the LAN for domains/workgroups, computers and users: the
// host scanner's latest tree, each of its computers probed with the pinger
// (its messenger names become users), and the accounts of the directory.
//
// `found` is called on the search's threads for each resource; `finished`
// once when the search has ended by itself (not after Stop). Neither is
// called after Stop or the destructor has returned.
class CvNetworkSearch {
public:
    using FoundFunction = CvUnaryFunction<void, CvNetResourceInfo&>;
    using FinishedFunction = CvNullaryFunction<void>;

    // All three must outlive the search.
    CvNetworkSearch(CvNetNamePinger& pinger, CvHostScanner& scanner, CvNetDirectory& directory);
    ~CvNetworkSearch();
    CvNetworkSearch(const CvNetworkSearch&) = delete;
    CvNetworkSearch& operator=(const CvNetworkSearch&) = delete;

    // Used by the next Start.
    void SetOptions(const CvNetworkSearchOptions& options);
    // Abandons a running search (as Stop) and starts a new one.
    void Start(FoundFunction* found, FinishedFunction* finished);
    // Ends the search and waits for its threads.
    void Stop();
    // True once the search ended by itself.
    bool IsFinished();

private:
    friend class CvNetsearchThread;

    struct PendingComputer {
        std::string domain;
        std::string comment;
    };

    void Search(CvThread& thread);
    void SearchNeighbourhood(CvThread& thread);
    void SearchDirectory(CvThread& thread);
    void PumpThread(CvThread* thread);
    void OnPingResult(CvNetNamePingResult& result);
    void HandleResult(const CvNetNamePingResult& result);
    // The rows of a computer whose probe answered (or not) with `names`.
    void ReportComputer(const std::string& computer, const PendingComputer& where,
                        const std::vector<std::string>& names);
    void ReportOwnStation(const CvNetResourceNode& root);
    void Report(CvNetResourceInfo info);

    CvNetNamePinger& m_pinger;
    CvHostScanner& m_scanner;
    CvNetDirectory& m_directory;
    std::mutex m_controlLock;  // Start / Stop
    CvNetworkSearchOptions m_options;
    CvNetworkSearchOptions m_active;  // the running search's, set by Start
    FoundFunction* m_found = nullptr;
    FinishedFunction* m_finished = nullptr;
    uint32_t m_requester = 0;
    std::unique_ptr<CvNetsearchThread> m_thread;
    std::unique_ptr<CvThreadClassFunction<CvNetworkSearch>> m_pump;
    std::shared_ptr<CvVoidUnaryMemberFunctionSafe<CvNetworkSearch, CvNetNamePingResult&>>
        m_receiver;

    std::mutex m_reportLock;                                // one found call at a time
    std::mutex m_lock;                                      // everything below
    std::multimap<std::string, PendingComputer> m_pending;  // by upper-case name
    std::deque<CvNetNamePingResult> m_results;
    bool m_finishedFlag = false;
    CvEvent m_resultEvent{false, false};
    CvEvent m_idleEvent{true, false};  // set when no ping is pending
};
