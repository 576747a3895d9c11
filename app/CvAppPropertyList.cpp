#include "app/CvAppPropertyList.h"

CvPropertyValue CvAppPropertyList::Get(int32_t id) const {
    auto it = m_values.find(id);
    return it != m_values.end() ? it->second : CvPropertyValue::Integer(0);
}

void CvAppPropertyList::Set(int32_t id, const CvPropertyValue& value) {
    m_values[id] = value;
}

void CvAppPropertyList::ApplyChanges(CvPropertyIterator& changes) {
    changes.Rewind();
    int32_t id = 0;
    CvPropertyValue value;
    while (changes.Next(id, value)) {
        Set(id, value);
    }
    if (m_listener != nullptr) {
        m_listener->Invoke(changes);
    }
}
