#include <QSignalSpy>
#include <QTest>

#include "app/CvFunction.h"
#include "widgets/CvStaticLink.h"

namespace {

class CountingBinding final : public CvNullaryFunction<void> {
public:
    void Invoke() override { ++m_calls; }
    int m_calls = 0;
};

}  // namespace

class CvStaticLinkTest : public QObject {
    Q_OBJECT

private slots:
    void releaseInsideActivates_data();
    void releaseInsideActivates();
    void bindingReplacesCommand();
    void keyboardActivates_data();
    void keyboardActivates();
    void hoverFollowsMouse();
};

void CvStaticLinkTest::releaseInsideActivates_data() {
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("emitted");

    QTest::newRow("inside") << QPoint(30, 8) << int(Qt::LeftButton) << 1;
    QTest::newRow("outside") << QPoint(30, 40) << int(Qt::LeftButton) << 0;
    QTest::newRow("just right of it") << QPoint(80, 8) << int(Qt::LeftButton) << 0;
    QTest::newRow("right button") << QPoint(30, 8) << int(Qt::RightButton) << 0;
}

void CvStaticLinkTest::releaseInsideActivates() {
    QFETCH(QPoint, release);
    QFETCH(int, button);
    QFETCH(int, emitted);

    CvStaticLink link(QStringLiteral("Reply"), 7, nullptr);
    link.resize(80, 16);
    QSignalSpy command(&link, &CvStaticLink::command);
    const auto mouseButton = static_cast<Qt::MouseButton>(button);
    QTest::mousePress(&link, mouseButton, {}, QPoint(30, 8));
    QTest::mouseRelease(&link, mouseButton, {}, release);

    QCOMPARE(command.count(), emitted);
    if (emitted > 0) {
        QCOMPARE(command.first().first().toInt(), 7);
    }
}

void CvStaticLinkTest::bindingReplacesCommand() {
    CvStaticLink link(QStringLiteral("More..."), 7, nullptr);
    link.resize(80, 16);
    CountingBinding binding;
    link.SetBinding(&binding);
    QSignalSpy command(&link, &CvStaticLink::command);

    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(30, 8));
    QCOMPARE(binding.m_calls, 1);
    QCOMPARE(command.count(), 0);

    link.SetBinding(nullptr);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(30, 8));
    QCOMPARE(binding.m_calls, 1);
    QCOMPARE(command.count(), 1);
}

void CvStaticLinkTest::keyboardActivates_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("emitted");
    QTest::newRow("space") << int(Qt::Key_Space) << 1;
    QTest::newRow("return") << int(Qt::Key_Return) << 1;
    QTest::newRow("enter") << int(Qt::Key_Enter) << 1;
    QTest::newRow("letter") << int(Qt::Key_A) << 0;
}

void CvStaticLinkTest::keyboardActivates() {
    QFETCH(int, key);
    QFETCH(int, emitted);

    CvStaticLink link(QStringLiteral("<"), 2, nullptr);
    QVERIFY(link.focusPolicy() & Qt::TabFocus);
    QSignalSpy command(&link, &CvStaticLink::command);
    QTest::keyClick(&link, static_cast<Qt::Key>(key));
    QCOMPARE(command.count(), emitted);
}

void CvStaticLinkTest::hoverFollowsMouse() {
    CvStaticLink link(QStringLiteral(">"), 3, nullptr);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(&link, &enter);
    QVERIFY(link.IsHot());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    QVERIFY(!link.IsHot());
    QVERIFY(link.sizeHint().width() >= link.fontMetrics().horizontalAdvance(">"));
}

QTEST_MAIN(CvStaticLinkTest)
#include "CvStaticLink_test.moc"
