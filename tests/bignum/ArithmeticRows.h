#pragma once

// The arithmetic against GMP, one row per group of operations: each runs the program's numbers
// and GMP's on the same operands and gives every result as text (hex, or the message of the
// exception thrown), so that a row compares two strings and a mismatch shows both. The unit
// test runs the rows over operand lengths on both sides of every size and path boundary; the
// fuzz target runs them on operands made of its bytes.

#include <gmpxx.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bignum/Integer.h"
#include "bignum/Modular.h"
#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"
#include "tests/support/Gmp.h"

namespace kxtest::rows {

using bignum::Integer;
using bignum::Limb;
using bignum::Modular;
using bignum::Natural;

// Limbs least significant first, without zero limbs at the top.
struct Operands {
    std::vector<Limb> x;
    std::vector<Limb> y;
    std::vector<Limb> m;  // the modulus of the residue rows
    std::uint32_t w = 0;  // a limb, a shift or a position; its low bits choose signs
};

struct Row {
    const char* name;
    std::string (*ours)(const Operands&);
    std::string (*gmp)(const Operands&);
};

inline Natural natural(const std::vector<Limb>& limbs) {
    Natural n;
    n.setLimbs(limbs);
    return n;
}

inline std::string hex(const Natural& n) {
    return n.toHex();
}

// What the step leaves: its text, or the exception's message and then what else it names.
template <class Step, class Then>
std::string caught(Step step, Then then) {
    try {
        return step();
    } catch (const std::invalid_argument& failure) {
        const std::string rest = then();
        return rest.empty() ? failure.what() : failure.what() + (" " + rest);
    }
}

inline std::string join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += text.empty() ? part : " " + part;
    }
    return text;
}

inline Integer signedInteger(const std::vector<Limb>& limbs, bool negative) {
    Integer value(natural(limbs));
    if (negative) {
        Integer zero;
        zero.subtract(value);
        return zero;
    }
    return value;
}

inline std::string text(const Integer& v) {
    return (v.nonNegative() ? "" : "-") + hex(v.magnitude());
}

// The value of the hex digits as fromHex defines it, one digit at a time, for any bytes.
inline mpz_class hexDefinition(const std::string& bytes) {
    mpz_class v;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        v = v * 16 + (u >= 0x30 && u <= 0x39   ? u - 0x30u
                      : u >= 0x3A && u <= 0x46 ? u - 0x37u
                                               : (u + 256u - 0x57u) % 256u);
    }
    return v;
}

// The bytes of x's limbs, up to the first NUL, least significant first.
inline std::string bytesOf(const std::vector<Limb>& limbs) {
    std::string bytes;
    for (const Limb limb : limbs) {
        for (int i = 0; i < 32; i += 8) {
            bytes += static_cast<char>(limb >> i);
        }
    }
    return bytes.substr(0, bytes.find('\0'));
}

// Calls check.template operator()<N>() with the field the scalar multiplication uses for m.
template <class Check>
void withFieldOf(const Natural& m, Check&& check) {
    const std::size_t n = bignum::MontgomeryField<0>::wordsOf(m);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        if (!((n == I && (check.template operator()<I>(), true)) || ...)) {
            check.template operator()<0>();
        }
    }(std::make_index_sequence<bignum::longestUnrolledField + 1>{});
}

inline mpz_class mod(const mpz_class& v, const mpz_class& m) {
    mpz_class r;
    mpz_mod(r.get_mpz_t(), v.get_mpz_t(), m.get_mpz_t());
    return r;
}

// The inverse as the program defines it: the value itself when there is none.
inline std::string inverseText(const mpz_class& v, const mpz_class& m) {
    mpz_class r;
    if (v == 0) {
        return "divide by 0 error";
    }
    return hexOf(mpz_invert(r.get_mpz_t(), v.get_mpz_t(), m.get_mpz_t()) != 0 ? r : v);
}

inline const std::vector<Row>& arithmeticRows() {
    static const std::vector<Row> rows{
        {"add, sum, add to itself",
         [](const Operands& o) {
             Natural x = natural(o.x), twice = x;
             const std::string s = hex(sum(x, natural(o.y)));
             x.add(natural(o.y));
             twice.add(twice);
             return join({s, hex(x), hex(twice)});
         },
         [](const Operands& o) {
             const mpz_class x = toMpz(o.x), s = x + toMpz(o.y);
             return join({hexOf(s), hexOf(s), hexOf(2 * x)});
         }},
        {"subtract, difference, subtract itself",
         [](const Operands& o) {
             Natural x = natural(o.x), self = x;
             const Natural y = natural(o.y);
             self.subtract(self);
             return join({caught([&] { return hex(difference(x, y)); }, [] { return ""; }),
                          caught([&] { return x.subtract(y), hex(x); }, [&] { return hex(x); }),
                          hex(self)});
         },
         [](const Operands& o) {
             const mpz_class x = toMpz(o.x), y = toMpz(o.y);
             if (x < y) {
                 return join({"result would be negative", "result would be negative", hexOf(x),
                              "0"});
             }
             return join({hexOf(x - y), hexOf(x - y), "0"});
         }},
        {"shiftLeft, halve",
         [](const Operands& o) {
             Natural shifted = natural(o.x), halved = shifted;
             shifted.shiftLeft(o.w % 200);
             halved.halve();
             return join({hex(shifted), hex(halved)});
         },
         [](const Operands& o) {
             const mpz_class x = toMpz(o.x);
             return join({hexOf(x << (o.w % 200)), hexOf(x >> 1)});
         }},
        {"product, square, productByLimb",
         [](const Operands& o) {
             const Natural x = natural(o.x);
             return join({hex(product(x, natural(o.y))), hex(square(x)), hex(product(x, x)),
                          hex(productByLimb(x, o.w))});
         },
         [](const Operands& o) {
             const mpz_class x = toMpz(o.x);
             return join({hexOf(x * toMpz(o.y)), hexOf(x * x), hexOf(x * x), hexOf(x * o.w)});
         }},
        {"divide, reduce, by itself",
         [](const Operands& o) {
             Natural x = natural(o.x), d = natural(o.y), r = x, m = d, self = x;
             r.reduce(m);
             const std::string division = caught(
                 [&] {
                     const Natural q = divide(x, d);
                     return join({hex(q), hex(x), hex(d)});
                 },
                 [&] { return hex(x); });
             self.reduce(self);
             return join({division, hex(r), hex(m), hex(self)});
         },
         [](const Operands& o) {
             const mpz_class x = toMpz(o.x), d = toMpz(o.y);
             if (d == 0) {
                 return join({"divide by 0 error", hexOf(x), hexOf(x), "0", "0"});
             }
             return join({hexOf(x / d), hexOf(x % d), hexOf(d), hexOf(x % d), hexOf(d), "0"});
         }},
        {"lessThan, greaterThan, ==, differsFrom",
         [](const Operands& o) {
             const Natural x = natural(o.x), y = natural(o.y);
             return join({std::to_string(x.lessThan(y)), std::to_string(x.greaterThan(y)),
                          std::to_string(x == y), std::to_string(x.differsFrom(o.w))});
         },
         [](const Operands& o) {
             const int order = cmp(toMpz(o.x), toMpz(o.y));
             return join({std::to_string(order < 0), std::to_string(order > 0),
                          std::to_string(order == 0), std::to_string(toMpz(o.x) != o.w)});
         }},
        {"incrementFrom, decrementFrom",
         [](const Operands& o) {
             const std::size_t k = o.w % (o.x.size() + 2);
             Natural up = natural(o.x), down = up;
             return join({caught([&] { return up.incrementFrom(k), hex(up); },
                                 [&] { return hex(up); }),
                          caught([&] { return down.decrementFrom(k), hex(down); },
                                 [&] { return hex(down); })});
         },
         [](const Operands& o) {
             const std::size_t k = o.w % (o.x.size() + 2);
             const mpz_class x = toMpz(o.x), step = mpz_class(1) << (32 * k);
             if (k > o.x.size()) {
                 return join({"Natural is not that big", hexOf(x), "Natural not that big",
                              hexOf(x)});
             }
             return join({hexOf(x + step), hexOf(x < step ? mpz_class(0) : x - step)});
         }},
        {"toHex, fromHex",
         [](const Operands& o) {
             const Natural x = natural(o.x);
             std::string lower = x.toHex();
             std::transform(lower.begin(), lower.end(), lower.begin(),
                            [](char c) { return static_cast<char>(std::tolower(c)); });
             Natural fromLower, fromBytes;
             fromLower.fromHex("00" + lower);
             fromBytes.fromHex(bytesOf(o.y));
             return join({x.toHex(), std::to_string(fromLower == x), hex(fromBytes)});
         },
         [](const Operands& o) {
             return join({hexOf(toMpz(o.x)), "1", hexOf(hexDefinition(bytesOf(o.y)))});
         }},
        {"Integer subtract, product, divide, reduce, extendedGcd, increment, decrement",
         [](const Operands& o) {
             Integer a = signedInteger(o.x, (o.w & 1) != 0), b = signedInteger(o.y, (o.w & 2) != 0);
             Integer difference = a, remainder = a, g1 = Integer(natural(o.x));
             Integer g2 = Integer(natural(o.y)), reduced = a, up = a, down = a;
             difference.subtract(b);
             up.increment();
             down.decrement();
             Natural m = natural(o.m);
             const std::string division = caught(
                 [&] {
                     const Integer q = remainder.divide(b);
                     return join({text(q), text(remainder)});
                 },
                 [] { return ""; });
             const std::string residue =
                 m.length() == 0 ? "-" : (reduced.reduce(m), text(reduced));
             const std::string gcd = caught(
                 [&] {
                     const Integer g = extendedGcd(g1, g2);
                     const mpz_class s(text(g1), 16), t(text(g2), 16);
                     const bool bezout = s * toMpz(o.x) + t * toMpz(o.y) == mpz_class(text(g), 16);
                     return text(g) + (bezout ? " Bezout" : " not Bezout");
                 },
                 [] { return ""; });
             return join({text(difference), text(product(a, b)), division, residue, gcd,
                          text(up), text(down)});
         },
         [](const Operands& o) {
             const mpz_class a = (o.w & 1) != 0 ? -toMpz(o.x) : toMpz(o.x);
             const mpz_class b = (o.w & 2) != 0 ? -toMpz(o.y) : toMpz(o.y), m = toMpz(o.m);
             std::string division = "divide by 0 error";
             if (b != 0) {
                 mpz_class q, r;
                 mpz_fdiv_qr(q.get_mpz_t(), r.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
                 if (r < 0) {  // Euclidean: 0 <= r < |b|
                     r += abs(b);
                     q += b < 0 ? 1 : -1;
                 }
                 division = hexOf(q) + " " + hexOf(r);
             }
             const mpz_class x = toMpz(o.x), y = toMpz(o.y);
             const std::string divisor =
                 x == 0 || y == 0 ? "divide by 0 error" : hexOf(gcd(x, y)) + " Bezout";
             return join({hexOf(a - b), hexOf(a * b), division, m == 0 ? "-" : hexOf(mod(a, m)),
                          divisor, hexOf(a + 1), hexOf(a - 1)});
         }},
        {"Modular sum, difference, negate, products, powers, inverse, quotient",
         [](const Operands& o) {
             Natural m = natural(o.m), other = m;
             other.incrementFrom(0);
             if (m.length() == 0) {
                 return std::string("-");
             }
             const Modular x(m, natural(o.x)), y(m, natural(o.y)), stranger(other, natural(o.y));
             Modular negated = x;
             negated.negate();
             return join({hex(sum(x, y).value()), hex(difference(x, y).value()),
                          hex(negated.value()), hex(product(x, y).value()),
                          hex(square(x).value()), hex(cube(x).value()),
                          hex(timesSmall(x, o.w).value()),
                          hex(power(x, natural({o.w & 0xFFF})).value()),
                          caught([&] { return hex(inverse(x).value()); }, [] { return ""; }),
                          caught([&] { return hex(quotient(x, y).value()); }, [] { return ""; }),
                          caught([&] { return hex(sum(x, stranger).value()); }, [] { return ""; })});
         },
         [](const Operands& o) {
             const mpz_class m = toMpz(o.m);
             if (m == 0) {
                 return std::string("-");
             }
             const mpz_class x = mod(toMpz(o.x), m), y = mod(toMpz(o.y), m);
             mpz_class power;
             mpz_powm_ui(power.get_mpz_t(), x.get_mpz_t(), o.w & 0xFFF, m.get_mpz_t());
             std::string quotient = inverseText(y, m);
             if (y != 0) {
                 quotient = hexOf(mod(x * mpz_class(quotient, 16), m));
             }
             // x^0 is 1 even modulo 1.
             const std::string raised = (o.w & 0xFFF) == 0 ? "1" : hexOf(power);
             return join({hexOf(mod(x + y, m)), hexOf(mod(x - y, m)), hexOf(mod(-x, m)),
                          hexOf(mod(x * y, m)), hexOf(mod(x * x, m)), hexOf(mod(x * x * x, m)),
                          hexOf(mod(x * o.w, m)), raised, inverseText(x, m), quotient,
                          "Modulus must be the same!"});
         }},
        {"MontgomeryField add, subtract, negate, multiply, invert, load",
         [](const Operands& o) {
             Natural m = natural(o.m);
             std::string result = "-";
             withFieldOf(m, [&]<std::size_t N>() {
                 const auto field = bignum::MontgomeryField<N>::of(m);
                 if (!field) {
                     return;
                 }
                 using Residue = typename bignum::MontgomeryField<N>::Residue;
                 const Modular xm(m, natural(o.x)), ym(m, natural(o.y));
                 Residue x, y, r, unused;
                 const bool loaded = field->load(xm.value(), x) && field->load(ym.value(), y) &&
                                     !field->load(m, unused);
                 const auto stored = [&](const Residue& residue) {
                     Natural v;
                     field->store(residue, v);
                     return hex(v);
                 };
                 field->add(r, x, y);
                 result = join({std::to_string(loaded), stored(r)});
                 field->subtract(r, x, y);
                 result += " " + stored(r);
                 field->negate(r, y);
                 result += " " + stored(r);
                 field->multiply(r, x, y);
                 result += " " + stored(r);
                 field->multiply(x, x, x);  // a square into its operand
                 result += " " + stored(x);
                 if (field->isZero(y)) {
                     result += " divide by 0 error";
                 } else {
                     result += " " + (field->invert(r, y) ? stored(r) : hex(ym.value()));
                 }
             });
             return result;
         },
         [](const Operands& o) {
             const mpz_class m = toMpz(o.m);
             if (m < 3 || mpz_even_p(m.get_mpz_t()) != 0 ||
                 o.m.size() > bignum::MontgomeryField<0>::maxWords * sizeof(bignum::kernels::Word) /
                                  sizeof(Limb)) {
                 return std::string("-");
             }
             const mpz_class x = mod(toMpz(o.x), m), y = mod(toMpz(o.y), m);
             return join({"1", hexOf(mod(x + y, m)), hexOf(mod(x - y, m)), hexOf(mod(-y, m)),
                          hexOf(mod(x * y, m)), hexOf(mod(x * x, m)), inverseText(y, m)});
         }},
    };
    return rows;
}

}  // namespace kxtest::rows
