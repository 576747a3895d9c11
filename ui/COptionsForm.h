#pragma once

#include <functional>

#include "ui/COptionsFormDlgSound.h"
#include "ui/COptionsFormPgFonts.h"
#include "ui/COptionsFormPgGenDlg.h"
#include "ui/CvOptionsForm.h"
#include "ui/CvOptionsPage.h"

class CvFormHost;

// The program's options: the pages of the settings under "General",
// "Interface" and "Behaviour". OK hands the changes to the settings list,
// whose listener (the main window) applies and saves them. Registered as
// "COptionsForm"; the main window keeps one at a time.
class COptionsForm : public CvOptionsForm {
    Q_OBJECT
public:
    // Page templates, in tree order.
    static constexpr int kPageSystem = 137;
    static constexpr int kPageAppearance = 197;
    static constexpr int kPageHotKeys = 138;
    static constexpr int kPageSound = 174;
    static constexpr int kPageTray = 107;
    static constexpr int kPagePopup = 196;
    static constexpr int kPageMessages = 198;
    static constexpr int kPageSending = 188;
    static constexpr int kPageReceiving = 168;
    static constexpr int kPageArchive = 194;

    static constexpr int kDefaultWidth = 640;
    static constexpr int kDefaultHeight = 470;

    // Shows the first page. `main` outlives the window.
    explicit COptionsForm(CvFormHost& main);

    // What the pages ask of the desktop; tests replace them.
    COptionsFormDlgSound::AskFile askSoundFile;
    COptionsFormDlgSound::Play playSound;
    COptionsFormPgFonts::AskFont askFont;
    COptionsFormPgFonts::AskColor askColor;
    // Runs the autostart dialog; unset, "Change" is disabled.
    COptionsFormPgGenDlg::ChangeAutostart changeAutostart;
    // Settings an administrator fixed: the program reads them and never
    // saves them, so a change here would be lost at the next start.
    CvOptionsPage::LockRule isLocked;

    // The default of `isLocked`.
    static bool IsAdministratorSetting(int32_t id);

private:
    CvOptionsPage::LockRule Locks();

    CvFormHost& m_main;
};
