#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "platform/nbt/NbtName.h"

// Datagrams that arrived for one of our names while no receive was posted for
// it. A receiver re-posts its receive only after handling the last datagram,
// so datagrams sent back to back (a message split into parts) would otherwise
// be lost. Each adapter keeps at most kMaxDatagrams (the oldest goes first),
// each for at most kMaxAge. I/O thread only.
class CvNbtDatagramBacklog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMaxDatagrams = 64;
    static constexpr std::chrono::seconds kMaxAge{10};
    static constexpr uint8_t kAnyName = 0xFF;

    struct Datagram {
        uint8_t number = kAnyName;  // the receiving name's number; kAnyName for "*"
        NbtName source;
        std::vector<uint8_t> userData;
        Clock::time_point arrival;
    };

    void Push(uint8_t lana, Datagram datagram);
    // Removes and returns the adapter's oldest datagram that a receive for
    // name number `number` takes: one for that number, or any one when number
    // is kAnyName. Datagrams older than kMaxAge at `now` are discarded first.
    // nullopt if none waits.
    std::optional<Datagram> Take(uint8_t lana, uint8_t number, Clock::time_point now);
    // The name was deleted: its datagrams are discarded, so a later name with
    // the same number does not get them.
    void DropName(uint8_t lana, uint8_t number);
    size_t Size(uint8_t lana) const;

private:
    std::map<uint8_t, std::deque<Datagram>> m_adapters;
};
