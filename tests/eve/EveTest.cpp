#include <gmock/gmock.h>
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "eve/Attack.h"
#include "eve/Factoring.h"
#include "eve/Texts.h"
#include "tests/support/SmallCurve.h"
#include "tests/support/Support.h"

namespace kxtest {
namespace {

using bignum::Modular;
using bignum::Natural;
using curve::CurvePoint;
using eve::attack;
using eve::Method;
using eve::Options;
using eve::Outcome;

Natural natural(const std::string& hex) {
    Natural n;
    n.fromHex(hex);
    return n;
}

// y^2 = x^3 + A x + B modulo q; points keep pointers into it, so it never moves.
struct Curve {
    Curve(const std::string& qHex, const std::string& aHex, const std::string& bHex)
        : q(natural(qHex)), A(q, natural(aHex)), B(q, natural(bHex)) {}
    explicit Curve(const SmallCurve& c) : Curve(hexText(c.q), hexText(c.A), hexText(c.B)) {}
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;

    CurvePoint point(const std::string& x, const std::string& y, bool atInfinity = false) {
        Modular xm(q, natural(x)), ym(q, natural(y));
        CurvePoint p(q, A, B, xm, ym);
        p.setAtInfinity(atInfinity);
        return p;
    }
    CurvePoint point(const AffinePoint& p) {
        return point(hexText(p.x), hexText(p.y), p.atInfinity);
    }

    Natural q;
    Modular A, B;
};

// A line of tests/data/eve_curves.txt, made with PARI/GP: the outside oracle of the orders.
struct GpCurve {
    std::string kind, q, A, B, Px, Py, order, primes;

    SmallCurve small() const {
        return {std::stoull(q, nullptr, 16), std::stoull(A, nullptr, 16),
                std::stoull(B, nullptr, 16)};
    }
    AffinePoint P() const {
        return {false, std::stoull(Px, nullptr, 16), std::stoull(Py, nullptr, 16)};
    }
};

const std::map<std::string, GpCurve>& gpCurves() {
    static const std::map<std::string, GpCurve> curves = [] {
        std::map<std::string, GpCurve> read;
        std::ifstream file(KX_TESTDATA_DIR "/eve_curves.txt");
        for (GpCurve c;
             file >> c.kind >> c.q >> c.A >> c.B >> c.Px >> c.Py >> c.order >> c.primes;) {
            read[c.kind] = c;
        }
        return read;
    }();
    return curves;
}

// The primes of the result as gp writes them: p^e joined by "*", in hex.
std::string primesText(const eve::Result& result) {
    std::string text;
    for (const eve::FactorWork& f : result.factors) {
        text += (text.empty() ? "" : "*") + std::string(f.prime.toHex()) +
                (f.exponent > 1 ? "^" + std::to_string(f.exponent) : "");
    }
    return text;
}

std::uint64_t orderOf(const SmallCurve& c, const AffinePoint& P) {
    std::uint64_t n = 1;
    for (AffinePoint R = P; !R.atInfinity; R = c.add(R, P)) {
        ++n;
    }
    return n;
}

Options forcingRho() {
    Options options;
    options.largestShanksPrime = 0;
    return options;
}

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
        Curve curve(small);
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
            for (const Options& options : {Options{}, forcingRho()}) {
                for (std::uint64_t a = 0; a < 2 * n; ++a) {
                    const AffinePoint Q = small.multiply(hexText(a), P);
                    const eve::Result result = attack(curve.point(P), curve.point(Q), options);
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
                        EXPECT_EQ(attack(curve.point(P), curve.point(all[i]), options).outcome,
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
    const SmallCurve small = gp.small();
    Curve curve(small);
    const std::uint64_t n = std::stoull(gp.order, nullptr, 16);
    std::mt19937_64 random(testSeed());
    const std::uint64_t a = random() % (2 * n);
    SCOPED_TRACE("seed " + std::to_string(testSeed()) + ", a " + hexText(a));
    for (Options options : {Options{}, forcingRho()}) {
        options.seed = random();
        const eve::Result result =
            attack(curve.point(gp.P()), curve.point(small.multiply(hexText(a), gp.P())), options);
        ASSERT_EQ(result.outcome, Outcome::found);
        EXPECT_EQ(result.secret.toHex(), hexText(a % n));
        EXPECT_EQ(result.order.toHex(), gp.order);
        EXPECT_EQ(primesText(result), gp.primes);
        // A prime whose part of the secret is zero needs no search.
        for (const eve::FactorWork& f : result.factors) {
            const std::uint64_t p = std::stoull(f.prime.toHex(), nullptr, 16);
            std::uint64_t pe = 1;
            for (unsigned e = 0; e < f.exponent; ++e) {
                pe *= p;
            }
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
    testing::ValuesIn(sanitized ? std::vector<std::string>{"primepower", "smooth", "smallorder"}
                                : std::vector<std::string>{"testvalues", "prime", "primepower",
                                                           "smooth", "twoprime", "smallorder"}));

// The limit on the largest prime, at its edge, and q from 2^80 on: refused with an estimate
// from sqrt(pi n / 4) steps at a measured speed, n = q under the caveat when the order is
// unknown.
TEST(Eve, RefusesBeyondItsLimitsWithAnEstimate) {
    const GpCurve& smooth = gpCurves().at("smooth");  // ord(P)'s largest prime 69D has 11 bits
    Curve curve(smooth.q, smooth.A, smooth.B);
    Options options;
    options.limitBits = 11;
    const CurvePoint P = curve.point(smooth.Px, smooth.Py);
    EXPECT_EQ(attack(P, P, options).outcome, Outcome::found);
    options.limitBits = 10;
    eve::Result result = attack(P, P, options);
    EXPECT_EQ(result.outcome, Outcome::factorBeyondLimit);
    EXPECT_EQ(result.order.toHex(), smooth.order);
    ASSERT_TRUE(result.estimate);
    EXPECT_NEAR(result.estimate->log2Steps, (std::log2(std::numbers::pi / 4 * 0x69D)) / 2, 0.01);
    EXPECT_GT(result.estimate->secondsPerStep, 0);
    EXPECT_FALSE(result.estimate->orderUnknown);
    EXPECT_EQ(outcomeText(result, 10),
              "Den st\xF8rste primfaktor i ord(P) har 11 bit, over gr\xE6nsen p\xE5 2^10: Eve kan "
              "ikke n\xE5 hemmeligheden.");

    const GpCurve& beyond = gpCurves().at("beyond");
    Curve large(beyond.q, beyond.A, beyond.B);
    const CurvePoint Pl = large.point(beyond.Px, beyond.Py);
    result = attack(Pl, Pl);
    EXPECT_EQ(result.outcome, Outcome::orderBeyondReach);
    ASSERT_TRUE(result.estimate);
    EXPECT_TRUE(result.estimate->orderUnknown);
    EXPECT_NEAR(result.estimate->log2Steps, (std::log2(std::numbers::pi / 4) + 80) / 2, 0.01);
    EXPECT_THAT(estimateText(*result.estimate),
                testing::MatchesRegex("omkring 2\\^40 trin, .* p\xE5 denne maskine, hvis ordenen "
                                      "er et primtal p\xE5 st\xF8rrelse med q"));
}

// The estimate's words for times from under a second to powers of ten of years.
TEST(Eve, EstimateTextNamesTheTimeInAFittingUnit) {
    const double year = std::log10(365.25 * 86400);
    const std::vector<std::pair<double, std::string>> rows{
        {-1, "under et sekund"},
        {std::log10(90), "omkring 90 sekunder"},
        {std::log10(3000), "omkring 50 minutter"},
        {std::log10(86400), "omkring 24 timer"},
        {std::log10(86400 * 300), "omkring 300 dage"},
        {year + 3, "omkring 1000 \xE5r"},
        {year + 24.6, "omkring 10^25 \xE5r"}};
    for (const auto& [log10Seconds, words] : rows) {
        eve::Estimate e;
        e.log2Steps = 127.8;
        e.log10Years = log10Seconds - year;
        EXPECT_EQ(estimateText(e), "omkring 2^128 trin, " + words + " p\xE5 denne maskine");
    }
}

class Watcher : public eve::ProgressObserver {
  public:
    void progress(const eve::Progress& p) override {
        seen.push_back(p.stage == eve::Stage::order ? "order" : p.prime.toHex());
        expected = p.stepsExpected;
        stop.request();
    }
    eve::StopRequest stop;
    std::vector<std::string> seen;
    std::uint64_t expected = 0;
};

// Progress names what is searched; a stop asked for at the first report ends the search there.
TEST(Eve, StopsWhenTheCallerAsks) {
    const GpCurve& smooth = gpCurves().at("smooth");
    Curve curve(smooth.q, smooth.A, smooth.B);
    Watcher watcher;
    Options options = forcingRho();
    options.observer = &watcher;
    options.stop = &watcher.stop;
    const CurvePoint P = curve.point(smooth.Px, smooth.Py);
    EXPECT_EQ(attack(P, P, options).outcome, Outcome::stopped);
    EXPECT_THAT(watcher.seen, testing::ElementsAre("order"));
    options.stop = nullptr;
    watcher.seen.clear();
    EXPECT_EQ(attack(P, P, options).outcome, Outcome::found);
    EXPECT_THAT(watcher.seen, testing::ElementsAre("order", "3", "7", "47", "2E7", "69D"));
    // rho without the negation map expects sqrt(pi n / 2) steps.
    EXPECT_NEAR(static_cast<double>(watcher.expected), std::sqrt(std::numbers::pi * 0x69D / 2), 1);
}

// What the attack refuses to read.
TEST(Eve, RefusesInputThatFailsItsChecks) {
    Curve curve("17", "1", "1"), other("17", "1", "2"), composite("15", "1", "1"),
        even("16", "1", "1"), singular("17", "0", "0");
    const auto verdict = [](const CurvePoint& P, const CurvePoint& Q) {
        return attack(P, Q).outcome;
    };
    EXPECT_EQ(verdict(curve.point("3", "A"), other.point("0", "1", true)),
              Outcome::differentCurves);
    EXPECT_EQ(verdict(curve.point("3", "B"), curve.point("3", "A")), Outcome::pointOffCurve);
    EXPECT_EQ(verdict(curve.point("3", "A"), curve.point("3", "B")), Outcome::pointOffCurve);
    EXPECT_EQ(verdict(composite.point("0", "1"), composite.point("0", "1")), Outcome::qNotPrime);
    EXPECT_EQ(verdict(even.point("0", "1"), even.point("0", "1")), Outcome::qNotPrime);
    EXPECT_EQ(verdict(singular.point("1", "1"), singular.point("1", "1")), Outcome::singularCurve);
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
            expected += p.get_str(16) + "^" + std::to_string(e) + " ";
        }
        const auto factors = eve::factorise(wideOf(n));
        ASSERT_TRUE(factors);
        for (const eve::PrimePower& p : *factors) {
            found += eve::toNatural(p.prime).toHex() + ("^" + std::to_string(p.exponent) + " ");
        }
        std::transform(expected.begin(), expected.end(), expected.begin(), ::toupper);
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
