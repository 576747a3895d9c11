#pragma once

#include <functional>
#include <string>

#include "app/CvLanguageList.h"
#include "ui/CvOptionsPage.h"

class QLabel;
class QListWidget;
class QPushButton;

// System page: whether the program starts with the session, changed through
// the autostart dialog, which writes its entries at once; and the language
// of the interface, chosen from the language folder's files, which takes
// effect at the next start.
class COptionsFormPgGenDlg : public CvOptionsPage {
    Q_OBJECT
public:
    // Starts the autostart change and calls `finished` on this thread once it
    // has ended (at once, or after the administrator's password was asked
    // for); the page then shows setting 1 again.
    using ChangeAutostart = std::function<void(std::function<void()> finished)>;

    // `changeAutostart` outlives the page; the "Change" button works while it
    // is set. `reread` brings setting 1 up to date after a change.
    COptionsFormPgGenDlg(CvPropertyEditor& editor, LockRule isLocked,
                         const std::string& languageFolder, const ChangeAutostart& changeAutostart,
                         std::function<void()> reread);

    QLabel* AutostartState() const { return m_state; }
    QPushButton* ChangeButton() const { return m_change; }
    QListWidget* LanguageList() const { return m_languages; }
    QLabel* LanguageInfo() const { return m_info; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowAutostart();
    void ShowLanguage();

    const ChangeAutostart& m_changeAutostart;
    std::function<void()> m_reread;
    CvLanguageList m_list;
    QLabel* m_state;
    QPushButton* m_change;
    QListWidget* m_languages;
    QLabel* m_info;
    bool m_changing = false;  // a change runs: "Change" waits for it
};
