#include "netbios/CNetbiosMailslots.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "netbios/NetbiosOperations.h"
#include "platform/CvNetbiosProvider.h"
#include "platform/CvTextCodec.h"
#include "platform/nbt/SmbMailslotTransaction.h"

namespace {

constexpr const char* kMailslotPrefix = "\\MAILSLOT\\";

class RemoteMailslotWriter : public CvMailslotWriter {
public:
    RemoteMailslotWriter(CNetbiosMailslots& owner, std::string target, std::string mailslot)
        : m_owner(owner), m_target(std::move(target)), m_mailslot(std::move(mailslot)) {}

    bool Write(std::span<const uint8_t> message) override {
        return m_owner.WriteRemote(m_target, m_mailslot, message);
    }

private:
    CNetbiosMailslots& m_owner;
    std::string m_target;
    std::string m_mailslot;
};

}  // namespace

CNetbiosMailslots::CNetbiosMailslots(CvNetbiosProvider& provider, CvMailslotProvider& local,
                                     std::string computerName)
    : m_provider(provider),
      m_local(local),
      m_oemName(CvText::ToOem(CvText::UpperCase(computerName))) {}

CNetbiosMailslots::~CNetbiosMailslots() {
    Stop();
}

void CNetbiosMailslots::Start() {
    if (!m_thread) {
        m_thread = std::make_unique<CvThreadClassFunction<CNetbiosMailslots>>(
            this, &CNetbiosMailslots::ServerThread);
        m_thread->Start();
    }
}

void CNetbiosMailslots::Stop() {
    m_thread.reset();
    std::lock_guard guard(m_lock);
    for (auto& [lana, adapter] : m_adapters) {
        if (adapter->receiving) {
            NBCancel(m_provider, lana, adapter->receive);
            adapter->receiving = false;
        }
        NBDeleteName(m_provider, lana, m_oemName, 0x00, adapter->nameNumber);
    }
    m_adapters.clear();
}

std::unique_ptr<CvLocalMailslot> CNetbiosMailslots::CreateMailslot(const std::string& name,
                                                                   uint32_t maxMessageSize) {
    return m_local.CreateMailslot(name, maxMessageSize);
}

std::unique_ptr<CvMailslotWriter> CNetbiosMailslots::OpenMailslot(const std::string& target,
                                                                  const std::string& name) {
    if (target == ".") {
        return m_local.OpenMailslot(target, name);
    }
    if (target.empty() || name.empty()) {
        return nullptr;
    }
    // NetBIOS names are upper case; the target is OEM bytes, so only ASCII
    // letters are folded here (callers upper-case the rest before converting).
    std::string upper = target;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) {
        return static_cast<char>(c < 0x80 ? std::toupper(c) : c);
    });
    return std::make_unique<RemoteMailslotWriter>(*this, upper, name);
}

uint8_t CNetbiosMailslots::EnsureRegistered(uint8_t lana) {
    std::lock_guard guard(m_lock);
    auto& adapter = m_adapters[lana];
    if (!adapter) {
        adapter = std::make_unique<Adapter>();
    }
    if (adapter->nameNumber == 0) {
        uint8_t number = 0;
        uint8_t code = NBAddName(m_provider, lana, m_oemName, 0x00, number);
        if (code == kNrcDupName) {
            // Left from an earlier registration whose number we lost.
            NBDeleteName(m_provider, lana, m_oemName, 0x00, 0);
            code = NBAddName(m_provider, lana, m_oemName, 0x00, number);
        }
        if (code == kNrcGoodRet) {
            adapter->nameNumber = number;
        }
    }
    return adapter->nameNumber;
}

bool CNetbiosMailslots::WriteRemote(const std::string& target, const std::string& mailslot,
                                    std::span<const uint8_t> message) {
    SmbMailslotTransaction transaction;
    transaction.mailslotName = kMailslotPrefix + CvText::UpperCase(mailslot);
    transaction.data.assign(message.begin(), message.end());
    auto encoded = transaction.Encode();
    if (!encoded) {
        return false;  // larger than a datagram can carry
    }
    const NbtBytes& payload = encoded.Value();

    uint8_t adapters[256] = {};
    if (NBEnum(m_provider, adapters) != kNrcGoodRet) {
        return false;
    }
    bool sent = false;
    for (int i = 1; i <= adapters[0]; ++i) {
        const uint8_t lana = adapters[i];
        const uint8_t number = EnsureRegistered(lana);
        if (number == 0) {
            continue;
        }
        CvNcb ncb;
        ncb.command = kNcbSendDatagram;
        ncb.lana = lana;
        ncb.num = number;
        CvSetNetbiosName(ncb.callname, target.data(), target.size(), 0x00);
        ncb.buffer = const_cast<uint8_t*>(payload.data());
        ncb.length = static_cast<uint16_t>(payload.size());
        sent |= m_provider.Submit(ncb) == kNrcGoodRet;
    }
    return sent;
}

void CNetbiosMailslots::PostReceive(uint8_t lana, Adapter& adapter) {
    adapter.event.Reset();
    const uint8_t code = NBRecvDatagramAsy(
        m_provider, adapter.receive, lana, adapter.nameNumber, adapter.buffer.data(),
        static_cast<uint16_t>(adapter.buffer.size()), adapter.event);
    adapter.receiving = code == kNrcPending;
    if (!adapter.receiving) {
        adapter.nameNumber = 0;  // the name is gone (adapter reset): register again
    }
}

void CNetbiosMailslots::Deliver(const uint8_t* data, size_t length) {
    auto transaction = SmbMailslotTransaction::Decode({data, length});
    if (!transaction) {
        return;
    }
    const std::string& name = transaction.Value().mailslotName;
    const std::string prefix = kMailslotPrefix;
    if (name.size() <= prefix.size() ||
        CvText::UpperCase(name.substr(0, prefix.size())) != prefix) {
        return;
    }
    if (auto writer = m_local.OpenMailslot(".", name.substr(prefix.size()))) {
        writer->Write(transaction.Value().data);
    }
}

void CNetbiosMailslots::ServerThread(CvThread* thread) {
    while (!thread->IsStopRequested()) {
        // Register on adapters that appeared and keep a receive posted on each.
        uint8_t lanas[256] = {};
        if (NBEnum(m_provider, lanas) == kNrcGoodRet) {
            for (int i = 1; i <= lanas[0]; ++i) {
                EnsureRegistered(lanas[i]);
            }
        }
        std::vector<CvWaitable*> events;
        std::vector<uint8_t> order;
        {
            std::lock_guard guard(m_lock);
            for (auto& [lana, adapter] : m_adapters) {
                if (adapter->nameNumber != 0 && !adapter->receiving) {
                    PostReceive(lana, *adapter);
                }
                if (adapter->receiving) {
                    events.push_back(&adapter->event);
                    order.push_back(lana);
                }
            }
        }
        events.push_back(&thread->StopEvent());
        const uint32_t which = CvWaitable::WaitAny(events, kRescanMs);
        if (which == kWaitTimeout || which >= order.size()) {
            continue;
        }
        std::lock_guard guard(m_lock);
        Adapter& adapter = *m_adapters[order[which]];
        adapter.receiving = false;
        const uint8_t code = adapter.receive.retcode;
        if (code == kNrcGoodRet) {
            Deliver(adapter.buffer.data(), adapter.receive.length);
        } else if (code != kNrcIncomp) {
            adapter.nameNumber = 0;  // cancelled by a reset, or the name is gone
        }
    }
}
