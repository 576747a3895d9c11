#include "platform/nbt/CvNbtDatagramBacklog.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using Clock = CvNbtDatagramBacklog::Clock;
constexpr uint8_t kLana = 2;

CvNbtDatagramBacklog::Datagram Make(uint8_t number, const std::string& text,
                                    Clock::time_point arrival) {
    return {number, NbtName::Make("SENDER", 0x03).Value(),
            std::vector<uint8_t>(text.begin(), text.end()), arrival};
}

std::string TextOf(const std::optional<CvNbtDatagramBacklog::Datagram>& datagram) {
    return datagram ? std::string(datagram->userData.begin(), datagram->userData.end()) : "(none)";
}

}  // namespace

TEST(CvNbtDatagramBacklogTest, ReceivesTakeTheirOwnNamesDatagramsInArrivalOrder) {
    CvNbtDatagramBacklog backlog;
    const auto now = Clock::now();
    backlog.Push(kLana, Make(5, "a1", now));
    backlog.Push(kLana, Make(7, "b1", now));
    backlog.Push(kLana, Make(5, "a2", now));
    backlog.Push(kLana, Make(CvNbtDatagramBacklog::kAnyName, "star", now));

    EXPECT_EQ(TextOf(backlog.Take(kLana + 1, 5, now)), "(none)") << "another adapter";
    EXPECT_EQ(TextOf(backlog.Take(kLana, 9, now)), "(none)") << "a name with nothing waiting";
    EXPECT_EQ(TextOf(backlog.Take(kLana, 5, now)), "a1");
    EXPECT_EQ(TextOf(backlog.Take(kLana, 5, now)), "a2");
    EXPECT_EQ(TextOf(backlog.Take(kLana, 5, now)), "(none)") << "a \"*\" datagram is for 0xFF only";
    EXPECT_EQ(TextOf(backlog.Take(kLana, CvNbtDatagramBacklog::kAnyName, now)), "b1");
    EXPECT_EQ(TextOf(backlog.Take(kLana, CvNbtDatagramBacklog::kAnyName, now)), "star");
    EXPECT_EQ(backlog.Size(kLana), 0u);
}

TEST(CvNbtDatagramBacklogTest, KeepsTheNewestWithinTheLimitAndAgeAndForgetsDeletedNames) {
    CvNbtDatagramBacklog backlog;
    const auto start = Clock::now();
    for (size_t i = 0; i < CvNbtDatagramBacklog::kMaxDatagrams + 2; ++i) {
        backlog.Push(kLana, Make(5, std::to_string(i), start));
    }
    EXPECT_EQ(backlog.Size(kLana), CvNbtDatagramBacklog::kMaxDatagrams);
    EXPECT_EQ(TextOf(backlog.Take(kLana, 5, start)), "2") << "the two oldest were dropped";

    backlog.DropName(kLana, 5);
    EXPECT_EQ(backlog.Size(kLana), 0u);

    backlog.Push(kLana, Make(6, "old", start));
    backlog.Push(kLana, Make(6, "young", start + std::chrono::seconds(5)));
    const auto later = start + CvNbtDatagramBacklog::kMaxAge + std::chrono::seconds(1);
    EXPECT_EQ(TextOf(backlog.Take(kLana, 6, later)), "young");
    EXPECT_EQ(TextOf(backlog.Take(kLana, 6, later)), "(none)");
}
