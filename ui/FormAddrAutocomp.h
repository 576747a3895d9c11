#pragma once

#include <memory>

#include "widgets/CvWndAuto.h"

class CvAdvancedListBox;
class CvAutocompleteData;
class CvListEdit;

// The drop-down of a recipient field: the contact list's matches of the
// typed text, "display name (recipient name)" or the name alone, each with
// its kind's icon. Up and Down (forwarded by the field) move the selection
// and wrap around; Return or a click puts the recipient name into the field.
class FormAddrAutocomp : public CvWndAuto {
    Q_OBJECT
public:
    // `source` (not owned) must outlive the drop-down.
    FormAddrAutocomp(CvListEdit& field, CvAutocompleteData* source, QWidget* owner);
    ~FormAddrAutocomp() override;

    // Rebuilds from the typed text; shows the list when it has entries.
    void Update(const QString& typed);
    void Move(int delta);
    // Puts the selected entry into the field; false when none is selected.
    bool Accept();
    void Close();
    int Count() const;
    CvAdvancedListBox* List() const { return m_list; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void AcceptRow(int row);

    CvListEdit& m_field;
    CvAutocompleteData* m_source;
    CvAdvancedListBox* m_list;
};
