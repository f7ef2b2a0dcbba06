#pragma once

// Eve's attack: from a curve, its point P and a public point Q = a P, the secret modulo ord(P),
// found by Pohlig-Hellman with a square-root search per prime of the order, or a reason why it
// cannot be, with an estimate of the time a curve beyond reach would take. Shell-neutral; the
// caller owns the points and may watch and stop the work from another thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "bignum/Natural.h"
#include "curve/CurvePoint.h"

namespace eve {

// Set by the caller, from any thread or a signal handler, to end an attack early; the attack
// notices it within one round of its search and returns Outcome::stopped.
class StopRequest {
  public:
    void request() noexcept { requested_.store(true, std::memory_order_relaxed); }
    bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> requested_{false};
};

enum class Stage {
    order,      // finding ord(P)
    logarithm,  // the secret modulo one prime of ord(P)
};

struct Progress {
    Stage stage = Stage::order;
    bignum::Natural prime;  // worked on; zero while the order is sought
    std::uint64_t stepsDone = 0;
    std::uint64_t stepsExpected = 0;  // on average, for this prime or for the order
};

// Told how the work goes, on the attack's own thread, at the start of each search and every
// 65536 steps or so.
class ProgressObserver {
  public:
    virtual ~ProgressObserver() = default;
    virtual void progress(const Progress& progress) = 0;

  protected:
    ProgressObserver() = default;
    ProgressObserver(const ProgressObserver&) = default;
    ProgressObserver& operator=(const ProgressObserver&) = default;
};

enum class Method {
    none,               // nothing to search: Q has no part of this prime's order
    babyStepGiantStep,  // Shanks
    rho,                // Pollard, with distinguished points
};

struct Options {
    // A prime factor of ord(P) above 2^limitBits is refused: 2^66 costs about 2^33 rho steps.
    unsigned limitBits = 66;
    // Primes up to this (and below 5) are searched by baby-step giant-step, larger ones by rho;
    // beyond 2^40 always by rho, whose memory does not grow with the prime.
    std::uint64_t largestShanksPrime = std::uint64_t{1} << 24;
    std::uint64_t seed = 1;  // of the random walks: the same seed repeats a run
    const StopRequest* stop = nullptr;
    ProgressObserver* observer = nullptr;
};

enum class Outcome {
    found,
    noSuchSecret,       // Q is not a multiple of P
    stopped,            // by the caller
    qNotPrime,          // tested where q < 2^80; q above 2 is assumed prime beyond
    singularCurve,      // 4A^3 + 27B^2 = 0, or q = 2
    pointOffCurve,      // P or Q, or a coordinate not below q
    differentCurves,    // P and Q do not share q, A and B
    orderBeyondReach,   // q >= 2^80: ord(P) cannot be found
    factorBeyondLimit,  // the largest prime of ord(P) is above 2^limitBits
    unsolved,           // not expected: no answer came through its check
};

// The expected cost of rho on a prime n: sqrt(pi n / 4) steps at the speed measured here.
struct Estimate {
    double log2Steps = 0;
    double secondsPerStep = 0;
    double log10Years = 0;
    std::size_t primeBits = 0;  // of n
    bool orderUnknown = false;  // n = q, as if the order were a prime the size of q
};

// One prime p^e of ord(P), and the work its part of the secret took.
struct FactorWork {
    bignum::Natural prime;
    unsigned exponent = 0;
    Method method = Method::none;
    std::uint64_t steps = 0;
    std::chrono::duration<double> time{};
};

struct Result {
    Outcome outcome = Outcome::unsolved;
    bignum::Natural secret;           // a' < ord(P) with a' P = Q, checked by a multiplication
    bignum::Natural order;            // ord(P), when found (also for the later refusals)
    std::vector<FactorWork> factors;  // of ord(P), primes ascending
    std::chrono::duration<double> orderTime{};  // to find and factor ord(P)
    std::chrono::duration<double> totalTime{};
    std::optional<Estimate> estimate;  // with orderBeyondReach and factorBeyondLimit
};

// The a' below ord(P) with a' P = Q. Reads P and Q, which must share q, A and B; q must be
// prime (tested below 2^80), the curve non-singular, and both points on it, or the outcome says
// which fails. Returns found only with an a' that one multiplication has confirmed. Throws only
// std::bad_alloc.
Result attack(const curve::CurvePoint& P, const curve::CurvePoint& Q, const Options& options = {});

}  // namespace eve
