#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The three NetBIOS-over-TCP/IP ports the stack binds and talks to. Every
// station on a segment must use the same ports.
struct CvNbtPorts {
    uint16_t name = 137;      // UDP name service
    uint16_t datagram = 138;  // UDP datagram service
    uint16_t session = 139;   // TCP session service

    // "name,datagram,session", three numbers 1..65535; nullopt otherwise.
    static std::optional<CvNbtPorts> Parse(std::string_view text);
    // From CORVANE_NBT_PORTS when it is set and valid, else the standard ports.
    static CvNbtPorts FromEnvironment();
};
