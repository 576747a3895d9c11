#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct sockaddr_un;

// Small helpers of the control socket (Unix stream sockets).
namespace CvControlSocket {

enum class ReadResult { Line, TooLong, Closed, TimedOut };

// Reads up to and including the first "\n" into `line` (at most `maxBytes`
// bytes), giving up after `timeoutMs` or once `stop` (may be empty; asked
// every 100 ms) returns true. The peer sends one line per connection, so
// nothing after the line is lost.
ReadResult ReadLine(int fd, std::string& line, size_t maxBytes, uint32_t timeoutMs,
                    const std::function<bool()>& stop);

// Writes all of `data` without raising SIGPIPE; false on failure.
bool WriteAll(int fd, const std::string& data);

// The user id of the peer of a connected Unix socket, or -1.
long PeerUid(int fd);

// Fills `address` for `path`; false when the path does not fit.
bool MakeAddress(const std::string& path, sockaddr_un& address);

}  // namespace CvControlSocket
