#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

// Received datagrams waiting for delivery: 256 slots of up to 512 bytes.
// When full, a new datagram overwrites the oldest, so at most 255 wait.
class CDatagramRing {
public:
    static constexpr size_t kSlots = 256;
    static constexpr size_t kSlotBytes = 512;

    CDatagramRing();

    // Copies at most kSlotBytes bytes.
    void Push(const uint8_t* data, size_t length);
    // False when empty.
    bool Pop(std::vector<uint8_t>& datagram);

private:
    struct Slot {
        uint32_t length = 0;
        std::array<uint8_t, kSlotBytes> data{};
    };
    std::mutex m_lock;
    std::vector<Slot> m_slots;
    size_t m_head = 0;
    size_t m_tail = 0;
};
