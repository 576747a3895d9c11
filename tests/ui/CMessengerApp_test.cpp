// One desktop program per user: a second start ends quietly, a start beside
// the user's command-line station says why it cannot run.
#include <QtTest>

#include <memory>

#include "app/CvSingleInstance.h"
#include "messaging/CvStation.h"
#include "support/FakeDesktop.h"
#include "ui/CMainForm.h"
#include "ui/CMessengerApp.h"

class MessengerAppTest : public QObject {
    Q_OBJECT

private slots:
    void firstInstanceStartsTheMainWindow() {
        CMessengerApp app(std::make_unique<FakeDesktop>());
        QVERIFY(app.InitInstance());
        QVERIFY(app.HasMainWindow());
        QTRY_VERIFY_WITH_TIMEOUT(app.MainWindow()->IsStarted(), 10000);
        QVERIFY(app.MainWindow()->Station()->IsRunning());
        QCOMPARE(app.ExitInstance(), 0);
        QVERIFY(!app.HasMainWindow());
    }

    void secondDesktopEndsQuietly() {
        auto services = std::make_unique<FakeDesktop>();
        CvSingleInstance first;
        QVERIFY(first.Start("ALICE", CvSingleInstance::Role::Desktop));
        CMessengerApp app(std::move(services));
        QVERIFY(app.InitInstance());
        QVERIFY(!app.HasMainWindow());
        QVERIFY(app.Refusal().empty());
    }

    void besideTheCommandLineStationItSaysWhy() {
        auto services = std::make_unique<FakeDesktop>();
        CvSingleInstance station;
        QVERIFY(station.Start("ALICE"));
        CMessengerApp app(std::move(services));
        QVERIFY(app.InitInstance());
        QVERIFY(!app.HasMainWindow());
        QVERIFY(app.Refusal().find("corvane listen") != std::string::npos);
        QVERIFY(app.Refusal().find("ALICE") != std::string::npos);
    }
};

QTEST_MAIN(MessengerAppTest)
#include "CMessengerApp_test.moc"
