// The tray icon through Qt in an XEmbed tray (trayer) on a private X server:
// the icon is embedded, the pointer moving onto it and clicks on it reach
// the program as the icon's mouse messages.
#include <QApplication>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QtTest>

#include <mutex>
#include <vector>

#include "app/CvTrayIcon.h"
#include "app/CvTrayIconManager.h"
#include "ui/CvResources.h"
#include "ui/shell/CvQtTrayIconHost.h"

class QtTrayIconHostTest : public QObject {
    Q_OBJECT

private:
    QProcess m_trayer;
    std::vector<long> m_messages;

    bool Xdotool(const QStringList& arguments) {
        return QProcess::execute("xdotool", arguments) == 0;
    }
    bool Received(long message) {
        return std::find(m_messages.begin(), m_messages.end(), message) != m_messages.end();
    }

private slots:
    void initTestCase() {
        CvResources::Init();
        m_trayer.start("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "request",
                                  "--height", "24"});
        QVERIFY(m_trayer.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    }
    void cleanupTestCase() {
        m_trayer.terminate();
        m_trayer.waitForFinished(5000);
    }

    void pointerAndClicksReachTheProgram() {
        CvQtTrayIconHost host;
        host.SetEvents(
            {[](int) {}, [this](long message, int, int) { m_messages.push_back(message); }});
        QVERIFY(!host.Modify(CvTrayIconManager::kIconOnline, "tip"));
        QVERIFY(host.Add(CvTrayIconManager::kIconOnline, "Online"));
        QTRY_VERIFY_WITH_TIMEOUT(!host.TrayIcon().geometry().isEmpty(), 10000);
        QCOMPARE(host.TrayIcon().toolTip(), QString("Online"));
        QVERIFY(host.Modify(CvTrayIconManager::kIconOffline, "Registering"));
        QCOMPARE(host.TrayIcon().toolTip(), QString("Registering"));

        // Where the tray put the icon, as the X server sees it. Qt may replace
        // the icon's window while the tray embeds it, so it is looked up anew
        // each time (a pointer kept from before can point at a deleted one).
        const auto iconCentre = [] {
            QPoint centre;
            for (QWidget* icon : QApplication::topLevelWidgets()) {
                if (icon->objectName() != QLatin1String("QSystemTrayIconSys") ||
                    !icon->isVisible()) {
                    continue;
                }
                QProcess geometry;
                geometry.start("xdotool",
                               {"getwindowgeometry", "--shell", QString::number(icon->winId())});
                geometry.waitForFinished(5000);
                for (const QString& line :
                     QString::fromUtf8(geometry.readAllStandardOutput()).split('\n')) {
                    if (line.startsWith("X=")) {
                        centre.setX(line.mid(2).toInt() + icon->width() / 2);
                    } else if (line.startsWith("Y=")) {
                        centre.setY(line.mid(2).toInt() + icon->height() / 2);
                    }
                }
            }
            return centre;
        };
        // The tray may still lay its icons out after embedding this one: the
        // pointer goes where the icon is now, again until it is seen there.
        QPoint centre;
        // Under load (the whole suite beside it) the tray can take seconds.
        for (int attempt = 0; attempt < 40 && !Received(CvTrayIcon::kMouseMove); ++attempt) {
            centre = iconCentre();
            if (centre.x() > 100 && centre.y() > 100) {
                QVERIFY(Xdotool({"mousemove", "10", "10"}));
                QVERIFY(Xdotool(
                    {"mousemove", QString::number(centre.x()), QString::number(centre.y())}));
            }
            QTest::qWait(500);
        }
        QVERIFY(centre.x() > 100 && centre.y() > 100);
        QVERIFY(Received(CvTrayIcon::kMouseMove));
        int x = 0;
        int y = 0;
        QVERIFY(host.CursorPosition(x, y));
        QCOMPARE(QPoint(x, y), centre);

        QVERIFY(Xdotool({"click", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(Received(CvTrayIcon::kLeftButtonDown), 5000);
        QVERIFY(Xdotool({"click", "3"}));
        QTRY_VERIFY_WITH_TIMEOUT(Received(CvTrayIcon::kRightButtonUp), 5000);

        host.Remove();
        QTRY_VERIFY_WITH_TIMEOUT(!host.TrayIcon().isVisible(), 5000);
        QVERIFY(!host.Modify(CvTrayIconManager::kIconOnline, "gone"));
    }
};

QTEST_MAIN(QtTrayIconHostTest)
#include "CvQtTrayIconHost_x11test.moc"
