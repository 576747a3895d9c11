#pragma once

#include <QString>

#include <functional>
#include <string>

#include "ui/CvOptionsPage.h"

class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;

// Sound effects page: the master switch and the sound file of each event.
// The file of the selected event is typed into the field or chosen with
// "Browse", and can be heard with the play button.
class COptionsFormDlgSound : public CvOptionsPage {
    Q_OBJECT
public:
    // Asks for a sound file, starting at the current one; "" when cancelled.
    using AskFile = std::function<QString(const QString& current)>;
    using Play = std::function<void(const std::string& path)>;

    // `askFile` and `play` outlive the page.
    COptionsFormDlgSound(CvPropertyEditor& editor, LockRule isLocked, const AskFile& askFile,
                         const Play& play);

    QTreeWidget* EventList() const { return m_events; }
    QLineEdit* FileField() const { return m_file; }
    QPushButton* BrowseButton() const { return m_browse; }
    QToolButton* PlayButton() const { return m_play; }

private:
    int32_t SelectedId() const;
    void ShowSelected();
    void StoreFile(const QString& file);

    const AskFile& m_askFile;
    const Play& m_playFile;
    QTreeWidget* m_events;
    QLineEdit* m_file;
    QPushButton* m_browse;
    QToolButton* m_play;
};
