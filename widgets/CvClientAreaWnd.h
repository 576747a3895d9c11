#pragma once

#include <QColor>
#include <QRegion>
#include <QSize>
#include <QWidget>

// The child that fills a cloud window inside its border: a rounded area
// (6 x 6 corners) in the cloud's inner colour that holds the cloud's
// controls.
class CvClientAreaWnd : public QWidget {
    Q_OBJECT
public:
    explicit CvClientAreaWnd(QWidget* parent);

    void SetBackground(const QColor& color);

    // A rounded rectangle of `size` whose corners are quarters of an ellipse
    // `cornerEllipse` pixels across: the shape of a cloud and of its client
    // area.
    static QRegion RoundedRegion(const QSize& size, int cornerEllipse);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor m_background{0xFF, 0xFF, 0xE1};
};
