#pragma once

#include <gmp.h>

#include <string>
#include <string_view>

#include "BenchCurves.h"

namespace bench {

// An owned GMP integer.
class Mpz {
  public:
    Mpz();
    explicit Mpz(std::string_view hex);
    Mpz(const Mpz& other);
    Mpz& operator=(const Mpz& other);
    ~Mpz();

    mpz_ptr get() noexcept { return value_; }
    mpz_srcptr get() const noexcept { return value_; }
    // Upper-case hex without leading zeros, "0" for zero.
    std::string toHex() const;

  private:
    mpz_t value_;
};

struct GmpPoint {
    Mpz x;
    Mpz y;
    bool atInfinity = true;
};

// The program's scalar multiplication written again with GMP: affine coordinates, one mpz_invert
// per addition or doubling, and the same right-to-left double-and-add, so that the two differ
// only in their arithmetic. Owns its curve and the temporaries that every addition reuses.
class GmpAffineCurve {
  public:
    explicit GmpAffineCurve(const CurveParameters& curve);

    GmpPoint basePoint() const;
    GmpPoint multiply(const GmpPoint& P, const Mpz& k);
    // Whether P satisfies the curve equation; the point at infinity does.
    bool isOnCurve(const GmpPoint& P);
    // Whether q is (very probably) prime.
    bool hasPrimeModulus() const;

    static std::string pointText(const GmpPoint& P);

  private:
    // sum <- P1 + P2; sum may be P1 or P2.
    void add(const GmpPoint& P1, const GmpPoint& P2, GmpPoint& sum);

    Mpz q_;
    Mpz A_;
    Mpz B_;
    Mpz Px_;
    Mpz Py_;
    Mpz lambda_;
    Mpz numerator_;
    Mpz denominator_;
    Mpz x3_;
    Mpz y3_;
};

}  // namespace bench
