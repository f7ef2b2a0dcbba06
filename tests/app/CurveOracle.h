#pragma once

// Affine curve arithmetic on GMP, written independently of the program's own numbers, as the
// reference the key-exchange results are checked against.

#include <gmpxx.h>

#include <string>
#include <string_view>
#include <utility>

namespace kxtest {

struct OraclePoint {
    bool atInfinity = true;
    mpz_class x;
    mpz_class y;
};

inline mpz_class fromHexText(std::string_view hex) {
    return mpz_class(std::string(hex), 16);
}

inline std::string toHexText(const mpz_class& value) {
    return value.get_str(-16);
}

// The program's point text: "(X, Y)" in upper-case hex, or "(uendelig)".
inline std::string pointText(const OraclePoint& point) {
    if (point.atInfinity) {
        return "(uendelig)";
    }
    return "(" + toHexText(point.x) + ", " + toHexText(point.y) + ")";
}

class CurveOracle {
  public:
    CurveOracle(mpz_class q, mpz_class A, mpz_class B)
        : q_(std::move(q)), A_(std::move(A)), B_(std::move(B)) {}

    mpz_class mod(const mpz_class& value) const {
        mpz_class result;
        mpz_mod(result.get_mpz_t(), value.get_mpz_t(), q_.get_mpz_t());
        return result;
    }

    bool isOnCurve(const OraclePoint& point) const {
        return point.atInfinity ||
               mod(point.y * point.y) == mod(point.x * point.x * point.x + A_ * point.x + B_);
    }

    // The chord-and-tangent law; doubling uses only A, so it also runs on points off the curve.
    OraclePoint add(const OraclePoint& P, const OraclePoint& Q) const {
        if (P.atInfinity) {
            return Q;
        }
        if (Q.atInfinity) {
            return P;
        }
        mpz_class slope;
        if (mod(P.x - Q.x) == 0) {
            if (mod(P.y + Q.y) == 0) {
                return {};
            }
            slope = mod(3 * P.x * P.x + A_) * inverse(mod(2 * P.y));
        } else {
            slope = mod(Q.y - P.y) * inverse(mod(Q.x - P.x));
        }
        slope = mod(slope);
        const mpz_class x = mod(slope * slope - P.x - Q.x);
        const mpz_class y = mod(slope * (P.x - x) - P.y);
        return {false, x, y};
    }

    OraclePoint multiply(mpz_class k, OraclePoint P) const {
        OraclePoint result;
        while (k > 0) {
            if (mpz_odd_p(k.get_mpz_t()) != 0) {
                result = add(result, P);
            }
            P = add(P, P);
            k >>= 1;
        }
        return result;
    }

  private:
    mpz_class inverse(const mpz_class& value) const {
        mpz_class result;
        mpz_invert(result.get_mpz_t(), value.get_mpz_t(), q_.get_mpz_t());
        return result;
    }

    mpz_class q_;
    mpz_class A_;
    mpz_class B_;
};

}  // namespace kxtest
