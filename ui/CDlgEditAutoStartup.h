#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class CvAppPropertyEditor;
class QButtonGroup;
class QRadioButton;

// Asks whether the program starts with the desktop session: not at all (0),
// for the current user (1) or for every user of the computer (2), the states
// of the autostart setting.
class CDlgEditAutoStartup : public QDialog {
    Q_OBJECT
public:
    explicit CDlgEditAutoStartup(QWidget* parent = nullptr);

    // Selects the button of `state`; set before the dialog is shown.
    void SetChosenState(int32_t state);
    // The state of the selected button.
    int32_t ChosenState() const { return m_chosen; }
    // Null for a state out of range.
    QRadioButton* StateButton(int32_t state) const;

    // The options page's "Change": shows the dialog on the editor's autostart
    // setting and, when another state is chosen with OK, moves the autostart
    // entry at once (the all-users entry may need the administrator's
    // password) and sets the setting in the editor. True when the state
    // changed; false after Cancel, the same state, or a change that could not
    // be made (the editor keeps the old state). The entry starts
    // corvane-messenger in the program folder (CvAppPaths::Detect).
    static bool Change(QWidget* parent, CvAppPropertyEditor& editor);
    // What the options page shows for `state`.
    static QString StateText(int32_t state);

    // Shows the dialog modally and returns its result (QDialog::Accepted for
    // OK); tests replace it.
    static inline std::function<int(CDlgEditAutoStartup& dialog)> showModal;

private:
    QButtonGroup* m_states;
    int32_t m_chosen = 0;
};
