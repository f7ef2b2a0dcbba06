#pragma once

// The group law of y^2 = x^3 + A x + B in affine coordinates on residues of the Montgomery field
// of N words: the arithmetic every search here runs on. Owns the field and the curve's
// coefficients. Private to eve/.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "eve/Wide.h"

namespace eve {

// A denominator without an inverse: q is not a prime.
class NotAField : public std::runtime_error {
  public:
    NotAField() : std::runtime_error("q is not a prime") {}
};

template <std::size_t N>
class FieldCurve {
  public:
    using Field = bignum::MontgomeryField<N>;
    using Residue = typename Field::Residue;
    using Word = typename Field::Word;

    struct Point {
        Residue x{};
        Residue y{};
        bool infinity = true;
    };

    // The curve modulo q, an odd number above 1 of N words (any count for N = 0); A and B are
    // taken modulo q.
    static std::optional<FieldCurve> of(const bignum::Natural& q, bignum::Natural A,
                                        bignum::Natural B) {
        auto field = Field::of(q);
        if (!field) {
            return std::nullopt;
        }
        bignum::Natural modulus = q;
        A.reduce(modulus);
        B.reduce(modulus);
        FieldCurve curve(*field, Field::wordsOf(q));
        field->load(A, curve.A_);
        field->load(B, curve.B_);
        return curve;
    }

    const Field& field() const noexcept { return field_; }
    std::size_t words() const noexcept { return words_; }

    // The point, or nothing when a coordinate is not below q.
    std::optional<Point> load(const curve::CurvePoint& p) const {
        Point result;
        result.infinity = p.atInfinity();
        if (!result.infinity &&
            (!field_.load(p.x().value(), result.x) || !field_.load(p.y().value(), result.y))) {
            return std::nullopt;
        }
        return result;
    }

    Residue constant(std::uint32_t k) const {
        bignum::Natural n;
        n.setLimbs(std::span(&k, 1));
        Residue r{};
        if (!field_.load(n, r)) {
            // k is at least q: k mod q by repeated addition of one.
            const Residue one = constant(1);
            for (std::uint32_t i = 0; i < k; ++i) {
                field_.add(r, r, one);
            }
        }
        return r;
    }

    bool contains(const Point& p) const {
        if (p.infinity) {
            return true;
        }
        Residue left, right, t;
        field_.multiply(left, p.y, p.y);
        field_.multiply(t, p.x, p.x);
        field_.add(t, t, A_);
        field_.multiply(right, t, p.x);
        field_.add(right, right, B_);
        return field_.equal(left, right);
    }

    // 4A^3 + 27B^2 is not zero.
    bool nonSingular() const {
        Residue a3, b2, sum;
        field_.multiply(a3, A_, A_);
        field_.multiply(a3, a3, A_);
        field_.multiply(b2, B_, B_);
        field_.multiply(a3, a3, constant(4));
        field_.multiply(b2, b2, constant(27));
        field_.add(sum, a3, b2);
        return !field_.isZero(sum);
    }

    bool equal(const Point& a, const Point& b) const noexcept {
        return a.infinity == b.infinity &&
               (a.infinity || (field_.equal(a.x, b.x) && field_.equal(a.y, b.y)));
    }

    Point negate(Point p) const noexcept {
        field_.negate(p.y, p.y);
        return p;
    }

    // The slope of the chord through a and b, or of the tangent at a = b; nothing when the line
    // is vertical (b = -a). Throws NotAField when a denominator has no inverse.
    std::optional<Residue> slope(const Point& a, const Point& b) const {
        Residue numerator, denominator;
        if (field_.equal(a.x, b.x)) {
            field_.add(denominator, a.y, b.y);
            if (field_.isZero(denominator)) {
                return std::nullopt;
            }
            field_.multiply(numerator, a.x, a.x);
            Residue twice;
            field_.add(twice, numerator, numerator);
            field_.add(numerator, numerator, twice);
            field_.add(numerator, numerator, A_);
        } else {
            field_.subtract(numerator, b.y, a.y);
            field_.subtract(denominator, b.x, a.x);
        }
        if (!field_.invert(denominator, denominator)) {
            throw NotAField();
        }
        field_.multiply(numerator, numerator, denominator);
        return numerator;
    }

    // a + b by the chord or the tangent. Throws NotAField when a denominator has no inverse.
    Point add(const Point& a, const Point& b) const {
        if (a.infinity || b.infinity) {
            return a.infinity ? b : a;
        }
        const auto s = slope(a, b);
        return s ? along(*s, a, b.x) : Point{};
    }

    // The third point of the line of the given slope through a and a point of abscissa x2,
    // reflected: their sum.
    Point along(const Residue& slope, const Point& a, const Residue& x2) const noexcept {
        Point sum;
        sum.infinity = false;
        field_.multiply(sum.x, slope, slope);
        field_.subtract(sum.x, sum.x, a.x);
        field_.subtract(sum.x, sum.x, x2);
        field_.subtract(sum.y, a.x, sum.x);
        field_.multiply(sum.y, sum.y, slope);
        field_.subtract(sum.y, sum.y, a.y);
        return sum;
    }

    // k p by double-and-add.
    Point multiply(Wide k, Point p) const {
        Point sum;
        for (; k != 0; k >>= 1) {
            if ((k & 1) != 0) {
                sum = add(sum, p);
            }
            if (k > 1) {
                p = add(p, p);
            }
        }
        return sum;
    }

    // 64 bits of x's value, for hashing: all of it below 2^64. The field may hold a value in
    // two forms, so the key is taken from the least.
    std::uint64_t key(const Residue& x) const noexcept {
        const Residue least = field_.least(x);
        std::uint64_t key = least[0];
        if constexpr (sizeof(Word) < sizeof(std::uint64_t) && std::tuple_size_v < Residue >> 1) {
            key |= words_ == 1 ? 0 : std::uint64_t{least[1]} << 32;
        }
        return key;
    }

  private:
    FieldCurve(const Field& field, std::size_t words) : field_(field), words_(words) {}

    Field field_;
    std::size_t words_;
    Residue A_{};
    Residue B_{};
};

}  // namespace eve
