#pragma once

#include <cstdint>
#include <map>

#include "app/CvAppPropertyList.h"
#include "app/CvPropertyEditor.h"

// Editor over one CvAppPropertyList, which must outlive it. Pending values
// stay after Commit, so a later Commit reports them again.
class CvAppPropertyEditor : public CvPropertyEditor {
public:
    explicit CvAppPropertyEditor(CvAppPropertyList& list) : m_list(list) {}

    CvPropertyValue Get(int32_t id) const override;
    void Set(int32_t id, const CvPropertyValue& value) override;
    void Commit() override;
    void Discard() override { m_pending.clear(); }

private:
    CvAppPropertyList& m_list;
    std::map<int32_t, CvPropertyValue> m_pending;
};
