#include "app/CvReadWriteLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/TestEnv.h"

namespace {

using namespace std::chrono_literals;

// Whether a thread got in is only checked once the lock counts it as
// waiting: it cannot get in by itself from there.
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
    EXPECT_TRUE(WaitUntil([&] { return lock.WaitingWriters() == 1; }))
        << "the writer got in past two readers";
    EXPECT_FALSE(writerIn);
    lock.Unlock();
    EXPECT_EQ(lock.WaitingWriters(), 1) << "one reader still holds the lock";
    EXPECT_FALSE(writerIn) << "writer entered while one reader still held the lock";
    lock.Unlock();
    writer.join();
    EXPECT_TRUE(writerIn);
    EXPECT_EQ(lock.WaitingWriters(), 0);
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

    std::thread writer([&] {
        lock.LockExclusive();
        record('W');
        lock.Unlock();
    });
    ASSERT_TRUE(WaitUntil([&] { return lock.WaitingWriters() == 1; }));

    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.LockShared();
        readerIn = true;
        record('R');
        lock.Unlock();
    });
    EXPECT_TRUE(WaitUntil([&] { return lock.WaitingReaders() == 1; }))
        << "a new reader passed a waiting writer";
    EXPECT_FALSE(readerIn);

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
    EXPECT_TRUE(WaitUntil([&] { return lock.WaitingReaders() == 3; }));
    EXPECT_EQ(inside, 0);
    lock.Unlock();
    EXPECT_TRUE(WaitUntil([&] { return maxInside == 3; }));
    EXPECT_EQ(lock.WaitingReaders(), 0);
    hold = false;
    for (auto& t : readers) {
        t.join();
    }
    // The lock is free again: a writer gets it at once.
    lock.LockExclusive();
    lock.Unlock();
}

}  // namespace
