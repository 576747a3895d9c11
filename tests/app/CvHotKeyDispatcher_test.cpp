#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/CvFunction.h"
#include "app/CvHotKeyDispatcher.h"
#include "platform/CvHotKeyGrabber.h"

namespace {

// Logs every grab and ungrab; combinations in `taken` belong to another
// program and are refused.
class FakeGrabber : public CvHotKeyGrabber {
public:
    bool Grab(int id, uint32_t modifiers, uint8_t virtualKey, bool extended) override {
        log.push_back("grab " + std::to_string(id) + " mod " + std::to_string(modifiers) + " vk " +
                      std::to_string(virtualKey) + (extended ? " ext" : ""));
        return taken.count({modifiers, virtualKey}) == 0;
    }
    void Ungrab(int id) override { log.push_back("ungrab " + std::to_string(id)); }
    void SetPressHandler(std::function<void(int id)> handler) override {
        m_handler = std::move(handler);
    }

    bool HasHandler() const { return static_cast<bool>(m_handler); }
    // A press as the system reports it, whether or not the id is grabbed (a
    // press may be on its way while the grab goes).
    void Press(int id) {
        if (m_handler) {
            m_handler(id);
        }
    }

    std::vector<std::string> log;
    std::set<std::pair<uint32_t, uint8_t>> taken;

private:
    std::function<void(int id)> m_handler;
};

struct Action : CvNullaryFunction<void> {
    void Invoke() override { ++calls; }
    int calls = 0;
};

using Log = std::vector<std::string>;

constexpr int32_t kCtrlAltM = 0x64D;
constexpr int32_t kShiftF1 = 0x170;
constexpr int32_t kCtrlUp = 0xA26;  // the arrow key, not keypad 8

TEST(CvHotKeyDispatcher, GrabsOnlyWhileEnabledInAscendingIdOrder) {
    FakeGrabber grabber;
    CvHotKeyDispatcher dispatcher(&grabber);
    Action write, reply, browse;
    dispatcher.Register(24, kShiftF1, &browse);
    dispatcher.Register(21, kCtrlAltM, &write);
    dispatcher.Register(22, kCtrlUp, &reply);
    EXPECT_FALSE(dispatcher.IsEnabled());
    EXPECT_TRUE(grabber.log.empty());
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    grabber.Press(21);
    EXPECT_EQ(write.calls, 0);

    dispatcher.Enable();
    EXPECT_TRUE(dispatcher.IsEnabled());
    EXPECT_EQ(grabber.log,
              (Log{"grab 21 mod 3 vk 77", "grab 22 mod 2 vk 38 ext", "grab 24 mod 4 vk 112"}));
    EXPECT_TRUE(dispatcher.IsGrabbed(21));
    EXPECT_TRUE(dispatcher.IsGrabbed(24));

    grabber.log.clear();
    dispatcher.Enable();
    EXPECT_TRUE(grabber.log.empty());

    dispatcher.Disable();
    EXPECT_FALSE(dispatcher.IsEnabled());
    EXPECT_EQ(grabber.log, (Log{"ungrab 21", "ungrab 22", "ungrab 24"}));
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    grabber.Press(21);
    EXPECT_EQ(write.calls, 0);

    grabber.log.clear();
    dispatcher.Disable();
    EXPECT_TRUE(grabber.log.empty());
    // The entries survive a Disable.
    dispatcher.Enable();
    EXPECT_EQ(grabber.log.size(), 3u);
}

TEST(CvHotKeyDispatcher, RegisterWhileEnabledGrabsAtOnceAndReplacesTheEarlierKey) {
    FakeGrabber grabber;
    CvHotKeyDispatcher dispatcher(&grabber);
    dispatcher.Enable();
    Action first, second;
    dispatcher.Register(21, kCtrlAltM, &first);
    EXPECT_EQ(grabber.log, (Log{"grab 21 mod 3 vk 77"}));

    dispatcher.Register(21, kCtrlUp, &second);
    EXPECT_EQ(grabber.log, (Log{"grab 21 mod 3 vk 77", "ungrab 21", "grab 21 mod 2 vk 38 ext"}));
    grabber.Press(21);
    EXPECT_EQ(first.calls, 0);
    EXPECT_EQ(second.calls, 1);
}

TEST(CvHotKeyDispatcher, ValueWithoutKeyGrabsNothingButKeepsTheId) {
    FakeGrabber grabber;
    CvHotKeyDispatcher dispatcher(&grabber);
    Action action;
    dispatcher.Register(21, 0, &action);
    dispatcher.Register(22, 0x600, &action);  // Control + Alt, no key yet
    dispatcher.Enable();
    EXPECT_TRUE(grabber.log.empty());
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    grabber.Press(21);
    EXPECT_EQ(action.calls, 0);

    // Setting a key later grabs it; clearing it again releases it.
    dispatcher.Register(21, kCtrlAltM, &action);
    dispatcher.Register(21, 0, &action);
    dispatcher.Disable();
    EXPECT_EQ(grabber.log, (Log{"grab 21 mod 3 vk 77", "ungrab 21"}));
}

TEST(CvHotKeyDispatcher, UnregisterReleasesTheGrabAndForgetsTheId) {
    FakeGrabber grabber;
    CvHotKeyDispatcher dispatcher(&grabber);
    Action write, reply;
    dispatcher.Register(21, kCtrlAltM, &write);
    dispatcher.Register(22, kShiftF1, &reply);
    dispatcher.Unregister(22);  // disabled: nothing was grabbed
    EXPECT_TRUE(grabber.log.empty());

    dispatcher.Register(22, kShiftF1, &reply);
    dispatcher.Enable();
    grabber.log.clear();
    dispatcher.Unregister(21);
    dispatcher.Unregister(99);
    EXPECT_EQ(grabber.log, (Log{"ungrab 21"}));
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    grabber.Press(21);
    EXPECT_EQ(write.calls, 0);

    grabber.log.clear();
    dispatcher.Disable();
    dispatcher.Enable();
    EXPECT_EQ(grabber.log, (Log{"ungrab 22", "grab 22 mod 4 vk 112"}));
}

TEST(CvHotKeyDispatcher, PressRunsTheCallbackOfThatIdOnly) {
    FakeGrabber grabber;
    CvHotKeyDispatcher dispatcher(&grabber);
    Action write, reply, open;
    dispatcher.Register(21, kCtrlAltM, &write);
    dispatcher.Register(22, kCtrlUp, &reply);
    dispatcher.Register(23, kShiftF1, &open);
    dispatcher.Register(24, 0x64E, nullptr);  // a key without an action
    dispatcher.Enable();

    grabber.Press(22);
    grabber.Press(22);
    grabber.Press(24);
    grabber.Press(99);
    EXPECT_EQ(write.calls, 0);
    EXPECT_EQ(reply.calls, 2);
    EXPECT_EQ(open.calls, 0);
}

TEST(CvHotKeyDispatcher, RefusedGrabIsRecordedAndTheKeyDoesNothing) {
    FakeGrabber grabber;
    grabber.taken.insert({3, 'M'});  // Ctrl+Alt+M belongs to another program
    CvHotKeyDispatcher dispatcher(&grabber);
    Action write, reply;
    dispatcher.Register(21, kCtrlAltM, &write);
    dispatcher.Register(22, kShiftF1, &reply);
    dispatcher.Enable();
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    EXPECT_TRUE(dispatcher.IsGrabbed(22));
    grabber.Press(21);
    EXPECT_EQ(write.calls, 0);

    // Nothing is held for it, so nothing is released.
    grabber.log.clear();
    dispatcher.Disable();
    EXPECT_EQ(grabber.log, (Log{"ungrab 22"}));

    // Another key for the same action works.
    dispatcher.Enable();
    dispatcher.Register(21, 0x64E, &write);
    EXPECT_TRUE(dispatcher.IsGrabbed(21));
    grabber.Press(21);
    EXPECT_EQ(write.calls, 1);
}

TEST(CvHotKeyDispatcher, WithoutGrabberKeysAreKeptButNeverGrabbed) {
    CvHotKeyDispatcher dispatcher(nullptr);
    Action write;
    dispatcher.Register(21, kCtrlAltM, &write);
    dispatcher.Enable();
    EXPECT_TRUE(dispatcher.IsEnabled());
    EXPECT_FALSE(dispatcher.IsGrabbed(21));
    dispatcher.OnHotKey(21);
    EXPECT_EQ(write.calls, 0);
    dispatcher.Unregister(21);
    dispatcher.Disable();
    EXPECT_FALSE(dispatcher.IsEnabled());
}

TEST(CvHotKeyDispatcher, DestructionReleasesGrabsAndDetachesFromTheGrabber) {
    FakeGrabber grabber;
    Action write;
    {
        CvHotKeyDispatcher dispatcher(&grabber);
        EXPECT_TRUE(grabber.HasHandler());
        dispatcher.Register(21, kCtrlAltM, &write);
        dispatcher.Enable();
    }
    EXPECT_EQ(grabber.log, (Log{"grab 21 mod 3 vk 77", "ungrab 21"}));
    EXPECT_FALSE(grabber.HasHandler());
    grabber.Press(21);  // would reach a destroyed dispatcher
    EXPECT_EQ(write.calls, 0);
}

}  // namespace
