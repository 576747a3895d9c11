#pragma once

#include <cstdint>
#include <map>

#include "app/CvPropertyIterator.h"
#include "app/CvPropertyValue.h"

// Iterator over a map of values. The map must outlive the iterator and stay
// unchanged while it is used.
class CvAppPropertiesIterator : public CvPropertyIterator {
public:
    explicit CvAppPropertiesIterator(const std::map<int32_t, CvPropertyValue>& values);

    void Rewind() override;
    bool Next(int32_t& id, CvPropertyValue& value) override;

private:
    const std::map<int32_t, CvPropertyValue>& m_values;
    std::map<int32_t, CvPropertyValue>::const_iterator m_position;
};
