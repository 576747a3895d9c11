#pragma once

#include <cstdint>

#include "app/CvPropertyValue.h"

// Collects changes to a settings list and applies them together.
class CvPropertyEditor {
public:
    virtual ~CvPropertyEditor() = default;
    // The pending value, else the list's value, else the integer 0.
    virtual CvPropertyValue Get(int32_t id) const = 0;
    virtual void Set(int32_t id, const CvPropertyValue& value) = 0;
    // Applies the pending values to the list in one go.
    virtual void Commit() = 0;
    virtual void Discard() = 0;
};
