// Scalar multiplication on four curves against GMP running the same affine algorithm and against
// OpenSSL's generic prime-field code, the whole update a user waits for after a click, and hex
// text conversion at three sizes.

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BenchCurves.h"
#include "GmpAffine.h"
#include "OpenSslGeneric.h"
#include "app/ExchangeFiles.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"
#include "app/RandomSource.h"
#include "app/TextField.h"
#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"

namespace {

using bench::CurveParameters;

constexpr std::uint64_t scalarSeed = 0x5EED0001;
constexpr std::uint64_t otherScalarSeed = 0x5EED0002;
constexpr std::uint64_t hexSeed = 0x5EED0003;

// One benchmark curve with the program's own objects and the reference answers, which are
// computed the first time a benchmark asks for them.
class CurveSetup {
  public:
    explicit CurveSetup(const CurveParameters& parameters)
        : parameters_(parameters),
          aHex_(bench::fullSizeScalarBelow(parameters.q, scalarSeed ^ parameters.q.size())),
          bHex_(bench::fullSizeScalarBelow(parameters.q, otherScalarSeed ^ parameters.q.size())),
          A_(q_),
          B_(q_),
          P_(q_, A_, B_) {
        q_.fromHex(parameters.q);
        A_.value().fromHex(parameters.A);
        A_.value().reduce(q_);
        B_.value().fromHex(parameters.B);
        B_.value().reduce(q_);
        P_.setAtInfinity(false);
        P_.x().value().fromHex(parameters.Px);
        P_.x().value().reduce(q_);
        P_.y().value().fromHex(parameters.Py);
        P_.y().value().reduce(q_);
        a_.fromHex(aHex_);
    }
    CurveSetup(const CurveSetup&) = delete;
    CurveSetup& operator=(const CurveSetup&) = delete;

    const CurveParameters& parameters() const noexcept { return parameters_; }
    const std::string& aHex() const noexcept { return aHex_; }
    const curve::CurvePoint& P() const noexcept { return P_; }
    const bignum::Natural& a() const noexcept { return a_; }

    // Empty when the constants describe a prime curve with its base point on it and agree with
    // OpenSSL's table, otherwise what is wrong.
    const std::string& problem() {
        if (!problem_) {
            problem_ = findProblem();
        }
        return *problem_;
    }

    // a*P by the program, as point text.
    const std::string& ourResult() {
        if (!ourResult_) {
            ourResult_ = curve::multiply(P_, a_).toText();
        }
        return *ourResult_;
    }

    struct References {
        std::string aP;
        std::string bP;
        std::string abP;
    };

    // a*P, b*P and a*(b*P) by the GMP peer.
    const References& references() {
        if (!references_) {
            bench::GmpAffineCurve peer(parameters_);
            const bench::Mpz a(aHex_);
            const bench::Mpz b(bHex_);
            const bench::GmpPoint bP = peer.multiply(peer.basePoint(), b);
            references_ =
                References{bench::GmpAffineCurve::pointText(peer.multiply(peer.basePoint(), a)),
                           bench::GmpAffineCurve::pointText(bP),
                           bench::GmpAffineCurve::pointText(peer.multiply(bP, a))};
        }
        return *references_;
    }

  private:
    std::string findProblem() const {
        bench::GmpAffineCurve peer(parameters_);
        if (!peer.hasPrimeModulus()) {
            return "q of " + std::string(parameters_.name) + " is not prime";
        }
        if (!peer.isOnCurve(peer.basePoint())) {
            return "the base point of " + std::string(parameters_.name) + " is off its curve";
        }
        return bench::namedCurveMismatch(parameters_);
    }

    const CurveParameters& parameters_;
    std::string aHex_;
    std::string bHex_;
    bignum::Natural q_;
    bignum::Modular A_;
    bignum::Modular B_;
    curve::CurvePoint P_;
    bignum::Natural a_;
    std::optional<std::string> problem_;
    std::optional<std::string> ourResult_;
    std::optional<References> references_;
};

// Nine text fields in memory; counts the messages instead of showing them.
class FakeView final : public app::KeyExchangeView {
  public:
    std::string fieldText(app::TextField field) const override {
        return fields_[static_cast<std::size_t>(field)];
    }
    void setFieldText(app::TextField field, std::string_view text) override {
        fields_[static_cast<std::size_t>(field)].assign(text);
    }
    void showMessage(std::string_view, std::string_view, app::MessageIcon) override { ++messages_; }

    int messages() const noexcept { return messages_; }

  private:
    std::array<std::string, app::allTextFields.size()> fields_;
    int messages_ = 0;
};

// A fixed sequence of words; the update does not draw any.
class FixedRandom final : public app::RandomSource {
  public:
    std::uint32_t nextWord() override {
        state_ = state_ * 1664525U + 1013904223U;
        return state_;
    }

  private:
    std::uint32_t state_ = 1;
};

// Runs a check outside the timed loop; returns false after reporting a failure or an exception.
template <typename Check>
bool passes(benchmark::State& state, Check&& check) {
    try {
        const std::string failure = check();
        if (failure.empty()) {
            return true;
        }
        state.SkipWithError(failure.c_str());
    } catch (const std::exception& e) {
        const std::string failure = std::string("exception: ") + e.what();
        state.SkipWithError(failure.c_str());
    }
    return false;
}

std::string mismatch(std::string_view peer, const std::string& theirs, const std::string& ours) {
    if (theirs == ours) {
        return {};
    }
    return std::string(peer) + " gives " + theirs + " but the program gives " + ours;
}

void multiplyBenchmark(benchmark::State& state, CurveSetup& setup) {
    if (!passes(state, [&] { return setup.problem(); }) ||
        !passes(state, [&] { return mismatch("GMP", setup.references().aP, setup.ourResult()); })) {
        return;
    }
    for (auto _ : state) {
        curve::CurvePoint result = curve::multiply(setup.P(), setup.a());
        benchmark::DoNotOptimize(result);
    }
}

void gmpAffineBenchmark(benchmark::State& state, CurveSetup& setup) {
    bench::GmpAffineCurve peer(setup.parameters());
    const bench::GmpPoint P = peer.basePoint();
    const bench::Mpz a(setup.aHex());
    if (!passes(state, [&] { return setup.problem(); }) || !passes(state, [&] {
            return mismatch("GMP", bench::GmpAffineCurve::pointText(peer.multiply(P, a)),
                            setup.ourResult());
        })) {
        return;
    }
    for (auto _ : state) {
        bench::GmpPoint result = peer.multiply(P, a);
        benchmark::DoNotOptimize(result);
    }
}

void openSslGenericBenchmark(benchmark::State& state, CurveSetup& setup) {
    std::unique_ptr<bench::OpenSslGenericCurve> peer;
    if (!passes(state, [&] { return setup.problem(); }) || !passes(state, [&] {
            peer = std::make_unique<bench::OpenSslGenericCurve>(setup.parameters());
            peer->setScalar(setup.aHex());
            peer->multiply();
            return mismatch("OpenSSL", peer->resultText(), setup.ourResult());
        })) {
        return;
    }
    for (auto _ : state) {
        peer->multiply();
    }
}

void updatePaPabBenchmark(benchmark::State& state, CurveSetup& setup) {
    FixedRandom random;
    FakeView view;
    app::KeyExchange exchange(random);
    const CurveParameters& parameters = setup.parameters();
    view.setFieldText(app::TextField::q, parameters.q);
    view.setFieldText(app::TextField::A, parameters.A);
    view.setFieldText(app::TextField::B, parameters.B);
    view.setFieldText(app::TextField::Px, parameters.Px);
    view.setFieldText(app::TextField::Py, parameters.Py);
    view.setFieldText(app::TextField::a, setup.aHex());
    if (!passes(state, [&] { return setup.problem(); }) || !passes(state, [&] {
            const CurveSetup::References& expected = setup.references();
            std::string received;
            for (const std::string_view number :
                 {parameters.q, parameters.A, parameters.B, parameters.Px, parameters.Py}) {
                received += std::string(number) + "*";
            }
            if (!app::openPublicData(exchange, view, received + expected.bP, "b.public")) {
                return std::string("the other's public data was refused");
            }
            exchange.updatePaPab(view);
            if (view.messages() != 0) {
                return std::string("the update complained about the input");
            }
            const std::string pa = mismatch("GMP", expected.aP, view.fieldText(app::TextField::Pa));
            return pa.empty() ? mismatch("GMP", expected.abP, view.fieldText(app::TextField::Pab))
                              : pa;
        })) {
        return;
    }
    for (auto _ : state) {
        exchange.updatePaPab(view);
    }
}

void fromHexBenchmark(benchmark::State& state) {
    const auto digits = static_cast<std::size_t>(state.range(0));
    const std::string text = bench::randomHexDigits(digits, hexSeed);
    bignum::Natural value;
    if (!passes(state, [&] {
            value.fromHex(text);
            return mismatch("the digits", text, value.toHex());
        })) {
        return;
    }
    for (auto _ : state) {
        value.fromHex(text);
        benchmark::DoNotOptimize(value.limbs().data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void toHexBenchmark(benchmark::State& state) {
    const auto digits = static_cast<std::size_t>(state.range(0));
    const std::string text = bench::randomHexDigits(digits, hexSeed);
    bignum::Natural value;
    if (!passes(state, [&] {
            value.fromHex(text);
            return mismatch("the digits", text, value.toHex());
        })) {
        return;
    }
    for (auto _ : state) {
        const char* rendered = value.toHex();
        benchmark::DoNotOptimize(rendered);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

std::vector<std::unique_ptr<CurveSetup>> registerCurveBenchmarks() {
    std::vector<std::unique_ptr<CurveSetup>> setups;
    for (const CurveParameters& parameters : bench::benchmarkCurves()) {
        CurveSetup& setup = *setups.emplace_back(std::make_unique<CurveSetup>(parameters));
        const std::string suffix = "/" + std::string(parameters.name);
        benchmark::RegisterBenchmark(("BM_Multiply" + suffix).c_str(), multiplyBenchmark,
                                     std::ref(setup))
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_GmpAffine" + suffix).c_str(), gmpAffineBenchmark,
                                     std::ref(setup))
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_OpenSslGeneric" + suffix).c_str(),
                                     openSslGenericBenchmark, std::ref(setup))
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_UpdatePaPab" + suffix).c_str(), updatePaPabBenchmark,
                                     std::ref(setup))
            ->Unit(benchmark::kMicrosecond);
    }
    return setups;
}

void registerHexBenchmarks() {
    using Function = void (*)(benchmark::State&);
    const std::array<std::pair<const char*, Function>, 2> benchmarks{
        {{"BM_FromHex", fromHexBenchmark}, {"BM_ToHex", toHexBenchmark}}};
    for (const auto& [name, function] : benchmarks) {
        benchmark::RegisterBenchmark(name, function)
            ->Arg(64)
            ->Arg(4096)
            ->Arg(200000)
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const std::vector<std::unique_ptr<CurveSetup>> setups = registerCurveBenchmarks();
    registerHexBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
