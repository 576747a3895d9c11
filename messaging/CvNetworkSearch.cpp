#include "messaging/CvNetworkSearch.h"

#include <chrono>
#include <vector>

#include "app/CvAppSettingsTable.h"
#include "app/CvPropertyList.h"
#include "messaging/CvHostScanner.h"
#include "messaging/CvNetDirectory.h"
#include "messaging/CvNetNamePinger.h"
#include "platform/CvTextCodec.h"

namespace {

bool Flag(const CvPropertyList& list, int32_t id) {
    return list.Get(id).GetInt() != 0;
}

std::string Upper(const std::string& text) {
    return CvText::UpperCase(text);
}

}  // namespace

CvNetworkSearchOptions CvNetworkSearchOptions::FromList(const CvPropertyList& list) {
    CvNetworkSearchOptions options;
    options.inNeighbourhood = Flag(list, CvSettingId::kLanSrchInNet);
    options.inDirectory = Flag(list, CvSettingId::kLanSrchInAD);
    options.domains = Flag(list, CvSettingId::kLanSrchTypeGroup);
    options.users = Flag(list, CvSettingId::kLanSrchTypeUser);
    options.computers = Flag(list, CvSettingId::kLanSrchTypeComp);
    options.answeringOnly = Flag(list, CvSettingId::kLanSrchStateOnline);
    return options;
}

CvNetworkSearch::CvNetworkSearch(CvNetNamePinger& pinger, CvHostScanner& scanner,
                                 CvNetDirectory& directory)
    : m_pinger(pinger), m_scanner(scanner), m_directory(directory) {}

CvNetworkSearch::~CvNetworkSearch() {
    Stop();
}

void CvNetworkSearch::SetOptions(const CvNetworkSearchOptions& options) {
    std::lock_guard guard(m_controlLock);
    m_options = options;
}

void CvNetworkSearch::Start(FoundFunction* found, FinishedFunction* finished) {
    Stop();
    std::lock_guard guard(m_controlLock);
    m_active = m_options;
    m_found = found;
    m_finished = finished;
    {
        std::lock_guard state(m_lock);
        m_pending.clear();
        m_results.clear();
        m_finishedFlag = false;
        m_idleEvent.Set();
    }
    m_requester = m_pinger.NewRequester();
    // A receiver of its own, so late results of an earlier search go nowhere.
    m_receiver =
        std::make_shared<CvVoidUnaryMemberFunctionSafe<CvNetworkSearch, CvNetNamePingResult&>>(
            this, &CvNetworkSearch::OnPingResult);
    m_thread = std::make_unique<CvNetsearchThread>(*this);
    m_thread->Start();
}

void CvNetworkSearch::Stop() {
    std::lock_guard guard(m_controlLock);
    if (m_thread) {
        m_thread->StopAndWait();
        m_thread.reset();
    }
    if (m_pump) {
        m_pump->StopAndWait();
        m_pump.reset();
    }
    if (m_receiver) {
        m_receiver->Unbind();
        m_receiver.reset();
        m_pinger.ReleaseRequester(m_requester);
    }
}

bool CvNetworkSearch::IsFinished() {
    std::lock_guard guard(m_lock);
    return m_finishedFlag;
}

void CvNetworkSearch::Search(CvThread& thread) {
    m_pump = std::make_unique<CvThreadClassFunction<CvNetworkSearch>>(this,
                                                                      &CvNetworkSearch::PumpThread);
    m_pump->Start();
    if (m_active.inNeighbourhood) {
        SearchNeighbourhood(thread);
    }
    if (m_active.inDirectory && !thread.IsStopRequested()) {
        SearchDirectory(thread);
    }
    // Every probe reports once, answered or not.
    if (!thread.WaitForEventOrStop(m_idleEvent, kInfinite)) {
        return;  // Stop stops the pump
    }
    m_pump->StopAndWait();
    if (m_finished != nullptr) {
        m_finished->Invoke();
    }
    std::lock_guard guard(m_lock);
    m_finishedFlag = true;
}

void CvNetworkSearch::SearchNeighbourhood(CvThread& thread) {
    if (m_active.freshPass) {
        // A station that came up since the last pass is in the next one.
        if (const auto ticket = m_scanner.RequestPass()) {
            m_scanner.WaitForPass(
                *ticket, [&thread] { return thread.IsStopRequested(); },
                CvHostScanner::kPassLimit + std::chrono::seconds(5));
        }
        if (thread.IsStopRequested()) {
            return;
        }
    }
    const CvNetResourceNode root = m_scanner.Tree();
    ReportOwnStation(root);
    std::vector<std::pair<const CvNetResourceNode*, const CvNetResourceNode*>> stack;
    for (auto it = root.children.rbegin(); it != root.children.rend(); ++it) {
        stack.emplace_back(&*it, &root);
    }
    while (!stack.empty() && !thread.IsStopRequested()) {
        const auto [node, parent] = stack.back();
        stack.pop_back();
        if (node->info.type == kNetResourceDomain) {
            if (m_active.domains) {
                Report({kNetResourceDomain, node->info.name, "", node->info.name,
                        node->info.comment, kNetResourceAvailable, 0});
            }
            for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
                stack.emplace_back(&*it, node);
            }
        } else if (node->info.type == kNetResourceComputerNode) {
            {
                std::lock_guard guard(m_lock);
                m_pending.emplace(Upper(node->info.name),
                                  PendingComputer{parent->info.name, node->info.comment});
                m_idleEvent.Reset();
            }
            m_pinger.Ping(m_requester, 0x00, node->info.name, m_receiver);
        }
    }
}

void CvNetworkSearch::SearchDirectory(CvThread& thread) {
    const std::string domain = m_directory.JoinedDomain();
    if (domain.empty()) {
        return;
    }
    const auto controller = m_directory.FindDomainController(domain);
    if (!controller) {
        return;
    }
    if (m_active.domains) {
        Report({kNetResourceDomain, domain, "", domain, "", kNetResourceAvailable, 1});
    }
    uint32_t filter = 0;
    if (m_active.users) {
        filter |= kDirectoryFilterNormalAccount;
    }
    if (m_active.computers) {
        filter |= kDirectoryFilterWorkstationTrust;
    }
    if (filter == 0) {
        return;
    }
    uint32_t resume = 0;
    bool more = true;
    while (more && !thread.IsStopRequested()) {
        std::vector<CvDirectoryAccount> batch;
        more = m_directory.EnumerateAccounts(*controller, filter, resume, batch);
        for (const auto& account : batch) {
            if ((account.flags & kDirectoryAccountDisabled) != 0) {
                continue;
            }
            CvNetResourceInfo info{kNetResourceAccount, account.name,        "", domain,
                                   account.fullName,    kNetResourceUnknown, 1};
            if ((account.flags & kDirectoryWorkstationTrustAccount) != 0) {
                if (!info.name.empty() && info.name.back() == '$') {
                    info.name.pop_back();
                }
                info.comment = account.comment;
            }
            Report(info);
        }
    }
}

void CvNetworkSearch::OnPingResult(CvNetNamePingResult& result) {
    {
        std::lock_guard guard(m_lock);
        m_results.push_back(result);
    }
    m_resultEvent.Set();
}

void CvNetworkSearch::PumpThread(CvThread* thread) {
    while (thread->WaitForEventOrStop(m_resultEvent, kInfinite)) {
        for (;;) {
            CvNetNamePingResult result;
            {
                std::lock_guard guard(m_lock);
                if (m_results.empty()) {
                    break;
                }
                result = std::move(m_results.front());
                m_results.pop_front();
            }
            HandleResult(result);
            if (thread->IsStopRequested()) {
                return;
            }
        }
    }
}

void CvNetworkSearch::HandleResult(const CvNetNamePingResult& result) {
    const std::string key = Upper(result.name);
    PendingComputer computer;
    {
        std::lock_guard guard(m_lock);
        auto it = m_pending.find(key);
        if (it == m_pending.end()) {
            return;
        }
        computer = it->second;
    }
    ReportComputer(result.name, computer, result.messengerNames);
    std::lock_guard guard(m_lock);
    auto it = m_pending.find(key);
    if (it != m_pending.end()) {
        m_pending.erase(it);
    }
    if (m_pending.empty()) {
        m_idleEvent.Set();
    }
}

void CvNetworkSearch::ReportComputer(const std::string& computer, const PendingComputer& where,
                                     const std::vector<std::string>& names) {
    const std::string key = Upper(computer);
    bool ownName = false;
    for (const auto& name : names) {
        ownName = ownName || Upper(name) == key;
    }
    if (!ownName && m_active.computers && !m_active.answeringOnly) {
        Report({kNetResourceAccount, computer, computer, where.domain, where.comment,
                kNetResourceNoAnswer, 0});
    }
    for (const auto& name : names) {
        if (Upper(name) == key) {
            if (m_active.computers) {
                Report({kNetResourceAccount, computer, computer, where.domain, where.comment,
                        kNetResourceAvailable, 0});
            }
        } else if (m_active.users) {
            Report({kNetResourceAccount, name, computer, where.domain, where.comment,
                    kNetResourceAvailable, 0});
        }
    }
}

void CvNetworkSearch::ReportOwnStation(const CvNetResourceNode& root) {
    // An empty tree: no adapter, and so no network this station is on.
    if (m_active.ownComputer.empty() || root.children.empty()) {
        return;
    }
    const std::string own = Upper(m_active.ownComputer);
    const std::string workgroup = Upper(m_active.ownWorkgroup);
    bool workgroupListed = false;
    for (const CvNetResourceNode& domain : root.children) {
        workgroupListed = workgroupListed || Upper(domain.info.name) == workgroup;
        for (const CvNetResourceNode& node : domain.children) {
            if (node.info.type == kNetResourceComputerNode && Upper(node.info.name) == own) {
                return;  // the scan found it: probed like the others
            }
        }
    }
    if (!workgroupListed && !workgroup.empty() && m_active.domains) {
        Report({kNetResourceDomain, m_active.ownWorkgroup, "", m_active.ownWorkgroup, "",
                kNetResourceAvailable, 0});
    }
    ReportComputer(m_active.ownComputer, {m_active.ownWorkgroup, ""}, m_active.ownMessengerNames);
}

void CvNetworkSearch::Report(CvNetResourceInfo info) {
    std::lock_guard guard(m_reportLock);
    if (m_found != nullptr) {
        m_found->Invoke(info);
    }
}
