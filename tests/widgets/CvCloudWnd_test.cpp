#include <QApplication>
#include <QBitmap>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "widgets/CvClientAreaWnd.h"
#include "widgets/CvCloudWnd.h"

namespace {

constexpr int kTimeoutMs = 5000;

// A cloud whose MayAutoClose() answer the test sets and counts.
class TestCloud : public CvCloudWnd {
public:
    bool MayAutoClose() override {
        ++m_asked;
        return m_mayClose;
    }

    bool m_mayClose = true;
    int m_asked = 0;
};

}  // namespace

// The offscreen platform activates every window it shows, whatever the
// window asked for, so each test sets the activation it needs explicitly:
// another window stands for the application the user works in.
class CvCloudWndTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void autoClosesAfterDelayWhileInactive();
    void activeWindowStopsTimerAndDeactivationRestartsIt();
    void refusedAutoCloseWaitsForNextPeriod();
    void hidingOrZeroDelayStopsTimer();
    void shapeAndBorder();

private:
    void ActivateOther();

    QWidget* m_other = nullptr;
};

void CvCloudWndTest::init() {
    m_other = new QWidget;
    m_other->setWindowTitle(QStringLiteral("other"));
    m_other->setGeometry(50, 50, 200, 100);
    m_other->show();
    ActivateOther();
}

void CvCloudWndTest::cleanup() {
    delete m_other;
    m_other = nullptr;
}

void CvCloudWndTest::ActivateOther() {
    m_other->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_other, kTimeoutMs));
}

void CvCloudWndTest::autoClosesAfterDelayWhileInactive() {
    TestCloud cloud;
    QSignalSpy closed(&cloud, &CvCloudWnd::autoClosed);
    cloud.SetAutoCloseDelay(1);
    QVERIFY(!cloud.IsAutoCloseTimerRunning());  // not while hidden

    cloud.ShowWithoutActivation();
    ActivateOther();
    QVERIFY(cloud.isVisible());
    QVERIFY(cloud.IsAutoCloseTimerRunning());

    QTRY_VERIFY_WITH_TIMEOUT(!cloud.isVisible(), kTimeoutMs);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(cloud.m_asked, 1);
    QVERIFY(!cloud.IsAutoCloseTimerRunning());
}

void CvCloudWndTest::activeWindowStopsTimerAndDeactivationRestartsIt() {
    TestCloud cloud;
    cloud.SetAutoCloseDelay(1);
    cloud.ShowWithoutActivation();
    cloud.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&cloud, kTimeoutMs));
    QVERIFY(!cloud.IsAutoCloseTimerRunning());

    // Longer than the delay: the user works in the popup and it stays.
    QTest::qWait(1500);
    QVERIFY(cloud.isVisible());
    QCOMPARE(cloud.m_asked, 0);

    // Setting the delay while active does not start the timer either.
    cloud.SetAutoCloseDelay(1);
    QVERIFY(!cloud.IsAutoCloseTimerRunning());

    QElapsedTimer sinceDeactivation;
    ActivateOther();
    sinceDeactivation.start();
    QVERIFY(cloud.IsAutoCloseTimerRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!cloud.isVisible(), kTimeoutMs);
    // The delay counted from the deactivation, not from the show (Qt's
    // coarse timers may fire up to 5 % early).
    QVERIFY2(sinceDeactivation.elapsed() >= 900,
             qPrintable(QString::number(sinceDeactivation.elapsed())));
}

void CvCloudWndTest::refusedAutoCloseWaitsForNextPeriod() {
    TestCloud cloud;
    cloud.m_mayClose = false;
    cloud.SetAutoCloseDelay(1);
    cloud.ShowWithoutActivation();
    ActivateOther();

    QTRY_VERIFY_WITH_TIMEOUT(cloud.m_asked >= 2, kTimeoutMs);
    QVERIFY(cloud.isVisible());
    QVERIFY(cloud.IsAutoCloseTimerRunning());

    cloud.m_mayClose = true;
    QTRY_VERIFY_WITH_TIMEOUT(!cloud.isVisible(), kTimeoutMs);
}

void CvCloudWndTest::hidingOrZeroDelayStopsTimer() {
    TestCloud cloud;
    cloud.SetAutoCloseDelay(1);
    cloud.ShowWithoutActivation();
    ActivateOther();
    QVERIFY(cloud.IsAutoCloseTimerRunning());

    cloud.SetAutoCloseDelay(0);
    QVERIFY(!cloud.IsAutoCloseTimerRunning());
    QTest::qWait(1300);
    QVERIFY(cloud.isVisible());

    cloud.SetAutoCloseDelay(1);
    QVERIFY(cloud.IsAutoCloseTimerRunning());
    cloud.hide();
    QVERIFY(!cloud.IsAutoCloseTimerRunning());
    QTest::qWait(1300);
    QCOMPARE(cloud.m_asked, 0);

    // A delay beyond what a timer can hold is clamped, not overflowed.
    cloud.SetAutoCloseDelay(INT_MAX);
    cloud.ShowWithoutActivation();
    ActivateOther();
    QVERIFY(cloud.IsAutoCloseTimerRunning());
}

void CvCloudWndTest::shapeAndBorder() {
    CvCloudWnd cloud;
    const QColor border(0xC6, 0x00, 0x00);
    cloud.SetBorderColors(border, border);
    cloud.resize(300, 150);
    cloud.ShowWithoutActivation();
    QVERIFY(QTest::qWaitForWindowExposed(&cloud, kTimeoutMs));

    QCOMPARE(cloud.ClientArea()->geometry(), QRect(2, 2, 296, 146));
    const QRegion shape = cloud.mask();
    QVERIFY(!shape.contains(QPoint(0, 0)));
    QVERIFY(!shape.contains(QPoint(299, 149)));
    QVERIFY(shape.contains(QPoint(0, 75)));
    QVERIFY(shape.contains(QPoint(150, 0)));
    QVERIFY(!cloud.ClientArea()->mask().contains(QPoint(0, 0)));

    // The border shows between the outline and the client area; the client
    // area is the cloud's light yellow.
    const QImage image = cloud.grab().toImage();
    QCOMPARE(image.pixelColor(0, 75), border);
    QCOMPARE(image.pixelColor(1, 75), border);
    QCOMPARE(image.pixelColor(150, 1), border);
    QCOMPARE(image.pixelColor(150, 75), QColor(0xFF, 0xFF, 0xE1));

    // A resize keeps shape and client area in step.
    cloud.resize(200, 100);
    QCOMPARE(cloud.ClientArea()->geometry(), QRect(2, 2, 196, 96));
    QVERIFY(!cloud.mask().contains(QPoint(199, 99)));
    QVERIFY(cloud.mask().contains(QPoint(199, 50)));
}

QTEST_MAIN(CvCloudWndTest)
#include "CvCloudWnd_test.moc"
