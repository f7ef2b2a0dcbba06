#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "GmpOracle.h"
#include "bignum/Kernels.h"
#include "bignum/Natural.h"

// Counts allocations and, when armed, fails every one from the chosen one on, so that the
// std::bad_alloc paths run (and leak-check) under the sanitizers. Out of line so that the
// optimiser pairs every new with this delete and not with free.
namespace {
long allocationsBeforeFailure = -1;
long allocationCount = 0;
}  // namespace
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++allocationCount;
    if (allocationsBeforeFailure == 0) {
        throw std::bad_alloc();
    }
    allocationsBeforeFailure -= allocationsBeforeFailure > 0 ? 1 : 0;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
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
std::string hexValue(const Natural& x) {
    return hexOf(oracle::mpzFromLimbs(x.limbs()));
}
std::size_t fresh(std::size_t n) {
    return std::bit_ceil(std::max<std::size_t>(n, 1));
}
// The capacity rule, restated to predict capacities: halve below a quarter, double above.
std::size_t policy(std::size_t c, std::size_t want) {
    for (; want < c / 4; c /= 2) {
    }
    for (; want > c; c *= 2) {
    }
    return c;
}

TEST(NaturalEdgeCases, GiveTheDocumentedResults) {
    using Operation = std::function<std::string(Natural&, Natural&, const std::string&)>;
    const auto number = [](const std::string& s) {
        return std::stoul(s.empty() ? "0" : s, nullptr, 16);
    };
    // clang-format off
    const std::map<std::string, Operation> operations = {
        {"hex", [](Natural& x, Natural&, const std::string& t) { x.fromHex(t); return show(x); }},
        {"digits", [](Natural& x, Natural&, const std::string&) { return std::to_string(std::strlen(x.toHex())); }},
        {"inc", [&](Natural& x, Natural&, const std::string& t) { x.incrementFrom(number(t)); return show(x); }},
        {"dec", [&](Natural& x, Natural&, const std::string& t) { x.decrementFrom(number(t)); return show(x); }},
        {"differs", [&](Natural& x, Natural&, const std::string& t) { return std::to_string(x.differsFrom(static_cast<Limb>(number(t)))); }},
        {"compare", [](Natural& x, Natural& y, const std::string&) {
            return std::to_string(x.lessThan(y)) + std::to_string(x.greaterThan(y)) + std::to_string(x == y); }},
        {"add", [](Natural& x, Natural& y, const std::string&) { x.add(y); return show(x); }},
        {"subtract", [](Natural& x, Natural& y, const std::string&) { x.subtract(y); return show(x); }},
        {"halve", [](Natural& x, Natural&, const std::string&) { x.halve(); return show(x); }},
        {"shiftLeft", [&](Natural& x, Natural&, const std::string& t) {  // and how many allocations
            const long before = allocationCount;
            x.shiftLeft(number(t));
            const long allocations = allocationCount - before;
            return show(x) + " " + std::to_string(allocations); }},
        {"reduce", [](Natural& x, Natural& y, const std::string&) { x.reduce(y); return show(x) + " " + show(y); }},
        {"divide", [](Natural& x, Natural& y, const std::string&) { const Natural q = divide(x, y); return show(q) + " " + show(x) + " " + show(y); }},
        {"product", [](Natural& x, Natural& y, const std::string&) { return show(product(x, y)); }},
        {"square", [](Natural& x, Natural&, const std::string&) { return show(square(x)); }},
        {"byLimb", [&](Natural& x, Natural&, const std::string& t) { return show(productByLimb(x, static_cast<Limb>(number(t)))); }},
        {"copyText", [](Natural& x, Natural& y, const std::string&) {  // a copy's change leaves the original's text
            const char* text = x.toHex();
            Natural copy = x;
            copy.add(y);
            return std::string(copy.toHex()) + " " + text; }}};
    // Operation, x, y, text argument, expected result.
    const std::vector<std::array<std::string, 5>> table = {
        {"hex", "7", "", "", "0/0"}, {"hex", "7", "", "0", "0/0"}, {"hex", "7", "", "0000", "0/0"},
        {"hex", "", "", "00FF", "FF/1"}, {"hex", "", "", "ff", "FF/1"}, {"hex", "", "", "100000000", "100000000/2"},
        {"hex", "", "", "G", "F0/1"}, {"hex", "", "", "g", "10/1"}, {"hex", "", "", "1:", "13/1"},
        {"hex", "", "", " @", "C99/1"}, {"hex", "", "", "WW", "0/0"}, {"hex", "", "", std::string("12\0" "34", 5), "12/1"},
        {"digits", "1" + std::string(56, '0'), "", "", "57"},
        {"inc", "FFFFFFFF", "", "0", "100000000/2"}, {"inc", "5", "", "1", "100000005/2"}, {"inc", "", "", "0", "1/1"},
        {"inc", "7", "", "2", "Natural is not that big 7/1"}, {"dec", "7", "", "2", "Natural not that big 7/1"},
        {"dec", "100000000", "", "0", "FFFFFFFF/1"}, {"dec", "1", "", "0", "0/0"}, {"dec", "", "", "0", "0/0"},
        {"dec", "10000000000000000", "", "1", "FFFFFFFF00000000/2"}, {"dec", "1000000000000000A", "", "2", "A/1"},
        {"differs", "", "", "0", "0"}, {"differs", "5", "", "0", "1"}, {"differs", "7", "", "7", "0"},
        {"differs", "8", "", "7", "1"}, {"differs", "100000007", "", "7", "1"},
        {"compare", "", "", "", "001"}, {"compare", "5", "5", "", "001"}, {"compare", "100000000", "FFFFFFFF", "", "010"},
        {"compare", "5", "100000000", "", "100"},
        {"add", "5", "1000000010000000100000000", "", "1000000010000000100000005/4"},
        {"add", "FFFFFFFF", "1", "", "100000000/2"}, {"add", "AB", "", "", "AB/1"}, {"add", "", "AB", "", "AB/1"},
        {"subtract", "1234", "1234", "", "0/0"}, {"subtract", "10000000000000000", "FFFFFFFFFFFFFFFF", "", "1/1"},
        {"subtract", "3", "5", "", "result would be negative 3/1"},
        {"halve", "1", "", "", "0/0"}, {"halve", "100000000", "", "", "80000000/1"}, {"halve", "", "", "", "0/0"},
        {"shiftLeft", "ABC", "", "0", "ABC/1 0"}, {"shiftLeft", "1", "", "20", "100000000/2 1"},
        {"shiftLeft", "10000000", "", "4", "100000000/2 1"}, {"shiftLeft", "", "", "3E8", "0/0 0"},
        {"reduce", "10000000000000000", "3", "", "1/1 3/1"}, {"reduce", "2", "5", "", "2/1 5/1"},
        {"reduce", "7", "", "", "7/1 0/0"}, {"reduce", "99", "99", "", "0/0 99/1"},
        {"product", "FFFFFFFF", "FFFFFFFF", "", "FFFFFFFE00000001/2"}, {"product", "FFFFFFFF", "", "", "0/0"},
        {"byLimb", "FFFFFFFF", "", "0", "0/0"}, {"byLimb", "FFFFFFFF", "", "1", "FFFFFFFF/1"},
        {"square", "FFFFFFFFFFFFFFFFFFFFFFFF", "", "", "FFFFFFFFFFFFFFFFFFFFFFFE000000000000000000000001/6"},
        {"divide", "7", "", "", "divide by 0 error 7/1"}, {"divide", "7", "2", "", "3/1 1/1 2/1"},
        {"divide", "2", "7", "", "0/0 2/1 7/1"}, {"divide", "AB", "AB", "", "1/1 0/0 AB/1"},
        {"copyText", "ABC", "1", "", "ABD ABC"}};
    // clang-format on
    for (const auto& [name, xHex, yHex, text, expected] : table) {
        Natural x = n(xHex), y = n(yHex);
        std::string result;
        try {
            result = operations.at(name)(x, y, text);
        } catch (const std::invalid_argument& e) {
            result = e.what() + (" " + show(x));
        }
        EXPECT_EQ(result, expected) << name << " " << xHex << " " << yHex << " " << text;
        EXPECT_TRUE(isWellFormed(x) && isWellFormed(y)) << name << " " << xHex;
    }
}

TEST(NaturalCapacity, FollowsTheDoublingAndQuarterRule) {
    const std::size_t table[][3] = {{1, 0, 1}, {1, 1, 1},   {1, 3, 4},  {4, 5, 8},  {4, 0, 2},
                                    {8, 1, 4}, {16, 4, 16}, {16, 3, 8}, {16, 0, 2}, {64, 1, 4}};
    for (const auto& [before, request, after] : table) {
        Natural x;
        x.resize(before, false);
        ASSERT_EQ(x.capacity(), before);
        const long allocations = allocationCount;
        x.resize(request, true);
        EXPECT_EQ(x.capacity(), after) << before << " -> " << request;
        EXPECT_EQ(allocationCount - allocations, before == after ? 0 : 1);
    }
    Natural big = n("123456789ABCDEF0123456789ABCDEF");
    big.resize(100, true);
    big.resize(30, true);
    EXPECT_EQ(show(big) + " " + std::to_string(big.capacity()),
              "123456789ABCDEF0123456789ABCDEF/4 64");
}

// Every operation on random operands against GMP, and each capacity against the policy.
TEST(NaturalOracle, MatchesGmpOnRandomOperands) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    const std::size_t iterations = oracle::testIterations(400);
    for (std::size_t i = 0; i < iterations && !HasFailure(); ++i) {
        const std::size_t longest = i % 8 == 0 ? 160 : 70;  // beyond the stack scratch at times
        const Natural a = source.natural(longest);
        const Natural b = source.natural(source.below(2) != 0 ? longest : a.length());
        const Mpz A = oracle::mpzFromLimbs(a.limbs()), B = oracle::mpzFromLimbs(b.limbs());
        const std::size_t la = a.length(), lb = b.length();
        const std::size_t shift = source.below(100), k = source.below(la + 1);
        const Limb w = source.limb();
        SCOPED_TRACE("seed " + std::to_string(seed) + " a=" + hexOf(A) + " b=" + hexOf(B));
        Mpz r;
        const auto expect = [&](const char* what, const Natural& x, std::size_t capacity) {
            EXPECT_TRUE(isWellFormed(x)) << what;
            EXPECT_EQ(hexValue(x), hexOf(r)) << what;
            EXPECT_TRUE(capacity == 0 || x.capacity() == capacity) << what << " " << x.capacity();
        };
        const auto inPlace = [](const Natural& value, const auto& operation) {
            Natural x = value;  // returned by name: no copy to reset the capacity
            operation(x);
            return x;
        };
        mpz_add(r.get(), A.get(), B.get());
        const Natural added = inPlace(a, [&](Natural& x) { x.add(b); });
        expect("add", added, policy(la < lb ? policy(fresh(la), lb) : fresh(la), added.length()));
        expect("sum", sum(a, b), fresh(added.length()));
        mpz_mul(r.get(), A.get(), B.get());
        expect("product", product(a, b), 0);
        mpz_mul(r.get(), A.get(), A.get());
        expect("square", square(a), 0);
        mpz_mul_ui(r.get(), A.get(), w);
        expect("productByLimb", productByLimb(a, w), 0);
        mpz_mul_2exp(r.get(), A.get(), shift);
        const Natural shifted = inPlace(a, [&](Natural& x) { x.shiftLeft(shift); });
        expect("shiftLeft", shifted, policy(fresh(la), shifted.length()));
        mpz_fdiv_q_2exp(r.get(), A.get(), 1);
        const Natural halved = inPlace(a, [](Natural& x) { x.halve(); });
        expect("halve", halved, policy(fresh(la), std::max<std::size_t>(halved.length(), la == 0)));
        Mpz power;
        mpz_setbit(power.get(), 32 * k);
        mpz_add(r.get(), A.get(), power.get());
        expect("incrementFrom", inPlace(a, [&](Natural& x) { x.incrementFrom(k); }), 0);
        mpz_sub(r.get(), A.get(), power.get());
        if (mpz_sgn(r.get()) < 0) {
            mpz_set_ui(r.get(), 0);
        }
        expect("decrementFrom", inPlace(a, [&](Natural& x) { x.decrementFrom(k); }), 0);

        const int order = mpz_cmp(A.get(), B.get());
        EXPECT_EQ(
            std::to_string(a.lessThan(b)) + std::to_string(a.greaterThan(b)) +
                std::to_string(a == b),
            std::to_string(order < 0) + std::to_string(order > 0) + std::to_string(order == 0));
        EXPECT_EQ(a.differsFrom(w), mpz_cmp_ui(A.get(), w) != 0);
        const Natural& big = order >= 0 ? a : b;
        const Natural& small = order >= 0 ? b : a;
        mpz_sub(r.get(), oracle::mpzFromLimbs(big.limbs()).get(),
                oracle::mpzFromLimbs(small.limbs()).get());
        const Natural subtracted = inPlace(big, [&](Natural& x) { x.subtract(small); });
        expect("subtract", subtracted, policy(fresh(big.length()), subtracted.length()));
        expect("difference", difference(big, small), subtracted.capacity());
        if (order != 0) {
            Natural x = small;
            EXPECT_THROW(x.subtract(big), std::invalid_argument);
            EXPECT_THROW(difference(small, big), std::invalid_argument);
            EXPECT_EQ(x, small);
        }

        EXPECT_EQ(a.toHex(), hexOf(A));
        std::string lower = a.toHex();
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_EQ(n("00" + lower), a);

        for (const Natural* divisor : {&b, &small}) {
            Natural x = a, m = *divisor, y = a, d = *divisor;
            const std::size_t lm = m.length();
            if (lm == 0) {
                x.reduce(m);
                EXPECT_EQ(x, a);
                EXPECT_THROW(divide(x, d), std::invalid_argument);
                continue;
            }
            const bool divides = !a.lessThan(m);
            const std::size_t modulusCapacity =
                divides ? policy(policy(fresh(lm), la + 1), lm) : fresh(lm);
            Mpz q;
            mpz_fdiv_qr(q.get(), r.get(), A.get(), oracle::mpzFromLimbs(m.limbs()).get());
            x.reduce(m);
            expect("reduce", x, divides ? policy(fresh(la), x.length()) : fresh(la));
            const Natural quotient = divide(y, d);
            expect("remainder", y, x.capacity());
            EXPECT_TRUE(m == *divisor && d == *divisor && m.capacity() == modulusCapacity &&
                        d.capacity() == modulusCapacity);
            r = q;
            expect("quotient", quotient, fresh(quotient.length()));
        }
    }
}

// Byte strings of every kind against v <- 16 v + d(c), d taken from the ranges of bytes.
TEST(NaturalOracle, FromHexMatchesDigitByDigitDefinition) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    const std::string alphabet = "0123456789abcdefABCDEFgG:@W \xFF\x80/";
    for (std::size_t i = 0; i < oracle::testIterations(400) && !HasFailure(); ++i) {
        std::string text(source.below(i % 10 == 0 ? 3000 : 40), '\0');
        for (char& c : text) {
            c = source.below(3) == 0 ? static_cast<char>(1 + source.below(255))
                                     : alphabet[source.below(alphabet.size())];
        }
        Mpz v;
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            mpz_mul_2exp(v.get(), v.get(), 4);
            mpz_add_ui(v.get(), v.get(),
                       u >= 0x30 && u <= 0x39   ? u - 0x30u
                       : u >= 0x3A && u <= 0x46 ? u - 0x37u
                                                : (u + 256u - 0x57u) % 256u);
        }
        Natural x = n(std::string(40, 'F'));
        x.fromHex(text);
        SCOPED_TRACE("seed " + std::to_string(seed) + " text " + testing::PrintToString(text));
        EXPECT_TRUE(isWellFormed(x));
        EXPECT_EQ(hexValue(x), hexOf(v));
        EXPECT_EQ(x.capacity(), policy(policy(8, 1), std::max<std::size_t>(x.length(), 1)));
    }
}

// Operand lengths further apart than a 16-bit bit count allows, and the 2^20-bit limit.
TEST(NaturalLimits, LongOperandsAndTheLargestValue) {
    oracle::OperandSource source(oracle::testSeed());
    for (std::size_t i = 0; i < 6; ++i) {
        Natural x, m;
        m.setLimbs(source.limbs(1 + source.below(80)));
        x.setLimbs(source.limbs(m.length() + 2047 + source.below(500)));
        Mpz q, r;
        mpz_fdiv_qr(q.get(), r.get(), oracle::mpzFromLimbs(x.limbs()).get(),
                    oracle::mpzFromLimbs(m.limbs()).get());
        Natural y = x, d = m;
        if (m.length() > 0) {
            x.reduce(m);
            EXPECT_EQ(hexValue(x), hexOf(r));
            EXPECT_EQ(hexValue(divide(y, d)), hexOf(q));
            EXPECT_TRUE(y == x && d == m);
        }
    }
    const std::vector<Limb> ones(Natural::maxLimbs, 0xFFFFFFFFu), oneMore(Natural::maxLimbs + 1, 1);
    std::vector<Limb> sparse(Natural::maxLimbs / 2 + 1, 0);
    sparse.back() = 1;
    Natural top, half, halfLess, three = n("3"), one = n("1");
    top.setLimbs(ones);
    half.setLimbs(sparse);                            // 2^(32 * 16384)
    halfLess.setLimbs(std::span(sparse).subspan(1));  // 2^(32 * 16383)
    EXPECT_EQ(n("000" + std::string(Natural::maxLimbs * 8, 'F')), top);
    EXPECT_EQ(product(half, halfLess).length(), Natural::maxLimbs);
    Natural fits = halfLess;
    fits.shiftLeft(16);
    EXPECT_EQ(square(fits).length(), Natural::maxLimbs);
    EXPECT_TRUE(sum(top, Natural()) == top && productByLimb(top, 1) == top);
    Natural x = top;
    EXPECT_EQ(divide(x, three).toHex(), std::string(Natural::maxLimbs * 8, '5'));
    EXPECT_EQ(show(x), "0/0");
    // clang-format off
    const std::pair<const char*, std::function<void(Natural&)>> refused[] = {
        {"add", [&](Natural& v) { v.add(one); }}, {"incrementFrom", [](Natural& v) { v.incrementFrom(0); }},
        {"shiftLeft", [](Natural& v) { v.shiftLeft(1); }}, {"shiftLeft far", [](Natural& v) { v.shiftLeft(std::size_t{1} << 40); }},
        {"resize", [](Natural& v) { v.resize(Natural::maxLimbs + 1, true); }},
        {"fromHex", [](Natural& v) { v.fromHex("1" + std::string(Natural::maxLimbs * 8, '0')); }},
        {"fromHex carry", [](Natural& v) { v.fromHex("g" + std::string(Natural::maxLimbs * 8 - 1, '0')); }},
        {"setLimbs", [&](Natural& v) { v.setLimbs(oneMore); }}, {"sum", [&](Natural& v) { sum(v, one); }},
        {"productByLimb", [](Natural& v) { productByLimb(v, 2); }}, {"product", [&](Natural&) { product(half, half); }},
        {"product by one limb", [&](Natural& v) { product(v, n("2")); }}, {"square", [&](Natural&) { square(half); }}};
    // clang-format on
    for (const auto& [name, operation] : refused) {
        Natural v = top;
        EXPECT_THROW(operation(v), std::bad_alloc) << name;
        EXPECT_TRUE(v == top && v.capacity() == Natural::maxLimbs) << name;
    }
}

TEST(NaturalAliasing, OperandsMayBeTheSameObject) {
    oracle::OperandSource source(oracle::testSeed());
    for (std::size_t i = 0; i < 50; ++i) {
        const Natural a = source.natural(20);
        const Mpz A = oracle::mpzFromLimbs(a.limbs());
        Mpz twice, squared, shifted;
        mpz_mul_2exp(twice.get(), A.get(), 1);
        mpz_mul(squared.get(), A.get(), A.get());
        mpz_fdiv_q_2exp(shifted.get(), A.get(), 32);
        // clang-format off
        const std::tuple<const char*, std::function<void(Natural&)>, std::string> cases[] = {
            {"add", [](Natural& x) { x.add(x); }, hexOf(twice)}, {"subtract", [](Natural& x) { x.subtract(x); }, "0"},
            {"reduce", [](Natural& x) { x.reduce(x); }, "0"},
            {"assign", [](Natural& x) { const Natural& self = x; x = self; x.assign(self); }, hexOf(A)},
            {"sum", [](Natural& x) { x = sum(x, x); }, hexOf(twice)}, {"difference", [](Natural& x) { x = difference(x, x); }, "0"},
            {"product", [](Natural& x) { x = product(x, x); }, hexOf(squared)},
            {"setLimbs", [](Natural& x) { x.setLimbs(x.limbs().subspan(1)); }, hexOf(shifted)},
            {"quotient", [](Natural& x) { x = divide(x, x); }, "1"}, {"remainder", [](Natural& x) { divide(x, x); }, "0"}};
        // clang-format on
        for (const auto& [name, operation, expected] : cases) {
            Natural x = a;
            if (a.length() == 0) {  // zero cannot divide itself nor lose a limb
                continue;
            }
            operation(x);
            EXPECT_EQ(hexValue(x), expected) << name << " a=" << hexOf(A);
            EXPECT_TRUE(isWellFormed(x)) << name;
        }
    }
}

// Fails allocation k = 0, 1, ... of each operation until it succeeds: a value refused whole is
// untouched, the others well formed, and the modulus of reduce and divide unchanged.
TEST(NaturalAllocationFailure, LeavesValuesValidAndLeaksNothing) {
    const std::string longText(700, '9');
    // clang-format off
    const std::tuple<const char*, bool, std::function<void(Natural&, Natural&)>> operations[] = {  // name, keeps value
        {"resize", true, [](Natural& x, Natural&) { x.resize(40, true); }}, {"assign", true, [](Natural& x, Natural& y) { x.assign(y); }},
        {"copy", true, [](Natural&, Natural& y) { Natural z(y); }}, {"fromHex", true, [&](Natural& x, Natural&) { x.fromHex(longText); }},
        {"setLimbs", true, [](Natural& x, Natural& y) { x.setLimbs(y.limbs()); }}, {"toHex", true, [](Natural& x, Natural&) { x.toHex(); }},
        {"add", true, [](Natural& x, Natural& y) { x.add(y); }}, {"shiftLeft", true, [](Natural& x, Natural&) { x.shiftLeft(3000); }},
        {"incrementFrom", true, [](Natural& x, Natural&) { x.incrementFrom(x.length()); }},
        {"subtract", false, [](Natural&, Natural& y) { y.subtract(y); }}, {"reduce", false, [](Natural& x, Natural& y) { y.reduce(x); }},
        {"divide", false, [](Natural& x, Natural& y) { divide(y, x); }}, {"sum", true, [](Natural& x, Natural& y) { sum(x, y); }},
        {"difference", true, [](Natural& x, Natural& y) { difference(y, x); }}, {"product", true, [](Natural&, Natural& y) { product(y, y); }},
        {"square", true, [](Natural&, Natural& y) { square(y); }}, {"productByLimb", true, [](Natural& x, Natural&) { productByLimb(x, 7); }}};
    // clang-format on
    for (const auto& [name, keepsValue, run] : operations) {
        for (long k = 0;; ++k) {
            Natural x = n("123456789ABCDEF"), y = n(std::string(1300, 'F'));
            const char* text = x.toHex();
            const Natural xBefore = x, yBefore = y;
            allocationsBeforeFailure = k;
            bool failed = false;
            try {
                run(x, y);
            } catch (const std::bad_alloc&) {
                failed = true;
            }
            allocationsBeforeFailure = -1;
            EXPECT_TRUE(isWellFormed(x) && isWellFormed(y)) << name << " " << k;
            EXPECT_TRUE(!failed || !keepsValue ||
                        (x == xBefore && y == yBefore && std::strcmp(text, "123456789ABCDEF") == 0))
                << name << " " << k;
            EXPECT_TRUE(keepsValue || x == xBefore) << name << " " << k;
            if (!failed) {
                EXPECT_GT(k, 0) << name << " never allocated";
                break;
            }
            ASSERT_LT(k, 10) << name;
        }
    }
}

// The word kernels on 32-bit limbs, as Natural runs them.
TEST(NaturalKernels, NarrowWordsMatchGmp) {
    const auto seed = oracle::testSeed();
    oracle::OperandSource source(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const auto hexOfLimbs = [](const std::vector<Limb>& limbs) {
        return hexOf(oracle::mpzFromLimbs(limbs));
    };
    for (std::size_t i = 0; i < oracle::testIterations(400) / 4 && !HasFailure(); ++i) {
        std::vector<Limb> x = source.limbs(2 + source.below(30)),
                          m = source.limbs(2 + source.below(x.size() - 1));
        m.back() |= source.limb() | 1u;
        const Mpz X = oracle::mpzFromLimbs(x), M = oracle::mpzFromLimbs(m);
        Mpz q, r, p, s;
        mpz_fdiv_qr(q.get(), r.get(), X.get(), M.get());
        mpz_mul(p.get(), X.get(), M.get());
        mpz_mul(s.get(), X.get(), X.get());
        std::vector<Limb> product(x.size() + m.size()), square(2 * x.size()),
            quotient(x.size() - m.size() + 1);
        kernels::multiply<Limb>(product, x, m);
        kernels::square<Limb>(square, x);
        kernels::divide<Limb>(x, m, quotient);
        EXPECT_EQ(hexOfLimbs(product) + " " + hexOfLimbs(square) + " " + hexOfLimbs(quotient) +
                      " " + hexOfLimbs(x),
                  hexOf(p) + " " + hexOf(s) + " " + hexOf(q) + " " + hexOf(r));
    }
}

}  // namespace
}  // namespace bignum
