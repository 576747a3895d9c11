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
    // entry (the all-users entry may need the administrator's password) and
    // sets the setting in the editor. The entry starts corvane-messenger in
    // the program folder (CvAppPaths::Detect).
    //
    // The move runs on a worker thread, since the password dialog stays as
    // long as the user lets it; `done` follows on this thread with whether
    // the state changed: false after Cancel, the same state, or a change that
    // could not be made (the editor keeps the old state). Returns whether a
    // move was started (`done` comes later) rather than ended at once (`done`
    // has been called). With `parent` gone first, neither the editor nor
    // `done` is touched any more.
    static bool Change(QWidget* parent, CvAppPropertyEditor& editor,
                       std::function<void(bool changed)> done);
    // What the options page shows for `state`.
    static QString StateText(int32_t state);

    // Shows the dialog modally and returns its result (QDialog::Accepted for
    // OK); tests replace it.
    static inline std::function<int(CDlgEditAutoStartup& dialog)> showModal;

private:
    QButtonGroup* m_states;
    int32_t m_chosen = 0;
};
