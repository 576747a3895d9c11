#pragma once

#include <vector>

#include "storage/CvContact.h"
#include "ui/CvContactDialog.h"

// Adds several recipients (kind, name, display name) to one group of the
// contact list at once, in their order. Destroyed when closed.
class CContactMassAddForm : public CvContactDialog {
    Q_OBJECT
public:
    // The group names of `recipients` are ignored: they all join the group
    // chosen here.
    CContactMassAddForm(CvContactsManager& contacts, std::vector<CvContact> recipients);
    ~CContactMassAddForm() override;

    const std::vector<CvContact>& Recipients() const { return m_recipients; }

private:
    void Save() override;

    std::vector<CvContact> m_recipients;
};
