#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "platform/CvEvent.h"
#include "platform/CvSemaphore.h"

namespace {

using namespace std::chrono_literals;

TEST(CvEvent, ManualResetStaysSignalledAutoResetReleasesOne) {
    CvEvent manual(true, false);
    EXPECT_EQ(manual.Wait(0), kWaitTimeout);
    manual.Set();
    EXPECT_EQ(manual.Wait(0), kWaitObject0);
    EXPECT_EQ(manual.Wait(0), kWaitObject0);
    manual.Reset();
    EXPECT_EQ(manual.Wait(5), kWaitTimeout);

    CvEvent autoReset(false, true);
    EXPECT_EQ(autoReset.Wait(0), kWaitObject0);
    EXPECT_EQ(autoReset.Wait(0), kWaitTimeout);
}

TEST(CvWaitable, WaitAnyPicksFirstSignalledInOrderAndConsumesOnlyIt) {
    CvSemaphore first(0, 10);
    CvSemaphore second(1, 10);
    CvSemaphore third(1, 10);
    std::array<CvWaitable*, 3> objects{&first, &second, &third};
    EXPECT_EQ(CvWaitable::WaitAny(objects, 0), kWaitObject0 + 1);
    EXPECT_EQ(second.Count(), 0);
    EXPECT_EQ(third.Count(), 1);
    EXPECT_EQ(CvWaitable::WaitAny(objects, 0), kWaitObject0 + 2);
    EXPECT_EQ(CvWaitable::WaitAny(objects, 10), kWaitTimeout);
}

TEST(CvWaitable, WaitAnyWakesOnSignalFromAnotherThread) {
    CvEvent a, b;
    std::array<CvWaitable*, 2> objects{&a, &b};
    std::thread setter([&] {
        std::this_thread::sleep_for(10ms);
        b.Set();
    });
    EXPECT_EQ(CvWaitable::WaitAny(objects, kInfinite), kWaitObject0 + 1);
    setter.join();
}

TEST(CvSemaphore, ReleaseBeyondMaximumFailsAndChangesNothing) {
    CvSemaphore semaphore(1, 2);
    EXPECT_TRUE(semaphore.Release(1));
    EXPECT_FALSE(semaphore.Release(1));
    EXPECT_FALSE(semaphore.Release(0));
    EXPECT_EQ(semaphore.Count(), 2);
}

}  // namespace
