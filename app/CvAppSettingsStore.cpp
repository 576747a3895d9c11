#include "app/CvAppSettingsStore.h"

#include <algorithm>
#include <vector>

#include "app/CvAppSettingsTable.h"
#include "app/CvIniFile.h"
#include "app/CvPath.h"
#include "app/CvRegistry.h"

namespace {

// Sets every stored setting that `storage` holds with the right type.
void ReadLayer(CvSettingStorage& storage, CvSettingSource source, CvAppPropertyList& list,
               CvSettingSources* sources) {
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        if (row.scope != kCvSettingScopeOptions || !storage.ValueExists(row.key)) {
            continue;
        }
        bool read = false;
        if (row.type == CvSettingType::Text) {
            std::string text;
            read = storage.TryReadString(row.key, text);
            if (read) {
                list.Set(row.id, CvPropertyValue::Text(std::move(text)));
            }
        } else {
            int32_t value = 0;
            read = storage.TryReadInt(row.key, value);
            if (read) {
                list.Set(row.id, CvPropertyValue::Integer(value));
            }
        }
        if (read && sources != nullptr) {
            (*sources)[row.id] = source;
        }
    }
}

bool HasRunEntry(CvHive hive) {
    CvRegistry registry(hive);
    return registry.OpenKey(CvAppSettingsStore::kRunKey, false, false) &&
           registry.ValueExists(CvAppSettingsStore::kRunValueName);
}

bool WriteSetting(CvSettingStorage& store, const CvSettingRow& row, const CvAppPropertyList& list) {
    const CvPropertyValue value = list.Get(row.id);
    return row.type == CvSettingType::Text ? store.WriteString(row.key, value.GetText())
                                           : store.WriteInt(row.key, value.GetInt());
}

}  // namespace

CvAppSettingsStore::CvAppSettingsStore(const CvAppPaths& paths) : m_paths(paths) {}

std::unique_ptr<CvSettingStorage> CvAppSettingsStore::OpenUserOptions(bool writable) const {
    if (m_paths.IsIniMode()) {
        return std::make_unique<CvIniFile>(m_paths.IniPath(), kOptionsSection);
    }
    auto registry = std::make_unique<CvRegistry>(CvHive::CurrentUser);
    if ((writable || !m_inspectOnly) && registry->OpenKey(kOptionsKey, true, true)) {
        return registry;
    }
    // A user store this process may not write can still be read.
    if (!writable && registry->OpenKey(kOptionsKey, false, false)) {
        return registry;
    }
    return nullptr;
}

void CvAppSettingsStore::Load(CvAppPropertyList& list, CvSettingSources* sources) const {
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        list.Set(row.id, row.DefaultValue());
        if (sources != nullptr) {
            (*sources)[row.id] = CvSettingSource::Default;
        }
    }

    if (!m_paths.IsIniMode()) {
        CvRegistry machine(CvHive::LocalMachine);
        if (machine.OpenKey(kOptionsKey, false, false)) {
            ReadLayer(machine, CvSettingSource::Machine, list, sources);
        }
    }

    if (auto user = OpenUserOptions(false)) {
        ReadLayer(*user, m_paths.IsIniMode() ? CvSettingSource::Ini : CvSettingSource::User, list,
                  sources);
    }

    // Relative names resolve against the program folder, not the current one.
    for (int32_t id : {CvSettingId::kContactListDatabaseFile, CvSettingId::kMsgArcDatabaseFile}) {
        list.Set(id, CvPropertyValue::Text(CvPath::ResolveFileSetting(list.Get(id).GetText(),
                                                                      m_paths.ProgramFolder())));
    }

    list.Set(CvSettingId::kAutoStart, CvPropertyValue::Integer(ReadAutostartState()));
    if (sources != nullptr) {
        (*sources)[CvSettingId::kAutoStart] = CvSettingSource::Autostart;
    }
}

bool CvAppSettingsStore::Save(const CvAppPropertyList& list) const {
    auto user = OpenUserOptions(true);
    if (!user) {
        return false;
    }
    std::vector<const CvSettingRow*> rows;
    for (const CvSettingRow& row : CvAppSettingsTable()) {
        if (row.scope == kCvSettingScopeOptions && row.readOnly == 0) {
            rows.push_back(&row);
        }
    }
    std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) { return a->id < b->id; });

    bool allWritten = true;
    for (const CvSettingRow* row : rows) {
        allWritten = WriteSetting(*user, *row, list) && allWritten;
    }
    return allWritten;
}

bool CvAppSettingsStore::SaveOne(const CvAppPropertyList& list, int32_t id) const {
    const CvSettingRow* row = CvFindSettingRow(id);
    if (row == nullptr || row->scope != kCvSettingScopeOptions) {
        return false;
    }
    auto user = OpenUserOptions(true);
    return user && WriteSetting(*user, *row, list);
}

std::unique_ptr<CvSettingStorage> CvAppSettingsStore::OpenWindowStorage(const std::string& name,
                                                                        bool writable) const {
    if (m_paths.IsIniMode()) {
        return std::make_unique<CvIniFile>(m_paths.IniPath(), "Windows." + name);
    }
    auto registry = std::make_unique<CvRegistry>(CvHive::CurrentUser);
    if (!registry->OpenKey(kWindowsKey + name, writable, writable)) {
        return nullptr;
    }
    return registry;
}

int32_t CvAppSettingsStore::ReadAutostartState() {
    int32_t state = 0;
    if (HasRunEntry(CvHive::CurrentUser)) {
        state = 1;
    }
    if (HasRunEntry(CvHive::LocalMachine)) {
        state = 2;
    }
    return state;
}
