#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Natural.h"

// Counts allocations and, when armed, fails every allocation from the chosen one on, so that
// the paths that throw std::bad_alloc run (and leak-check) under the sanitizers.
namespace {
long allocationsBeforeFailure = -1;
long allocationCount = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocationCount;
    if (allocationsBeforeFailure == 0) {
        throw std::bad_alloc();
    }
    if (allocationsBeforeFailure > 0) {
        --allocationsBeforeFailure;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace bignum {
namespace {

using oracle::hexOf;
using oracle::isWellFormed;
using oracle::Mpz;

Natural n(const std::string& hex) {
    Natural x;
    x.fromHex(hex);
    return x;
}
std::string show(const Natural& x) {
    return std::string(x.toHex()) + "/" + std::to_string(x.length());
}
std::string attempt(const std::function<void()>& f) {
    try {
        f();
        return "ok";
    } catch (const std::exception& e) {
        return e.what();
    }
}
Mpz value(const Natural& x) {
    return oracle::mpzFromLimbs(x.limbs());
}
std::size_t fresh(std::size_t n) {
    return std::bit_ceil(std::max<std::size_t>(n, 1));
}
// The capacity rule, restated for predicting capacities: halve below a quarter, double above.
std::size_t policy(std::size_t c, std::size_t want) {
    while (want < c / 4) {
        c /= 2;
    }
    while (want > c) {
        c *= 2;
    }
    return c;
}

struct Case {
    const char* name;
    std::function<std::string()> run;
    const char* expected;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class EdgeCases : public testing::TestWithParam<Case> {};
TEST_P(EdgeCases, GiveTheDocumentedResult) {
    EXPECT_EQ(GetParam().run(), GetParam().expected);
}

const std::string one8 = "1" + std::string(56, '0');

INSTANTIATE_TEST_SUITE_P(
    HexText, EdgeCases,
    testing::Values(
        Case{"empty", [] { return show(n("")); }, "0/0"},
        Case{"zeros", [] { return show(n("0")) + show(n("0000")) + show(n("WW")); }, "0/00/00/0"},
        Case{"case", [] { return show(n("00FF")) + show(n("ff")); }, "FF/1FF/1"},
        Case{"two limbs", [] { return show(n("100000000")); }, "100000000/2"},
        Case{"odd bytes",
             [] { return show(n("G")) + show(n("g")) + show(n("1:")) + show(n(" @")); },
             "F0/110/113/1C99/1"},
        Case{"stops at NUL",
             [] {
                 Natural x;
                 x.fromHex(
                     std::string_view("12\0"
                                      "34",
                                      5));
                 return show(x);
             },
             "12/1"},
        Case{"57 digits", [] { return std::to_string(std::strlen(n(one8).toHex())); }, "57"},
        Case{"copy renders apart",
             [] {
                 Natural a = n("ABC");
                 const char* text = a.toHex();
                 Natural b = a;
                 b.add(n("1"));
                 return std::string(b.toHex()) + text + (b.toHex() == text ? "shared" : "");
             },
             "ABDABC"}));

INSTANTIATE_TEST_SUITE_P(
    CarrySteps, EdgeCases,
    testing::Values(Case{"inc",
                         [] {
                             auto a = n("FFFFFFFF"), b = n("5"), c = n("");
                             a.incrementFrom(0);
                             b.incrementFrom(1);
                             c.incrementFrom(0);
                             return show(a) + show(b) + show(c);
                         },
                         "100000000/2100000005/21/1"},
                    Case{"inc too far",
                         [] {
                             auto a = n("7");
                             return attempt([&] { a.incrementFrom(2); }) + show(a) +
                                    attempt([&] { a.decrementFrom(2); });
                         },
                         "Natural is not that big7/1Natural not that big"},
                    Case{"dec",
                         [] {
                             auto a = n("100000000"), b = n("1"), c = n(""),
                                  d = n("10000000000000000");
                             a.decrementFrom(0);
                             b.decrementFrom(0);
                             c.decrementFrom(0);
                             d.decrementFrom(1);
                             return show(a) + show(b) + show(c) + show(d);
                         },
                         "FFFFFFFF/10/00/0FFFFFFFF00000000/2"},
                    Case{"dec top only",
                         [] {
                             auto a = n("1000000000000000A");
                             a.decrementFrom(2);
                             return show(a);
                         },
                         "A/1"},
                    Case{"differsFrom",
                         [] {
                             return std::to_string(n("").differsFrom(0)) +
                                    std::to_string(n("5").differsFrom(0)) +
                                    std::to_string(n("7").differsFrom(7)) +
                                    std::to_string(n("8").differsFrom(7)) +
                                    std::to_string(n("100000007").differsFrom(7));
                         },
                         "01011"},
                    Case{"compare",
                         [] {
                             auto z = n(""), a = n("5"), b = n("100000000");
                             return std::to_string(z.lessThan(z)) +
                                    std::to_string(z.greaterThan(n(""))) +
                                    std::to_string(a.lessThan(n("5"))) +
                                    std::to_string(a.greaterThan(n("5"))) +
                                    std::to_string(b.greaterThan(n("FFFFFFFF"))) +
                                    std::to_string(a.lessThan(b));
                         },
                         "000011"}));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, EdgeCases,
    testing::Values(
        Case{"add upper limbs",
             [] {
                 auto x = n("5");
                 x.add(n("1000000010000000100000000"));
                 return show(x);
             },
             "1000000010000000100000005/4"},
        Case{"add carry, zero",
             [] {
                 auto x = n("FFFFFFFF"), y = n("AB"), z = n("");
                 x.add(n("1"));
                 y.add(n(""));
                 z.add(n("AB"));
                 return show(x) + show(y) + show(z);
             },
             "100000000/2AB/1AB/1"},
        Case{"subtract",
             [] {
                 auto x = n("1234"), y = n("10000000000000000"), z = n("3");
                 x.subtract(n("1234"));
                 y.subtract(n("FFFFFFFFFFFFFFFF"));
                 return show(x) + show(y) + attempt([&] { z.subtract(n("5")); }) + show(z);
             },
             "0/01/1result would be negative3/1"},
        Case{"halve",
             [] {
                 auto a = n("1"), b = n("100000000"), c = n("");
                 a.halve();
                 b.halve();
                 c.halve();
                 return show(a) + show(b) + show(c);
             },
             "0/080000000/10/0"},
        Case{"shiftLeft",
             [] {
                 auto a = n("ABC"), b = n("1"), c = n("10000000"), z = n("");
                 a.shiftLeft(0);
                 b.shiftLeft(32);
                 c.shiftLeft(4);
                 const long before = allocationCount;
                 z.shiftLeft(1000);
                 const long allocations = allocationCount - before;
                 return show(a) + show(b) + show(c) + show(z) + std::to_string(allocations);
             },
             "ABC/1100000000/2100000000/20/00"},
        Case{"reduce",
             [] {
                 auto a = n("10000000000000000"), m = n("3"), b = n("2"), c = n("7"), d = n("99");
                 a.reduce(m);
                 auto five = n("5"), zero = n(""), same = n("99");
                 b.reduce(five);
                 c.reduce(zero);
                 d.reduce(same);
                 return show(a) + show(m) + show(b) + show(c) + show(d);
             },
             "1/13/12/17/10/0"},
        Case{
            "products",
            [] {
                auto a = n("FFFFFFFF"), z = n("");
                return show(product(a, a)) + show(product(a, z)) + show(productByLimb(a, 0)) +
                       show(productByLimb(a, 1)) + show(square(n("FFFFFFFFFFFFFFFFFFFFFFFF")));
            },
            "FFFFFFFE00000001/20/00/0FFFFFFFF/1FFFFFFFFFFFFFFFFFFFFFFFE000000000000000000000001/6"},
        Case{"divide",
             [] {
                 auto x = n("7"), d = n("2"), y = n("2"), e = n("7"), z = n("0"), s = n("AB"),
                      u = n("AB");
                 const auto q1 = divide(x, d), q2 = divide(y, e), q3 = divide(s, u);
                 return show(q1) + show(x) + show(d) + show(q2) + show(y) + show(q3) + show(s) +
                        attempt([&] { divide(x, z); }) + show(x);
             },
             "3/11/12/10/02/11/10/0divide by 0 error1/1"}));

TEST(NaturalCapacity, FollowsTheDoublingAndQuarterRule) {
    const std::size_t table[][3] = {{1, 0, 1}, {1, 1, 1},   {1, 3, 4},  {4, 5, 8},  {4, 0, 2},
                                    {8, 1, 4}, {16, 4, 16}, {16, 3, 8}, {16, 0, 2}, {64, 1, 4}};
    for (const auto& row : table) {
        Natural x;
        x.resize(row[0], false);
        ASSERT_EQ(x.capacity(), row[0]);
        const long before = allocationCount;
        x.resize(row[1], true);
        EXPECT_EQ(x.capacity(), row[2]) << row[0] << " -> " << row[1];
        EXPECT_EQ(allocationCount - before, row[0] == row[2] ? 0 : 1);
        EXPECT_EQ(x.length(), 0u);
    }
    Natural big = n("123456789ABCDEF0123456789ABCDEF");  // 4 limbs, capacity 4
    big.resize(100, true);
    big.resize(30, true);
    EXPECT_EQ(big.capacity(), 64u);
    EXPECT_EQ(show(big), "123456789ABCDEF0123456789ABCDEF/4");
    EXPECT_EQ(n(std::string(64, 'F')).capacity(), 8u);  // grown by doubling from 1
}

// Runs every operation on random operands and compares value and capacity with GMP and with
// the capacity the limb-by-limb definitions reach.
TEST(NaturalOracle, MatchesGmpOnRandomOperands) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    const std::size_t iterations = oracle::testIterations(400);
    for (std::size_t i = 0; i < iterations && !HasFailure(); ++i) {
        const Natural a = source.natural(70);
        const Natural b = source.natural(source.below(2) != 0 ? 70 : a.length());
        const Mpz A = value(a), B = value(b);
        const std::size_t la = a.length(), lb = b.length();
        SCOPED_TRACE("seed " + std::to_string(seed) + " a=" + hexOf(A) + " b=" + hexOf(B));
        Mpz r;
        const auto expect = [&](const char* what, const Natural& x, const Mpz& want,
                                std::size_t cap) {
            EXPECT_TRUE(isWellFormed(x)) << what;
            EXPECT_EQ(hexOf(value(x)), hexOf(want)) << what;
            if (cap != 0) {
                EXPECT_EQ(x.capacity(), cap) << what;
            }
        };

        mpz_add(r.get(), A.get(), B.get());
        {
            Natural x = a;
            x.add(b);
            expect("add", x, r, policy(la < lb ? policy(fresh(la), lb) : fresh(la), x.length()));
            expect("sum", sum(a, b), r, fresh(x.length()));
        }
        mpz_mul(r.get(), A.get(), B.get());
        expect("product", product(a, b), r, 0);
        mpz_mul(r.get(), A.get(), A.get());
        expect("square", square(a), r, 0);
        const Limb w = source.limb();
        mpz_mul_ui(r.get(), A.get(), w);
        expect("productByLimb", productByLimb(a, w), r, 0);
        const auto shift = source.below(100);
        mpz_mul_2exp(r.get(), A.get(), shift);
        {
            Natural x = a;
            x.shiftLeft(shift);
            expect("shiftLeft", x, r, policy(fresh(la), x.length()));
        }
        mpz_fdiv_q_2exp(r.get(), A.get(), 1);
        {
            Natural x = a;
            x.halve();
            expect("halve", x, r,
                   policy(fresh(la), std::max<std::size_t>(x.length(), la == 0 ? 1 : 0)));
        }

        const int order = mpz_cmp(A.get(), B.get());
        EXPECT_EQ(a.lessThan(b), order < 0);
        EXPECT_EQ(a.greaterThan(b), order > 0);
        EXPECT_EQ(a == b, order == 0);
        EXPECT_EQ(a.differsFrom(w), mpz_cmp_ui(A.get(), w) != 0);
        const Natural& big = order >= 0 ? a : b;
        const Natural& small = order >= 0 ? b : a;
        mpz_sub(r.get(), value(big).get(), value(small).get());
        {
            Natural x = big;
            x.subtract(small);
            expect("subtract", x, r, policy(fresh(big.length()), x.length()));
            expect("difference", difference(big, small), r,
                   policy(fresh(big.length()), x.length()));
        }
        if (order != 0) {
            Natural x = small;
            EXPECT_EQ(attempt([&] { x.subtract(big); }), "result would be negative");
            EXPECT_EQ(attempt([&] { difference(small, big); }), "result would be negative");
            expect("unchanged", x, value(small), 0);
        }

        EXPECT_EQ(a.toHex(), hexOf(A));
        std::string lower = a.toHex();
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(c));
        }
        EXPECT_EQ(n("000" + lower), a);

        const auto k = source.below(la + 1);
        Mpz power;
        mpz_ui_pow_ui(power.get(), 2, 32 * k);
        mpz_add(r.get(), A.get(), power.get());
        {
            Natural x = a;
            x.incrementFrom(k);
            expect("incrementFrom", x, r, 0);
        }
        mpz_sub(r.get(), A.get(), power.get());
        if (mpz_sgn(r.get()) < 0) {
            mpz_set_ui(r.get(), 0);
        }
        {
            Natural x = a;
            x.decrementFrom(k);
            expect("decrementFrom", x, r, 0);
        }

        for (const Natural* divisor : {&b, &small}) {
            const Mpz D = value(*divisor);
            const std::size_t ld = divisor->length();
            Natural x = a, d = *divisor;
            if (ld == 0) {
                x.reduce(d);
                expect("reduce by zero", x, A, fresh(la));
                EXPECT_EQ(attempt([&] { divide(x, d); }), "divide by 0 error");
                continue;
            }
            Mpz q, rem;
            mpz_fdiv_qr(q.get(), rem.get(), A.get(), D.get());
            const bool divides = !a.lessThan(d);
            const std::size_t capAfter =
                divides ? policy(policy(fresh(ld), la + 1), ld) : fresh(ld);
            x.reduce(d);
            expect("reduce", x, rem, divides ? policy(fresh(la), x.length()) : fresh(la));
            expect("modulus", d, D, capAfter);
            Natural y = a, e = *divisor;
            const Natural quotient = divide(y, e);
            expect("quotient", quotient, q, fresh(quotient.length()));
            expect("remainder", y, rem, divides ? policy(fresh(la), y.length()) : fresh(la));
            expect("divisor", e, D, capAfter);
        }
    }
}

// Byte strings of every kind against v <- 16 v + d(c), with d taken from the ranges of bytes.
TEST(NaturalOracle, FromHexMatchesDigitByDigitDefinition) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    const std::size_t iterations = oracle::testIterations(400);
    for (std::size_t i = 0; i < iterations && !HasFailure(); ++i) {
        std::string text(source.below(i % 10 == 0 ? 3000 : 40), '\0');
        const std::string alphabet = "0123456789abcdefABCDEFgG:@W \xFF\x80/";
        for (char& c : text) {
            c = source.below(3) == 0 ? static_cast<char>(1 + source.below(255))
                                     : alphabet[source.below(alphabet.size())];
        }
        Mpz v;
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            const unsigned d = u >= 0x30 && u <= 0x39   ? u - 0x30u
                               : u >= 0x3A && u <= 0x46 ? u - 0x37u
                                                        : (u + 256u - 0x57u) % 256u;
            mpz_mul_ui(v.get(), v.get(), 16);
            mpz_add_ui(v.get(), v.get(), d);
        }
        Natural x = n("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
        x.fromHex(text);
        SCOPED_TRACE("seed " + std::to_string(seed) + " text " + testing::PrintToString(text));
        EXPECT_TRUE(isWellFormed(x));
        EXPECT_EQ(hexOf(value(x)), hexOf(v));
        EXPECT_EQ(x.capacity(), policy(policy(8, 1), std::max<std::size_t>(x.length(), 1)));
    }
}

// Operand lengths far apart, beyond a 16-bit bit-shift count, and the 2^20-bit size limit.
TEST(NaturalLimits, LongOperandsAndTheLargestValue) {
    oracle::OperandSource source(oracle::testSeed());
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t lm = 1 + source.below(80);
        Natural x, m;
        x.setLimbs(source.limbs(lm + 2047 + source.below(500)));
        m.setLimbs(source.limbs(lm));
        if (m.length() == 0) {
            continue;
        }
        Mpz q, r;
        mpz_fdiv_qr(q.get(), r.get(), value(x).get(), value(m).get());
        Natural y = x, d = m;
        x.reduce(m);
        EXPECT_EQ(hexOf(value(x)), hexOf(r));
        EXPECT_EQ(hexOf(value(divide(y, d))), hexOf(q));
        EXPECT_EQ(y, x);
        EXPECT_EQ(d, m);
    }

    const std::vector<Limb> ones(Natural::maxLimbs, 0xFFFFFFFFu);
    Natural top;
    top.setLimbs(ones);
    EXPECT_EQ(n(std::string(Natural::maxLimbs * 8, 'F')), top);
    EXPECT_EQ(n("000" + std::string(Natural::maxLimbs * 8, 'F')), top);
    std::vector<Limb> sparse(Natural::maxLimbs / 2 + 1, 0);
    sparse.back() = 1;
    Natural half, halfLess, three = n("3");
    half.setLimbs(sparse);                            // 2^(32 * 16384)
    halfLess.setLimbs(std::span(sparse).subspan(1));  // 2^(32 * 16383)
    EXPECT_EQ(product(half, halfLess).length(), Natural::maxLimbs);
    Natural fits = halfLess;
    fits.shiftLeft(16);
    EXPECT_EQ(square(fits).length(), Natural::maxLimbs);
    EXPECT_EQ(sum(top, Natural()), top);
    EXPECT_EQ(productByLimb(top, 1), top);
    Natural x = top;
    EXPECT_EQ(divide(x, three).toHex(), std::string(Natural::maxLimbs * 8, '5'));
    EXPECT_EQ(show(x), "0/0");

    const Natural one = n("1");
    const std::pair<const char*, std::function<void(Natural&)>> refused[] = {
        {"add", [&](Natural& v) { v.add(one); }},
        {"incrementFrom", [](Natural& v) { v.incrementFrom(0); }},
        {"shiftLeft", [](Natural& v) { v.shiftLeft(1); }},
        {"shiftLeft far", [](Natural& v) { v.shiftLeft(std::size_t{1} << 40); }},
        {"resize", [](Natural& v) { v.resize(Natural::maxLimbs + 1, true); }},
        {"fromHex", [](Natural& v) { v.fromHex("1" + std::string(Natural::maxLimbs * 8, '0')); }},
        {"fromHex carry",
         [](Natural& v) { v.fromHex("g" + std::string(Natural::maxLimbs * 8 - 1, '0')); }},
        {"setLimbs",
         [&](Natural& v) {
             auto w = ones;
             w.push_back(1);
             v.setLimbs(w);
         }},
        {"sum", [&](Natural& v) { sum(v, one); }},
        {"productByLimb", [](Natural& v) { productByLimb(v, 2); }},
        {"product", [&](Natural&) { product(half, half); }},
        {"square", [&](Natural&) { square(half); }}};
    for (const auto& [name, operation] : refused) {
        Natural v = top;
        EXPECT_THROW(operation(v), std::bad_alloc) << name;
        EXPECT_EQ(v, top) << name;
        EXPECT_EQ(v.capacity(), Natural::maxLimbs) << name;
    }
}

TEST(NaturalAliasing, OperandsMayBeTheSameObject) {
    oracle::OperandSource source(oracle::testSeed());
    for (std::size_t i = 0; i < 50; ++i) {
        const Natural a = source.natural(20);
        const Mpz A = value(a);
        SCOPED_TRACE("a=" + hexOf(A));
        Mpz twice, sq;
        mpz_mul_2exp(twice.get(), A.get(), 1);
        mpz_mul(sq.get(), A.get(), A.get());
        Natural x = a;
        x.add(x);
        EXPECT_EQ(hexOf(value(x)), hexOf(twice));
        x = a;
        x.subtract(x);
        EXPECT_EQ(x.length(), 0u);
        x = a;
        x.reduce(x);
        EXPECT_EQ(x.length(), 0u);
        x = a;
        x = x;
        EXPECT_EQ(x, a);
        x.assign(x);
        EXPECT_EQ(x, a);
        EXPECT_EQ(hexOf(value(sum(a, a))), hexOf(twice));
        EXPECT_EQ(difference(a, a).length(), 0u);
        EXPECT_EQ(hexOf(value(product(a, a))), hexOf(sq));
        EXPECT_EQ(hexOf(value(square(a))), hexOf(sq));
        if (a.length() > 0) {
            const Natural q = divide(x, x);
            EXPECT_EQ(show(q) + show(x), "1/10/0");
            x = a;
            x.setLimbs(x.limbs().subspan(1));
            Mpz shifted;
            mpz_fdiv_q_2exp(shifted.get(), A.get(), 32);
            EXPECT_EQ(hexOf(value(x)), hexOf(shifted));
        }
    }
}

// Fails allocation number k = 0, 1, ... of each operation until it succeeds. Where the value is
// refused whole, it must be untouched; otherwise it must still be well formed. The sanitizer
// build checks that nothing leaks.
TEST(NaturalAllocationFailure, LeavesValuesValidAndLeaksNothing) {
    struct Operation {
        const char* name;
        bool keepsValueOnFailure;
        std::function<void(Natural&, Natural&)> run;
    };
    const std::string longText(700, '9');
    const Operation operations[] = {
        {"resize", true, [](Natural& x, Natural&) { x.resize(40, true); }},
        {"assign", true, [](Natural& x, Natural& y) { x.assign(y); }},
        {"copy", true, [](Natural&, Natural& y) { Natural z(y); }},
        {"fromHex", true, [&](Natural& x, Natural&) { x.fromHex(longText); }},
        {"setLimbs", true, [](Natural& x, Natural& y) { x.setLimbs(y.limbs()); }},
        {"toHex", true, [](Natural& x, Natural&) { x.toHex(); }},
        {"add", true, [](Natural& x, Natural& y) { x.add(y); }},
        {"shiftLeft", true, [](Natural& x, Natural&) { x.shiftLeft(3000); }},
        {"incrementFrom", true, [](Natural& x, Natural&) { x.incrementFrom(x.length()); }},
        {"subtract", false, [](Natural&, Natural& y) { y.subtract(y); }},
        {"reduce", false, [](Natural& x, Natural& y) { y.reduce(x); }},
        {"divide", false, [](Natural& x, Natural& y) { divide(y, x); }},
        {"sum", true, [](Natural& x, Natural& y) { sum(x, y); }},
        {"difference", true, [](Natural& x, Natural& y) { difference(y, x); }},
        {"product", true, [](Natural& x, Natural& y) { product(x, y); }},
        {"square", true, [](Natural& x, Natural&) { square(x); }},
        {"productByLimb", true, [](Natural& x, Natural&) { productByLimb(x, 7); }}};
    for (const auto& operation : operations) {
        for (long k = 0;; ++k) {
            Natural x = n("123456789ABCDEF");
            Natural y = n(std::string(300, 'F'));
            const char* text = x.toHex();
            const Natural xBefore = x, yBefore = y;
            allocationsBeforeFailure = k;
            bool failed = false;
            try {
                operation.run(x, y);
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            allocationsBeforeFailure = -1;
            EXPECT_TRUE(isWellFormed(x) && isWellFormed(y)) << operation.name << " " << k;
            if (failed && operation.keepsValueOnFailure) {
                EXPECT_TRUE(x == xBefore && y == yBefore) << operation.name << " " << k;
                EXPECT_STREQ(text, "123456789ABCDEF") << operation.name << " " << k;
            }
            if (std::string_view(operation.name) == "reduce" ||
                std::string_view(operation.name) == "divide") {
                EXPECT_EQ(x, xBefore) << operation.name << " " << k;
            }
            if (!failed) {
                EXPECT_GT(k, 0) << operation.name << " never allocated";
                break;
            }
            ASSERT_LT(k, 10) << operation.name;
        }
    }
}

}  // namespace
}  // namespace bignum
