#pragma once

#include <cstdint>

#include "app/CvPropertyValue.h"

// Walks a set of (identifier, value) pairs in ascending identifier order.
class CvPropertyIterator {
public:
    virtual ~CvPropertyIterator() = default;
    // Back to the first pair.
    virtual void Rewind() = 0;
    // The next pair; false (outputs untouched) at the end.
    virtual bool Next(int32_t& id, CvPropertyValue& value) = 0;
};
