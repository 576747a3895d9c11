#include <QSignalSpy>
#include <QTest>

#include "widgets/CvButton.h"

namespace {

constexpr int kTimeoutMs = 5000;

QPixmap Solid(const QColor& color, QImage::Format format = QImage::Format_ARGB32) {
    QImage image(17, 17, format);
    image.fill(color);
    return QPixmap::fromImage(image);
}

}  // namespace

class CvButtonTest : public QObject {
    Q_OBJECT

private slots:
    void releaseInsideClickAreaEmits_data();
    void releaseInsideClickAreaEmits();
    void otherButtonsOrForeignReleaseDoNothing();
    void hotStateShowsHotPicture();
};

void CvButtonTest::releaseInsideClickAreaEmits_data() {
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("emitted");

    QTest::newRow("centre") << QPoint(10, 10) << 1;
    QTest::newRow("top-left pixel") << QPoint(0, 0) << 1;
    QTest::newRow("beyond the button, inside 24 x 24") << QPoint(23, 23) << 1;
    QTest::newRow("right of the area") << QPoint(24, 10) << 0;
    QTest::newRow("below the area") << QPoint(10, 24) << 0;
    QTest::newRow("left of the button") << QPoint(-1, 10) << 0;
    QTest::newRow("far away") << QPoint(200, 200) << 0;
}

void CvButtonTest::releaseInsideClickAreaEmits() {
    QFETCH(QPoint, release);
    QFETCH(int, emitted);

    CvButton button(5, Solid(Qt::red), Solid(Qt::green), nullptr);
    button.resize(20, 20);
    QSignalSpy command(&button, &CvButton::command);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, release);

    QCOMPARE(command.count(), emitted);
    if (emitted > 0) {
        QCOMPARE(command.first().first().toInt(), 5);
    }
}

void CvButtonTest::otherButtonsOrForeignReleaseDoNothing() {
    CvButton button(5, Solid(Qt::red), Solid(Qt::green), nullptr);
    button.resize(20, 20);
    QSignalSpy command(&button, &CvButton::command);

    QTest::mouseClick(&button, Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(command.count(), 0);

    // A release without a press on the button (pressed elsewhere).
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(command.count(), 0);

    // A release outside cancels: the next release without a press does not
    // count either.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(command.count(), 0);
}

void CvButtonTest::hotStateShowsHotPicture() {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette colors = parent.palette();
    colors.setColor(QPalette::Window, Qt::white);
    parent.setPalette(colors);
    parent.resize(40, 40);
    // Pictures without alpha: magenta is transparent.
    QImage normal(17, 17, QImage::Format_RGB32);
    normal.fill(QColor(0xFF, 0x00, 0xFF));
    normal.setPixelColor(8, 8, Qt::red);
    auto* button = new CvButton(5, QPixmap::fromImage(normal), Solid(Qt::green), &parent);
    button->setGeometry(0, 0, 20, 20);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent, kTimeoutMs));

    // Whatever the cursor did while showing, start from "not hot".
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    QVERIFY(!button->IsHot());

    // The picture is centred: (1, 1) inside a 20 x 20 button.
    QImage shown = parent.grab().toImage();
    QCOMPARE(shown.pixelColor(9, 9), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(2, 2), QColor(Qt::white));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(button, &enter);
    QVERIFY(button->IsHot());
    shown = parent.grab().toImage();
    QCOMPARE(shown.pixelColor(2, 2), QColor(Qt::green));

    QApplication::sendEvent(button, &leave);
    QVERIFY(!button->IsHot());
    shown = parent.grab().toImage();
    QCOMPARE(shown.pixelColor(2, 2), QColor(Qt::white));
}

QTEST_MAIN(CvButtonTest)
#include "CvButton_test.moc"
