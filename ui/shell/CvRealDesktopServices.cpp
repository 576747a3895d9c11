#include "ui/shell/CvRealDesktopServices.h"

#include <QSystemTrayIcon>

#include "messaging/CvControlServer.h"
#include "messaging/CvStation.h"
#include "platform/CvNbtNeighbourhood.h"
#include "platform/CvNbtQueryProvider.h"
#include "ui/shell/CvCanberraSoundPlayer.h"
#include "ui/shell/CvQtTrayIconHost.h"
#include "ui/shell/CvX11HotKeyGrabber.h"

CvRealDesktopServices::CvRealDesktopServices()
    : m_queryProvider(std::make_unique<CvNbtQueryProvider>()),
      m_neighbourhood(std::make_unique<CvNbtNeighbourhood>()),
      m_trayHost(std::make_unique<CvQtTrayIconHost>()),
      m_sounds(std::make_unique<CvCanberraSoundPlayer>()) {}

CvRealDesktopServices::~CvRealDesktopServices() = default;

CvAppPaths CvRealDesktopServices::Paths() {
    return CvAppPaths::Detect();
}

std::unique_ptr<CvStation> CvRealDesktopServices::CreateStation(const CvStationSettings& settings) {
    return CvStation::CreateReal(settings);
}

CvNetbiosProvider& CvRealDesktopServices::QueryProvider() {
    return *m_queryProvider;
}

CvNeighbourhood& CvRealDesktopServices::Neighbourhood() {
    return *m_neighbourhood;
}

CvTrayIconHost& CvRealDesktopServices::TrayHost() {
    return *m_trayHost;
}

bool CvRealDesktopServices::IsTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

CvHotKeyGrabber* CvRealDesktopServices::HotKeyGrabber(std::string* why) {
    if (!m_hotKeys) {
        if (!CvX11HotKeyGrabber::Available(why)) {
            return nullptr;
        }
        m_hotKeys = std::make_unique<CvX11HotKeyGrabber>();
    }
    return m_hotKeys.get();
}

CvSoundPlayer& CvRealDesktopServices::Sounds() {
    return *m_sounds;
}

std::string CvRealDesktopServices::ControlSocketPath() {
    return CvControlServer::DefaultPath();
}
