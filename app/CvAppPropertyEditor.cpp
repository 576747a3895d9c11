#include "app/CvAppPropertyEditor.h"

#include "app/CvAppPropertiesIterator.h"

CvPropertyValue CvAppPropertyEditor::Get(int32_t id) const {
    auto it = m_pending.find(id);
    return it != m_pending.end() ? it->second : m_list.Get(id);
}

void CvAppPropertyEditor::Set(int32_t id, const CvPropertyValue& value) {
    m_pending[id] = value;
}

void CvAppPropertyEditor::Commit() {
    CvAppPropertiesIterator changes(m_pending);
    m_list.ApplyChanges(changes);
}
