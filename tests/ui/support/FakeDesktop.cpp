#include "support/FakeDesktop.h"

#include <filesystem>

#include "app/CvTrayIcon.h"
#include "messaging/CvStation.h"

void FakeTrayHost::SetEvents(Events events) {
    std::lock_guard guard(m_lock);
    m_events = std::move(events);
}

bool FakeTrayHost::Modify(int icon, const std::string& tip) {
    std::lock_guard guard(m_lock);
    if (!m_present) {
        return false;
    }
    m_icon = icon;
    m_tip = tip;
    return true;
}

bool FakeTrayHost::Add(int icon, const std::string& tip) {
    std::lock_guard guard(m_lock);
    m_present = true;
    m_icon = icon;
    m_tip = tip;
    return true;
}

void FakeTrayHost::Remove() {
    std::lock_guard guard(m_lock);
    m_present = false;
}

void FakeTrayHost::StartTimer(int id, uint32_t ms) {
    std::lock_guard guard(m_lock);
    m_timers[id] = ms;
}

void FakeTrayHost::StopTimer(int id) {
    std::lock_guard guard(m_lock);
    m_timers.erase(id);
}

bool FakeTrayHost::CursorPosition(int& x, int& y) {
    std::lock_guard guard(m_lock);
    x = m_cursorOver ? 10 : 500;
    y = m_cursorOver ? 790 : 500;
    return true;
}

void FakeTrayHost::SetCursorOverIcon(bool over) {
    std::function<void(long, int, int)> mouse;
    {
        std::lock_guard guard(m_lock);
        m_cursorOver = over;
        mouse = m_events.mouse;
    }
    if (over && mouse) {
        mouse(CvTrayIcon::kMouseMove, 10, 790);
    }
}

void FakeTrayHost::Click(long message) {
    std::function<void(long, int, int)> mouse;
    {
        std::lock_guard guard(m_lock);
        mouse = m_events.mouse;
    }
    if (mouse) {
        mouse(message, 0, 0);
    }
}

void FakeTrayHost::Tick(int id) {
    std::function<void(int)> timer;
    {
        std::lock_guard guard(m_lock);
        timer = m_events.timer;
    }
    if (timer) {
        timer(id);
    }
}

bool FakeTrayHost::Present() {
    std::lock_guard guard(m_lock);
    return m_present;
}

int FakeTrayHost::Icon() {
    std::lock_guard guard(m_lock);
    return m_icon;
}

std::string FakeTrayHost::Tip() {
    std::lock_guard guard(m_lock);
    return m_tip;
}

bool FakeTrayHost::TimerRunning(int id) {
    std::lock_guard guard(m_lock);
    return m_timers.count(id) != 0;
}

bool FakeHotKeyGrabber::Grab(int id, uint32_t, uint8_t virtualKey, bool) {
    m_grabs[id] = virtualKey;
    return true;
}

void FakeHotKeyGrabber::Ungrab(int id) {
    m_grabs.erase(id);
}

void FakeHotKeyGrabber::SetPressHandler(std::function<void(int id)> handler) {
    m_handler = std::move(handler);
}

void FakeHotKeyGrabber::Press(int id) {
    if (m_handler && m_grabs.count(id) != 0) {
        m_handler(id);
    }
}

uint8_t FakeHotKeyGrabber::VirtualKey(int id) const {
    auto it = m_grabs.find(id);
    return it == m_grabs.end() ? 0 : it->second;
}

std::vector<std::string> FakeSounds::Played() {
    std::lock_guard guard(m_lock);
    return m_played;
}

void FakeSounds::Play(const std::string& path) {
    std::lock_guard guard(m_lock);
    m_played.push_back(path);
}

FakeDesktop::FakeDesktop() : m_local(nullptr, m_dir.Path() + "/mailslot") {
    const std::string& dir = m_dir.Path();
    for (const char* sub : {"/run", "/config", "/data", "/program", "/appdata"}) {
        std::filesystem::create_directories(dir + sub);
    }
    std::filesystem::permissions(dir + "/run", std::filesystem::perms::owner_all);
    const std::pair<const char*, std::string> variables[] = {
        {"HOME", dir},
        {"XDG_RUNTIME_DIR", dir + "/run"},
        {"XDG_CONFIG_HOME", dir + "/config"},
        {"XDG_DATA_HOME", dir + "/data"},
        {"CORVANE_USER_REGISTRY", dir + "/user.reg"},
        {"CORVANE_MACHINE_REGISTRY", dir + "/machine.reg"},
        {"CORVANE_PROGRAM_DIR", dir + "/program"},
        {"CORVANE_USER_NAME", "ALICE"},
        {"CORVANE_COMPUTER_NAME", "PC1"},
        {"CORVANE_WORKGROUP", "WG"},
    };
    for (const auto& [name, value] : variables) {
        m_env.push_back(std::make_unique<ScopedEnv>(name, value));
    }
    m_host.AttachAdapter(0, 1);
    m_queryHost.AttachAdapter(0, 1);
    bob = std::make_unique<VirtualLanStation>(m_lan, "PC2", std::vector<std::string>{"BOB", "PC2"},
                                              std::vector<std::string>{"WG"});
    carol = std::make_unique<VirtualLanStation>(
        m_lan, "PC3", std::vector<std::string>{"CAROL", "PC3"}, std::vector<std::string>{"WG"});
    bob->WaitRegistered();
    carol->WaitRegistered();
}

FakeDesktop::~FakeDesktop() {
    bob.reset();
    carol.reset();
}

void FakeDesktop::WriteSettings(const std::vector<std::string>& lines) {
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    WriteFileText(m_dir.Path() + "/user.reg", text);
}

CvAppPaths FakeDesktop::Paths() {
    return CvAppPaths(m_dir.Path() + "/program", m_dir.Path() + "/appdata");
}

std::unique_ptr<CvStation> FakeDesktop::CreateStation(const CvStationSettings& settings) {
    CvStationSettings quick = settings;
    quick.sendTimeoutMs = m_sendTimeoutMs;
    auto station = std::make_unique<CvStation>(m_host, m_local, quick);
    station->SetWatchPeriod(20);
    return station;
}

CvHotKeyGrabber* FakeDesktop::HotKeyGrabber(std::string* why) {
    if (!m_hotKeysAvailable) {
        *why = "this test session has no global keys";
        return nullptr;
    }
    return &hotKeys;
}
