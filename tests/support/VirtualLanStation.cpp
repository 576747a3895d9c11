#include "support/VirtualLanStation.h"

void MessageInbox::OnReceive(CMsg& msg) {
    std::unique_lock guard(m_lock);
    ++m_waiting;
    m_released.wait(guard, [this] { return !m_hold; });
    --m_waiting;
    m_messages.push_back(msg);
}

void MessageInbox::Hold() {
    std::lock_guard guard(m_lock);
    m_hold = true;
}

void MessageInbox::Release() {
    {
        std::lock_guard guard(m_lock);
        m_hold = false;
    }
    m_released.notify_all();
}

bool MessageInbox::WaitHeld() {
    return WaitUntil([&] {
        std::lock_guard guard(m_lock);
        return m_waiting > 0;
    });
}

std::vector<CMsg> MessageInbox::Messages() {
    std::lock_guard guard(m_lock);
    return m_messages;
}

bool MessageInbox::WaitFor(size_t count) {
    return WaitUntil([&] { return Messages().size() >= count; });
}

VirtualLanStation::VirtualLanStation(CvVirtualLan& lan, const std::string& computer,
                                     std::vector<std::string> personalNames,
                                     std::vector<std::string> groupNames)
    : station(lan),
      local(nullptr, dir.Path() + "/mailslot"),
      mailslots(station, local, computer),
      network(station),
      m_personal(std::move(personalNames)),
      m_group(std::move(groupNames)) {
    station.AttachAdapter(0, 1);
    network.Lock();
    network.Refresh();
    network.Unlock();
    for (const auto& name : m_personal) {
        client.AddPersonalName(name);
    }
    for (const auto& name : m_group) {
        client.AddGroupName(name);
    }
    client.SetNetwork(&network);
    client.SetMailslots(&mailslots);
    client.SetReceiver(&inbox.receiver);
    client.StateWatch().SetPeriod(10);
    client.Start();
}

VirtualLanStation::~VirtualLanStation() {
    client.Stop();
    mailslots.Stop();
}

bool VirtualLanStation::WaitRegistered() {
    return WaitUntil([&] {
        for (const auto& name : m_personal) {
            if (client.GetNameState(name, 1) != NameStateRegistered) {
                return false;
            }
        }
        for (const auto& name : m_group) {
            if (client.GetNameState(name, 2) != NameStateRegistered) {
                return false;
            }
        }
        return true;
    });
}
