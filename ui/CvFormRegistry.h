#pragma once

#include <string>
#include <vector>

class QWidget;

// Every window the main window opened and may have to find again or close,
// by name (the window's class name, e.g. "CPopupMsgForm"). One list for the
// process, used on the user interface thread only. Windows unregister when
// they are destroyed.
class CvFormRegistry {
public:
    static CvFormRegistry& Instance();

    // The first window registered under `name`, or null.
    QWidget* Find(const std::string& name) const;
    void Register(const std::string& name, QWidget* window);
    void Unregister(QWidget* window);
    // The windows in registration order.
    std::vector<QWidget*> Windows() const;

    // Set while the program shuts down: windows then close without asking.
    void SetClosing(bool closing) { m_closing = closing; }
    bool IsClosing() const { return m_closing; }

private:
    struct Entry {
        std::string name;
        QWidget* window;
    };
    std::vector<Entry> m_entries;
    bool m_closing = false;
};
