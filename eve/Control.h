#pragma once

// The caller's hold on a running attack: counts the steps of the current search, reports them
// now and then, and ends the search by throwing Stopped when the caller asks. Private to eve/.

#include <cstdint>

#include "eve/Attack.h"
#include "eve/Wide.h"

namespace eve {

struct Stopped {};

class Control {
  public:
    explicit Control(const Options& options) noexcept
        : stop_(options.stop), observer_(options.observer) {}

    // A new search, of the given prime (0 for the order) and expected length.
    void begin(Stage stage, Wide prime, std::uint64_t expected) {
        stage_ = stage;
        prime_ = prime;
        expected_ = expected;
        done_ = 0;
        nextReport_ = reportInterval;
        report();
        advance(0);
    }

    // Counts steps of the search; throws Stopped when the caller asks.
    void advance(std::uint64_t steps) {
        done_ += steps;
        total_ += steps;
        if (stop_ != nullptr && stop_->requested()) {
            throw Stopped{};
        }
        if (done_ >= nextReport_) {
            nextReport_ = done_ + reportInterval;
            report();
        }
    }

    std::uint64_t total() const noexcept { return total_; }

  private:
    static constexpr std::uint64_t reportInterval = 1U << 16;

    void report() {
        if (observer_ != nullptr) {
            observer_->progress({stage_, toNatural(prime_), done_, expected_});
        }
    }

    const StopRequest* stop_;
    ProgressObserver* observer_;
    Stage stage_ = Stage::order;
    Wide prime_ = 0;
    std::uint64_t expected_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t nextReport_ = reportInterval;
};

}  // namespace eve
