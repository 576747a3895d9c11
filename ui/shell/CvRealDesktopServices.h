#pragma once

#include <memory>

#include "ui/CvDesktopServices.h"

class CvCanberraSoundPlayer;
class CvNbtNeighbourhood;
class CvNbtQueryProvider;
class CvQtTrayIconHost;
class CvX11HotKeyGrabber;

// The desktop program on this machine: the NetBIOS-over-TCP/IP stack, the
// tray through Qt, X11 key grabs and libcanberra. Made after the
// QApplication.
class CvRealDesktopServices : public CvDesktopServices {
public:
    CvRealDesktopServices();
    ~CvRealDesktopServices() override;

    CvAppPaths Paths() override;
    std::unique_ptr<CvStation> CreateStation(const CvStationSettings& settings) override;
    CvNetbiosProvider& QueryProvider() override;
    CvNeighbourhood& Neighbourhood() override;
    CvTrayIconHost& TrayHost() override;
    bool IsTrayAvailable() override;
    CvHotKeyGrabber* HotKeyGrabber(std::string* why) override;
    CvSoundPlayer& Sounds() override;
    std::string ControlSocketPath() override;

private:
    std::unique_ptr<CvNbtQueryProvider> m_queryProvider;
    std::unique_ptr<CvNbtNeighbourhood> m_neighbourhood;
    std::unique_ptr<CvQtTrayIconHost> m_trayHost;
    std::unique_ptr<CvX11HotKeyGrabber> m_hotKeys;
    std::unique_ptr<CvCanberraSoundPlayer> m_sounds;
};
