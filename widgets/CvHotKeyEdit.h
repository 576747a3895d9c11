#pragma once

#include <QLineEdit>

#include <cstdint>

class QKeyEvent;

// A field that records a key combination instead of text, as the system's
// hot key control does: it holds a value in the stored hot key form
// (CvHotKey.h) and shows its display text ("Ctrl + Alt + M"); while only
// modifiers are held it shows them ("Ctrl + Alt + "). Backspace or Delete
// alone clears it; Tab alone still moves the focus. A key other than F1 to
// F24 without Ctrl or Alt is not taken: as a global key it would swallow
// typing, or the Escape, Return or arrow pressed to leave the field.
class CvHotKeyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CvHotKeyEdit(QWidget* parent = nullptr);

    int32_t Value() const { return m_value; }
    // Shows `value` without reporting a change.
    void SetValue(int32_t value);

    // The stored value of a key press (modifiers and key), or 0 when the
    // key cannot be a hot key or is only a modifier.
    static int32_t ValueOf(const QKeyEvent& event);

signals:
    // A combination was recorded or the field cleared.
    void valueChanged(int32_t value);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowValue();
    void Record(int32_t value);

    int32_t m_value = 0;
};
