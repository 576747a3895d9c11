#include "app/CvAutostartChange.h"

#include "app/CvAppSettingsStore.h"
#include "app/CvElevatedRegistry.h"
#include "app/CvRegistry.h"

CvAutostartChange::CvAutostartChange(std::string runCommand)
    : m_runCommand(std::move(runCommand)) {}

std::unique_ptr<CvSettingStorage> CvAutostartChange::OpenTarget(int32_t state, bool& refused) {
    refused = false;
    if (state != kCurrentUser && state != kAllUsers) {
        return nullptr;
    }
    auto registry = std::make_unique<CvRegistry>(state == kCurrentUser ? CvHive::CurrentUser
                                                                       : CvHive::LocalMachine);
    if (registry->OpenKey(CvAppSettingsStore::kRunKey, true, true)) {
        return registry;
    }
    if (state == kCurrentUser) {
        return nullptr;
    }
    // Without rights on the machine's key: the system asks for the
    // administrator password here.
    auto elevated = std::make_unique<CvElevatedRegistry>(CvAppSettingsStore::kRunKey);
    if (!elevated->HasWriter()) {
        refused = true;
        return nullptr;
    }
    return elevated;
}

bool CvAutostartChange::Apply(int32_t oldState, int32_t newState) const {
    if (oldState == newState || newState < kDisabled || newState > kAllUsers) {
        return false;
    }
    // Both targets are obtained before anything is touched, so that a refused
    // elevation leaves both entries as they were. The writing one comes first:
    // without it the user is not asked for a password in vain.
    bool refused = false;
    const auto writing = OpenTarget(newState, refused);
    if (refused || (newState != kDisabled && !writing)) {
        return false;
    }
    const auto removal = OpenTarget(oldState, refused);
    if (refused) {
        return false;
    }
    if (writing && !writing->WriteString(CvAppSettingsStore::kRunValueName, m_runCommand)) {
        // Deleting the old entry now would leave no autostart at all.
        return false;
    }
    if (removal) {
        // A missing old entry is what we want anyway; the state is derived
        // from the entries again at the next start.
        removal->DeleteValue(CvAppSettingsStore::kRunValueName);
    }
    if (newState == kDisabled && oldState == kAllUsers) {
        // With entries on both sides the state reads "all users"; the user's
        // own entry would go on starting the program.
        CvRegistry user(CvHive::CurrentUser);
        if (user.OpenKey(CvAppSettingsStore::kRunKey, false, true)) {
            user.DeleteValue(CvAppSettingsStore::kRunValueName);
        }
    }
    return true;
}
