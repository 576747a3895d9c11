#pragma once

class QWidget;

// Base of the classes that place a window on the screen by a rule of their
// own. The window is not owned and must outlive the layout.
class CvAbstractLayout {
public:
    explicit CvAbstractLayout(QWidget* window) : m_window(window) {}
    virtual ~CvAbstractLayout() = default;
    CvAbstractLayout(const CvAbstractLayout&) = delete;
    CvAbstractLayout& operator=(const CvAbstractLayout&) = delete;

    QWidget* Window() const { return m_window; }
    // Sizes the window to its content, moves it where the rule says and shows
    // it. Called again when the content changed size.
    virtual void Apply() = 0;

private:
    QWidget* m_window;
};
