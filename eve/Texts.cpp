#include "eve/Texts.h"

#include <cmath>

#include "eve/Wide.h"

namespace eve {

namespace {

std::string number(double value) {
    return std::to_string(std::llround(value));
}

// "omkring" a time in the largest unit that keeps the number readable; powers of ten beyond
// 10^4 years.
std::string duration(double log10Seconds) {
    constexpr double minute = 60, hour = 3600, day = 86400, year = 365.25 * day;
    const double seconds = log10Seconds < 300 ? std::pow(10.0, log10Seconds) : HUGE_VAL;
    if (seconds < 1.5) {
        return "under et sekund";
    }
    if (seconds < 2 * minute) {
        return "omkring " + number(seconds) + " sekunder";
    }
    if (seconds < 2 * hour) {
        return "omkring " + number(seconds / minute) + " minutter";
    }
    if (seconds < 2 * day) {
        return "omkring " + number(seconds / hour) + " timer";
    }
    if (seconds < 2 * year) {
        return "omkring " + number(seconds / day) + " dage";
    }
    if (seconds < 1e4 * year) {
        return "omkring " + number(seconds / year) + " \xE5r";
    }
    return "omkring 10^" + number(log10Seconds - std::log10(year)) + " \xE5r";
}

// The order and its primes stay below 2^82.
std::string inBase(const bignum::Natural& n, bool decimal) {
    if (!decimal) {
        return n.toHex();
    }
    std::string digits;
    for (Wide value = toWide(n).value_or(0); digits.empty() || value != 0; value /= 10) {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    }
    return digits;
}

}  // namespace

std::string powerText(const FactorWork& factor, bool decimal) {
    std::string text = inBase(factor.prime, decimal);
    if (factor.exponent > 1) {
        text += '^';
        text += std::to_string(factor.exponent);
    }
    return text;
}

std::string orderText(const Result& result, bool decimal) {
    if (!result.order.differsFrom(0)) {
        return {};
    }
    std::string text = inBase(result.order, decimal);
    if (result.factors.size() == 1 && result.factors[0].exponent == 1) {
        return text;
    }
    for (std::size_t i = 0; i < result.factors.size(); ++i) {
        text += i == 0 ? " = " : " \xB7 ";
        text += powerText(result.factors[i], decimal);
    }
    return text;
}

std::string outcomeText(const Result& result, unsigned limitBits) {
    switch (result.outcome) {
        case Outcome::found:
            return "a' er hemmeligheden modulo ord(P): det er a selv, n\xE5r a < ord(P), og "
                   "ellers giver det samme Pa og samme Pab, som er alt, Eve beh\xF8ver.";
        case Outcome::noSuchSecret:
            return "Der findes intet a med a\xB7P = Pa: Pa er ikke et multiplum af P.";
        case Outcome::stopped:
            return "Angrebet blev afbrudt.";
        case Outcome::qNotPrime:
            return "q er ikke et primtal.";
        case Outcome::singularCurve:
            return "Kurven er singul\xE6r: 4A\xB3 + 27B\xB2 = 0 (mod q), eller q = 2, hvor enhver "
                   "kurve y\xB2 = x\xB3 + Ax + B er singul\xE6r.";
        case Outcome::pointOffCurve:
            return "P eller Pa ligger ikke p\xE5 kurven.";
        case Outcome::differentCurves:
            return "P og Pa ligger ikke p\xE5 samme kurve.";
        case Outcome::orderBeyondReach:
            return "q er mindst 2^80, s\xE5 ordenen af P kan ikke findes: Eve kan ikke n\xE5 "
                   "hemmeligheden.";
        case Outcome::factorBeyondLimit:
            return "Den st\xF8rste primfaktor i ord(P) har " +
                   std::to_string(result.estimate ? result.estimate->primeBits : 0) +
                   " bit, over gr\xE6nsen p\xE5 2^" + std::to_string(limitBits) +
                   ": Eve kan ikke n\xE5 hemmeligheden.";
        case Outcome::unsolved:
            break;
    }
    return "Angrebet fandt intet svar, der holdt ved kontrollen.";
}

const char* methodName(Method method) {
    switch (method) {
        case Method::babyStepGiantStep:
            return "baby-step giant-step";
        case Method::rho:
            return "Pollards rho";
        case Method::none:
            break;
    }
    return "intet at s\xF8ge";
}

std::string estimateText(const Estimate& estimate) {
    const double log10Seconds = estimate.log10Years + std::log10(365.25 * 86400);
    return "omkring 2^" + number(estimate.log2Steps) + " trin, " + duration(log10Seconds) +
           " p\xE5 denne maskine" +
           (estimate.orderUnknown ? ", hvis ordenen er et primtal p\xE5 st\xF8rrelse med q" : "");
}

}  // namespace eve
