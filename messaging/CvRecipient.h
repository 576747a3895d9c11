#pragma once

#include <cstdint>
#include <string>

// Kinds of recipient in a recipient field: a user or computer and a domain or
// workgroup are written to as the message types 1 and 2; a contact group
// stands for its members.
inline constexpr int32_t kRecipientUser = 1;
inline constexpr int32_t kRecipientWorkgroup = 2;
inline constexpr int32_t kRecipientGroup = 3;

struct CvRecipient {
    int32_t kind = kRecipientUser;
    std::string name;

    bool operator==(const CvRecipient&) const = default;
};
