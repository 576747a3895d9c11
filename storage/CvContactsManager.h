#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/CvClassThread.h"
#include "app/CvCriticalSection.h"
#include "app/CvFunction.h"
#include "app/CvMemberFunctionSafe.h"
#include "messaging/CvNetNamePingResult.h"
#include "platform/CvEvent.h"
#include "storage/CvContact.h"
#include "storage/CvContactGroup.h"
#include "storage/CvCoolMenuManagerInterface.h"
#include "storage/CvPresenceProbe.h"

class CvDatabase2;
class CvDataSet;

// The contact list in memory: groups in load order, each with its contacts,
// written through to the contact list file, and the item model of the
// contact list control. A presence thread probes every distinct contact in
// turn and marks it online or offline.
//
// Threads: edits and the item model run on the UI thread; the presence thread
// and the pinger's threads touch the model only under the model lock.
class CvContactsManager : public CvCoolMenuManagerInterface {
public:
    static constexpr uint32_t kFirstPassDelayMs = 10000;
    static constexpr uint32_t kPassPeriodMs = 180000;
    static constexpr uint32_t kProbePauseMs = 1500;

    // `database` and `contacts` (the contact data set over it) must outlive
    // the manager. `probe` may be null: every contact then stays offline.
    CvContactsManager(CvDatabase2& database, CvDataSet& contacts, CvPresenceProbe* probe);
    ~CvContactsManager() override;
    CvContactsManager(const CvContactsManager&) = delete;
    CvContactsManager& operator=(const CvContactsManager&) = delete;

    // Called when the control must repaint (after edits, toggles and a pass
    // that changed a state); on the presence thread too. Not owned.
    void SetRepaint(CvNullaryFunction<void>* repaint);

    // Rebuilds the groups and contacts from the contact data set.
    void Load();
    // Adds `contact`, or, with `oldContact`, changes every stored row equal
    // to it (names compared without regard to case, the type exactly). The
    // group is created first when no group has exactly that name.
    void SaveContact(const CvContact& contact, const CvContact* oldContact = nullptr);
    // Removes every stored row equal to `contact`.
    void DeleteContact(const CvContact& contact);
    // Removes the group and its contacts.
    void DeleteGroup(const std::string& groupName);
    // Writes the collapsed state of every group toggled since the last save.
    void SaveGroupStates();

    // A copy of the groups and contacts.
    std::vector<CvContactGroup> Groups();

    // The presence thread: first pass after FirstPassDelay, later ones a
    // period after the previous pass ended.
    bool StartPresence();
    void StopPresence();
    // For tests: the pacing of the presence thread.
    void SetPacing(uint32_t firstPassDelayMs, uint32_t passPeriodMs, uint32_t probePauseMs);
    // Passes finished so far.
    uint64_t PassCount();

    // The item model.
    int GetItemCount() override;
    std::string GetItemText(int index) override;
    int GetItemImage(int index) override;
    int IsGroup(int index) override;
    void Toggle(int index) override;
    bool FindByPrefix(int from, int to, const std::string& text, int& index) override;

private:
    struct PresenceEntry {
        int32_t conttype = 0;
        std::string key;   // the name upper-cased: NetBIOS names ignore case
        std::string name;  // as the first contact holds it
        bool online = false;
        bool changed = false;
        bool pending = false;
    };

    void PresenceThread(CvThread* thread);
    // One pass; false when stopped during it.
    bool RunPass(CvThread* thread);
    bool ProbeUser(CvThread* thread, const PresenceEntry& entry, bool& online);
    void OnPingResult(CvNetNamePingResult& result);
    void Repaint();
    // The group and contact behind an item index (contact null on a group
    // line); false beyond the end. Call under m_lock.
    bool Locate(int index, CvContactGroup*& group, CvContact*& contact);
    CvContactGroup* FindGroupExact(const std::string& name);
    static std::string Key(const std::string& name);

    CvDatabase2& m_database;
    CvDataSet& m_contactsData;
    CvPresenceProbe* m_probe;
    CvNullaryFunction<void>* m_repaint = nullptr;

    CvCriticalSection m_lock;
    std::vector<CvContactGroup> m_groups;
    std::vector<PresenceEntry> m_snapshot;  // presence thread only
    uint64_t m_passes = 0;

    CvCriticalSection m_resultLock;
    CvNetNamePingResult m_result;
    CvEvent m_resultEvent{false, false};
    std::shared_ptr<CvVoidUnaryMemberFunctionSafe<CvContactsManager, CvNetNamePingResult&>>
        m_resultReceiver;

    uint32_t m_firstPassDelayMs = kFirstPassDelayMs;
    uint32_t m_passPeriodMs = kPassPeriodMs;
    uint32_t m_probePauseMs = kProbePauseMs;
    std::unique_ptr<CvClassThread<CvContactsManager>> m_thread;
};
