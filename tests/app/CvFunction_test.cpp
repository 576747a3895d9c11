#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/CvMemberFunction.h"
#include "app/CvMemberFunctionSafe.h"
#include "support/TestEnv.h"

namespace {

struct Target {
    int calls = 0;
    std::string last;
    void Tick() { ++calls; }
    int Answer() { return 42; }
    void Take(std::string& text) {
        last = text;
        text = "changed";
    }
    void Pair(int& a, int& b) { std::swap(a, b); }
};

TEST(CvMemberFunction, BindingsReachTheTargetWithArgumentsUnchanged) {
    Target target;
    CvVoidNullaryMemberFunction<Target> tick(&target, &Target::Tick);
    CvTypedNullaryMemberFunction<Target, int> answer(&target, &Target::Answer);
    CvVoidUnaryMemberFunction<Target, std::string&> take(&target, &Target::Take);
    CvVoidBinaryMemberFunction<Target, int&, int&> pair(&target, &Target::Pair);

    CvNullaryFunction<void>& asInterface = tick;
    asInterface();
    tick.Invoke();
    EXPECT_EQ(target.calls, 2);
    EXPECT_EQ(answer(), 42);

    std::string text = "hello";
    take(text);  // by reference: the callee sees and may change the caller's object
    EXPECT_EQ(target.last, "hello");
    EXPECT_EQ(text, "changed");

    int a = 1, b = 2;
    pair(a, b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
}

struct SlowTarget {
    std::atomic<int> entered{0};
    std::atomic<int> finished{0};
    std::atomic<bool> release{false};
    void OnValue(int& value) {
        ++entered;
        while (!release) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        value += 1;
        ++finished;
    }
};

TEST(CvUnaryMemberFunctionSafe, UnbindWaitsForRunningInvokeAndCutsOffLaterOnes) {
    SlowTarget target;
    auto binding = std::make_shared<CvVoidUnaryMemberFunctionSafe<SlowTarget, int&>>(
        &target, &SlowTarget::OnValue);

    int value = 0;
    std::thread caller([binding, &value] { (*binding)(value); });
    ASSERT_TRUE(WaitUntil([&] { return target.entered == 1; }));

    // What the running invoke had done when Unbind returned: it may only
    // return once the invoke has finished.
    std::atomic<int> finishedWhenUnbound{-1};
    std::thread unbinder([&] {
        binding->Unbind();
        finishedWhenUnbound = target.finished.load();
    });
    // An Unbind that does not wait returns here, with the invoke held.
    WaitUntil([&] { return finishedWhenUnbound != -1; }, std::chrono::milliseconds(200));
    target.release = true;
    unbinder.join();
    caller.join();
    EXPECT_EQ(finishedWhenUnbound, 1) << "Unbind returned while an invoke was still running";
    EXPECT_EQ(target.finished, 1);

    int later = 0;
    (*binding)(later);  // no target any more: does nothing
    EXPECT_EQ(later, 0);
    EXPECT_EQ(target.entered, 1);

    binding->Bind(&target, &SlowTarget::OnValue);
    (*binding)(later);
    EXPECT_EQ(later, 1);
}

TEST(CvUnaryMemberFunctionSafe, UnboundNonVoidBindingReturnsDefault) {
    struct Doubler {
        int Twice(int v) { return 2 * v; }
    } doubler;
    CvUnaryMemberFunctionSafe<Doubler, int, int> binding(&doubler, &Doubler::Twice);
    EXPECT_EQ(binding(21), 42);
    binding.Unbind();
    EXPECT_EQ(binding(21), 0);
}

TEST(CvUnaryMemberFunctionSafe, SeveralInvokesRunAtOnce) {
    SlowTarget target;
    CvVoidUnaryMemberFunctionSafe<SlowTarget, int&> binding(&target, &SlowTarget::OnValue);
    int a = 0, b = 0;
    std::thread first([&] { binding(a); });
    std::thread second([&] { binding(b); });
    EXPECT_TRUE(WaitUntil([&] { return target.entered == 2; }));
    target.release = true;
    first.join();
    second.join();
    EXPECT_EQ(a + b, 2);
}

}  // namespace
