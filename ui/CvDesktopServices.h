#pragma once

#include <memory>
#include <string>

#include "app/CvAppPaths.h"
#include "messaging/CvStationSettings.h"

class CvHotKeyGrabber;
class CvNeighbourhood;
class CvNetbiosProvider;
class CvSoundPlayer;
class CvStation;
class CvTrayIconHost;

// What the main window takes from the system it runs on: the program's
// files, the network, the notification area, global keys and sounds. The
// program runs on the real ones (CvRealDesktopServices); tests hand it a
// virtual LAN and stand-ins they can watch.
class CvDesktopServices {
public:
    virtual ~CvDesktopServices() = default;

    virtual CvAppPaths Paths() = 0;
    // A station with these settings, not started yet.
    virtual std::unique_ptr<CvStation> CreateStation(const CvStationSettings& settings) = 0;
    // Where the name pinger asks its questions, beside the station.
    virtual CvNetbiosProvider& QueryProvider() = 0;
    // The neighbourhood the host scanner walks.
    virtual CvNeighbourhood& Neighbourhood() = 0;

    virtual CvTrayIconHost& TrayHost() = 0;
    // Whether the desktop has a notification area now.
    virtual bool IsTrayAvailable() = 0;
    // The global keys; null, with the reason in `why`, when the session
    // cannot grab keys.
    virtual CvHotKeyGrabber* HotKeyGrabber(std::string* why) = 0;
    virtual CvSoundPlayer& Sounds() = 0;
    // The control socket `corvane send` uses; "" for none.
    virtual std::string ControlSocketPath() = 0;
};
