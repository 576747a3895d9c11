#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "platform/nbt/CvNbtHandshakeGate.h"

namespace {

using std::chrono::milliseconds;

constexpr uint32_t kA = 0xC0000201;  // 192.0.2.1
constexpr uint32_t kB = 0xC0000202;
constexpr uint32_t kC = 0xC0000203;

struct Held {
    CvNbtHandshakeGate::SessionId id;
    uint32_t address;
    int ageMs;
};

}  // namespace

TEST(CvNbtHandshakeGateTest, AdmitsEvictsOrRefusesByCapsAndAge) {
    // Caps: 4 in total, 2 per address; grace 1000 ms.
    struct Case {
        const char* what;
        std::vector<Held> held;  // ids in the order the handshakes started
        uint32_t caller;
        bool admit;
        CvNbtHandshakeGate::SessionId evict;
    };
    const Case cases[] = {
        {"empty", {}, kA, true, 0},
        {"room left from that address", {{1, kA, 5000}}, kA, true, 0},
        {"address full, all young", {{1, kA, 900}, {2, kA, 10}}, kA, false, 0},
        {"address full, its oldest past grace",
         {{1, kB, 9000}, {2, kA, 1000}, {3, kA, 10}},
         kA,
         true,
         2},
        {"another address is not limited by a full one", {{1, kA, 10}, {2, kA, 10}}, kB, true, 0},
        {"total full, all young",
         {{1, kA, 900}, {2, kB, 500}, {3, kB, 10}, {4, kC, 10}},
         kC,
         false,
         0},
        {"total full, the oldest of all past grace",
         {{1, kA, 2000}, {2, kB, 1500}, {3, kB, 10}, {4, kC, 10}},
         kC,
         true,
         1},
        {"total and address full: the address's oldest goes",
         {{1, kA, 5000}, {2, kB, 3000}, {3, kC, 2000}, {4, kC, 1500}},
         kC,
         true,
         3},
    };
    const auto now = CvNbtHandshakeGate::Clock::now();
    for (const auto& c : cases) {
        CvNbtHandshakeGate gate(4, 2, milliseconds(1000));
        for (const auto& held : c.held) {
            gate.Add(held.id, held.address, now - milliseconds(held.ageMs));
        }
        const auto decision = gate.Admit(c.caller, now);
        EXPECT_EQ(decision.admit, c.admit) << c.what;
        EXPECT_EQ(decision.evict, c.evict) << c.what;
        EXPECT_EQ(gate.Count(), c.held.size()) << c.what << ": Admit changes nothing";
    }
}

TEST(CvNbtHandshakeGateTest, AnEndedHandshakeFreesItsPlace) {
    const auto now = CvNbtHandshakeGate::Clock::now();
    CvNbtHandshakeGate gate(2, 2, milliseconds(1000));
    gate.Add(1, kA, now);
    gate.Add(2, kA, now);
    EXPECT_FALSE(gate.Admit(kB, now).admit);
    gate.Remove(1);
    gate.Remove(1);  // a second end of the same handshake is harmless
    gate.Remove(7);  // so is one the gate never held
    EXPECT_EQ(gate.Count(), 1u);
    EXPECT_TRUE(gate.Admit(kB, now).admit);
    EXPECT_TRUE(gate.Admit(kA, now).admit);
}
