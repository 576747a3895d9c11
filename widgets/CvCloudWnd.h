#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QSize>
#include <QWidget>

class CvClientAreaWnd;

// A borderless, rounded, topmost window that appears without taking the
// focus and can close itself: the base of the message and error popups.
//
// Shape: the window is cut to a rounded rectangle with 12 x 12 corners, the
// client area (inset by 2 pixels) to one with 6 x 6 corners, and a 3-pixel
// border in the border colour follows the outline.
//
// Auto-close: with a delay set, a timer runs only while the window is visible
// and not the active window; it starts again from zero whenever the window is
// shown or loses activation and stops when it is activated or hidden. When it
// fires and MayAutoClose() agrees, the window hides itself; otherwise it
// waits another period.
class CvCloudWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kAutoCloseTimerId = 123;

    explicit CvCloudWnd(QWidget* parent = nullptr);
    ~CvCloudWnd() override;

    // Both border colours (the second one is drawn on the inner edge).
    void SetBorderColors(const QColor& border, const QColor& secondBorder);
    // Seconds; 0 stops auto-closing. Restarts the timer unless the window is
    // the active one.
    void SetAutoCloseDelay(int seconds);
    int AutoCloseDelay() const { return m_autoCloseSeconds; }
    bool IsAutoCloseTimerRunning() const { return m_autoCloseTimer.isActive(); }

    // Shows the window without activating it (the focus stays where it is),
    // lays it out and starts the auto-close timer.
    void ShowWithoutActivation();

    CvClientAreaWnd* ClientArea() const { return m_clientArea; }

    // Sets the window's shape and places the children; derived windows place
    // their own children after calling this.
    virtual void LayOut();
    // The size the window wants; 300 x 150 here.
    virtual QSize ComputeSize();
    // Asked when the auto-close delay has passed; true here.
    virtual bool MayAutoClose();
    // Called after the window was shown; nothing here.
    virtual void RefreshContent();
    // LayOut() again.
    void ReLayOut();

signals:
    // The window hid itself after its auto-close delay.
    void autoClosed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool IsActive() const;
    void RestartAutoCloseTimer();

    CvClientAreaWnd* m_clientArea;
    QColor m_border{0xFF, 0xE0, 0x77};
    QColor m_secondBorder{0xFF, 0xE0, 0x77};
    int m_autoCloseSeconds = 0;
    QBasicTimer m_autoCloseTimer;
};
