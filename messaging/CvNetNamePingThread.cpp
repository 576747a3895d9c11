#include "messaging/CvNetNamePingThread.h"

#include <algorithm>
#include <array>

#include "messaging/CvNetNamePinger.h"
#include "messaging/CvNetbiosInterface.h"
#include "messaging/CvNetbiosNetwork.h"
#include "netbios/NetbiosOperations.h"
#include "platform/CvTextCodec.h"

namespace {

constexpr size_t kNameCountOffset = 58;
constexpr size_t kMaxNames = 255;

std::string TableName(const uint8_t* entry) {
    std::string oem(reinterpret_cast<const char*>(entry), 15);
    while (!oem.empty() && (oem.back() == ' ' || oem.back() == '\0')) {
        oem.pop_back();
    }
    return CvText::FromOem(oem);
}

}  // namespace

CvNetNamePingThread::CvNetNamePingThread(CvNetNamePinger& pinger)
    : m_pinger(pinger), m_buffer(kBufferSize) {}

CvNetNamePingThread::~CvNetNamePingThread() {
    StopAndWait();
}

void CvNetNamePingThread::Assign(CvNetNamePingRequest request) {
    m_request = std::move(request);
    m_free = false;
    m_start.Set();
}

void CvNetNamePingThread::Run() {
    while (WaitForEventOrStop(m_start, kInfinite)) {
        CvNetNamePingResult result = Ping(m_request);
        if (m_request.receiver) {
            m_request.receiver->Invoke(result);
        }
        m_request = CvNetNamePingRequest();
        m_free = true;
        m_pinger.SlotDone();
    }
}

CvNetNamePingResult CvNetNamePingThread::Ping(const CvNetNamePingRequest& request) {
    CvNetNamePingResult result;
    result.requester = request.requester;
    result.name = request.name;
    result.suffix = request.suffix;
    result.status = kPingStatusNoAnswer;

    const std::string oemName = CvText::ToOem(CvText::UpperCase(request.name));
    std::vector<uint8_t> lanas;
    CvNetbiosNetwork& network = m_pinger.m_network;
    network.Lock();
    for (size_t i = 0; i < network.InterfaceCount(); ++i) {
        lanas.push_back(static_cast<CvNetbiosInterface*>(network.GetInterface(i))->lana);
    }
    network.Unlock();

    for (uint8_t lana : lanas) {
        if (IsStopRequested()) {
            break;
        }
        if (AskAdapter(lana, oemName, request.suffix) == kNrcGoodRet) {
            result.status = kPingStatusAnswered;
            ReadNameTable(m_buffer.data(), std::min<size_t>(m_ncb.length, m_buffer.size()), result);
            break;
        }
    }
    return result;
}

uint8_t CvNetNamePingThread::AskAdapter(uint8_t lana, const std::string& oemName, uint8_t suffix) {
    CvNetbiosProvider& provider = m_pinger.m_network.Provider();
    m_completion.Reset();
    const uint8_t immediate =
        NBAdapterStatusAsy(provider, m_ncb, lana, oemName, suffix, m_buffer.data(),
                           static_cast<uint16_t>(m_buffer.size()), m_completion);
    if (immediate != kNrcPending) {
        return immediate;
    }
    if (!WaitForEventOrStop(m_completion, kInfinite)) {
        NBCancel(provider, lana, m_ncb);
        return kNrcCmdCan;
    }
    return m_ncb.retcode;
}

void CvNetNamePingThread::ReadNameTable(const uint8_t* buffer, size_t length,
                                        CvNetNamePingResult& result) {
    if (length < CvAdapterStatus::kHeaderSize) {
        return;
    }
    const size_t counted = static_cast<size_t>(buffer[kNameCountOffset]) |
                           (static_cast<size_t>(buffer[kNameCountOffset + 1]) << 8);
    const size_t complete = (length - CvAdapterStatus::kHeaderSize) / CvAdapterStatus::kNameSize;
    const size_t count = std::min({counted, complete, kMaxNames});
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry =
            buffer + CvAdapterStatus::kHeaderSize + i * CvAdapterStatus::kNameSize;
        if ((entry[17] & kNameFlagGroup) != 0) {
            continue;
        }
        if (entry[15] == 0x03) {
            result.messengerNames.push_back(TableName(entry));
        } else if (entry[15] == 0x00) {
            result.computerName = TableName(entry);
        }
    }
}
