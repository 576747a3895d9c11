#include "netbios/NetbiosOperations.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/CvEvent.h"

namespace {

void SetName(uint8_t (&field)[16], const std::string& name, uint8_t suffix) {
    CvSetNetbiosName(field, name.data(), name.size(), suffix);
}

uint8_t NameCommand(CvNetbiosProvider& provider, uint8_t command, uint8_t lana,
                    const std::string& name, uint8_t suffix, uint8_t& nameNumber) {
    CvNcb ncb;
    ncb.command = command;
    ncb.lana = lana;
    ncb.num = nameNumber;
    SetName(ncb.name, name, suffix);
    const uint8_t code = provider.Submit(ncb);
    nameNumber = ncb.num;
    return code;
}

uint8_t TimeoutUnits(uint16_t ms) {
    return static_cast<uint8_t>(std::min<uint32_t>(ms / 500u, 0xFF));
}

uint32_t RoundedLimit(uint16_t ms) {
    return static_cast<uint32_t>(ms / 500u) * 500u;
}

}  // namespace

bool NBIsFatal(uint8_t code) {
    switch (code) {
        case 0x09:
        case 0x0E:
        case 0x15:
        case 0x16:
        case 0x17:
        case 0x23:
        case 0x34:
        case 0x35:
        case 0x36:
        case 0x37:
        case 0x38:
        case 0x3F:
        case 0x40:
            return true;
        default:
            return false;
    }
}

uint8_t NBEnum(CvNetbiosProvider& provider, uint8_t (&buffer)[256]) {
    CvNcb ncb;
    ncb.command = kNcbEnum;
    ncb.buffer = buffer;
    ncb.length = sizeof buffer;
    return provider.Submit(ncb);
}

uint8_t NBReset(CvNetbiosProvider& provider, uint8_t lana, uint8_t sessions, uint8_t names) {
    CvNcb ncb;
    ncb.command = kNcbReset;
    ncb.lana = lana;
    ncb.callname[0] = sessions;
    ncb.callname[2] = names;
    return provider.Submit(ncb);
}

uint8_t NBAddName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                  uint8_t suffix, uint8_t& nameNumber) {
    nameNumber = 0;
    return NameCommand(provider, kNcbAddName, lana, name, suffix, nameNumber);
}

uint8_t NBAddGroupName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                       uint8_t suffix, uint8_t& nameNumber) {
    nameNumber = 0;
    return NameCommand(provider, kNcbAddGroupName, lana, name, suffix, nameNumber);
}

uint8_t NBDeleteName(CvNetbiosProvider& provider, uint8_t lana, const std::string& name,
                     uint8_t suffix, uint8_t nameNumber) {
    return NameCommand(provider, kNcbDeleteName, lana, name, suffix, nameNumber);
}

uint8_t NBHangUp(CvNetbiosProvider& provider, uint8_t lana, uint8_t session) {
    CvNcb ncb;
    ncb.command = kNcbHangUp;
    ncb.lana = lana;
    ncb.lsn = session;
    return provider.Submit(ncb);
}

uint8_t NBCancel(CvNetbiosProvider& provider, uint8_t lana, CvNcb& target) {
    CvNcb ncb;
    ncb.command = kNcbCancel;
    ncb.lana = lana;
    ncb.cancelTarget = &target;
    return provider.Submit(ncb);
}

uint8_t NBRunOperation(CvNetbiosProvider& provider, CvNcb& ncb, uint32_t limitMs) {
    using Clock = std::chrono::steady_clock;
    constexpr int kMaxSubmissions = 100;
    constexpr auto kResubmitPause = std::chrono::milliseconds(100);

    CvEvent done(true, false);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    auto remainingMs = [&]() -> uint32_t {
        if (limitMs == 0) {
            return kInfinite;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return left > 0 ? static_cast<uint32_t>(left) : 0;
    };

    uint8_t code = kNrcCmdTmo;
    for (int submissions = 1;; ++submissions) {
        ncb.command |= kNcbAsync;
        ncb.event = &done;
        done.Reset();
        const uint8_t immediate = provider.Submit(ncb);
        if (immediate != kNrcPending) {
            code = immediate;  // refused at once
        } else if (done.Wait(remainingMs()) == kWaitObject0) {
            code = ncb.retcode;
        } else {
            code = kNrcCmdTmo;
            break;
        }
        if (code != kNrcNoCall || submissions >= kMaxSubmissions) {
            break;
        }
        const uint32_t left = remainingMs();
        if (left == 0) {
            code = kNrcCmdTmo;
            break;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::milliseconds>(kResubmitPause, std::chrono::milliseconds(left)));
        if (remainingMs() == 0) {
            code = kNrcCmdTmo;
            break;
        }
    }
    NBCancel(provider, ncb.lana, ncb);
    ncb.event = nullptr;
    return code;
}

uint8_t NBCall(CvNetbiosProvider& provider, uint8_t lana, const std::string& remoteName,
               const std::string& localName, uint8_t localSuffix, uint16_t callTimeoutMs,
               uint16_t sessionTimeoutMs, uint8_t& session) {
    CvNcb ncb;
    ncb.command = kNcbCall;
    ncb.lana = lana;
    SetName(ncb.callname, remoteName, 0x03);
    SetName(ncb.name, localName, localSuffix);
    ncb.rto = TimeoutUnits(sessionTimeoutMs);
    ncb.sto = TimeoutUnits(sessionTimeoutMs);
    const uint8_t code = NBRunOperation(provider, ncb, RoundedLimit(callTimeoutMs));
    session = ncb.lsn;
    return code;
}

uint8_t NBSend(CvNetbiosProvider& provider, uint8_t lana, uint8_t session, const uint8_t* data,
               uint16_t length, uint16_t sessionTimeoutMs) {
    CvNcb ncb;
    ncb.command = kNcbSend;
    ncb.lana = lana;
    ncb.lsn = session;
    ncb.buffer = const_cast<uint8_t*>(data);
    ncb.length = length;
    return NBRunOperation(provider, ncb, RoundedLimit(sessionTimeoutMs));
}

uint8_t NBRecv(CvNetbiosProvider& provider, uint8_t lana, uint8_t session, uint8_t* buffer,
               uint16_t& length, uint16_t sessionTimeoutMs) {
    CvNcb ncb;
    ncb.command = kNcbRecv;
    ncb.lana = lana;
    ncb.lsn = session;
    ncb.buffer = buffer;
    ncb.length = length;
    const uint8_t code = NBRunOperation(provider, ncb, RoundedLimit(sessionTimeoutMs));
    length = ncb.length;
    return code;
}

uint8_t NBListenAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana,
                    const std::string& localName, uint16_t sessionTimeoutMs, CvEvent& event) {
    ncb.command = kNcbListen | kNcbAsync;
    ncb.retcode = 0;
    ncb.cmdCplt = 0;
    ncb.lana = lana;
    ncb.lsn = 0;
    std::memset(ncb.callname, ' ', sizeof ncb.callname);
    ncb.callname[0] = '*';
    SetName(ncb.name, localName, 0x03);
    ncb.rto = TimeoutUnits(sessionTimeoutMs);
    ncb.sto = TimeoutUnits(sessionTimeoutMs);
    ncb.event = &event;
    return provider.Submit(ncb);
}

uint8_t NBRecvDatagramAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana, uint8_t nameNumber,
                          uint8_t* buffer, uint16_t length, CvEvent& event) {
    ncb.command = kNcbRecvDatagram | kNcbAsync;
    ncb.retcode = 0;
    ncb.cmdCplt = 0;
    ncb.lana = lana;
    ncb.num = nameNumber;
    ncb.buffer = buffer;
    ncb.length = length;
    ncb.event = &event;
    return provider.Submit(ncb);
}

uint8_t NBAdapterStatusAsy(CvNetbiosProvider& provider, CvNcb& ncb, uint8_t lana,
                           const std::string& name, uint8_t suffix, uint8_t* buffer,
                           uint16_t length, CvEvent& event) {
    std::memset(buffer, 0, length);
    ncb.command = kNcbAdapterStatus | kNcbAsync;
    ncb.retcode = 0;
    ncb.cmdCplt = 0;
    ncb.lana = lana;
    SetName(ncb.callname, name, suffix);
    ncb.buffer = buffer;
    ncb.length = length;
    ncb.event = &event;
    return provider.Submit(ncb);
}
