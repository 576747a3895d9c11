#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The local control socket of a running station: a program of the same user
// hands it one message to send and gets the send result back.
//
// One request line and one reply line, each ending in "\n":
//   SEND <type> <recipient> <sender> <text>
//   RESULT <code>          (SendResultCode, 1 to 5)
//   ERROR <reason>
// Fields are separated by single spaces. In a field, '%', space, control
// bytes (below 0x20, 0x7F) and non-ASCII bytes are written as %XX (two hex
// digits); an empty field is "-" (a field that is just "-" is "%2D"). The
// decoded fields are UTF-8. A line longer than kMaxLine is refused.
struct CvControlRequest {
    int32_t type = 1;       // MsgPersonal or MsgBroadcast
    std::string recipient;  // 1 to kMaxNameCodePoints code points, no control characters
    std::string sender;     // empty = the station's default signer; else like recipient
    std::string text;       // at most kMaxTextBytes bytes, no NUL

    bool operator==(const CvControlRequest&) const = default;
};

struct CvControlReply {
    // A send result code (1 to 5), or 0 with `error` when the request was refused.
    int32_t code = 0;
    std::string error;

    bool operator==(const CvControlReply&) const = default;
};

namespace CvControlProtocol {

inline constexpr size_t kMaxLine = 64 * 1024;
inline constexpr size_t kMaxNameCodePoints = 15;
inline constexpr size_t kMaxTextBytes = 16 * 1024;
inline constexpr size_t kMaxErrorBytes = 512;

// The request line, "\n" included. The request is not validated here.
std::string EncodeRequest(const CvControlRequest& request);
// The request of one line (with or without its "\n"); nullopt and the
// reason in `error` when the line is malformed or a field is out of bounds.
std::optional<CvControlRequest> DecodeRequest(const std::string& line, std::string* error);

// "RESULT <code>\n", or "ERROR <reason>\n" when code is 0 (reason cut to
// at most kMaxErrorBytes, at a code point boundary).
std::string EncodeReply(const CvControlReply& reply);
// nullopt when the line is not a well-formed reply.
std::optional<CvControlReply> DecodeReply(const std::string& line);

}  // namespace CvControlProtocol
