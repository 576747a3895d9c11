#pragma once

#include <cstdint>
#include <map>

#include "app/CvFunction.h"
#include "app/CvPropertyIterator.h"
#include "app/CvPropertyList.h"

// The program's settings list. Changes made through an editor arrive in
// ApplyChanges, which then tells the one listener which settings changed.
// Used on the user interface thread only.
class CvAppPropertyList : public CvPropertyList {
public:
    using Listener = CvUnaryFunction<void, CvPropertyIterator&>;

    CvPropertyValue Get(int32_t id) const override;
    void Set(int32_t id, const CvPropertyValue& value) override;
    // Nothing is pending in the list itself.
    void Commit() override {}

    // Sets every pair of `changes`, then calls the listener once with the
    // same iterator (left at its end; the listener rewinds it).
    void ApplyChanges(CvPropertyIterator& changes);

    // Not owned; null when nobody listens.
    void SetListener(Listener* listener) { m_listener = listener; }
    Listener* GetListener() const { return m_listener; }

    const std::map<int32_t, CvPropertyValue>& Values() const { return m_values; }

private:
    std::map<int32_t, CvPropertyValue> m_values;
    Listener* m_listener = nullptr;
};
