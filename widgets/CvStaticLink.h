#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "app/CvFunction.h"

// A text that acts as a button: dark blue (#000080), orange (#FF8000) while
// the mouse is over it, centred, on a transparent background. A click calls
// its binding, or, without one, emits command() with its id.
class CvStaticLink : public QWidget {
    Q_OBJECT
public:
    CvStaticLink(const QString& text, int id, QWidget* parent);

    // Not owned; null for none.
    void SetBinding(CvNullaryFunction<void>* binding) { m_binding = binding; }
    QString Text() const { return m_text; }
    int Id() const { return m_id; }
    bool IsHot() const { return m_hot; }
    QSize sizeHint() const override;

signals:
    void command(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Activate();

    QString m_text;
    int m_id;
    bool m_hot = false;
    CvNullaryFunction<void>* m_binding = nullptr;
};
