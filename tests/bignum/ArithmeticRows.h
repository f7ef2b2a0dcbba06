#pragma once

// The arithmetic against GMP as rows of (operation, ours, GMP's), every result as text: hex, or
// the message of the exception thrown, so that a row compares two strings and a mismatch shows
// both. The unit test runs the rows over operand lengths on both sides of every size and path
// boundary; the fuzz target runs them on operands made of its bytes.

#include <gmpxx.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "bignum/Integer.h"
#include "bignum/Modular.h"
#include "bignum/MontgomeryField.h"
#include "tests/support/Gmp.h"
#include "tests/support/Support.h"

namespace kxtest {

// Limbs least significant first, without zero limbs at the top; w is a limb, a shift or a
// position, and its low bits choose signs.
struct Operands {
    std::vector<bignum::Limb> x, y, m;
    bignum::Limb w = 0;
};

struct Row {
    std::string operation, ours, gmp;
};

inline std::string hex(const bignum::Natural& n) {
    return n.toHex();
}
inline std::string hex(const bignum::Integer& v) {
    return (v.nonNegative() ? "" : "-") + hex(v.magnitude());
}
inline std::string hex(const mpz_class& z) {
    return z.get_str(-16);
}
inline mpz_class mod(const mpz_class& v, const mpz_class& m) {
    return ((v % m) + m) % m;
}
// The inverse as the program defines it: the value itself when there is none.
inline std::string inverse(const mpz_class& v, const mpz_class& m) {
    mpz_class r;
    return v == 0 ? "divide by 0 error"
                  : hex(mpz_invert(r.get_mpz_t(), v.get_mpz_t(), m.get_mpz_t()) != 0 ? r : v);
}

inline std::vector<Row> arithmeticRows(const Operands& o) {
    using namespace bignum;
    std::vector<Row> rows;
    const auto row = [&](const char* operation, std::string ours, std::string gmp) {
        rows.push_back({operation, std::move(ours), std::move(gmp)});
    };
    const Natural x = toNatural(toMpz(o.x)), y = toNatural(toMpz(o.y));
    const mpz_class X = toMpz(o.x), Y = toMpz(o.y), M = toMpz(o.m);
    const std::string negative = "result would be negative";
    Natural t = x, d = y, m = y;
    row("add", (t.add(y), hex(t)), hex(X + Y));
    row("add to itself", (t = x, t.add(t), hex(t)), hex(2 * X));
    // Each step's results in order: the operands of + are not sequenced.
    const auto steps = [](std::initializer_list<std::function<std::string()>> parts) {
        std::string text;
        for (const auto& part : parts) {
            text += outcome(part) + " ";
        }
        return text;
    };
    row("subtract", steps({[&] { return t = x, t.subtract(y), hex(t); }, [&] { return hex(t); }}),
        (X < Y ? negative : hex(X - Y)) + " " + hex(X < Y ? X : X - Y) + " ");
    row("difference", outcome([&] { return hex(difference(x, y)); }),
        X < Y ? negative : hex(X - Y));
    row("subtract itself", (t = x, t.subtract(t), hex(t)), "0");
    row("shiftLeft", (t = x, t.shiftLeft(o.w % 200), hex(t)), hex(X << (o.w % 200)));
    row("halve", (t = x, t.halve(), hex(t)), hex(X >> 1));
    row("product", hex(product(x, y)), hex(X * Y));
    row("square", hex(square(x)) + " " + hex(product(x, x)), hex(X * X) + " " + hex(X * X));
    row("productByLimb", hex(productByLimb(x, o.w)), hex(X * o.w));
    row("divide",
        steps({[&] { return t = x, hex(divide(t, d)); }, [&] { return hex(t) + " " + hex(d); }}),
        (Y == 0 ? "divide by 0 error " + hex(X) : hex(X / Y) + " " + hex(X % Y)) + " " + hex(Y) +
            " ");
    row("reduce", (t = x, t.reduce(m), hex(t) + " " + hex(m)),
        (Y == 0 ? hex(X) : hex(X % Y)) + " " + hex(Y));
    row("reduce by itself", (t = x, t.reduce(t), hex(t)), "0");
    row("divide by itself",
        steps({[&] { return t = x, hex(divide(t, t)); }, [&] { return hex(t); }}),
        X == 0 ? "divide by 0 error 0 " : "1 0 ");
    row("compare",
        std::to_string(x.lessThan(y)) + std::to_string(x.greaterThan(y)) + std::to_string(x == y) +
            std::to_string(x.differsFrom(o.w)),
        std::to_string(X < Y) + std::to_string(X > Y) + std::to_string(X == Y) +
            std::to_string(X != o.w));
    const std::size_t at = o.w % (x.bitLength() + 2);
    row("bitLength, bit", std::to_string(x.bitLength()) + " " + std::to_string(x.bit(at)),
        std::to_string(X == 0 ? 0 : mpz_sizeinbase(X.get_mpz_t(), 2)) + " " +
            std::to_string(mpz_tstbit(X.get_mpz_t(), at)));
    const std::size_t k = o.w % (x.length() + 2);
    const mpz_class step = mpz_class(1) << (32 * k);
    row("incrementFrom", outcome([&] { return t = x, t.incrementFrom(k), hex(t); }),
        k > x.length() ? "Natural is not that big" : hex(X + step));
    row("decrementFrom", outcome([&] { return t = x, t.decrementFrom(k), hex(t); }),
        k > x.length() ? "Natural not that big" : hex(X < step ? mpz_class(0) : X - step));

    // Hex text: canonical, read back in lower case with leading zeros, and any bytes by the
    // digit-by-digit definition (c - 0x30, less 7 from 10 on, less 32 from 16 on, modulo 256).
    std::string text = "00" + hex(x), bytes;
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    mpz_class value;
    for (const bignum::Limb limb : o.y) {
        for (int i = 0; i < 32; i += 8) {
            const auto c = static_cast<unsigned char>(limb >> i);
            if (c == 0) {
                continue;  // a NUL would end the text
            }
            bytes += static_cast<char>(c);
            const unsigned d0 = (c + 256u - 0x30u) % 256u,
                           d1 = d0 >= 10 ? (d0 + 256u - 7u) % 256u : d0;
            value = value * 16 + (d1 >= 16 ? (d1 + 256u - 32u) % 256u : d1);
        }
    }
    row("fromHex",
        steps({[&] { return t.fromHex(text), hex(t); }, [&] { return t.fromHex(bytes), hex(t); }}),
        hex(X) + " " + hex(value) + " ");

    // Signed integers for Euclid; signs from w.
    const auto integer = [](const Natural& n, bool minus) {
        Integer v(n), zero;
        return minus ? (zero.subtract(v), zero) : v;
    };
    const Integer a = integer(x, (o.w & 1) != 0), b = integer(y, (o.w & 2) != 0);
    const mpz_class A = (o.w & 1) != 0 ? -X : X, B = (o.w & 2) != 0 ? -Y : Y;
    Integer u = a, v = b;
    row("Integer subtract", (u.subtract(b), hex(u)), hex(A - B));
    row("Integer product", hex(product(a, b)), hex(A * B));
    row("Integer increment, decrement",
        (u = a, u.increment(), hex(u)) + " " + (v = a, v.decrement(), hex(v)),
        hex(A + 1) + " " + hex(A - 1));
    const auto small = static_cast<std::int32_t>(o.w);
    row("Integer setSmall, equalsSmall",
        (u.setSmall(small), hex(u)) + " " + std::to_string(a.equalsSmall(o.w)),
        hex(mpz_class(small)) + " " + std::to_string(A == o.w));
    // Euclidean division: 0 <= r < |B|.
    const mpz_class r = B == 0 ? 0 : mod(A, abs(B)),
                    q = B == 0 ? mpz_class(0) : mpz_class((A - r) / B);
    row("Integer divide",
        steps({[&] { return u = a, v = b, hex(u.divide(v)); }, [&] { return hex(u); }}),
        B == 0 ? "divide by 0 error " + hex(A) + " " : hex(q) + " " + hex(r) + " ");
    if (M != 0) {
        row("Integer reduce", (u = a, t = toNatural(M), u.reduce(t), hex(u)), hex(mod(A, M)));
    }
    row("extendedGcd", outcome([&] {
            Integer s(x), g = Integer(y);
            const Integer common = extendedGcd(s, g);
            const bool bezout =
                mpz_class(hex(s), 16) * X + mpz_class(hex(g), 16) * Y == mpz_class(hex(common), 16);
            return hex(common) + (bezout ? " Bezout" : " not Bezout");
        }),
        X == 0 || Y == 0 ? "divide by 0 error" : hex(gcd(X, Y)) + " Bezout");

    // Residues modulo m; one modulo m + 1 is refused in sums.
    if (M == 0) {
        return rows;
    }
    Natural modulus = toNatural(M), other = toNatural(M + 1);
    const Modular xm(modulus, x), ym(modulus, y), stranger(other, y);
    const mpz_class xr = X % M, yr = Y % M;
    Modular n = xm;
    row("Modular sum", hex(sum(xm, ym).value()), hex((xr + yr) % M));
    row("Modular difference", hex(difference(xm, ym).value()), hex(mod(xr - yr, M)));
    row("Modular negate", (n.negate(), hex(n.value())), hex(mod(-xr, M)));
    row("Modular product", hex(product(xm, ym).value()), hex(xr * yr % M));
    row("Modular square, cube", hex(square(xm).value()) + " " + hex(cube(xm).value()),
        hex(xr * xr % M) + " " + hex(xr * xr * xr % M));
    row("Modular timesSmall", hex(timesSmall(xm, o.w).value()), hex(xr * o.w % M));
    mpz_class power;
    mpz_powm_ui(power.get_mpz_t(), xr.get_mpz_t(), o.w & 0xFFF, M.get_mpz_t());
    row("Modular power", hex(bignum::power(xm, toNatural(o.w & 0xFFF)).value()),
        (o.w & 0xFFF) == 0 ? "1" : hex(power));  // x^0 is 1, even modulo 1
    row("Modular inverse", outcome([&] { return hex(bignum::inverse(xm).value()); }),
        inverse(xr, M));
    row("Modular quotient", outcome([&] { return hex(quotient(xm, ym).value()); }),
        yr == 0 ? "divide by 0 error" : hex(xr * mpz_class(inverse(yr, M), 16) % M));
    row("Modular sum, other modulus", outcome([&] { return hex(sum(xm, stranger).value()); }),
        "Modulus must be the same!");

    // The scalar multiplication's field, for odd moduli above 1 that it holds (unrolled for each
    // curve size too, which the curve tests reach through the multiplication).
    const auto field = MontgomeryField<0>::of(modulus);
    if (field) {
        MontgomeryField<0>::Residue xf, yf, rf;
        const auto stored = [&](const MontgomeryField<0>::Residue& residue) {
            Natural plain;
            field->store(residue, plain);
            return hex(plain);
        };
        row("field load",
            std::to_string(field->load(xm.value(), xf) && field->load(ym.value(), yf) &&
                           !field->load(modulus, rf)),
            "1");
        row("field add", (field->add(rf, xf, yf), stored(rf)), hex((xr + yr) % M));
        row("field subtract", (field->subtract(rf, xf, yf), stored(rf)), hex(mod(xr - yr, M)));
        row("field negate", (field->negate(rf, yf), stored(rf)), hex(mod(-yr, M)));
        row("field multiply", (field->multiply(rf, xf, yf), stored(rf)), hex(xr * yr % M));
        // A product may hold the value plus M; equal and isZero look through that.
        MontgomeryField<0>::Residue pf, lf;
        field->multiply(pf, xf, yf);
        field->load(toNatural(xr * yr % M), lf);
        row("field equal, isZero",
            std::to_string(field->equal(pf, lf)) + std::to_string(field->equal(xf, yf)) +
                (field->subtract(rf, pf, lf), std::to_string(field->isZero(rf))) +
                std::to_string(field->isZero(yf)),
            "1" + std::to_string(xr == yr) + "1" + std::to_string(yr == 0));
        row("field square", (field->multiply(xf, xf, xf), stored(xf)), hex(xr * xr % M));
        row("field invert",
            field->isZero(yf)       ? "divide by 0 error"
            : field->invert(rf, yf) ? stored(rf)
                                    : hex(yr),
            inverse(yr, M));
        row("field halve", (rf = yf, field->halve(rf), stored(rf)), hex(yr * (M + 1) / 2 % M));
        row("field provenPrime", std::to_string(field->provenPrime()),
            std::to_string(mpz_probab_prime_p(M.get_mpz_t(), 30) != 0));
    }
    return rows;
}

}  // namespace kxtest
