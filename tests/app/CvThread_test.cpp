#include "app/CvThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/CvClassThread.h"
#include "app/CvThreadClassFunction.h"
#include "platform/CvEvent.h"
#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

struct Worker {
    std::atomic<int> passes{0};
    std::atomic<bool> sawStop{false};
    void Periodic(CvThread* thread) {
        while (!thread->IsStopRequested()) {
            ++passes;
            thread->WaitForStop(10);
        }
        sawStop = true;
    }
    void ReturnAtOnce(CvThread*) { ++passes; }
};

TEST(CvThread, StopRequestIsSeenForEver) {
    CvThread thread;
    EXPECT_FALSE(thread.IsStopRequested());
    thread.RequestStop();
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_TRUE(thread.IsStopRequested());
    EXPECT_EQ(thread.WaitForStop(1000), kWaitObject0);
}

TEST(CvThread, DestroyingARunningThreadStopsAndJoinsIt) {
    Worker worker;
    auto thread = std::make_unique<CvThreadClassFunction<Worker>>(&worker, &Worker::Periodic);
    EXPECT_TRUE(thread->Start());
    EXPECT_FALSE(thread->Start()) << "a thread object starts once";
    ASSERT_TRUE(WaitUntil([&] { return worker.passes > 2; }));
    EXPECT_TRUE(thread->IsRunning());
    thread.reset();
    EXPECT_TRUE(worker.sawStop);
}

TEST(CvThread, DestroyingAFinishedThreadDoesNotWait) {
    Worker worker;
    CvClassThread<Worker> thread(&worker, &Worker::ReturnAtOnce);
    thread.Start();
    ASSERT_TRUE(WaitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(worker.passes, 1);
    EXPECT_FALSE(thread.IsStopRequested()) << "a finished body needs no stop request";
    thread.StopAndWait();
    EXPECT_FALSE(thread.IsStopRequested());
}

TEST(CvThread, WaitForEventOrStopTellsWhichHappened) {
    CvThread thread;
    CvEvent event(true, false);
    EXPECT_FALSE(thread.WaitForEventOrStop(event, 10));  // time-out
    event.Set();
    thread.RequestStop();
    EXPECT_TRUE(thread.WaitForEventOrStop(event, kInfinite)) << "the handle wins a tie";
    event.Reset();
    EXPECT_FALSE(thread.WaitForEventOrStop(event, kInfinite));  // stop only
}

TEST(CvThread, WaitForStopWakesWhenStopIsRequestedFromAnotherThread) {
    CvThread thread;
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        thread.RequestStop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(thread.WaitForStop(kInfinite), kWaitObject0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    stopper.join();
}

}  // namespace
