#pragma once

#include <functional>
#include <vector>

#include "storage/CvContact.h"
#include "ui/CvFormBase.h"

class CvContactsManager;
class QComboBox;
class QPushButton;

// Adds several recipients (kind, name, display name) to one group of the
// contact list at once, in their order. Destroyed when closed.
class CContactMassAddForm : public CvFormBase {
    Q_OBJECT
public:
    static constexpr int kCmdSave = 126;
    static constexpr int kCmdCancel = 147;
    static constexpr int kCmdClose = 2;

    // The group names of `recipients` are ignored: they all join the group
    // chosen here.
    CContactMassAddForm(CvContactsManager& contacts, std::vector<CvContact> recipients);
    ~CContactMassAddForm() override;

    void Command(int id);
    const std::vector<CvContact>& Recipients() const { return m_recipients; }
    QComboBox* GroupField() const { return m_group; }

    // Shows a validation message; tests replace it.
    std::function<void(const QString& text)> showMessage;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Save();

    CvContactsManager& m_contacts;
    std::vector<CvContact> m_recipients;
    QComboBox* m_group;
    QPushButton* m_save;
    QPushButton* m_cancel;
};
