#include "eve/Attack.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "bignum/MontgomeryField.h"
#include "curve/ScalarMultiplication.h"
#include "eve/BabyStepGiantStep.h"
#include "eve/Control.h"
#include "eve/Factoring.h"
#include "eve/FieldCurve.h"
#include "eve/Pairing.h"
#include "eve/Rho.h"
#include "eve/Wide.h"

namespace eve {

namespace {

using Clock = std::chrono::steady_clock;

// Where the order can be found: Mestre's search takes about q^(1/4) steps.
constexpr std::size_t largestFieldBits = 80;
// Rho needs a group of some size to walk in; baby-step giant-step holds sqrt(p / 2) points.
constexpr Wide smallestRhoPrime = 5;
constexpr Wide largestShanksPrime = Wide{1} << 40;

bool sameCurve(const curve::CurvePoint& P, const curve::CurvePoint& Q) {
    return P.q() == Q.q() && P.A().value() == Q.A().value() && P.B().value() == Q.B().value();
}

// log2 of n > 0 from its top limbs.
double log2Of(const bignum::Natural& n) {
    const auto limbs = n.limbs();
    double top = 0;
    const std::size_t used = std::min<std::size_t>(limbs.size(), 3);
    for (std::size_t i = 0; i < used; ++i) {
        top = std::ldexp(top, bignum::limbBits) + limbs[limbs.size() - 1 - i];
    }
    return std::log2(top) + static_cast<double>(bignum::limbBits * (limbs.size() - used));
}

template <std::size_t N>
class Attack {
  public:
    using Curve = FieldCurve<N>;
    using Point = typename Curve::Point;

    Attack(const Curve& curve, const Point& P, const Point& Q, const Options& options,
           Control& control, Result& result)
        : curve_(curve),
          P_(P),
          Q_(Q),
          options_(options),
          control_(control),
          result_(result),
          random_(options.seed) {}

    // The rho estimate for a prime n of the given size.
    void estimate(double log2n, std::size_t bits, bool orderUnknown) {
        Estimate e;
        e.secondsPerStep = measureRhoStep(curve_, P_, Q_, random_);
        e.log2Steps = (std::log2(std::numbers::pi / 4) + log2n) / 2;
        e.log10Years = e.log2Steps * std::log10(2.0) + std::log10(e.secondsPerStep) -
                       std::log10(365.25 * 24 * 3600);
        e.primeBits = bits;
        e.orderUnknown = orderUnknown;
        result_.estimate = e;
    }

    // The secret, or the reason there is none; q < 2^80 is prime and P is not at infinity.
    std::optional<Wide> run(Wide q) {
        const auto start = Clock::now();
        const auto multiple = orderMultiple(curve_, P_, q, control_);
        auto primes = multiple ? factorise(*multiple) : std::nullopt;
        if (!primes) {
            return refuse(Outcome::unsolved);
        }
        // Strip each prime as long as P stays killed: the order itself.
        Wide n = *multiple;
        for (PrimePower& power : *primes) {
            for (; power.exponent > 0 && curve_.multiply(n / power.prime, P_).infinity;
                 --power.exponent) {
                n /= power.prime;
            }
        }
        std::erase_if(*primes, [](const PrimePower& power) { return power.exponent == 0; });
        result_.order = toNatural(n);
        for (const PrimePower& power : *primes) {
            result_.factors.push_back(
                {toNatural(power.prime), power.exponent, Method::none, 0, {}});
        }
        result_.orderTime = Clock::now() - start;
        if (!curve_.multiply(n, Q_).infinity) {
            return refuse(Outcome::noSuchSecret);
        }
        const Wide largest = primes->back().prime;
        if (bitLength(largest - 1) > options_.limitBits) {
            estimate(std::log2(static_cast<double>(largest)), bitLength(largest), false);
            return refuse(Outcome::factorBeyondLimit);
        }
        // Pohlig and Hellman, "An improved algorithm for computing logarithms over GF(p) and its
        // cryptographic significance" (1978): the secret modulo each p^e, joined by the Chinese
        // remainder theorem.
        Wide secret = 0, modulus = 1;
        for (std::size_t k = 0; k < primes->size(); ++k) {
            const PrimePower power = (*primes)[k];
            const auto part = modPrimePower(n, power, q, result_.factors[k]);
            if (!part) {
                return std::nullopt;
            }
            Wide pe = 1;
            for (unsigned i = 0; i < power.exponent; ++i) {
                pe *= power.prime;
            }
            const Wide lift = multiplyModulo(subtractModulo(*part, secret % pe, pe),
                                             *inverseModulo(modulus % pe, pe), pe);
            secret += modulus * lift;
            modulus *= pe;
        }
        return secret;
    }

  private:
    std::nullopt_t refuse(Outcome outcome) {
        result_.outcome = outcome;
        return std::nullopt;
    }

    // The secret modulo p^e from its base-p digits: digit k is the logarithm of
    // p^(e-1-k) (Q1 - x P1) to the base p^(e-1) P1 of order p, where P1 and Q1 are P and Q times
    // n / p^e and x holds the digits below k.
    std::optional<Wide> modPrimePower(Wide n, PrimePower power, Wide q, FactorWork& work) {
        const auto start = Clock::now();
        const Wide p = power.prime;
        Wide pe = 1;
        for (unsigned i = 0; i < power.exponent; ++i) {
            pe *= p;
        }
        const Point P1 = curve_.multiply(n / pe, P_);
        const Point Q1 = curve_.multiply(n / pe, Q_);
        const Point G = curve_.multiply(pe / p, P1);
        const bool byRho =
            p >= smallestRhoPrime && (p > options_.largestShanksPrime || p > largestShanksPrime);
        const std::uint64_t before = control_.total();
        Wide x = 0, pk = 1;
        for (unsigned k = 0; k < power.exponent; ++k, pk *= p) {
            Wide shift = 1;
            for (unsigned i = k + 1; i < power.exponent; ++i) {
                shift *= p;
            }
            const Point H =
                curve_.multiply(shift, curve_.add(Q1, curve_.negate(curve_.multiply(x, P1))));
            if (H.infinity) {
                continue;
            }
            work.method = byRho ? Method::rho : Method::babyStepGiantStep;
            std::optional<Wide> digit;
            if (!byRho) {
                digit = shanks(curve_, G, H, p, control_);
                if (!digit) {
                    return refuse(Outcome::noSuchSecret);
                }
            } else {
                // Where p divides q - 1 the p-torsion may have two generators, and H need not be
                // a multiple of G; rho would never meet a useful collision.
                if ((q - 1) % p == 0) {
                    const auto multiple = WeilPairing<N>(curve_).isMultiple(G, H, p);
                    if (!multiple) {
                        return refuse(Outcome::unsolved);
                    }
                    if (!*multiple) {
                        return refuse(Outcome::noSuchSecret);
                    }
                }
                digit = rho(curve_, G, H, p, random_, control_);
                if (!digit) {
                    return refuse(Outcome::unsolved);
                }
            }
            x += *digit * pk;
        }
        work.steps = control_.total() - before;
        work.time = Clock::now() - start;
        return x;
    }

    const Curve& curve_;
    Point P_;
    Point Q_;
    const Options& options_;
    Control& control_;
    Result& result_;
    Random random_;
};

// Checks the input, then attacks it on a field of N words, or estimates where q is too large.
template <std::size_t N>
void attackOn(const curve::CurvePoint& P, const curve::CurvePoint& Q, const Options& options,
              Control& control, Result& result) {
    const bignum::Natural& q = P.q();
    const auto curve = FieldCurve<N>::of(q, P.A().value(), P.B().value());
    if (!curve) {
        result.outcome = Outcome::orderBeyondReach;  // q is longer than any field here
        return;
    }
    const auto Pf = curve->load(P);
    const auto Qf = curve->load(Q);
    if (!Pf || !Qf || !curve->contains(*Pf) || !curve->contains(*Qf)) {
        result.outcome = Outcome::pointOffCurve;
        return;
    }
    if (!curve->nonSingular()) {
        result.outcome = Outcome::singularCurve;
        return;
    }
    if (Pf->infinity) {
        result.order = toNatural(1);
        result.outcome = Qf->infinity ? Outcome::found : Outcome::noSuchSecret;
        return;
    }
    Attack<N> solver(*curve, *Pf, *Qf, options, control, result);
    if (q.bitLength() > largestFieldBits) {
        solver.estimate(log2Of(q), q.bitLength(), true);
        result.outcome = Outcome::orderBeyondReach;
        return;
    }
    if constexpr (N >= 1 && N <= 3) {
        if (!isPrime(*toWide(q))) {
            result.outcome = Outcome::qNotPrime;
            return;
        }
        if (const auto secret = solver.run(*toWide(q))) {
            result.secret = toNatural(*secret);
            result.outcome = Outcome::found;
        }
    }
}

using Runner = void (*)(const curve::CurvePoint&, const curve::CurvePoint&, const Options&,
                        Control&, Result&);

// Unrolled fields for the common curve sizes, the general one beyond.
template <std::size_t... Ns>
Runner runnerFor(std::size_t words, std::index_sequence<Ns...>) {
    Runner runner = &attackOn<0>;
    ((runner = words == Ns + 1 ? &attackOn<Ns + 1> : runner), ...);
    return runner;
}

}  // namespace

Result attack(const curve::CurvePoint& P, const curve::CurvePoint& Q, const Options& options) {
    const auto start = Clock::now();
    Result result;
    Control control(options);
    const bignum::Natural& q = P.q();
    if (!sameCurve(P, Q)) {
        result.outcome = Outcome::differentCurves;
    } else if (q == toNatural(2)) {
        // In characteristic 2 every curve y^2 = x^3 + A x + B has a singular point.
        result.outcome = Outcome::singularCurve;
    } else if (q.limbs().empty() || q.limbs()[0] % 2 == 0 || !q.differsFrom(1)) {
        result.outcome = Outcome::qNotPrime;
    } else {
        const std::size_t words = bignum::MontgomeryField<0>::wordsOf(q);
        try {
            runnerFor(words, std::make_index_sequence<9>())(P, Q, options, control, result);
        } catch (const Stopped&) {
            result.outcome = Outcome::stopped;
        } catch (const NotAField&) {
            result.outcome = Outcome::qNotPrime;
        }
    }
    if (result.outcome == Outcome::found) {
        // The one check every answer passes.
        const curve::CurvePoint check = curve::multiply(P, result.secret);
        const bool agrees = check.atInfinity() == Q.atInfinity() &&
                            (Q.atInfinity() || (check.x().value() == Q.x().value() &&
                                                check.y().value() == Q.y().value()));
        if (!agrees) {
            result.outcome = Outcome::unsolved;
            result.secret = bignum::Natural();
        }
    }
    result.totalTime = Clock::now() - start;
    return result;
}

}  // namespace eve
