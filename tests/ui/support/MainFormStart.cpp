#include "support/MainFormStart.h"

#include <QTest>

#include "messaging/CvStation.h"
#include "support/FakeDesktop.h"
#include "ui/CMainForm.h"

std::unique_ptr<CMainForm> StartMainForm(FakeDesktop& desktop,
                                         const std::vector<std::string>& settings) {
    constexpr int kWaitMs = 10000;
    desktop.WriteSettings(settings);
    auto main = std::make_unique<CMainForm>(desktop);
    if (!QTest::qWaitFor([&main] { return main->IsStarted(); }, kWaitMs) ||
        !main->Station()->WaitRegistered(kWaitMs)) {
        return nullptr;
    }
    return main;
}
