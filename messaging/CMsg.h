#pragma once

#include <cstdint>
#include <string>

// Message types, also the kinds of recipient: a user or computer is written
// to personally, a domain or workgroup by broadcast.
inline constexpr int32_t MsgPersonal = 1;
inline constexpr int32_t MsgBroadcast = 2;

// One message, as received from the network or as the user wrote it. A plain
// value that crosses threads by copy. Strings are UTF-8; conversion to the
// OEM code page happens only on the wire.
class CMsg {
public:
    // Type 0, empty strings, time = now (local).
    CMsg();

    int32_t type = 0;
    // The name the message was addressed to: on receipt the destination name
    // found in the PDU (the same as `recipient`), when sending the recipient
    // as the user chose it.
    std::string address;
    std::string sender;
    std::string recipient;
    std::string text;
    // Local time in FILETIME units (100 ns since 1601-01-01) at which the
    // record was made: time of receipt, or time of composing.
    uint64_t time = 0;
};
