#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Support/Signal.h"

namespace torvel {
namespace {

// What observers do to the list while they are told: each change counts from the next emit on.
TEST(Signal, ObserversMayChangeTheListWhileBeingTold) {
    std::vector<bool> observed;
    Signal<int> signal([&](bool value) { observed.push_back(value); });
    std::vector<int> calls;
    Connection second;
    Connection late;
    Connection first = signal.connect([&](int value) {
        calls.push_back(value);
        second.reset();  // a later observer left: it is not told any more
        late = signal.connect([&](int v) { calls.push_back(100 + v); });
    });
    second = signal.connect([&](int value) { calls.push_back(10 + value); });
    EXPECT_EQ(observed, std::vector<bool>{true});

    signal.emit(1);
    EXPECT_EQ(calls, std::vector<int>{1});  // the one connected meanwhile waits for the next emit
    calls.clear();
    first.reset();
    signal.emit(2);
    EXPECT_EQ(calls, std::vector<int>{102});
    late.reset();
    EXPECT_EQ(observed, (std::vector<bool>{true, false}));
    EXPECT_FALSE(signal.isObserved());
}

// An observer that ends the signal's owner (a view closed from its own event) ends the emit there: the
// observers after it are not told of an owner that is gone, and their connections outlive the signal.
TEST(Signal, AnObserverMayDestroyTheSignalsOwner) {
    struct Owner {
        Signal<std::vector<int>> changed;
    };
    auto owner = std::make_unique<Owner>();
    int told = 0;
    const Connection first = owner->changed.connect([&](const std::vector<int>& values) {
        ++told;
        owner.reset();
        EXPECT_EQ(values.size(), 3u);  // the arguments live on with the emit
    });
    const Connection second = owner->changed.connect([&](const std::vector<int>&) { ++told; });
    owner->changed.emit({1, 2, 3});
    EXPECT_EQ(told, 1);
    EXPECT_EQ(owner, nullptr);
}

}  // namespace
}  // namespace torvel
