#pragma once

#include <cstdint>

#include "app/CvPropertyValue.h"

// Settings addressed by numeric identifier.
class CvPropertyList {
public:
    virtual ~CvPropertyList() = default;
    // A copy of the value; the integer 0 when the identifier is not held.
    virtual CvPropertyValue Get(int32_t id) const = 0;
    // Stores a copy, replacing an earlier value. Tells nobody.
    virtual void Set(int32_t id, const CvPropertyValue& value) = 0;
    virtual void Commit() = 0;
};
