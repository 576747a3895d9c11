#include "platform/CvNetbiosGate.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/CvEvent.h"
#include "platform/CvVirtualLan.h"
#include "platform/CvVirtualStation.h"

namespace {

uint8_t NameCommand(CvNetbiosProvider& provider, uint8_t command, const char* name,
                    uint8_t& number) {
    CvNcb ncb;
    ncb.command = command;
    ncb.num = number;
    CvSetNetbiosName(ncb.name, name, std::strlen(name), 0x03);
    const uint8_t code = provider.Submit(ncb);
    number = ncb.num;
    return code;
}

TEST(CvNetbiosGate, CloseEndsPendingCommandsAndRefusesNewWorkButNotCleanUp) {
    CvVirtualLan lan;
    CvVirtualStation station(lan);
    station.AttachAdapter(0, 1);
    CvNetbiosGate gate(station);

    uint8_t number = 0;
    ASSERT_EQ(NameCommand(gate, kNcbAddName, "ME", number), kNrcGoodRet);
    CvEvent listenDone(true, false);
    CvNcb listen;
    listen.command = kNcbListen | kNcbAsync;
    std::memset(listen.callname, ' ', sizeof listen.callname);
    listen.callname[0] = '*';
    CvSetNetbiosName(listen.name, "ME", 2, 0x03);
    listen.event = &listenDone;
    ASSERT_EQ(gate.Submit(listen), kNrcPending);
    EXPECT_EQ(gate.TrackedCount(), 1u);

    gate.Close();
    ASSERT_EQ(listenDone.Wait(1000), kWaitObject0);
    EXPECT_EQ(listen.retcode, kNrcCmdCan);
    EXPECT_EQ(gate.TrackedCount(), 0u);

    // New work is refused at once, an asynchronous request with its event set.
    CvEvent again(true, false);
    listen.event = &again;
    EXPECT_EQ(gate.Submit(listen), kNrcEnvNotDef);
    EXPECT_EQ(again.Wait(0), kWaitObject0);
    uint8_t other = 0;
    EXPECT_EQ(NameCommand(gate, kNcbAddName, "OTHER", other), kNrcEnvNotDef);
    // Clean-up still reaches the provider: the name goes away.
    EXPECT_EQ(NameCommand(gate, kNcbDeleteName, "ME", number), kNrcGoodRet);
    EXPECT_EQ(NameCommand(station, kNcbDeleteName, "ME", number), kNrcNoWild);
}

}  // namespace
