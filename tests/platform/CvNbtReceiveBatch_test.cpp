#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CvNbtLoopbackPeer.h"
#include "platform/nbt/CvNbtContext.h"
#include "platform/nbt/CvNbtDatagramService.h"
#include "platform/nbt/CvNbtIoLoop.h"
#include "platform/nbt/CvNbtNameService.h"
#include "platform/nbt/CvNbtPending.h"

// A flood must not keep the I/O loop in one socket's handler: each readiness
// reads a bounded batch and leaves the rest for the next turn, after the
// timers and the other sockets.
TEST(CvNbtReceiveBatchTest, OneReadinessReadsABoundedBatch) {
    const CvNbtPorts ports = loopback::TestPorts();
    CvNbtIoLoop loop;  // not started: the services run on this thread
    CvNbtPending pending;
    CvNbtContext context(loop, pending, ports);
    ASSERT_EQ(context.nameSocket.Open(ports.name), 0);
    ASSERT_EQ(context.datagramSocket.Open(ports.datagram), 0);
    CvNbtNameService names(context);
    CvNbtDatagramService datagrams(context, names);

    struct Case {
        const char* service;
        CvNbtUdpSocket& socket;
        std::function<void()> onReadable;
        int batch;
    };
    const Case cases[] = {
        {"name", context.nameSocket, [&] { names.OnReadable(); }, CvNbtNameService::kReceiveBatch},
        {"datagram", context.datagramSocket, [&] { datagrams.OnReadable(); },
         CvNbtDatagramService::kReceiveBatch},
    };
    const loopback::UdpSocket flooder(loopback::kPeerIp, 0);
    ASSERT_TRUE(flooder.IsOpen());
    const std::vector<uint8_t> junk(20, 0xEE);
    constexpr int kLeft = 10;
    for (const auto& c : cases) {
        const uint16_t port = &c.socket == &context.nameSocket ? ports.name : ports.datagram;
        for (int i = 0; i < c.batch + kLeft; ++i) {
            ASSERT_TRUE(flooder.SendTo(junk, loopback::kStationIp, port)) << c.service;
        }
        // Loopback delivers at once; the pause only covers a slow scheduler.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.onReadable();
        int left = 0;
        CvNbtUdpPacket packet;
        while (c.socket.Receive(packet)) {
            ++left;
        }
        EXPECT_EQ(left, kLeft) << c.service;
    }
}
