#include "storage/CvContactsManager.h"

#include <algorithm>
#include <mutex>
#include <tuple>

#include "platform/CvTextCodec.h"
#include "storage/CvDataSet.h"
#include "storage/CvDatabase2.h"
#include "storage/CvDbText.h"

namespace {

const std::u16string kFavorites = u"favorites";
const std::u16string kFavGroups = u"fav_groups";

const std::u16string kEditWhere =
    u"conttype=:oldContType AND name=:oldName COLLATE NOCASE AND displayname=:oldDisplayName "
    u"COLLATE NOCASE AND groupname=:oldGroupName COLLATE NOCASE ";
const std::u16string kDeleteWhere =
    u"conttype=:conttype COLLATE NOCASE AND name=:name COLLATE NOCASE AND "
    u"displayname=:displayname COLLATE NOCASE AND groupname=:groupname COLLATE NOCASE ";

CvDbRecord ContactRecord(const CvContact& contact) {
    return {
        {u"conttype", CvDbValue::FromInteger(contact.conttype)},
        {u"displayname", CvDbValue::FromAnsi(contact.displayname)},
        {u"groupname", CvDbValue::FromAnsi(contact.groupname)},
        {u"name", CvDbValue::FromAnsi(contact.name)},
    };
}

std::string ReadText(CvDataSet& data, int row, const std::u16string& column) {
    return data.ReadValue(row, column).AsUtf8();
}

}  // namespace

CvContactsManager::CvContactsManager(CvDatabase2& database, CvDataSet& contacts,
                                     CvPresenceProbe* probe)
    : m_database(database),
      m_contactsData(contacts),
      m_probe(probe),
      m_resultReceiver(
          std::make_shared<CvVoidUnaryMemberFunctionSafe<CvContactsManager, CvNetNamePingResult&>>(
              this, &CvContactsManager::OnPingResult)) {}

CvContactsManager::~CvContactsManager() {
    StopPresence();
}

void CvContactsManager::SetRepaint(CvNullaryFunction<void>* repaint) {
    std::lock_guard guard(m_lock);
    m_repaint = repaint;
}

std::string CvContactsManager::Key(const std::string& name) {
    return CvText::UpperCase(name);
}

void CvContactsManager::Repaint() {
    CvNullaryFunction<void>* repaint = nullptr;
    {
        std::lock_guard guard(m_lock);
        repaint = m_repaint;
    }
    if (repaint != nullptr) {
        repaint->Invoke();
    }
}

void CvContactsManager::Load() {
    {
        std::lock_guard guard(m_lock);
        m_groups.clear();
        const int last = m_contactsData.GetLastIndex();
        for (int row = 0; row <= last; ++row) {
            const std::string groupName = ReadText(m_contactsData, row, u"groupname");
            CvContactGroup* group = FindGroupExact(groupName);
            if (group == nullptr) {
                CvContactGroup created;
                created.name = groupName;
                created.collapsed = m_contactsData.ReadValue(row, u"groupopen").AsInteger() != 0;
                m_groups.push_back(std::move(created));
                group = &m_groups.back();
            }
            CvContact contact;
            contact.conttype =
                static_cast<int32_t>(m_contactsData.ReadValue(row, u"conttype").AsInteger());
            contact.name = ReadText(m_contactsData, row, u"name");
            contact.displayname = ReadText(m_contactsData, row, u"displayname");
            contact.groupname = groupName;
            group->contacts.push_back(std::move(contact));
        }
    }
    Repaint();
}

CvContactGroup* CvContactsManager::FindGroupExact(const std::string& name) {
    for (CvContactGroup& group : m_groups) {
        if (group.name == name) {
            return &group;
        }
    }
    return nullptr;
}

void CvContactsManager::SaveContact(const CvContact& contact, const CvContact* oldContact) {
    {
        std::lock_guard guard(m_lock);
        CvContactGroup* group = FindGroupExact(contact.groupname);
        if (group == nullptr) {
            // The file keeps one group per name regardless of case: a name
            // that differs only in case joins the existing group, as it does
            // when the list is next loaded.
            const std::string key = Key(contact.groupname);
            for (CvContactGroup& existing : m_groups) {
                if (Key(existing.name) == key) {
                    group = &existing;
                    break;
                }
            }
        }
        if (group == nullptr) {
            CvContactGroup created;
            created.name = contact.groupname;
            // Stored expanded, so shown expanded: the new contact is visible.
            created.collapsed = false;
            m_groups.push_back(std::move(created));
            group = &m_groups.back();
            m_database.Insert(kFavGroups, {{u"collapsed", CvDbValue::FromInteger(0)},
                                           {u"name", CvDbValue::FromAnsi(contact.groupname)}});
        }
        CvContact stored = contact;
        stored.groupname = group->name;
        stored.online = 0;
        stored.changed = 0;
        const std::string targetName = group->name;

        if (oldContact == nullptr) {
            m_database.Insert(kFavorites, ContactRecord(contact));
            group->contacts.push_back(stored);
        } else {
            m_database.Update(kFavorites, ContactRecord(contact), kEditWhere,
                              {{u"oldContType", CvDbValue::FromInteger(oldContact->conttype)},
                               {u"oldName", CvDbValue::FromAnsi(oldContact->name)},
                               {u"oldDisplayName", CvDbValue::FromAnsi(oldContact->displayname)},
                               {u"oldGroupName", CvDbValue::FromAnsi(oldContact->groupname)}});
            const std::string oldName = Key(oldContact->name);
            const std::string oldDisplay = Key(oldContact->displayname);
            const std::string oldGroup = Key(oldContact->groupname);
            size_t moved = 0;
            bool edited = false;
            for (CvContactGroup& from : m_groups) {
                for (auto it = from.contacts.begin(); it != from.contacts.end();) {
                    const bool match =
                        it->conttype == oldContact->conttype && Key(it->name) == oldName &&
                        Key(it->displayname) == oldDisplay && Key(it->groupname) == oldGroup;
                    if (!match) {
                        ++it;
                    } else if (from.name == targetName) {
                        *it = stored;
                        edited = true;
                        ++it;
                    } else {
                        it = from.contacts.erase(it);
                        ++moved;
                    }
                }
            }
            // `group` may have moved if a group was created above; look again.
            CvContactGroup* target = FindGroupExact(targetName);
            if (moved == 0 && !edited) {
                moved = 1;
            }
            target->contacts.insert(target->contacts.end(), moved, stored);
        }
    }
    Repaint();
}

void CvContactsManager::DeleteContact(const CvContact& contact) {
    m_database.Delete(kFavorites, kDeleteWhere,
                      {{u"conttype", CvDbValue::FromInteger(contact.conttype)},
                       {u"name", CvDbValue::FromAnsi(contact.name)},
                       {u"displayname", CvDbValue::FromAnsi(contact.displayname)},
                       {u"groupname", CvDbValue::FromAnsi(contact.groupname)}});
    {
        std::lock_guard guard(m_lock);
        const std::string name = Key(contact.name);
        const std::string display = Key(contact.displayname);
        const std::string groupName = Key(contact.groupname);
        for (CvContactGroup& group : m_groups) {
            std::erase_if(group.contacts, [&](const CvContact& held) {
                return held.conttype == contact.conttype && Key(held.name) == name &&
                       Key(held.displayname) == display && Key(held.groupname) == groupName;
            });
        }
    }
    Repaint();
}

void CvContactsManager::DeleteGroup(const std::string& groupName) {
    const CvDbRecord parameters = {{u"groupname", CvDbValue::FromAnsi(groupName)}};
    m_database.Delete(kFavorites, u"groupname=:groupname COLLATE NOCASE", parameters);
    m_database.Delete(kFavGroups, u"name=:groupname COLLATE NOCASE", parameters);
    {
        std::lock_guard guard(m_lock);
        const std::string key = Key(groupName);
        std::erase_if(m_groups,
                      [&](const CvContactGroup& group) { return Key(group.name) == key; });
    }
    Repaint();
}

void CvContactsManager::SaveGroupStates() {
    std::lock_guard guard(m_lock);
    for (const bool collapsed : {true, false}) {
        for (CvContactGroup& group : m_groups) {
            if (!group.dirty || group.collapsed != collapsed) {
                continue;
            }
            m_database.Update(kFavGroups,
                              {{u"collapsed", CvDbValue::FromInteger(collapsed ? 1 : 0)},
                               {u"name", CvDbValue::FromWide(CvDbText::ToWide(group.name))}},
                              u"name=:name", {});
            group.dirty = false;
        }
    }
}

std::vector<CvContactGroup> CvContactsManager::Groups() {
    std::lock_guard guard(m_lock);
    return m_groups;
}

// Item model

bool CvContactsManager::Locate(int index, CvContactGroup*& group, CvContact*& contact) {
    if (index < 0) {
        return false;
    }
    size_t remaining = static_cast<size_t>(index);
    for (CvContactGroup& held : m_groups) {
        if (remaining == 0) {
            group = &held;
            contact = nullptr;
            return true;
        }
        --remaining;
        if (!held.collapsed) {
            if (remaining < held.contacts.size()) {
                group = &held;
                contact = &held.contacts[remaining];
                return true;
            }
            remaining -= held.contacts.size();
        }
    }
    return false;
}

int CvContactsManager::GetItemCount() {
    std::lock_guard guard(m_lock);
    size_t count = 0;
    for (const CvContactGroup& group : m_groups) {
        count += 1 + (group.collapsed ? 0 : group.contacts.size());
    }
    return static_cast<int>(count);
}

std::string CvContactsManager::GetItemText(int index) {
    std::lock_guard guard(m_lock);
    CvContactGroup* group = nullptr;
    CvContact* contact = nullptr;
    if (!Locate(index, group, contact)) {
        return {};
    }
    return contact == nullptr ? group->name : contact->displayname;
}

int CvContactsManager::GetItemImage(int index) {
    std::lock_guard guard(m_lock);
    CvContactGroup* group = nullptr;
    CvContact* contact = nullptr;
    if (!Locate(index, group, contact)) {
        return -1;
    }
    if (contact == nullptr) {
        return group->collapsed ? 0 : 1;
    }
    const bool user = contact->conttype == kContactUser;
    if (contact->online != 0) {
        return user ? 3 : 2;
    }
    return user ? 5 : 4;
}

int CvContactsManager::IsGroup(int index) {
    std::lock_guard guard(m_lock);
    CvContactGroup* group = nullptr;
    CvContact* contact = nullptr;
    return Locate(index, group, contact) && contact == nullptr ? 1 : 0;
}

void CvContactsManager::Toggle(int index) {
    {
        std::lock_guard guard(m_lock);
        CvContactGroup* group = nullptr;
        CvContact* contact = nullptr;
        if (!Locate(index, group, contact) || contact != nullptr) {
            return;
        }
        group->collapsed = !group->collapsed;
        group->dirty = true;
    }
    Repaint();
}

bool CvContactsManager::FindByPrefix(int from, int to, const std::string& text, int& index) {
    const std::string prefix = Key(text);
    for (int i = std::max(from, 0); i < to; ++i) {
        std::string item = GetItemText(i);
        if (Key(item).starts_with(prefix)) {
            index = i;
            return true;
        }
    }
    return false;
}

// Presence

void CvContactsManager::SetPacing(uint32_t firstPassDelayMs, uint32_t passPeriodMs,
                                  uint32_t probePauseMs) {
    m_firstPassDelayMs = firstPassDelayMs;
    m_passPeriodMs = passPeriodMs;
    m_probePauseMs = probePauseMs;
}

uint64_t CvContactsManager::PassCount() {
    std::lock_guard guard(m_lock);
    return m_passes;
}

bool CvContactsManager::StartPresence() {
    if (m_thread) {
        return false;
    }
    m_resultReceiver->Bind(this, &CvContactsManager::OnPingResult);
    m_thread = std::make_unique<CvClassThread<CvContactsManager>>(
        this, &CvContactsManager::PresenceThread);
    return m_thread->Start();
}

void CvContactsManager::StopPresence() {
    if (m_thread) {
        m_thread->StopAndWait();
        m_thread.reset();
    }
    // Probes still running may report later; they must not reach this object.
    m_resultReceiver->Unbind();
}

void CvContactsManager::OnPingResult(CvNetNamePingResult& result) {
    std::lock_guard guard(m_resultLock);
    m_result = result;
    m_resultEvent.Set();
}

void CvContactsManager::PresenceThread(CvThread* thread) {
    uint32_t wait = m_firstPassDelayMs;
    while (thread->WaitForStop(wait) != kWaitObject0) {
        if (!RunPass(thread)) {
            return;
        }
        wait = m_passPeriodMs;
    }
}

bool CvContactsManager::RunPass(CvThread* thread) {
    auto order = [](const PresenceEntry& a, const PresenceEntry& b) {
        return std::tie(a.conttype, a.key) < std::tie(b.conttype, b.key);
    };
    for (PresenceEntry& entry : m_snapshot) {
        entry.pending = true;
    }
    {
        std::lock_guard guard(m_lock);
        for (const CvContactGroup& group : m_groups) {
            for (const CvContact& contact : group.contacts) {
                PresenceEntry probe{contact.conttype, Key(contact.name), contact.name};
                auto it = std::find_if(m_snapshot.begin(), m_snapshot.end(),
                                       [&](const PresenceEntry& held) {
                                           return !order(held, probe) && !order(probe, held);
                                       });
                if (it != m_snapshot.end()) {
                    it->pending = false;
                } else {
                    m_snapshot.push_back(std::move(probe));
                }
            }
        }
    }
    // Entries whose contacts are gone are not probed again.
    std::erase_if(m_snapshot, [](const PresenceEntry& entry) { return entry.pending; });
    std::sort(m_snapshot.begin(), m_snapshot.end(), order);
    m_snapshot.erase(std::unique(m_snapshot.begin(), m_snapshot.end(),
                                 [&](const PresenceEntry& a, const PresenceEntry& b) {
                                     return !order(a, b) && !order(b, a);
                                 }),
                     m_snapshot.end());

    bool anyChanged = false;
    for (PresenceEntry& entry : m_snapshot) {
        bool online = false;
        if (m_probe != nullptr && entry.conttype == kContactUser) {
            if (!ProbeUser(thread, entry, online)) {
                return false;
            }
        } else if (m_probe != nullptr && entry.conttype == kContactWorkgroup) {
            online = m_probe->IsWorkgroupKnown(entry.name);
        }
        entry.changed = online != entry.online;
        anyChanged = anyChanged || entry.changed;
        entry.online = online;
        if (thread->WaitForStop(m_probePauseMs) == kWaitObject0) {
            return false;
        }
    }

    {
        std::lock_guard guard(m_lock);
        for (CvContactGroup& group : m_groups) {
            for (CvContact& contact : group.contacts) {
                PresenceEntry probe;
                probe.conttype = contact.conttype;
                probe.key = Key(contact.name);
                auto it = std::lower_bound(m_snapshot.begin(), m_snapshot.end(), probe, order);
                if (it != m_snapshot.end() && !order(probe, *it)) {
                    contact.online = it->online ? 1 : 0;
                    contact.changed = it->changed ? 1 : 0;
                }
            }
        }
        ++m_passes;
    }
    if (anyChanged) {
        Repaint();
    }
    return true;
}

bool CvContactsManager::ProbeUser(CvThread* thread, const PresenceEntry& entry, bool& online) {
    m_resultEvent.Reset();
    m_probe->Ping(entry.name, m_resultReceiver);
    for (;;) {
        if (!thread->WaitForEventOrStop(m_resultEvent, kInfinite)) {
            return false;
        }
        std::lock_guard guard(m_resultLock);
        // A late answer to an earlier probe is not this name's answer.
        if (Key(m_result.name) == entry.key) {
            online = m_result.status == kPingStatusAnswered;
            return true;
        }
    }
}
