#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The local end of a mailslot: a queue of whole messages, read one at a time.
class CvLocalMailslot {
public:
    virtual ~CvLocalMailslot() = default;
    // Size of the next message and number of waiting messages; false when the
    // mailslot is broken (the owner should create it again).
    virtual bool GetInfo(uint32_t& nextSize, uint32_t& count) = 0;
    // Reads the next message into `buffer`; returns its length, or -1 when no
    // message waits or it does not fit (a message that does not fit is kept).
    virtual int Read(uint8_t* buffer, uint32_t size) = 0;
};

// A mailslot opened for writing, on this or another station.
class CvMailslotWriter {
public:
    virtual ~CvMailslotWriter() = default;
    // Writes one message; false when it could not be sent (too big, no route).
    virtual bool Write(std::span<const uint8_t> message) = 0;
};

// Mailslots of one station.
class CvMailslotProvider {
public:
    virtual ~CvMailslotProvider() = default;
    // Creates the local mailslot `name` ("\\.\MAILSLOT\name"). Null when
    // another owner holds it or it cannot be made. Messages longer than
    // `maxMessageSize` are refused by writers.
    virtual std::unique_ptr<CvLocalMailslot> CreateMailslot(const std::string& name,
                                                            uint32_t maxMessageSize) = 0;
    // Opens "\\target\MAILSLOT\name" for writing. `target` (OEM bytes) is "."
    // for this station, or a computer, user, workgroup or domain name, which
    // the NetBIOS layer reaches by datagram. Null on failure.
    virtual std::unique_ptr<CvMailslotWriter> OpenMailslot(const std::string& target,
                                                           const std::string& name) = 0;
};
