#include "messaging/CvHostScanner.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "messaging/CvMsgLineFormat.h"
#include "platform/CvTextCodec.h"

namespace {

using Name16 = CvNeighbourhood::Name16;

constexpr uint8_t kMasterBrowserSuffix = 0x1D;

Name16 QueryName(const std::string& oem, uint8_t suffix) {
    Name16 field;
    field.fill(oem == "*" ? 0 : ' ');
    std::memcpy(field.data(), oem.data(), std::min<size_t>(oem.size(), 15));
    field[15] = suffix;
    return field;
}

// "\x01\x02__MSBROWSE__\x02<01>", the group every browse master joins.
Name16 BrowseMastersName() {
    Name16 field;
    const char raw[] = "\x01\x02__MSBROWSE__\x02";
    std::memcpy(field.data(), raw, 15);
    field[15] = 0x01;
    return field;
}

// The first 15 bytes without padding, as UTF-8; empty for names that are no
// workgroup or computer name (the wildcard, or anything the terminal sanitiser
// would have to change: such a name came from a peer playing tricks).
std::string NameText(const std::array<uint8_t, 16>& raw) {
    std::string oem(reinterpret_cast<const char*>(raw.data()), 15);
    while (!oem.empty() && (oem.back() == ' ' || oem.back() == '\0')) {
        oem.pop_back();
    }
    if (oem.empty() || oem[0] == '*') {
        return {};
    }
    std::string text = CvText::FromOem(oem);
    if (CvMsgLineFormat::HasControlCharacters(text)) {
        return {};
    }
    return text;
}

std::string Upper(const std::string& text) {
    return CvText::UpperCase(text);
}

struct Host {
    std::string computer;
    std::set<std::string> workgroups;
};

}  // namespace

CvHostScanner::CvHostScanner(CvNeighbourhood& neighbourhood, std::string ownWorkgroup)
    : m_neighbourhood(neighbourhood), m_ownWorkgroup(std::move(ownWorkgroup)) {}

CvHostScanner::~CvHostScanner() {
    Stop();
}

bool CvHostScanner::Start() {
    std::lock_guard guard(m_lock);
    if (m_thread) {
        return false;
    }
    m_thread =
        std::make_unique<CvThreadClassFunction<CvHostScanner>>(this, &CvHostScanner::ScanThread);
    m_thread->Start();
    return true;
}

void CvHostScanner::Stop() {
    std::unique_ptr<CvThreadClassFunction<CvHostScanner>> thread;
    {
        std::lock_guard guard(m_lock);
        thread = std::move(m_thread);
    }
    if (thread) {
        thread->StopAndWait();
    }
}

void CvHostScanner::ScanThread(CvThread* thread) {
    do {
        uint64_t pass = 0;
        {
            std::lock_guard guard(m_passLock);
            pass = ++m_startedPasses;
            m_passRequested = false;
        }
        m_wake.Reset();  // this pass answers the requests made so far
        CvNetResourceNode tree = Enumerate([thread] { return thread->IsStopRequested(); });
        if (thread->IsStopRequested()) {
            return;  // a cut pass would hide what the last full one saw
        }
        Publish(std::move(tree));
        {
            std::lock_guard guard(m_passLock);
            m_publishedPass = pass;
        }
        m_passChanged.notify_all();
        // A request that came during the pass asks for one more.
        bool requested = false;
        {
            std::lock_guard guard(m_passLock);
            requested = m_passRequested;
        }
        if (!requested) {
            thread->WaitForEventOrStop(m_wake, m_periodMs);  // RequestPass ends it early
        }
    } while (!thread->IsStopRequested());
}

std::optional<uint64_t> CvHostScanner::RequestPass() {
    {
        std::lock_guard guard(m_lock);
        if (!m_thread) {
            return std::nullopt;
        }
    }
    uint64_t ticket = 0;
    {
        std::lock_guard guard(m_passLock);
        m_passRequested = true;
        ticket = m_startedPasses + 1;
    }
    m_wake.Set();
    return ticket;
}

bool CvHostScanner::WaitForPass(uint64_t ticket, const CvNeighbourhood::StopCheck& stopped,
                                std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock guard(m_passLock);
    while (m_publishedPass < ticket) {
        if (stopped() || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Woken by each publication; the slice lets `stopped` be polled.
        m_passChanged.wait_for(guard, std::chrono::milliseconds(50));
    }
    return true;
}

std::chrono::steady_clock::duration CvHostScanner::Age() {
    std::lock_guard guard(m_lock);
    if (m_passes == 0) {
        return std::chrono::steady_clock::duration::max();
    }
    return std::chrono::steady_clock::now() - m_publishedAt;
}

void CvHostScanner::ScanOnce() {
    Publish(Enumerate([] { return false; }));
}

void CvHostScanner::Publish(CvNetResourceNode tree) {
    std::lock_guard guard(m_lock);
    m_tree = std::move(tree);
    ++m_passes;
    m_publishedAt = std::chrono::steady_clock::now();
}

CvNetResourceNode CvHostScanner::Tree() {
    std::lock_guard guard(m_lock);
    return m_tree;
}

uint64_t CvHostScanner::PassCount() {
    std::lock_guard guard(m_lock);
    return m_passes;
}

bool CvHostScanner::Contains(int32_t type, const std::string& name) {
    const std::string wanted = Upper(name);
    std::lock_guard guard(m_lock);
    std::vector<const CvNetResourceNode*> stack{&m_tree};
    while (!stack.empty()) {
        const CvNetResourceNode* node = stack.back();
        stack.pop_back();
        for (const auto& child : node->children) {
            if (child.info.type == type && Upper(child.info.name) == wanted) {
                return true;
            }
            stack.push_back(&child);
        }
    }
    return false;
}

CvNetResourceNode CvHostScanner::Enumerate(const CvNeighbourhood::StopCheck& stopped) {
    const auto deadline = std::chrono::steady_clock::now() + kPassLimit;
    const CvNeighbourhood::StopCheck over = [&] {
        return stopped() || std::chrono::steady_clock::now() >= deadline;
    };
    // Workgroup -> its computers, over every adapter.
    std::map<std::string, std::set<std::string>> found;

    const std::vector<uint8_t> adapters = m_neighbourhood.Adapters();
    if (!adapters.empty() && !m_ownWorkgroup.empty()) {
        found[Upper(m_ownWorkgroup)];
    }
    for (uint8_t lana : adapters) {
        std::map<uint32_t, Host> hosts;
        std::set<std::string> workgroups;
        bool first = true;
        const auto readTables = [&](const std::vector<uint32_t>& addresses) {
            for (uint32_t address : addresses) {
                if (over() || hosts.count(address) != 0) {
                    continue;
                }
                if (!first) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(kStatusPauseMs));
                }
                first = false;
                Host& host = hosts[address];
                const auto status = m_neighbourhood.NodeStatus(lana, address, over);
                if (!status) {
                    continue;
                }
                std::string unique20;
                for (const auto& entry : status->names) {
                    const std::string text = NameText(entry.name);
                    if (text.empty()) {
                        continue;
                    }
                    const uint8_t suffix = entry.name[15];
                    if (entry.IsGroup() && suffix == 0x00) {
                        host.workgroups.insert(Upper(text));
                    } else if (!entry.IsGroup() && suffix == kMasterBrowserSuffix) {
                        workgroups.insert(Upper(text));
                    } else if (!entry.IsGroup() && suffix == 0x00 && host.computer.empty()) {
                        host.computer = text;
                    } else if (!entry.IsGroup() && suffix == 0x20 && unique20.empty()) {
                        unique20 = text;
                    }
                }
                if (host.computer.empty()) {
                    host.computer = unique20;
                }
                workgroups.insert(host.workgroups.begin(), host.workgroups.end());
            }
        };

        readTables(m_neighbourhood.FindResponders(lana, QueryName("*", 0x00), over));
        readTables(m_neighbourhood.FindResponders(lana, BrowseMastersName(), over));
        if (!m_ownWorkgroup.empty()) {
            workgroups.insert(Upper(m_ownWorkgroup));
        }
        std::set<std::string> asked;
        while (!over() && asked.size() < kMaxGroupQueries) {
            auto next = std::find_if(workgroups.begin(), workgroups.end(),
                                     [&](const auto& group) { return asked.count(group) == 0; });
            if (next == workgroups.end()) {
                break;
            }
            const std::string group = *next;
            asked.insert(group);
            readTables(
                m_neighbourhood.FindResponders(lana, QueryName(CvText::ToOem(group), 0x00), over));
        }
        for (const auto& group : workgroups) {
            found[group];
        }
        for (const auto& [address, host] : hosts) {
            if (host.computer.empty()) {
                continue;
            }
            for (const auto& group : host.workgroups) {
                found[group].insert(host.computer);
            }
        }
    }

    CvNetResourceNode root;
    for (const auto& [group, computers] : found) {
        CvNetResourceNode domain;
        domain.info.type = kNetResourceDomain;
        domain.info.name = group;
        for (const auto& computer : computers) {
            CvNetResourceNode node;
            node.info.type = kNetResourceComputerNode;
            node.info.name = computer;
            node.info.computerName = computer;
            node.info.domain = group;
            domain.children.push_back(std::move(node));
        }
        root.children.push_back(std::move(domain));
    }
    return root;
}
