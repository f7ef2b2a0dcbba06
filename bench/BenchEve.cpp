// The eavesdropper against its targets: rho's steps per second on fields of one and two words,
// the test values' secret, points of prime order near 2^48 and 2^56 (steps taken against
// sqrt(pi n / 4)), and the estimates for the standard curves.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>

#include "BenchCurves.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"
#include "eve/Attack.h"
#include "eve/FieldCurve.h"
#include "eve/Rho.h"
#include "eve/Texts.h"

namespace {

bignum::Natural natural(const std::string& hex) {
    bignum::Natural n;
    n.fromHex(hex);
    return n;
}

// A curve and a point of tests/data/eve_curves.txt (made with PARI/GP), as program objects.
class GpCurve {
  public:
    GpCurve(const std::string& q, const std::string& A, const std::string& B, const std::string& Px,
            const std::string& Py, std::string order)
        : q_(natural(q)),
          A_(q_, natural(A)),
          B_(q_, natural(B)),
          P_(q_, A_, B_, bignum::Modular(q_, natural(Px)), bignum::Modular(q_, natural(Py))),
          order_(std::move(order)) {}
    GpCurve(const GpCurve&) = delete;
    GpCurve& operator=(const GpCurve&) = delete;

    const curve::CurvePoint& P() const noexcept { return P_; }
    const std::string& order() const noexcept { return order_; }

  private:
    bignum::Natural q_;
    bignum::Modular A_, B_;
    curve::CurvePoint P_;
    std::string order_;
};

const GpCurve& gpCurve(const std::string& kind) {
    static const auto curves = [] {
        std::map<std::string, std::unique_ptr<GpCurve>> read;
        std::ifstream file(KX_EVE_CURVES);
        std::string name, q, A, B, Px, Py, order, primes;
        while (file >> name >> q >> A >> B >> Px >> Py >> order >> primes) {
            read[name] = std::make_unique<GpCurve>(q, A, B, Px, Py, order);
        }
        return read;
    }();
    const auto found = curves.find(kind);
    if (found == curves.end()) {
        throw std::runtime_error("no curve " + kind + " in " KX_EVE_CURVES);
    }
    return *found->second;
}

// Rounds of 512 walks on the curve's field, one step each; the rate is steps per second.
template <std::size_t N>
void rhoSteps(benchmark::State& state, const std::string& kind) {
    const curve::CurvePoint& P = gpCurve(kind).P();
    const auto field = eve::FieldCurve<N>::of(P.q(), P.A().value(), P.B().value());
    const auto G = field->load(P);
    const auto H = field->load(curve::multiply(P, natural("123456789ABCDEF")));
    eve::Random random(1);
    eve::Walks<N> walks(*field, *G, *H, eve::Wide{1} << 64, 512, random);
    for (auto _ : state) {
        walks.step();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(walks.count()));
}
void rhoStepsOneWord(benchmark::State& state, const std::string& kind) {
    rhoSteps<1>(state, kind);
}
BENCHMARK_CAPTURE(rhoStepsOneWord, testvalues, "testvalues");
BENCHMARK_CAPTURE(rhoStepsOneWord, prime56, "prime56");
#ifndef KX_NARROW_WORDS
void rhoStepsTwoWords(benchmark::State& state, const std::string& kind) {
    rhoSteps<2>(state, kind);
}
BENCHMARK_CAPTURE(rhoStepsTwoWords, beyond80, "beyond");
#endif

// The whole attack on a secret drawn anew each iteration: the time per attack, and the rho steps
// on the largest prime against sqrt(pi n / 4).
void attack(benchmark::State& state, const std::string& kind) {
    const GpCurve& gp = gpCurve(kind);
    const double n = std::stod("0x" + gp.order());
    eve::Random random(20250425);
    double steps = 0, largest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto a = static_cast<std::uint64_t>(random.next() % static_cast<std::uint64_t>(n));
        const curve::CurvePoint Q = curve::multiply(gp.P(), natural(eve::toNatural(a).toHex()));
        eve::Options options;
        options.seed = random.next();
        state.ResumeTiming();
        const eve::Result result = eve::attack(gp.P(), Q, options);
        if (result.outcome != eve::Outcome::found ||
            result.secret.toHex() != std::string(eve::toNatural(a).toHex())) {
            state.SkipWithError("the attack did not find the secret");
            return;
        }
        for (const eve::FactorWork& f : result.factors) {
            steps += static_cast<double>(f.steps);
            largest = std::max(largest, std::stod("0x" + std::string(f.prime.toHex())));
        }
    }
    const double expected = std::sqrt(std::numbers::pi * largest / 4);
    state.counters["steps"] = benchmark::Counter(steps, benchmark::Counter::kAvgIterations);
    state.counters["expected"] = expected;
    state.counters["steps/expected"] =
        benchmark::Counter(steps / expected, benchmark::Counter::kAvgIterations);
    state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(attack, testvalues, "testvalues")->Unit(benchmark::kMillisecond);
// Seconds and a minute per run: a few runs at most, whatever the repetitions asked for.
BENCHMARK_CAPTURE(attack, prime48, "prime48")
    ->Unit(benchmark::kSecond)
    ->Iterations(4)
    ->Repetitions(1);
BENCHMARK_CAPTURE(attack, prime56, "prime56")
    ->Unit(benchmark::kSecond)
    ->Iterations(2)
    ->Repetitions(1);

// The estimate a curve beyond reach gets: the rho step measured on it, and the text.
void estimate(benchmark::State& state, std::size_t index) {
    const bench::CurveParameters& c = bench::benchmarkCurves()[index];
    bignum::Natural q = natural(std::string(c.q));
    bignum::Modular A(q, natural(std::string(c.A))), B(q, natural(std::string(c.B)));
    const curve::CurvePoint P(q, A, B, bignum::Modular(q, natural(std::string(c.Px))),
                              bignum::Modular(q, natural(std::string(c.Py))));
    eve::Result result;
    for (auto _ : state) {
        result = eve::attack(P, P);
    }
    if (!result.estimate) {
        state.SkipWithError("no estimate");
        return;
    }
    state.counters["log2 steps"] = result.estimate->log2Steps;
    state.counters["log10 years"] = result.estimate->log10Years;
    state.counters["us/step"] = result.estimate->secondsPerStep * 1e6;
    state.SetLabel(eve::estimateText(*result.estimate));
}
BENCHMARK_CAPTURE(estimate, secp256r1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(estimate, secp384r1, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(estimate, secp521r1, 3)->Unit(benchmark::kMillisecond);

}  // namespace
