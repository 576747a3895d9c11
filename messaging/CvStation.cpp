#include "messaging/CvStation.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "messaging/CvBroadcastWriter.h"
#include "messaging/CvMsgComposer.h"
#include "messaging/CvMsgOutbox.h"
#include "messaging/CvMslotMessagingClient.h"
#include "messaging/CvNetbiosInterface.h"
#include "messaging/CvNetbiosNetwork.h"
#include "messaging/CvSmbMessagingClient.h"
#include "netbios/CNetbiosMailslots.h"
#include "platform/CvNetbiosGate.h"
#include "platform/CvTextCodec.h"
#include "platform/CvUnixMailslots.h"
#include "platform/nbt/CvNbtStack.h"

CvStation::CvStation(CvNetbiosProvider& netbios, CvMailslotProvider& localMailslots,
                     CvStationSettings settings)
    : m_settings(std::move(settings)),
      m_gate(std::make_unique<CvNetbiosGate>(netbios)),
      m_mailslots(
          std::make_unique<CNetbiosMailslots>(*m_gate, localMailslots, m_settings.computerName)),
      m_network(std::make_unique<CvNetbiosNetwork>(*m_gate)),
      m_smbClient(std::make_unique<CvSmbMessagingClient>()),
      m_mslotClient(std::make_unique<CvMslotMessagingClient>()),
      m_outbox(std::make_unique<CvMsgOutbox>()),
      m_fragmentEnabled(m_settings.fragmentEnabled),
      m_maxBroadcastLength(m_settings.maxBroadcastLength) {}

CvStation::CvStation(std::unique_ptr<CvNetbiosProvider> ownedNetbios,
                     std::unique_ptr<CvMailslotProvider> ownedLocal, CvStationSettings settings)
    : CvStation(*ownedNetbios, *ownedLocal, std::move(settings)) {
    m_ownedNetbios = std::move(ownedNetbios);
    m_ownedLocal = std::move(ownedLocal);
}

std::unique_ptr<CvStation> CvStation::CreateReal(CvStationSettings settings) {
    return std::unique_ptr<CvStation>(new CvStation(
        std::make_unique<CvNbtStack>(), std::make_unique<CvUnixMailslots>(), std::move(settings)));
}

CvStation::~CvStation() {
    Stop();
}

void CvStation::Start() {
    {
        std::lock_guard guard(m_stateLock);
        if (m_state != State::Created) {
            return;
        }
        m_state = State::Running;
    }
    // The redirector registers the computer name for mailslot datagrams.
    m_mailslots->Start();

    m_network->SetWatchPeriod(m_watchPeriodMs);
    m_network->SetChangeListener(m_smbClient->InterfacesChangedNotifier());
    m_network->StartWatch();

    for (const Name& name : Names()) {
        if (name.kind == MsgPersonal) {
            m_smbClient->AddPersonalName(name.name);
        } else {
            m_smbClient->AddGroupName(name.name);
        }
    }
    m_smbClient->SetReceiver(m_receiver);
    m_smbClient->SetNetwork(m_network.get());
    m_smbClient->SetMailslots(m_mailslots.get());
    m_smbClient->SetFragmentEnabled(m_fragmentEnabled);
    m_smbClient->SetMaxBroadcastLength(m_maxBroadcastLength);
    m_smbClient->SetSendTimeout(m_settings.sendTimeoutMs);
    m_smbClient->StateWatch().SetPeriod(m_watchPeriodMs);
    m_smbClient->Start();

    m_mslotClient->SetReceiver(m_receiver);
    m_mslotClient->SetMailslots(m_mailslots.get());
    m_mslotClient->SetComputerName(m_settings.computerName);
    m_mslotClient->SetFragmentEnabled(m_fragmentEnabled);
    m_mslotClient->SetMaxBroadcastLength(m_maxBroadcastLength);
    m_mslotClient->StateWatch().SetPeriod(m_watchPeriodMs);
    m_mslotClient->Start();

    m_outbox->SetClient(m_smbClient.get());
    m_outbox->SetSentListener(m_sentReceiver);
    m_outbox->Start();
}

void CvStation::Stop() {
    {
        std::lock_guard guard(m_stateLock);
        if (m_state == State::Stopped) {
            return;
        }
        m_state = State::Stopped;
    }
    // First free every thread that waits on the network, so that none of the
    // joins below waits for a time-out.
    m_gate->Close();
    {
        std::lock_guard guard(m_outboxLock);
        m_outbox.reset();  // waits for a send in progress to report
    }
    m_mslotClient->Stop();
    m_smbClient->Stop();
    m_network->StopWatch();
    m_mailslots->Stop();
}

bool CvStation::IsRunning() const {
    std::lock_guard guard(m_stateLock);
    return m_state == State::Running;
}

bool CvStation::Enqueue(const CMsg& msg, CvMsgOutboxReceiver* receiver, int32_t id) {
    std::lock_guard guard(m_outboxLock);
    if (!IsRunning() || !m_outbox) {
        return false;
    }
    m_outbox->Enqueue(msg, receiver, id);
    return true;
}

void CvStation::Withdraw(int32_t id) {
    Withdraw(std::vector<int32_t>{id});
}

void CvStation::Withdraw(const std::vector<int32_t>& ids) {
    std::lock_guard guard(m_outboxLock);
    if (m_outbox) {
        m_outbox->Withdraw(ids);
    }
}

void CvStation::SetFragmentEnabled(bool enabled) {
    m_fragmentEnabled = enabled;
    m_smbClient->SetFragmentEnabled(enabled);
    m_mslotClient->SetFragmentEnabled(enabled);
}

void CvStation::SetMaxBroadcastLength(uint32_t length) {
    m_maxBroadcastLength = length;
    m_smbClient->SetMaxBroadcastLength(length);
    m_mslotClient->SetMaxBroadcastLength(length);
}

std::string CvStation::SentText(const CMsg& msg) const {
    if (msg.type != MsgBroadcast) {
        return CvMsgComposer::SentText(msg.text, msg.type, 0, false);
    }
    return CvBroadcastSentText(msg, m_maxBroadcastLength, m_fragmentEnabled);
}

std::vector<CvStation::Name> CvStation::Names() const {
    std::vector<Name> names;
    auto add = [&names](const std::string& name, int32_t kind) {
        if (name.empty()) {
            return;
        }
        const bool present = std::any_of(names.begin(), names.end(), [&](const Name& other) {
            return other.name == name && other.kind == kind;
        });
        if (!present) {
            names.push_back({name, kind});
        }
    };
    if (m_settings.registerUserName) {
        add(m_settings.userName, MsgPersonal);
    }
    if (m_settings.registerComputerName) {
        add(m_settings.computerName, MsgPersonal);
    }
    if (m_settings.registerGroupName) {
        add(m_settings.workgroup, MsgBroadcast);
    }
    return names;
}

int32_t CvStation::NameState(const Name& name) const {
    return m_smbClient->GetNameState(name.name, name.kind);
}

bool CvStation::WaitRegistered(uint32_t timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto names = Names();
    for (;;) {
        if (!IsRunning()) {
            return false;
        }
        bool registered = !Adapters().empty();
        for (const Name& name : names) {
            registered = registered && NameState(name) == NameStateRegistered;
        }
        if (registered) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int32_t CvStation::MailslotState() const {
    return m_mslotClient->State();
}

std::vector<uint8_t> CvStation::Adapters() const {
    std::vector<uint8_t> adapters;
    m_network->Lock();
    for (size_t i = 0; i < m_network->InterfaceCount(); ++i) {
        adapters.push_back(static_cast<CvNetbiosInterface*>(m_network->GetInterface(i))->lana);
    }
    m_network->Unlock();
    return adapters;
}

bool CvStation::IsOwnSender(const std::string& name, std::string* canonical) const {
    const std::string upper = CvText::UpperCase(name);
    const bool own =
        !upper.empty() && (upper == m_settings.userName || upper == m_settings.computerName);
    if (own && canonical != nullptr) {
        *canonical = upper;
    }
    return own;
}
