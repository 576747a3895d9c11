#pragma once

#include <cstdint>
#include <string>

// The entries an address field offers while the user types.
class CvAutocompleteData {
public:
    virtual ~CvAutocompleteData() = default;

    // Replaces the entries with those matching `typed`.
    virtual void Rebuild(const std::string& typed) = 0;
    virtual int GetCount() = 0;
    // "" beyond the end.
    virtual std::string GetSecondText(int index) = 0;
    // "" beyond the end.
    virtual std::string GetText(int index) = 0;
    // 0 beyond the end.
    virtual int32_t GetKind(int index) = 0;
};
