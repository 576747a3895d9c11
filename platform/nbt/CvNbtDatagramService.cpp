#include "platform/nbt/CvNbtDatagramService.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/nbt/NbtDatagramPacket.h"

void CvNbtDatagramService::OnReadable() {
    CvNbtUdpPacket from;
    for (int read = 0; read < kReceiveBatch && m_context.datagramSocket.Receive(from); ++read) {
        auto decoded = NbtDatagramPacket::Decode(from.data);
        if (!decoded || !decoded.Value().CarriesData()) {
            continue;
        }
        // Fragments are not reassembled; the messenger never needs them.
        const NbtDatagramPacket& datagram = decoded.Value();
        if ((datagram.flags & kDgmFlagMore) != 0 || datagram.packetOffset != 0) {
            continue;
        }
        if (CvNbtAdapter* adapter = m_context.AdapterForPacket(from)) {
            Deliver(*adapter, datagram);
        }
    }
}

void CvNbtDatagramService::Deliver(CvNbtAdapter& adapter, const NbtDatagramPacket& datagram) {
    uint8_t number = 0xFF;
    if (datagram.destinationName.Raw()[0] == '*') {
        if (datagram.msgType != kDgmBroadcast) {
            return;
        }
    } else {
        const CvNbtNameEntry* entry = adapter.names.Find(datagram.destinationName);
        if (entry == nullptr || entry->state != CvNbtNameEntry::State::Active) {
            return;
        }
        number = entry->number;
    }
    auto it = std::find_if(m_receives.begin(), m_receives.end(), [&](const Receive& receive) {
        return receive.lana == adapter.ip.lana &&
               (receive.ncb->num == 0xFF || receive.ncb->num == number);
    });
    if (it == m_receives.end()) {
        m_backlog.Push(adapter.ip.lana, {number, datagram.sourceName, datagram.userData,
                                         CvNbtDatagramBacklog::Clock::now()});
        return;
    }
    CvNcb& ncb = *it->ncb;
    m_receives.erase(it);
    Complete(ncb, datagram.sourceName, datagram.userData);
}

void CvNbtDatagramService::Complete(CvNcb& ncb, const NbtName& source,
                                    const std::vector<uint8_t>& userData) {
    const size_t size = userData.size();
    const size_t copied = std::min<size_t>(size, ncb.length);
    if (copied > 0) {
        std::memcpy(ncb.buffer, userData.data(), copied);
    }
    ncb.length = static_cast<uint16_t>(copied);
    std::memcpy(ncb.callname, source.Raw().data(), sizeof ncb.callname);
    m_context.pending.Complete(ncb, copied < size ? kNrcIncomp : kNrcGoodRet);
}

void CvNbtDatagramService::PostReceive(CvNbtAdapter& adapter, CvNcb& ncb) {
    if (ncb.num != 0xFF) {
        const CvNbtNameEntry* entry = adapter.names.FindNumber(ncb.num);
        if (entry == nullptr) {
            m_context.pending.Complete(ncb, kNrcIllNn);
            return;
        }
        if (entry->state == CvNbtNameEntry::State::Conflict) {
            m_context.pending.Complete(ncb, kNrcNamConf);
            return;
        }
    }
    if (auto waiting =
            m_backlog.Take(adapter.ip.lana, ncb.num, CvNbtDatagramBacklog::Clock::now())) {
        Complete(ncb, waiting->source, waiting->userData);
        return;
    }
    m_receives.push_back({adapter.ip.lana, &ncb});
    m_context.pending.SetDetach(ncb, [this, target = &ncb] {
        std::erase_if(m_receives, [&](const Receive& receive) { return receive.ncb == target; });
    });
}

void CvNbtDatagramService::Send(CvNbtAdapter& adapter, CvNcb& ncb) {
    const CvNbtNameEntry* source = adapter.names.FindNumber(ncb.num);
    if (source == nullptr || source->state == CvNbtNameEntry::State::Registering) {
        m_context.pending.Complete(ncb, kNrcIllNn);
        return;
    }
    if (source->state == CvNbtNameEntry::State::Conflict) {
        m_context.pending.Complete(ncb, kNrcNamConf);
        return;
    }
    if (ncb.length > kMaxUserData) {
        m_context.pending.Complete(ncb, kNrcBufLen);
        return;
    }
    if (ncb.callname[0] == '*') {
        Transmit(adapter.ip.lana, ncb, kDgmBroadcast, adapter.ip.broadcast);
        return;
    }
    auto destination = NbtName::FromRaw(
        std::string_view(reinterpret_cast<const char*>(ncb.callname), sizeof ncb.callname));
    if (!destination) {
        m_context.pending.Complete(ncb, kNrcNoWild);
        return;
    }
    const uint8_t lana = adapter.ip.lana;
    const auto transaction =
        m_names.Resolve(adapter, destination.Value(), [this, lana, target = &ncb](auto resolved) {
            CvNbtAdapter* current = m_context.ResetAdapter(lana);
            if (current == nullptr) {
                m_context.pending.Complete(*target, kNrcEnvNotDef);
                return;
            }
            if (resolved && !resolved->group) {
                Transmit(lana, *target, kDgmDirectUnique, resolved->address);
            } else {
                Transmit(lana, *target, kDgmDirectGroup, current->ip.broadcast);
            }
        });
    m_context.pending.SetDetach(ncb, [this, transaction] { m_names.Cancel(transaction); });
}

void CvNbtDatagramService::Transmit(uint8_t lana, CvNcb& ncb, uint8_t msgType,
                                    uint32_t destination) {
    CvNbtAdapter* adapter = m_context.ResetAdapter(lana);
    const CvNbtNameEntry* source =
        adapter != nullptr ? adapter->names.FindNumber(ncb.num) : nullptr;
    if (source == nullptr) {
        m_context.pending.Complete(ncb, adapter == nullptr ? kNrcEnvNotDef : kNrcNamErr);
        return;
    }
    if (source->state == CvNbtNameEntry::State::Conflict) {
        m_context.pending.Complete(ncb, kNrcNamConf);
        return;
    }
    NbtDatagramPacket datagram;
    datagram.msgType = msgType;
    datagram.flags = kDgmFlagFirst | kDgmSntB;
    datagram.dgmId = m_context.NextDatagramId();
    datagram.sourceIp = adapter->ip.address;
    datagram.sourcePort = m_context.ports.datagram;
    datagram.sourceName = source->name;
    auto destinationName =
        msgType == kDgmBroadcast
            ? NbtName::Make("*", 0)
            : NbtName::FromRaw(std::string_view(reinterpret_cast<const char*>(ncb.callname),
                                                sizeof ncb.callname));
    if (!destinationName) {
        m_context.pending.Complete(ncb, kNrcNoWild);
        return;
    }
    datagram.destinationName = destinationName.Value();
    if (ncb.length > 0) {
        datagram.userData.assign(ncb.buffer, ncb.buffer + ncb.length);
    }
    auto bytes = datagram.Encode();
    const bool sent =
        bytes && m_context.datagramSocket.Send(bytes.Value(), destination, m_context.ports.datagram,
                                               adapter->ip.address, adapter->ip.interfaceIndex);
    m_context.pending.Complete(ncb, sent ? kNrcGoodRet : kNrcSystem);
}

void CvNbtDatagramService::DropName(uint8_t lana, uint8_t number, uint8_t code) {
    m_backlog.DropName(lana, number);
    std::vector<CvNcb*> dropped;
    std::erase_if(m_receives, [&](const Receive& receive) {
        const bool match = receive.lana == lana && receive.ncb->num == number;
        if (match) {
            dropped.push_back(receive.ncb);
        }
        return match;
    });
    for (CvNcb* ncb : dropped) {
        m_context.pending.Complete(*ncb, code);
    }
}
