#include "messaging/CvStationSettings.h"

#include "app/CvAppPaths.h"
#include "app/CvAppPropertyList.h"
#include "app/CvAppSettingsStore.h"
#include "app/CvAppSettingsTable.h"
#include "platform/CvStationNames.h"

CvStationSettings CvStationSettings::FromList(const CvPropertyList& list, std::string computerName,
                                              std::string userName, std::string workgroup) {
    CvStationSettings settings;
    settings.computerName = std::move(computerName);
    settings.userName = std::move(userName);
    settings.workgroup = std::move(workgroup);
    settings.registerUserName = list.Get(CvSettingId::kNetMsgNameUserEnabled).GetInt() != 0;
    settings.registerComputerName = list.Get(CvSettingId::kNetMsgNameCompEnabled).GetInt() != 0;
    settings.registerGroupName = list.Get(CvSettingId::kNetMsgNameGroupEnabled).GetInt() != 0;
    settings.fragmentEnabled = list.Get(CvSettingId::kMsgSendEnableMsgFragment).GetInt() != 0;
    settings.maxBroadcastLength =
        list.Get(CvSettingId::kMessagesLargeBcastEnabled).GetInt() != 0 ? 350 : 128;
    // The client clamps it to its working range; a negative value counts as 0.
    const int32_t timeout = list.Get(CvSettingId::kNetMsgSendTimeout).GetInt();
    settings.sendTimeoutMs = timeout > 0 ? static_cast<uint32_t>(timeout) : 0;
    settings.signWithUserName = list.Get(CvSettingId::kUserSignMsgWith).GetInt() == 1;
    return settings;
}

CvStationSettings CvStationSettings::Load(CvAppPropertyList* listOut) {
    const CvAppPaths paths = CvAppPaths::Detect();
    CvAppPropertyList ownList;
    CvAppPropertyList& list = listOut != nullptr ? *listOut : ownList;
    CvAppSettingsStore store(paths);
    store.SetInspectOnly(true);
    store.Load(list);
    return FromList(list, CvStationNames::ComputerName(), CvStationNames::UserName(),
                    CvStationNames::Workgroup());
}
