#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/CvThreadClassFunction.h"
#include "platform/CvEvent.h"
#include "platform/CvMailslotProvider.h"
#include "platform/CvNcb.h"

class CvNetbiosProvider;

// Mailslots across the LAN, carried the way Windows carries them: a write to
// "\\NAME\MAILSLOT\X" is a NetBIOS datagram holding an SMB Transaction that
// writes to \MAILSLOT\X, sent on every adapter from this computer's name
// (suffix 0x00) to NAME<00> — a group name (a workgroup) reaches every
// member, a unique name one station. Like a workstation, it registers the
// computer name with suffix 0x00 on every adapter, and delivers datagrams
// addressed to that name into the local mailslot they name.
//
// Local mailslots ("." and creation) are those of `local`.
class CNetbiosMailslots : public CvMailslotProvider {
public:
    static constexpr uint32_t kRescanMs = 2000;

    CNetbiosMailslots(CvNetbiosProvider& provider, CvMailslotProvider& local,
                      std::string computerName);
    ~CNetbiosMailslots() override;

    // Starts registering the computer name and receiving; Stop deletes the
    // names again.
    void Start();
    void Stop();

    std::unique_ptr<CvLocalMailslot> CreateMailslot(const std::string& name,
                                                    uint32_t maxMessageSize) override;
    std::unique_ptr<CvMailslotWriter> OpenMailslot(const std::string& target,
                                                   const std::string& name) override;

    // Sends one mailslot write to target<00> on every adapter; true when it
    // went out on at least one.
    bool WriteRemote(const std::string& target, const std::string& mailslot,
                     std::span<const uint8_t> message);

private:
    struct Adapter {
        uint8_t nameNumber = 0;
        bool receiving = false;
        CvNcb receive;
        CvEvent event{true, false};
        std::array<uint8_t, 1024> buffer{};
    };

    void ServerThread(CvThread* thread);
    // The name number of the computer name on `lana`, registering it if
    // needed; 0 when that fails.
    uint8_t EnsureRegistered(uint8_t lana);
    void PostReceive(uint8_t lana, Adapter& adapter);
    void Deliver(const uint8_t* data, size_t length);

    CvNetbiosProvider& m_provider;
    CvMailslotProvider& m_local;
    std::string m_oemName;
    std::mutex m_lock;  // guards m_adapters
    std::map<uint8_t, std::unique_ptr<Adapter>> m_adapters;
    std::unique_ptr<CvThreadClassFunction<CNetbiosMailslots>> m_thread;
};
