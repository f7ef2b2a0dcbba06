#include <gmock/gmock.h>
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"
#include "eve/Attack.h"
#include "eve/Factoring.h"
#include "eve/Texts.h"
#include "tests/support/Curve.h"
#include "tests/support/GpCurves.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using bignum::Natural;
using curve::CurvePoint;
using eve::attack;
using eve::Method;
using eve::Options;
using eve::Outcome;

// Q = a P on a curve of their own, from the oracle's curve or gp's, where Q is P.
struct Problem : Curve {
    Problem(const SmallCurve& c, const AffinePoint& p, const AffinePoint& aP)
        : Curve(c), P(point(p)), Q(point(aP)) {}
    explicit Problem(const GpCurve& gp) : Curve(gp.q, gp.A, gp.B), P(point(gp.Px, gp.Py)), Q(P) {}
    eve::Result attack(const Options& options = {}) const { return eve::attack(P, Q, options); }

    CurvePoint P, Q;
};

std::uint64_t orderOf(const SmallCurve& c, const AffinePoint& P) {
    std::uint64_t n = 1;
    for (AffinePoint R = P; !R.atInfinity; R = c.add(R, P)) {
        ++n;
    }
    return n;
}

// Rho on every prime from 5.
const Options forcingRho{.largestShanksPrime = 0};

// On small curves, P of the largest order, of order 2 and at infinity: every secret up to twice
// ord(P) is found modulo ord(P), and every point that is no multiple of P, listed by the
// oracle, has no secret. Searched by baby-step giant-step, then by rho wherever the prime
// allows; the curves holding Z/p x Z/p make rho first ask the pairing whether Q is a multiple.
TEST(Eve, EverySecretOnSmallCurvesAgreesWithTheOracle) {
    std::vector<SmallCurve> smalls{{0x17, 1, 1}, {0x65, 3, 0}};
    for (const char* kind : {"torsion5", "torsion7", "torsion11", "torsion13"}) {
        smalls.push_back(gpCurves().at(kind).small());
    }
    if (!sanitized) {
        smalls.insert(smalls.end(), {{0x1F, 0, 7}, {0x25, 2, 3}});
    } else {
        smalls.resize(4);  // the sanitizer build leaves out the larger groups
    }
    for (const SmallCurve& small : smalls) {
        std::vector<AffinePoint> all{AffinePoint{}};
        for (std::uint64_t x = 0; x < small.q; ++x) {
            for (std::uint64_t y = 0; y < small.q; ++y) {
                if (small.contains({false, x, y})) {
                    all.push_back({false, x, y});
                }
            }
        }
        std::vector<AffinePoint> bases{AffinePoint{}, all[1]};
        for (const AffinePoint& p : all) {
            bases[1] = orderOf(small, p) > orderOf(small, bases[1]) ? p : bases[1];
            if (!p.atInfinity && p.y == 0 && bases.size() == 2) {
                bases.push_back(p);
            }
        }
        for (const AffinePoint& P : bases) {
            const std::uint64_t n = orderOf(small, P);
            std::vector<bool> multiple(all.size());
            for (const Options& options : {Options{}, forcingRho}) {
                for (std::uint64_t a = 0; a < 2 * n; ++a) {
                    const AffinePoint Q = small.multiply(hexText(a), P);
                    const eve::Result result = Problem(small, P, Q).attack(options);
                    ASSERT_EQ(result.outcome, Outcome::found)
                        << pointText(P) << " a " << a << " mod " << small.q;
                    EXPECT_EQ(result.secret.toHex(), hexText(a % n));
                    EXPECT_EQ(result.order.toHex(), hexText(n));
                    for (std::size_t i = 0; i < all.size(); ++i) {
                        multiple[i] = multiple[i] || pointText(all[i]) == pointText(Q);
                    }
                }
                for (std::size_t i = 0; i < all.size(); ++i) {
                    if (!multiple[i]) {
                        EXPECT_EQ(Problem(small, P, all[i]).attack(options).outcome,
                                  Outcome::noSuchSecret)
                            << pointText(all[i]) << " from " << pointText(P) << " mod " << small.q;
                    }
                }
            }
        }
    }
}

class GpOrders : public testing::TestWithParam<std::string> {};

// Orders of each kind, against gp's: a random secret below twice the order comes back modulo
// it, with the order's primes and the method each took, by the default switch-over and with rho
// forced onto every prime from 5.
TEST_P(GpOrders, SecretAndOrderAgreeWithGp) {
    const GpCurve& gp = gpCurves().at(GetParam());
    const mpz_class n(gp.order, 16);
    gmp_randclass random(gmp_randinit_default);
    random.seed(testSeed());
    const mpz_class a = random.get_z_range(2 * n);
    const std::string aHex = mpz_class(a).get_str(16);
    SCOPED_TRACE("seed " + std::to_string(testSeed()) + ", a " + aHex);
    const std::string primes = std::regex_replace(gp.primes, std::regex("\\*"), " \xB7 ");
    // Q by the oracle where q fits it, else by the program's own multiplication.
    Problem problem(gp);
    problem.Q = gp.q.size() < 16 ? problem.point(gp.small().multiply(aHex, gp.P()))
                                 : curve::multiply(problem.P, natural(aHex));
    for (Options options : {Options{}, forcingRho}) {
        options.seed = mpz_class(random.get_z_bits(64)).get_ui();
        const eve::Result result = problem.attack(options);
        ASSERT_EQ(result.outcome, Outcome::found);
        EXPECT_EQ(result.secret, natural(mpz_class(a % n).get_str(16)));
        EXPECT_EQ(orderText(result, false),
                  gp.primes == gp.order ? gp.order : gp.order + " = " + primes);
        // A prime whose part of the secret is zero needs no search.
        for (const eve::FactorWork& f : result.factors) {
            const mpz_class p(f.prime.toHex(), 16);
            mpz_class pe;
            mpz_pow_ui(pe.get_mpz_t(), p.get_mpz_t(), f.exponent);
            const Method method = a % pe == 0 ? Method::none
                                  : p > options.largestShanksPrime && p >= 5
                                      ? Method::rho
                                      : Method::babyStepGiantStep;
            EXPECT_EQ(f.method, method) << f.prime.toHex();
            EXPECT_EQ(f.steps > 0, method != Method::none) << f.prime.toHex();
        }
    }
}

// The sanitizer build skips the orders whose largest prime takes 10^5 rho steps.
INSTANTIATE_TEST_SUITE_P(
    Eve, GpOrders,
    testing::ValuesIn(sanitized
                          ? std::vector<std::string>{"primepower", "smooth", "smallorder"}
                          : std::vector<std::string>{"testvalues", "prime", "primepower", "smooth",
                                                     "twoprime", "smallorder", "twowords"}));

// A prime just above the limit, and q from 2^80 on: refused with an estimate from sqrt(pi n / 4)
// steps at a measured speed, n = q when the order is unknown. The command line's tests hold the
// limit's edge, the words, and no caveat where the order is known.
TEST(Eve, RefusesBeyondItsLimitsWithAnEstimate) {
    const GpCurve& smooth = gpCurves().at("smooth");  // ord(P)'s largest prime 69D has 11 bits
    const Problem problem(smooth);
    eve::Result result = problem.attack({.limitBits = 10});
    EXPECT_EQ(result.outcome, Outcome::factorBeyondLimit);
    EXPECT_EQ(result.order.toHex(), smooth.order);
    ASSERT_TRUE(result.estimate);
    EXPECT_NEAR(result.estimate->log2Steps, (std::log2(std::numbers::pi / 4 * 0x69D)) / 2, 0.01);
    // Years are the steps times the seconds each takes.
    EXPECT_NEAR(result.estimate->log10Years,
                std::log10(std::exp2(result.estimate->log2Steps) * result.estimate->secondsPerStep /
                           (365.25 * 86400)),
                1e-9);

    // On either side of 2^80: a point of order 7 just below, whose order is found at once.
    result = Problem(gpCurves().at("below80")).attack();
    EXPECT_EQ(result.outcome, Outcome::found);
    EXPECT_EQ(result.order.toHex(), std::string("7"));
    result = Problem(gpCurves().at("beyond")).attack();
    EXPECT_EQ(result.outcome, Outcome::orderBeyondReach);
    ASSERT_TRUE(result.estimate);
    EXPECT_TRUE(result.estimate->orderUnknown);
    EXPECT_NEAR(result.estimate->log2Steps, (std::log2(std::numbers::pi / 4) + 80) / 2, 0.01);
}

// The estimate's words for times from under a second to powers of ten of years.
TEST(Eve, EstimateTextNamesTheTimeInAFittingUnit) {
    const double year = std::log10(365.25 * 86400);
    const std::vector<std::pair<double, std::string>> rows{
        {-1, "under et sekund"},
        {std::log10(90), "omkring 90 sekunder"},
        {std::log10(3000), "omkring 50 minutter"},
        {std::log10(86400), "omkring 24 timer"},
        {std::log10(86400 * 2.6), "omkring 3 dage"},
        {std::log10(86400 * 300), "omkring 300 dage"},
        {year + std::log10(2.4), "omkring 2 \xE5r"},
        {year + 3, "omkring 1000 \xE5r"},
        {year + 24.6, "omkring 10^25 \xE5r"}};
    for (const auto& [log10Seconds, words] : rows) {
        eve::Estimate e;
        e.log2Steps = 127.8;
        e.log10Years = log10Seconds - year;
        EXPECT_EQ(estimateText(e), "omkring 2^128 trin, " + words + " p\xE5 denne maskine");
    }
}

// Records each report; asks to stop at the first one past stopAfter steps of a search.
struct Watcher : eve::ProgressObserver {
    void progress(const eve::Progress& p) override {
        seen.push_back(p.stage == eve::Stage::order ? "order" : p.prime.toHex());
        expected = p.stepsExpected;
        done = p.stepsDone;
        if (done >= stopAfter) {
            stop.request();
        }
    }
    std::uint64_t stopAfter = 0, expected = 0, done = 0;
    eve::StopRequest stop;
    std::vector<std::string> seen;
};

// Progress names what is searched; a stop asked for at a report ends the search there, before
// the search for the order or part way through rho, with what was found so far kept.
TEST(Eve, StopsWhenTheCallerAsks) {
    const Problem problem(gpCurves().at("smooth"));
    Watcher watcher;
    Options options{.largestShanksPrime = 0, .stop = &watcher.stop, .observer = &watcher};
    EXPECT_EQ(problem.attack(options).outcome, Outcome::stopped);
    EXPECT_THAT(watcher.seen, testing::ElementsAre("order"));
    options.stop = nullptr;
    watcher.seen.clear();
    EXPECT_EQ(problem.attack(options).outcome, Outcome::found);
    EXPECT_THAT(watcher.seen, testing::ElementsAre("order", "3", "7", "47", "2E7", "69D"));
    // rho without the negation map expects sqrt(pi n / 2) steps.
    EXPECT_NEAR(static_cast<double>(watcher.expected), std::sqrt(std::numbers::pi * 0x69D / 2), 1);

    const GpCurve& prime = gpCurves().at("prime48");  // rho expects 2 * 10^7 steps
    Watcher partWay;
    partWay.stopAfter = 1;
    options.observer = &partWay;
    options.stop = &partWay.stop;
    const eve::Result result = Problem(prime).attack(options);
    EXPECT_EQ(result.outcome, Outcome::stopped);
    EXPECT_EQ(result.order.toHex(), prime.order);
    EXPECT_EQ(partWay.seen.back(), prime.order);
    EXPECT_GE(partWay.done, 65536U);
    EXPECT_LT(partWay.done, 65536U + 512);
}

// What the attack refuses to read.
TEST(Eve, RefusesInputThatFailsItsChecks) {
    const auto verdict = [](const SmallCurve& c, const AffinePoint& P, const AffinePoint& Q) {
        return Problem(c, P, Q).attack().outcome;
    };
    const AffinePoint on{false, 3, 0xA}, off{false, 3, 0xB}, zeroOne{false, 0, 1};
    EXPECT_EQ(verdict({0x17, 1, 1}, off, on), Outcome::pointOffCurve);
    EXPECT_EQ(verdict({0x17, 1, 1}, on, off), Outcome::pointOffCurve);
    EXPECT_EQ(verdict({0x15, 1, 1}, zeroOne, zeroOne), Outcome::qNotPrime);
    EXPECT_EQ(verdict({2, 1, 1}, zeroOne, zeroOne), Outcome::singularCurve);  // characteristic 2
    EXPECT_EQ(verdict({0x16, 1, 1}, zeroOne, zeroOne), Outcome::qNotPrime);
    // 4 (-1)^3 + 27 = 23.
    EXPECT_EQ(verdict({0x17, 0x16, 1}, zeroOne, {}), Outcome::singularCurve);
    const Problem one({0x17, 1, 1}, on, on), other({0x17, 1, 2}, {}, {});
    EXPECT_EQ(attack(one.P, other.Q).outcome, Outcome::differentCurves);
}

eve::Wide wideOf(const mpz_class& n) {
    return (eve::Wide{mpz_class(n >> 64).get_ui()} << 64) |
           mpz_class(n & mpz_class("0xFFFFFFFFFFFFFFFF")).get_ui();
}

// Primality and factorisation against GMP, on products of primes of 2 to 41 bits below 2^81,
// and on numbers that fool Miller-Rabin to a few bases.
TEST(Eve, FactorisationAgreesWithGmp) {
    gmp_randclass random(gmp_randinit_default);
    random.seed(testSeed());
    for (std::size_t turn = 0; turn < testIterations(sanitized ? 20 : 80); ++turn) {
        const unsigned long bits = 2 + turn % 40;
        mpz_class n = 1;
        std::map<mpz_class, unsigned> primes;
        while (mpz_sizeinbase(n.get_mpz_t(), 2) + bits <= 81) {
            mpz_class p;
            mpz_nextprime(p.get_mpz_t(), mpz_class(random.get_z_bits(bits)).get_mpz_t());
            n *= p;
            ++primes[p];
        }
        std::string expected, found;
        for (const auto& [p, e] : primes) {
            expected += p.get_str(-16) + "^" + std::to_string(e) + " ";
        }
        const auto factors = eve::factorise(wideOf(n));
        ASSERT_TRUE(factors);
        for (const eve::PrimePower& p : *factors) {
            found += eve::toNatural(p.prime).toHex() + ("^" + std::to_string(p.exponent) + " ");
        }
        EXPECT_EQ(found, expected);
        EXPECT_EQ(eve::isPrime(wideOf(n)), mpz_probab_prime_p(n.get_mpz_t(), 40) != 0)
            << n.get_str(16);
    }
    // Strong pseudoprimes to the bases 2 to 23 and 2 to 37 (OEIS A014233).
    for (const char* n : {"3825123056546413051", "318665857834031151167461"}) {
        EXPECT_FALSE(eve::isPrime(wideOf(mpz_class(n)))) << n;
    }
}

}  // namespace
}  // namespace kxtest
