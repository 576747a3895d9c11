#include "app/CvAppPropertiesIterator.h"

CvAppPropertiesIterator::CvAppPropertiesIterator(const std::map<int32_t, CvPropertyValue>& values)
    : m_values(values), m_position(values.begin()) {}

void CvAppPropertiesIterator::Rewind() {
    m_position = m_values.begin();
}

bool CvAppPropertiesIterator::Next(int32_t& id, CvPropertyValue& value) {
    if (m_position == m_values.end()) {
        return false;
    }
    id = m_position->first;
    value = m_position->second;
    ++m_position;
    return true;
}
