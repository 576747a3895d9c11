#include <QApplication>
#include <QScreen>
#include <QTest>

#include "widgets/CvWndAuto.h"

namespace {

constexpr int kTimeoutMs = 5000;

enum class Trigger { OwnerMoved, OwnerHidden, OtherWindowActivated, ApplicationInactive };

}  // namespace

Q_DECLARE_METATYPE(Trigger)

class CvWndAutoTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsBelowAnchorWithoutTakingActivation();
    void hidesWhenOwnerLosesUse_data();
    void hidesWhenOwnerLosesUse();
    void staysOnScreenSideways();

private:
    QWidget* m_owner = nullptr;
    CvWndAuto* m_drop = nullptr;
};

void CvWndAutoTest::init() {
    m_owner = new QWidget;
    m_owner->setGeometry(100, 100, 300, 200);
    m_drop = new CvWndAuto(m_owner);
    m_owner->show();
    m_owner->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_owner, kTimeoutMs));
}

void CvWndAutoTest::cleanup() {
    delete m_owner;  // and the drop-down with it
    m_owner = nullptr;
    m_drop = nullptr;
}

void CvWndAutoTest::showsBelowAnchorWithoutTakingActivation() {
    const QPoint anchor = m_owner->mapToGlobal(QPoint(10, 40));
    m_drop->ShowAt(anchor, QSize(150, 100));
    QVERIFY(QTest::qWaitForWindowExposed(m_drop, kTimeoutMs));
    QCOMPARE(m_drop->geometry(), QRect(anchor, QSize(150, 100)));

    // Activation (and with it the keyboard) stays with the owner, so the
    // drop-down is still there after the events of showing it.
    QTest::qWait(50);
    QCOMPARE(QApplication::activeWindow(), m_owner);
    QVERIFY(m_drop->isVisible());
}

void CvWndAutoTest::hidesWhenOwnerLosesUse_data() {
    QTest::addColumn<Trigger>("trigger");
    QTest::newRow("owner moved") << Trigger::OwnerMoved;
    QTest::newRow("owner hidden") << Trigger::OwnerHidden;
    QTest::newRow("other window activated") << Trigger::OtherWindowActivated;
    QTest::newRow("application inactive") << Trigger::ApplicationInactive;
}

void CvWndAutoTest::hidesWhenOwnerLosesUse() {
    QFETCH(Trigger, trigger);
    m_drop->ShowAt(m_owner->mapToGlobal(QPoint(10, 40)), QSize(150, 100));
    QVERIFY(QTest::qWaitForWindowExposed(m_drop, kTimeoutMs));

    QWidget other;
    switch (trigger) {
        case Trigger::OwnerMoved:
            m_owner->move(m_owner->pos() + QPoint(20, 0));
            break;
        case Trigger::OwnerHidden:
            m_owner->hide();
            break;
        case Trigger::OtherWindowActivated:
            other.setGeometry(500, 500, 100, 100);
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other, kTimeoutMs));
            break;
        case Trigger::ApplicationInactive:
            // The offscreen platform has no application state of its own.
            emit qApp->applicationStateChanged(Qt::ApplicationInactive);
            break;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!m_drop->isVisible(), kTimeoutMs);
}

void CvWndAutoTest::staysOnScreenSideways() {
    const QRect screen = m_owner->screen()->availableGeometry();
    const QPoint anchor(screen.right() - 40, screen.top() + 200);
    m_drop->ShowAt(anchor, QSize(150, 100));
    QCOMPARE(m_drop->geometry(),
             QRect(QPoint(screen.right() + 1 - 150, anchor.y()), QSize(150, 100)));
}

QTEST_MAIN(CvWndAutoTest)
#include "CvWndAuto_test.moc"
