#include "app/CvReadWriteLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

TEST(CvReadWriteLock, ReadersShareAndWriterExcludes) {
    CvReadWriteLock lock;
    lock.LockShared();
    lock.LockShared();  // a second reader gets in at once

    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        lock.LockExclusive();
        writerIn = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(writerIn);
    lock.Unlock();
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(writerIn) << "writer entered while one reader still held the lock";
    lock.Unlock();
    writer.join();
    EXPECT_TRUE(writerIn);
}

TEST(CvReadWriteLock, WaitingWriterTakesPrecedenceOverNewReaders) {
    CvReadWriteLock lock;
    lock.LockShared();  // a reader holds the lock

    std::vector<char> order;
    std::mutex orderLock;
    auto record = [&](char who) {
        std::lock_guard guard(orderLock);
        order.push_back(who);
    };

    std::atomic<bool> writerStarted{false};
    std::thread writer([&] {
        writerStarted = true;
        lock.LockExclusive();
        record('W');
        std::this_thread::sleep_for(20ms);
        lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return writerStarted.load(); }));
    std::this_thread::sleep_for(30ms);  // the writer is now waiting

    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.LockShared();
        readerIn = true;
        record('R');
        lock.Unlock();
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(readerIn) << "a new reader passed a waiting writer";

    lock.Unlock();  // the first reader leaves: the writer goes first
    writer.join();
    reader.join();
    EXPECT_EQ(order, (std::vector<char>{'W', 'R'}));
}

TEST(CvReadWriteLock, WriterReleaseWakesAllWaitingReaders) {
    CvReadWriteLock lock;
    lock.LockExclusive();
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<bool> hold{true};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            lock.LockShared();
            int now = ++inside;
            int seen = maxInside;
            while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
            }
            while (hold) {
                std::this_thread::sleep_for(1ms);
            }
            --inside;
            lock.Unlock();
        });
    }
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(inside, 0);
    lock.Unlock();
    EXPECT_TRUE(WaitUntil([&] { return maxInside == 3; }));
    hold = false;
    for (auto& t : readers) {
        t.join();
    }
    // The lock is free again: a writer gets it at once.
    lock.LockExclusive();
    lock.Unlock();
}

}  // namespace
