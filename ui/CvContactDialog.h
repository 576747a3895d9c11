#pragma once

#include <QString>

#include <functional>

#include "ui/CvFormBase.h"

class CvContactsManager;
class QComboBox;
class QLayout;
class QPushButton;

// The frame the contact dialogs share: their fields, a separator line, "Save"
// (command 126, also Enter) and "Cancel" (147, also 2 and Escape), and the
// editable list of the contact list's groups. Input that Save refuses is
// reported with a message and the dialog keeps what was typed. Destroyed
// when closed.
class CvContactDialog : public CvFormBase {
    Q_OBJECT
public:
    static constexpr int kCmdSave = 126;
    static constexpr int kCmdCancel = 147;
    static constexpr int kCmdClose = 2;

    ~CvContactDialog() override;

    void Command(int id);
    QComboBox* GroupField() const { return m_group; }
    QPushButton* SaveButton() const { return m_save; }

    // Shows a validation message; tests replace it.
    std::function<void(const QString& text)> showMessage;

protected:
    CvContactDialog(CvContactsManager& contacts, const QString& objectName, int titleTextId);

    // Puts `fields` above the line and the buttons.
    void SetFields(QLayout* fields, int minimumWidth);
    // Shows the message of `textId` and puts the focus on `field`.
    void Refuse(int textId, QWidget* field);
    static QString Text(int id);

    void keyPressEvent(QKeyEvent* event) override;

    CvContactsManager& m_contacts;
    QComboBox* m_group;

private:
    virtual void Save() = 0;

    QPushButton* m_save;
    QPushButton* m_cancel;
};
