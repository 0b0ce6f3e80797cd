#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/System.h"

namespace brindle::rig {

// A clock that moves only when the code sleeps (or a test advances it), so that every wait is
// measured exactly and a long transfer runs in milliseconds.
class VirtualClock : public Clock {
public:
    void sleepMs(int ms) override {
        ++sleeps_;
        advanceNs(static_cast<std::int64_t>(ms) * 1'000'000);
    }
    std::int64_t nowSeconds() override { return startSeconds_ + nowNs_ / 1'000'000'000; }

    void advanceNs(std::int64_t ns) {
        nowNs_ += ns;
        for (auto& listener : listeners_) listener(nowNs_);
    }
    std::int64_t nowNs() const { return nowNs_; }
    double nowMs() const { return static_cast<double>(nowNs_) / 1e6; }
    int sleeps() const { return sleeps_; }

    // Called with the new time after every advance.
    void addListener(std::function<void(std::int64_t)> listener) {
        listeners_.push_back(std::move(listener));
    }

private:
    std::int64_t nowNs_ = 0;
    std::int64_t startSeconds_ = 1'000'000;
    int sleeps_ = 0;
    std::vector<std::function<void(std::int64_t)>> listeners_;
};

}  // namespace brindle::rig
