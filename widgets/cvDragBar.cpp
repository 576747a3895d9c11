#include "widgets/cvDragBar.h"

#include <cmath>

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kTextMargin = 5;
constexpr int kTextHeight = 24;
const QColor kLightText(0xFF, 0xFF, 0xFF);
const QColor kDarkText(0x20, 0x20, 0x20);
// Without a tile the strip is drawn in the cloud's border yellow.
const QColor kPlainBackground(0xFF, 0xC5, 0x19);

// Relative luminance of sRGB `color` (0 black .. 1 white).
double Luminance(const QColor& color) {
    auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

// Of white and dark text, the one with the higher contrast on `background`.
QColor TextColorFor(const QColor& background) {
    const double luminance = Luminance(background);
    const double contrastWithWhite = 1.05 / (luminance + 0.05);
    const double contrastWithDark = (luminance + 0.05) / (Luminance(kDarkText) + 0.05);
    return contrastWithWhite >= contrastWithDark ? kLightText : kDarkText;
}

// Tiles are small (25 x 25): the plain average is cheap enough.
QColor AverageColor(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        return kPlainBackground;
    }
    double red = 0;
    double green = 0;
    double blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            red += qRed(pixel);
            green += qGreen(pixel);
            blue += qBlue(pixel);
        }
    }
    const double count = static_cast<double>(image.width()) * image.height();
    return QColor(static_cast<int>(red / count), static_cast<int>(green / count),
                  static_cast<int>(blue / count));
}

}  // namespace

cvDragBar::cvDragBar(QWidget* parent)
    : QWidget(parent), m_textColor(TextColorFor(kPlainBackground)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(width(), kHeight);
}

void cvDragBar::SetText(const QString& text) {
    m_text = text;
    setAccessibleName(text);
    update();
}

void cvDragBar::SetTile(const QPixmap& tile) {
    m_tile = tile;
    m_textColor = TextColorFor(tile.isNull() ? kPlainBackground : AverageColor(tile));
    update();
}

void cvDragBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (m_tile.isNull()) {
        painter.fillRect(rect(), kPlainBackground);
    } else {
        painter.drawTiledPixmap(rect(), m_tile);
    }
    const QRect textRect(kTextMargin, 0, width() - 2 * kTextMargin, kTextHeight);
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, textRect.width());
    painter.setPen(m_textColor);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void cvDragBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Qt grabs the mouse for the widget that got the press until release.
    m_dragging = true;
    m_offset = event->globalPosition().toPoint() - window()->pos();
    event->accept();
}

void cvDragBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    window()->move(event->globalPosition().toPoint() - m_offset);
    event->accept();
}

void cvDragBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}
