#include "support/MainFormTestCase.h"

#include <QCoreApplication>
#include <QEvent>

#include "support/MainFormStart.h"
#include "ui/CvResources.h"

bool MainFormTestCase::Start(const std::vector<std::string>& settings) {
    m_main = StartMainForm(*m_desktop, settings);
    return m_main != nullptr;
}

void MainFormTestCase::initTestCase() {
    CvResources::Init();
}

void MainFormTestCase::init() {
    m_desktop = std::make_unique<FakeDesktop>();
    SetUp();
}

void MainFormTestCase::cleanup() {
    TearDown();
    m_main.reset();
    // Windows closed with deferred deletion go before the desktop they use.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_desktop.reset();
}
