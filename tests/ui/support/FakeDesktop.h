#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CvSoundPlayer.h"
#include "platform/CvHotKeyGrabber.h"
#include "platform/CvTrayIconHost.h"
#include "platform/CvUnixMailslots.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualNeighbourhood.h"
#include "platform/CvVirtualStation.h"
#include "support/TestEnv.h"
#include "support/VirtualLanStation.h"
#include "ui/CvDesktopServices.h"

// The notification area as a test sees it: what is shown, the timers, and
// clicks the test makes.
class FakeTrayHost : public CvTrayIconHost {
public:
    void SetEvents(Events events) override;
    bool Modify(int icon, const std::string& tip) override;
    bool Add(int icon, const std::string& tip) override;
    void Remove() override;
    void StartTimer(int id, uint32_t ms) override;
    void StopTimer(int id) override;
    bool CursorPosition(int& x, int& y) override;

    void Click(long message);
    // Moves the pointer onto the icon (the desktop reports it) or away.
    void SetCursorOverIcon(bool over);
    void Tick(int id);
    bool Present();
    int Icon();
    std::string Tip();
    bool TimerRunning(int id);

private:
    std::mutex m_lock;
    Events m_events;
    bool m_present = false;
    int m_icon = 0;
    std::string m_tip;
    std::map<int, uint32_t> m_timers;
    bool m_cursorOver = false;
};

// Global keys that the test presses.
class FakeHotKeyGrabber : public CvHotKeyGrabber {
public:
    bool Grab(int id, uint32_t modifiers, uint8_t virtualKey, bool extended) override;
    void Ungrab(int id) override;
    void SetPressHandler(std::function<void(int id)> handler) override;

    void Press(int id);
    bool IsGrabbed(int id) const { return m_grabs.count(id) != 0; }
    uint8_t VirtualKey(int id) const;

private:
    std::map<int, uint8_t> m_grabs;
    std::function<void(int id)> m_handler;
};

class FakeSounds : public CvSoundPlayer {
public:
    std::vector<std::string> Played();

protected:
    void Play(const std::string& path) override;

private:
    std::mutex m_lock;
    std::vector<std::string> m_played;
};

// The desktop on a virtual LAN, in a private folder: user ALICE on computer
// PC1 in workgroup WG; BOB on PC2 and CAROL on PC3 are peers on the same
// segment. Settings can be written before the main window starts.
class FakeDesktop : public CvDesktopServices {
public:
    FakeDesktop();
    ~FakeDesktop() override;

    // Values for the user's Options key, e.g. "\"HotKeyEnabled\"=dword:00000001".
    void WriteSettings(const std::vector<std::string>& lines);
    void SetTrayAvailable(bool available) { m_trayAvailable = available; }
    void SetHotKeysAvailable(bool available) { m_hotKeysAvailable = available; }
    // How long the station's sends wait for a peer (500 ms unless set).
    void SetSendTimeout(uint32_t ms) { m_sendTimeoutMs = ms; }

    CvAppPaths Paths() override;
    std::unique_ptr<CvStation> CreateStation(const CvStationSettings& settings) override;
    CvNetbiosProvider& QueryProvider() override { return m_queryHost; }
    CvNeighbourhood& Neighbourhood() override { return m_neighbourhood; }
    CvTrayIconHost& TrayHost() override { return tray; }
    bool IsTrayAvailable() override { return m_trayAvailable; }
    CvHotKeyGrabber* HotKeyGrabber(std::string* why) override;
    CvSoundPlayer& Sounds() override { return sounds; }
    std::string ControlSocketPath() override { return {}; }

    const std::string& Folder() const { return m_dir.Path(); }

    FakeTrayHost tray;
    FakeHotKeyGrabber hotKeys;
    FakeSounds sounds;

private:
    TempDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
    CvVirtualLan m_lan{std::chrono::milliseconds(20)};
    CvVirtualStation m_host{m_lan};
    CvVirtualStation m_queryHost{m_lan};
    CvUnixMailslots m_local;
    CvVirtualNeighbourhood m_neighbourhood{{}};
    bool m_trayAvailable = true;
    bool m_hotKeysAvailable = true;
    uint32_t m_sendTimeoutMs = 500;

public:
    // Declared after the LAN, destroyed before it.
    std::unique_ptr<VirtualLanStation> bob;
    std::unique_ptr<VirtualLanStation> carol;
};
