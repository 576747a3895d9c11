#pragma once

#include <string>

#include "ui/CvOptionsPage.h"

class CvHotKeyEdit;
class QPushButton;
class QTreeWidget;

// Hot keys page: the master switch and the key of each of the four actions.
// A key is recorded in the field and stored for the selected action by
// "Set". Where this session cannot grab global keys, the page says why and
// the keys cannot be edited.
class COptionsFormPgHKDlg : public CvOptionsPage {
    Q_OBJECT
public:
    // `unavailable`: why global keys do not work here ("" when they do).
    COptionsFormPgHKDlg(CvPropertyEditor& editor, LockRule isLocked,
                        const std::string& unavailable);

    QTreeWidget* ActionList() const { return m_actions; }
    CvHotKeyEdit* KeyField() const { return m_field; }
    QPushButton* SetButton() const { return m_set; }
    // Stores the field's key for the selected action.
    void SetKey();

private:
    int32_t SelectedId() const;
    void ShowSelected();

    QTreeWidget* m_actions;
    CvHotKeyEdit* m_field;
    QPushButton* m_set;
};
