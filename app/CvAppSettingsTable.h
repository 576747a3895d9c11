#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "app/CvPropertyValue.h"

// Identifiers of the settings (the keys of CvAppPropertyList).
namespace CvSettingId {
inline constexpr int32_t kAutoStart = 1;
inline constexpr int32_t kSysLanguageFile = 2;
inline constexpr int32_t kSoundEnabled = 3;
inline constexpr int32_t kSoundEventIncMsgBcast = 4;
inline constexpr int32_t kSoundEventIncMsgPriv = 5;
inline constexpr int32_t kSoundEventSendSuccess = 6;
inline constexpr int32_t kSoundEventSendFail = 7;
inline constexpr int32_t kTrayLeftMouseBtn = 8;
inline constexpr int32_t kMsgSendSuccessSoundNotify = 9;
inline constexpr int32_t kMsgSendFailSoundNotify = 10;
inline constexpr int32_t kMsgSendFailTextNotify = 11;
inline constexpr int32_t kRecvMsgMainAct = 12;
inline constexpr int32_t kRecvMsgSoundNotify = 13;
inline constexpr int32_t kRecvMsgPopWndAutoclose = 14;
inline constexpr int32_t kRecvMsgPopWndDeadline = 15;
inline constexpr int32_t kMsgArcOnTop = 16;
inline constexpr int32_t kHotKeyEnabled = 20;
inline constexpr int32_t kHotKeyWriteNewMsg = 21;
inline constexpr int32_t kHotKeyReplyLastMsg = 22;
inline constexpr int32_t kHotKeyOpenIncoming = 23;
inline constexpr int32_t kHotKeyBrowseLan = 24;
inline constexpr int32_t kLanSrchStateOnline = 25;
inline constexpr int32_t kLanSrchTypeGroup = 26;
inline constexpr int32_t kLanSrchTypeUser = 27;
inline constexpr int32_t kLanSrchTypeComp = 28;
inline constexpr int32_t kUserSignMsgWith = 29;
inline constexpr int32_t kPopupMsgWndOpenAtNewest = 31;
inline constexpr int32_t kPopupMsgWndKeepUntilRead = 32;
inline constexpr int32_t kContactListFilePath = 33;
inline constexpr int32_t kContactListUseFilePath = 34;
inline constexpr int32_t kContactListDisableEdit = 35;
inline constexpr int32_t kContactListDisableSearch = 30;
inline constexpr int32_t kMsgSendEnableMsgFragment = 36;
inline constexpr int32_t kTrayMenuExitDisabled = 42;
inline constexpr int32_t kTrayMenuOptionsDisabled = 43;
inline constexpr int32_t kPopupMsgWndUseFixedPos = 44;
inline constexpr int32_t kPopupMsgWndFixedPosX = 45;
inline constexpr int32_t kPopupMsgWndFixedPosY = 46;
inline constexpr int32_t kPopupMsgWndScale = 50;
inline constexpr int32_t kPopupMsgWndAspectRatioMin = 51;
inline constexpr int32_t kPopupMsgWndAspectRatioMax = 52;
inline constexpr int32_t kPopupMsgWndFontMsgText = 53;
inline constexpr int32_t kAppearanceEnabled = 54;
inline constexpr int32_t kMsgArcFontMsgText = 55;
inline constexpr int32_t kMsgSendDisabled = 56;
inline constexpr int32_t kMsgArcDisabled = 57;
inline constexpr int32_t kPopupMsgWndToolBarDisabled = 58;
inline constexpr int32_t kMessagesHandleLinks = 100;
inline constexpr int32_t kPopupMsgWndRemoveReadMsg = 101;
inline constexpr int32_t kMsgArcSvcMenuClearDisabled = 59;
inline constexpr int32_t kNetMsgNameUserEnabled = 60;
inline constexpr int32_t kNetMsgNameCompEnabled = 61;
inline constexpr int32_t kNetMsgNameGroupEnabled = 62;
inline constexpr int32_t kTrayIconDisabled = 63;
inline constexpr int32_t kMessagesLargeBcastEnabled = 102;
inline constexpr int32_t kMsgArcCntxMenuDelDisabled = 103;
inline constexpr int32_t kNetMsgSendTimeout = 104;
inline constexpr int32_t kLanSrchInNet = 105;
inline constexpr int32_t kLanSrchInAD = 106;
inline constexpr int32_t kLanSrchCheckADState = 107;
inline constexpr int32_t kMsgArcCurRowHighlight = 108;
inline constexpr int32_t kMsgArcDatabaseFile = 109;
inline constexpr int32_t kMsgArcUseDatabaseFile = 110;
inline constexpr int32_t kContactListDatabaseFile = 111;
inline constexpr int32_t kContactListUseDatabaseFile = 112;
inline constexpr int32_t kContactListAskImportDisabled = 113;
inline constexpr int32_t kPopupMsgWndCaptionDisabled = 114;
inline constexpr int32_t kPopupMsgWndMsgInfoDisabled = 115;
inline constexpr int32_t kPopupMsgWndMarkReadWhenShown = 116;
inline constexpr int32_t kRecvMsgDiscardOwnBcMsg = 117;
}  // namespace CvSettingId

enum class CvSettingType : int32_t { Text = 0, Integer = 1 };

// Stored under the "Options" key or section.
inline constexpr int32_t kCvSettingScopeOptions = 1;
// Not stored under "Options" but derived at load (the autostart state).
inline constexpr int32_t kCvSettingScopeDerived = 2;

// One row of the settings table.
struct CvSettingRow {
    int32_t id;
    int32_t scope;
    const char* key;  // value name in the registry or INI file; "" when derived
    CvSettingType type;
    const char* defaultText;  // CvSettingType::Text
    int32_t defaultInt;       // CvSettingType::Integer
    uint8_t readOnly;         // 1: read, never written by the program

    CvPropertyValue DefaultValue() const;
};

// Every setting, in the table's fixed order (not sorted by identifier).
std::span<const CvSettingRow> CvAppSettingsTable();

// The row of an identifier, or null.
const CvSettingRow* CvFindSettingRow(int32_t id);
