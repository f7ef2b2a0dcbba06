#include "GmpAffine.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>

namespace bench {

namespace {

struct GmpStringRelease {
    void operator()(char* text) const noexcept {
        void (*release)(void*, std::size_t) = nullptr;
        mp_get_memory_functions(nullptr, nullptr, &release);
        release(text, std::char_traits<char>::length(text) + 1);
    }
};

}  // namespace

Mpz::Mpz() {
    mpz_init(value_);
}

Mpz::Mpz(std::string_view hex) {
    mpz_init(value_);
    const std::string text(hex.empty() ? std::string_view("0") : hex);
    if (mpz_set_str(value_, text.c_str(), 16) != 0) {
        mpz_clear(value_);
        throw std::invalid_argument("not a hex number: " + text);
    }
}

Mpz::Mpz(const Mpz& other) {
    mpz_init_set(value_, other.value_);
}

Mpz& Mpz::operator=(const Mpz& other) {
    mpz_set(value_, other.value_);
    return *this;
}

Mpz::~Mpz() {
    mpz_clear(value_);
}

std::string Mpz::toHex() const {
    const std::unique_ptr<char, GmpStringRelease> raw(mpz_get_str(nullptr, 16, value_));
    std::string text(raw.get());
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    return text;
}

GmpAffineCurve::GmpAffineCurve(const CurveParameters& curve)
    : q_(curve.q), A_(curve.A), B_(curve.B), Px_(curve.Px), Py_(curve.Py) {}

GmpPoint GmpAffineCurve::basePoint() const {
    return GmpPoint{Px_, Py_, false};
}

bool GmpAffineCurve::isOnCurve(const GmpPoint& P) {
    if (P.atInfinity) {
        return true;
    }
    mpz_powm_ui(x3_.get(), P.x.get(), 3, q_.get());
    mpz_addmul(x3_.get(), A_.get(), P.x.get());
    mpz_add(x3_.get(), x3_.get(), B_.get());
    mpz_mod(x3_.get(), x3_.get(), q_.get());
    mpz_powm_ui(y3_.get(), P.y.get(), 2, q_.get());
    return mpz_cmp(x3_.get(), y3_.get()) == 0;
}

bool GmpAffineCurve::hasPrimeModulus() const {
    return mpz_probab_prime_p(q_.get(), 30) != 0;
}

std::string GmpAffineCurve::pointText(const GmpPoint& P) {
    if (P.atInfinity) {
        return "(uendelig)";
    }
    return "(" + P.x.toHex() + ", " + P.y.toHex() + ")";
}

void GmpAffineCurve::add(const GmpPoint& P1, const GmpPoint& P2, GmpPoint& sum) {
    if (P2.atInfinity) {
        if (&sum != &P1) {
            sum = P1;
        }
        return;
    }
    if (P1.atInfinity) {
        if (&sum != &P2) {
            sum = P2;
        }
        return;
    }
    const bool sameX = mpz_cmp(P1.x.get(), P2.x.get()) == 0;
    if (sameX) {
        // P2 = -P1 exactly when y1 + y2 is 0 or q.
        mpz_add(numerator_.get(), P1.y.get(), P2.y.get());
        if (mpz_sgn(numerator_.get()) == 0 || mpz_cmp(numerator_.get(), q_.get()) == 0) {
            sum.atInfinity = true;
            return;
        }
        mpz_mul(numerator_.get(), P1.x.get(), P1.x.get());
        mpz_mul_ui(numerator_.get(), numerator_.get(), 3);
        mpz_add(numerator_.get(), numerator_.get(), A_.get());
        mpz_mul_2exp(denominator_.get(), P1.y.get(), 1);
    } else {
        mpz_sub(numerator_.get(), P2.y.get(), P1.y.get());
        mpz_sub(denominator_.get(), P2.x.get(), P1.x.get());
    }
    mpz_mod(denominator_.get(), denominator_.get(), q_.get());
    // As in the program, a denominator without inverse is used as it stands.
    if (mpz_invert(lambda_.get(), denominator_.get(), q_.get()) == 0) {
        mpz_set(lambda_.get(), denominator_.get());
    }
    mpz_mul(lambda_.get(), lambda_.get(), numerator_.get());
    mpz_mod(lambda_.get(), lambda_.get(), q_.get());

    mpz_mul(x3_.get(), lambda_.get(), lambda_.get());
    mpz_sub(x3_.get(), x3_.get(), P1.x.get());
    mpz_sub(x3_.get(), x3_.get(), P2.x.get());
    mpz_mod(x3_.get(), x3_.get(), q_.get());
    mpz_sub(y3_.get(), P1.x.get(), x3_.get());
    mpz_mul(y3_.get(), y3_.get(), lambda_.get());
    mpz_sub(y3_.get(), y3_.get(), P1.y.get());
    mpz_mod(y3_.get(), y3_.get(), q_.get());
    mpz_swap(sum.x.get(), x3_.get());
    mpz_swap(sum.y.get(), y3_.get());
    sum.atInfinity = false;
}

GmpPoint GmpAffineCurve::multiply(const GmpPoint& P, const Mpz& k) {
    GmpPoint result;
    GmpPoint running = P;
    Mpz scalar = k;
    while (mpz_sgn(scalar.get()) != 0) {
        if (mpz_tstbit(scalar.get(), 0) != 0) {
            add(result, running, result);
            mpz_sub_ui(scalar.get(), scalar.get(), 1);
        } else {
            add(running, running, running);
            mpz_fdiv_q_2exp(scalar.get(), scalar.get(), 1);
        }
    }
    return result;
}

}  // namespace bench
