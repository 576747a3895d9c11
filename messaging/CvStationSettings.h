#pragma once

#include <cstdint>
#include <string>

class CvAppPropertyList;
class CvPropertyList;

// What a station takes from the settings and from the system: its names and
// how it sends.
struct CvStationSettings {
    // Upper case, as CvStationNames gives them.
    std::string computerName;
    std::string userName;
    std::string workgroup;

    bool registerUserName = true;       // NetMsgNameUserEnabled
    bool registerComputerName = true;   // NetMsgNameCompEnabled
    bool registerGroupName = true;      // NetMsgNameGroupEnabled
    bool fragmentEnabled = true;        // MsgSendEnableMsgFragment
    uint32_t maxBroadcastLength = 350;  // 350 with MessagesLargeBcastEnabled, else 128
    uint32_t sendTimeoutMs = 3500;      // NetMsgSendTimeout
    bool signWithUserName = true;       // UserSignMsgWith == 1

    // The values of `list` with the given names.
    static CvStationSettings FromList(const CvPropertyList& list, std::string computerName,
                                      std::string userName, std::string workgroup);
    // The user's settings (read from their stores without creating anything)
    // and the names of this system (CvStationNames). The whole list goes to
    // `list` when given.
    static CvStationSettings Load(CvAppPropertyList* list = nullptr);

    // The name that signs a message unless the user picks another.
    const std::string& DefaultSender() const { return signWithUserName ? userName : computerName; }
};
