#pragma once

#include <optional>

#include "storage/CvContact.h"
#include "ui/CvContactDialog.h"

class QLineEdit;
class QRadioButton;

// Adds one contact to the contact list, or changes one: its kind, the name
// messages go to, the name shown and its group. Bad input is refused with a
// message and the dialog keeps what was typed. Destroyed when closed.
class CContactEditForm : public CvContactDialog {
    Q_OBJECT
public:
    static constexpr int kCtrlUser = 115;
    static constexpr int kCtrlWorkgroup = 116;

    // `existing` null: a new contact, its fields filled from `prefill` (kind,
    // name, display name and, when set, group). Otherwise the fields show
    // `existing` and saving changes it.
    CContactEditForm(CvContactsManager& contacts, const CvContact* existing,
                     const CvContact& prefill);
    ~CContactEditForm() override;

    // Whether it edits `contact` (null: whether it adds a new one).
    bool IsEditing(const CvContact* contact) const;

    QRadioButton* UserButton() const { return m_user; }
    QRadioButton* WorkgroupButton() const { return m_workgroup; }
    QLineEdit* NameField() const { return m_name; }
    QLineEdit* DisplayNameField() const { return m_displayName; }

private:
    void Save() override;

    std::optional<CvContact> m_existing;
    QRadioButton* m_user;
    QRadioButton* m_workgroup;
    QLineEdit* m_name;
    QLineEdit* m_displayName;
};
