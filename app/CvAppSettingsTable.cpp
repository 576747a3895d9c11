#include "app/CvAppSettingsTable.h"

#include <algorithm>

namespace {

// clang-format off
const CvSettingRow kRows[] = {
    {CvSettingId::kAutoStart, kCvSettingScopeDerived, "", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kSysLanguageFile, kCvSettingScopeOptions, "SysLanguageFile", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kSoundEnabled, kCvSettingScopeOptions, "SoundEnabled", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kSoundEventIncMsgBcast, kCvSettingScopeOptions, "SoundEventIncMsgBcast", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kSoundEventIncMsgPriv, kCvSettingScopeOptions, "SoundEventIncMsgPriv", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kSoundEventSendSuccess, kCvSettingScopeOptions, "SoundEventSendSuccess", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kSoundEventSendFail, kCvSettingScopeOptions, "SoundEventSendFail", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kTrayLeftMouseBtn, kCvSettingScopeOptions, "TrayLeftMouseBtn", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kMsgSendSuccessSoundNotify, kCvSettingScopeOptions, "MsgSendSuccessSoundNotify", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kMsgSendFailSoundNotify, kCvSettingScopeOptions, "MsgSendFailSoundNotify", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kMsgSendFailTextNotify, kCvSettingScopeOptions, "MsgSendFailTextNotify", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kRecvMsgMainAct, kCvSettingScopeOptions, "RecvMsgMainAct", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kRecvMsgSoundNotify, kCvSettingScopeOptions, "RecvMsgSoundNotify", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kRecvMsgPopWndAutoclose, kCvSettingScopeOptions, "RecvMsgPopWndAutoclose", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kRecvMsgPopWndDeadline, kCvSettingScopeOptions, "RecvMsgPopWndDeadline", CvSettingType::Integer, "", 10, 0},
    {CvSettingId::kMsgArcOnTop, kCvSettingScopeOptions, "MsgArcOnTop", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kHotKeyEnabled, kCvSettingScopeOptions, "HotKeyEnabled", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kHotKeyWriteNewMsg, kCvSettingScopeOptions, "HotKeyWriteNewMsg", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kHotKeyReplyLastMsg, kCvSettingScopeOptions, "HotKeyReplyLastMsg", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kHotKeyOpenIncoming, kCvSettingScopeOptions, "HotKeyOpenIncoming", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kHotKeyBrowseLan, kCvSettingScopeOptions, "HotKeyBrowseLan", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kLanSrchStateOnline, kCvSettingScopeOptions, "LanSrchStateOnline", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kLanSrchTypeGroup, kCvSettingScopeOptions, "LanSrchTypeGroup", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kLanSrchTypeUser, kCvSettingScopeOptions, "LanSrchTypeUser", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kLanSrchTypeComp, kCvSettingScopeOptions, "LanSrchTypeComp", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kUserSignMsgWith, kCvSettingScopeOptions, "UserSignMsgWith", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kPopupMsgWndOpenAtNewest, kCvSettingScopeOptions, "PopupMsgWndOpenAtNewest", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kPopupMsgWndKeepUntilRead, kCvSettingScopeOptions, "PopupMsgWndKeepUntilRead", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kContactListFilePath, kCvSettingScopeOptions, "ContactListFilePath", CvSettingType::Text, "", 0, 1},
    {CvSettingId::kContactListUseFilePath, kCvSettingScopeOptions, "ContactListUseFilePath", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kContactListDisableEdit, kCvSettingScopeOptions, "ContactListDisableEdit", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kContactListDisableSearch, kCvSettingScopeOptions, "ContactListDisableSearch", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kMsgSendEnableMsgFragment, kCvSettingScopeOptions, "MsgSendEnableMsgFragment", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kTrayMenuExitDisabled, kCvSettingScopeOptions, "TrayMenuExitDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kTrayMenuOptionsDisabled, kCvSettingScopeOptions, "TrayMenuOptionsDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndUseFixedPos, kCvSettingScopeOptions, "PopupMsgWndUseFixedPos", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndFixedPosX, kCvSettingScopeOptions, "PopupMsgWndFixedPosX", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndFixedPosY, kCvSettingScopeOptions, "PopupMsgWndFixedPosY", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndScale, kCvSettingScopeOptions, "PopupMsgWndScale", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndAspectRatioMin, kCvSettingScopeOptions, "PopupMsgWndAspectRatioMin", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndAspectRatioMax, kCvSettingScopeOptions, "PopupMsgWndAspectRatioMax", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndFontMsgText, kCvSettingScopeOptions, "PopupMsgWndFontMsgText", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kAppearanceEnabled, kCvSettingScopeOptions, "AppearanceEnabled", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kMsgArcFontMsgText, kCvSettingScopeOptions, "MsgArcFontMsgText", CvSettingType::Text, "", 0, 0},
    {CvSettingId::kMsgSendDisabled, kCvSettingScopeOptions, "MsgSendDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kMsgArcDisabled, kCvSettingScopeOptions, "MsgArcDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndToolBarDisabled, kCvSettingScopeOptions, "PopupMsgWndToolBarDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kMessagesHandleLinks, kCvSettingScopeOptions, "MessagesHandleLinks", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kPopupMsgWndRemoveReadMsg, kCvSettingScopeOptions, "PopupMsgWndRemoveReadMsg", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kMsgArcSvcMenuClearDisabled, kCvSettingScopeOptions, "MsgArcSvcMenuClearDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kNetMsgNameUserEnabled, kCvSettingScopeOptions, "NetMsgNameUserEnabled", CvSettingType::Integer, "", 1, 1},
    {CvSettingId::kNetMsgNameCompEnabled, kCvSettingScopeOptions, "NetMsgNameCompEnabled", CvSettingType::Integer, "", 1, 1},
    {CvSettingId::kNetMsgNameGroupEnabled, kCvSettingScopeOptions, "NetMsgNameGroupEnabled", CvSettingType::Integer, "", 1, 1},
    {CvSettingId::kTrayIconDisabled, kCvSettingScopeOptions, "TrayIconDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kMessagesLargeBcastEnabled, kCvSettingScopeOptions, "MessagesLargeBcastEnabled", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kMsgArcCntxMenuDelDisabled, kCvSettingScopeOptions, "MsgArcCntxMenuDelDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kNetMsgSendTimeout, kCvSettingScopeOptions, "NetMsgSendTimeout", CvSettingType::Integer, "", 3500, 1},
    {CvSettingId::kLanSrchInNet, kCvSettingScopeOptions, "LanSrchInNet", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kLanSrchInAD, kCvSettingScopeOptions, "LanSrchInAD", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kLanSrchCheckADState, kCvSettingScopeOptions, "LanSrchCheckADState", CvSettingType::Integer, "", 1, 0},
    {CvSettingId::kMsgArcCurRowHighlight, kCvSettingScopeOptions, "MsgArcCurRowHighlight", CvSettingType::Text, "color=004080, bkcolor=fffff0", 0, 0},
    {CvSettingId::kMsgArcDatabaseFile, kCvSettingScopeOptions, "MsgArcDatabaseFile", CvSettingType::Text, "", 0, 1},
    {CvSettingId::kMsgArcUseDatabaseFile, kCvSettingScopeOptions, "MsgArcUseDatabaseFile", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kContactListDatabaseFile, kCvSettingScopeOptions, "ContactListDatabaseFile", CvSettingType::Text, "", 0, 1},
    {CvSettingId::kContactListUseDatabaseFile, kCvSettingScopeOptions, "ContactListUseDatabaseFile", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kContactListAskImportDisabled, kCvSettingScopeOptions, "ContactListAskImportDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndCaptionDisabled, kCvSettingScopeOptions, "PopupMsgWndCaptionDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndMsgInfoDisabled, kCvSettingScopeOptions, "PopupMsgWndMsgInfoDisabled", CvSettingType::Integer, "", 0, 1},
    {CvSettingId::kPopupMsgWndMarkReadWhenShown, kCvSettingScopeOptions, "PopupMsgWndMarkReadWhenShown", CvSettingType::Integer, "", 0, 0},
    {CvSettingId::kRecvMsgDiscardOwnBcMsg, kCvSettingScopeOptions, "RecvMsgDiscardOwnBcMsg", CvSettingType::Integer, "", 0, 0},
};
// clang-format on

}  // namespace

CvPropertyValue CvSettingRow::DefaultValue() const {
    return type == CvSettingType::Text ? CvPropertyValue::Text(defaultText)
                                       : CvPropertyValue::Integer(defaultInt);
}

std::span<const CvSettingRow> CvAppSettingsTable() {
    return kRows;
}

const CvSettingRow* CvFindSettingRow(int32_t id) {
    const auto* it = std::find_if(std::begin(kRows), std::end(kRows),
                                  [id](const auto& row) { return row.id == id; });
    return it != std::end(kRows) ? it : nullptr;
}
