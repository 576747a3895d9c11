#include <QMouseEvent>
#include <QTest>

#include "widgets/cvDragBar.h"

namespace {

constexpr int kTimeoutMs = 5000;

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, local, QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The pixels of `area` that differ clearly from `tile` (the text), counted
// by whether they are lighter or darker than it.
struct TextPixels {
    int lighter = 0;
    int darker = 0;
};

TextPixels CountTextPixels(const QImage& image, const QRect& area, const QColor& tile) {
    TextPixels pixels;
    const int tileGray = qGray(tile.rgb());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const int gray = qGray(image.pixel(x, y));
            if (gray > tileGray + 40) {
                ++pixels.lighter;
            } else if (gray < tileGray - 40) {
                ++pixels.darker;
            }
        }
    }
    return pixels;
}

}  // namespace

class cvDragBarTest : public QObject {
    Q_OBJECT

private slots:
    void leftDragMovesWindowByMouseDelta();
    void textReadableOnTile_data();
    void textReadableOnTile();
};

void cvDragBarTest::leftDragMovesWindowByMouseDelta() {
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(100, 100, 300, 150);
    auto* bar = new cvDragBar(&window);
    bar->setGeometry(0, 0, 300, cvDragBar::kHeight);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, kTimeoutMs));
    const QPoint start = window.pos();

    const QPoint grip = bar->mapToGlobal(QPoint(40, 10));
    SendMouse(bar, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    SendMouse(bar, QEvent::MouseMove, grip + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.pos(), start + QPoint(30, 20), kTimeoutMs);
    SendMouse(bar, QEvent::MouseMove, grip + QPoint(-15, 45), Qt::NoButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.pos(), start + QPoint(-15, 45), kTimeoutMs);
    SendMouse(bar, QEvent::MouseButtonRelease, grip + QPoint(-15, 45), Qt::LeftButton,
              Qt::NoButton);

    // After the release, and with the right button, moves do not drag.
    const QPoint dropped = window.pos();
    SendMouse(bar, QEvent::MouseMove, grip + QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    SendMouse(bar, QEvent::MouseButtonPress, grip, Qt::RightButton, Qt::RightButton);
    SendMouse(bar, QEvent::MouseMove, grip + QPoint(50, 0), Qt::NoButton, Qt::RightButton);
    SendMouse(bar, QEvent::MouseButtonRelease, grip + QPoint(50, 0), Qt::RightButton, Qt::NoButton);
    QTest::qWait(20);
    QCOMPARE(window.pos(), dropped);
}

void cvDragBarTest::textReadableOnTile_data() {
    QTest::addColumn<QColor>("tile");
    QTest::addColumn<bool>("lightText");
    QTest::newRow("dark red") << QColor(0xC6, 0x00, 0x00) << true;
    QTest::newRow("navy") << QColor(0x10, 0x20, 0x60) << true;
    QTest::newRow("yellow") << QColor(0xFF, 0xC5, 0x19) << false;
    QTest::newRow("pale") << QColor(0xF0, 0xF0, 0xF0) << false;
}

void cvDragBarTest::textReadableOnTile() {
    QFETCH(QColor, tile);
    QFETCH(bool, lightText);

    QImage picture(25, 25, QImage::Format_RGB32);
    picture.fill(tile);
    cvDragBar bar(nullptr);
    bar.resize(200, cvDragBar::kHeight);
    bar.SetTile(QPixmap::fromImage(picture));
    bar.SetText(QStringLiteral("MMMM WWWW"));
    const QImage shown = bar.grab().toImage();

    const TextPixels text = CountTextPixels(shown, QRect(5, 0, 190, 24), tile);
    const QString counts = QString("lighter %1 darker %2").arg(text.lighter).arg(text.darker);
    if (lightText) {
        QVERIFY2(text.lighter > 20 && text.darker == 0, qPrintable(counts));
    } else {
        QVERIFY2(text.darker > 20 && text.lighter == 0, qPrintable(counts));
    }
}

QTEST_MAIN(cvDragBarTest)
#include "cvDragBar_test.moc"
