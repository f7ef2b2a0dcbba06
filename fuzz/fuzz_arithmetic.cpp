// Natural arithmetic, and residues on word buffers modulo the second operand, against GMP. The
// first byte picks the operation, the next three give a small parameter (a shift, a limb, a
// position) and where the first operand ends; the rest are the two operands' limbs, least
// significant byte first.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"
#include "fuzz/GmpModel.h"

namespace {

using bignum::Limb;
using bignum::Natural;

constexpr std::size_t maxOperandBytes = 4096;

Natural fromBytes(const std::uint8_t* data, std::size_t size) {
    std::vector<Limb> limbs((size + 3) / 4, 0);
    for (std::size_t i = 0; i < size; ++i) {
        limbs[i / 4] |= static_cast<Limb>(data[i]) << (8 * (i % 4));
    }
    Natural n;
    n.setLimbs(limbs);
    return n;
}

template <typename Operation>
void expectInvalidArgument(const char* message, Operation operation) {
    try {
        operation();
    } catch (const std::invalid_argument& failure) {
        if (std::string_view(failure.what()) != message) {
            kxfuzz::fail(failure.what());
        }
        return;
    }
    kxfuzz::fail(message);
}

enum class Operation : std::uint8_t {
    add,
    addSelf,
    subtract,
    subtractSelf,
    sumAndDifference,
    product,
    square,
    divide,
    reduce,
    shiftLeft,
    halve,
    productByLimb,
    compare,
    incrementAndDecrement,
    residues,
    count
};

Natural fromMpz(const mpz_class& v) {
    Natural n;
    n.fromHex(v.get_str(16));
    return n;
}

// a and a^2 + parameter reduced modulo m, through every operation of the field of word count N.
template <std::size_t N>
void checkResidues(const mpz_class& ma, const Natural& m, const mpz_class& mm,
                   std::uint16_t parameter) {
    using Field = bignum::MontgomeryField<N>;
    const auto field = Field::of(m);
    if (!field) {
        if (mm > 1 && mm % 2 == 1 && Field::wordsOf(m) <= Field::maxWords) {
            kxfuzz::fail("a modulus the field should hold was declined");
        }
        return;
    }
    const mpz_class mx = ma % mm;
    const mpz_class my = (ma * ma + parameter) % mm;
    using Residue = typename Field::Residue;
    Residue x;
    Residue y;
    if (!field->load(fromMpz(mx), x) || !field->load(fromMpz(my), y) ||
        field->load(fromMpz(mm), y)) {
        kxfuzz::fail("load", mm, mx);
    }
    const auto expect = [&](const char* what, const Residue& r, const mpz_class& expected) {
        Natural stored;
        field->store(r, stored);
        kxfuzz::expectEqual(what, stored, expected);
    };
    const auto reduced = [&](const mpz_class& v) {
        mpz_class r = v % mm;
        return r < 0 ? mpz_class(r + mm) : r;
    };
    Residue r;
    field->add(r, x, y);
    expect("residue sum", r, reduced(mx + my));
    field->subtract(r, x, y);
    expect("residue difference", r, reduced(mx - my));
    field->negate(r, y);
    expect("residue negation", r, reduced(-my));
    field->multiply(r, x, y);
    expect("residue product", r, reduced(mx * my));
    field->multiply(r, x, x);
    expect("residue square", r, reduced(mx * mx));
    if (field->isZero(x) != (mx == 0) || field->equal(x, y) != (mx == my)) {
        kxfuzz::fail("residue comparison", mx, my);
    }
    if (mx != 0) {
        mpz_class inverse;
        const bool exists = mpz_invert(inverse.get_mpz_t(), mx.get_mpz_t(), mm.get_mpz_t()) != 0;
        if (field->invert(r, x) != exists) {
            kxfuzz::fail("residue inverse exists", mx, mm);
        }
        if (exists) {
            expect("residue inverse", r, inverse);
        }
    }
}

// The residue checks on the field the scalar multiplication uses for m.
void checkResiduesOnItsField(const mpz_class& ma, const Natural& m, const mpz_class& mm,
                             std::uint16_t parameter) {
    const std::size_t n = bignum::MontgomeryField<0>::wordsOf(m);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        if (!((n == I && (checkResidues<I>(ma, m, mm, parameter), true)) || ...)) {
            checkResidues<0>(ma, m, mm, parameter);
        }
    }
    (std::make_index_sequence<bignum::longestUnrolledField + 1>{});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size - 4 > maxOperandBytes) {
        return -1;
    }
    const auto operation =
        static_cast<Operation>(data[0] % static_cast<std::uint8_t>(Operation::count));
    const std::uint16_t parameter = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
    const std::size_t operandBytes = size - 4;
    const std::size_t split = operandBytes == 0 ? 0 : data[3] * operandBytes / 255;
    Natural a = fromBytes(data + 4, split);
    Natural b = fromBytes(data + 4 + split, operandBytes - split);
    const mpz_class ma = kxfuzz::toMpz(a);
    const mpz_class mb = kxfuzz::toMpz(b);
    kxfuzz::expectEqual("setLimbs", a, ma);
    kxfuzz::expectEqual("setLimbs", b, mb);

    switch (operation) {
        case Operation::add:
            a.add(b);
            kxfuzz::expectEqual("add", a, ma + mb);
            break;
        case Operation::addSelf:
            a.add(a);
            kxfuzz::expectEqual("add to itself", a, ma + ma);
            break;
        case Operation::subtract:
            if (ma < mb) {
                expectInvalidArgument("result would be negative", [&] { a.subtract(b); });
                kxfuzz::expectEqual("a failed subtract changed its value", a, ma);
            } else {
                a.subtract(b);
                kxfuzz::expectEqual("subtract", a, ma - mb);
            }
            break;
        case Operation::subtractSelf:
            a.subtract(a);
            kxfuzz::expectEqual("subtract from itself", a, 0);
            break;
        case Operation::sumAndDifference:
            kxfuzz::expectEqual("sum", sum(a, b), ma + mb);
            if (ma < mb) {
                expectInvalidArgument("result would be negative", [&] { (void)difference(a, b); });
            } else {
                kxfuzz::expectEqual("difference", difference(a, b), ma - mb);
            }
            break;
        case Operation::product:
            kxfuzz::expectEqual("product", product(a, b), ma * mb);
            break;
        case Operation::square:
            kxfuzz::expectEqual("square", square(a), ma * ma);
            break;
        case Operation::divide:
            if (mb == 0) {
                expectInvalidArgument("divide by 0 error", [&] { (void)divide(a, b); });
                kxfuzz::expectEqual("a failed divide changed its dividend", a, ma);
            } else {
                const Natural quotient = divide(a, b);
                kxfuzz::expectEqual("quotient", quotient, ma / mb);
                kxfuzz::expectEqual("remainder", a, ma % mb);
            }
            kxfuzz::expectEqual("divide did not restore its divisor", b, mb);
            break;
        case Operation::reduce:
            a.reduce(b);
            kxfuzz::expectEqual("reduce", a, mb == 0 ? ma : mpz_class(ma % mb));
            kxfuzz::expectEqual("reduce did not restore its modulus", b, mb);
            break;
        case Operation::shiftLeft: {
            const std::size_t bits = parameter;
            a.shiftLeft(bits);
            kxfuzz::expectEqual("shiftLeft", a, ma << static_cast<mp_bitcnt_t>(bits));
            break;
        }
        case Operation::halve:
            a.halve();
            kxfuzz::expectEqual("halve", a, ma / 2);
            break;
        case Operation::productByLimb: {
            const Limb w =
                (static_cast<Limb>(parameter) * 0x10001u) ^ static_cast<Limb>(mb.get_ui());
            kxfuzz::expectEqual("productByLimb", productByLimb(a, w), ma * mpz_class(w));
            break;
        }
        case Operation::compare: {
            if (a.lessThan(b) != (ma < mb) || a.greaterThan(b) != (ma > mb) ||
                (a == b) != (ma == mb)) {
                kxfuzz::fail("comparison", ma, mb);
            }
            const Limb w = static_cast<Limb>(mb.get_ui());
            if (a.differsFrom(w) != (ma != w)) {
                kxfuzz::fail("differsFrom", ma, mb);
            }
            break;
        }
        case Operation::incrementAndDecrement: {
            const std::size_t k = parameter % (a.length() + 2);
            if (k > a.length()) {
                expectInvalidArgument("Natural is not that big", [&] { a.incrementFrom(k); });
                expectInvalidArgument("Natural not that big", [&] { a.decrementFrom(k); });
                kxfuzz::expectEqual("a refused step changed the value", a, ma);
                break;
            }
            const mpz_class step = mpz_class(1) << static_cast<mp_bitcnt_t>(32 * k);
            Natural down = a;
            a.incrementFrom(k);
            kxfuzz::expectEqual("incrementFrom", a, ma + step);
            down.decrementFrom(k);
            // A borrow out of the top leaves zero; a start above limb 0 may leave the caller to
            // normalise, so only the value is compared there.
            const mpz_class expected = ma >= step ? mpz_class(ma - step) : mpz_class(0);
            if (k == 0) {
                kxfuzz::expectEqual("decrementFrom", down, expected);
            } else if (kxfuzz::toMpz(down) != expected) {
                kxfuzz::fail("decrementFrom", expected, kxfuzz::toMpz(down));
            }
            break;
        }
        case Operation::residues:
            checkResiduesOnItsField(ma, b, mb, parameter);
            break;
        case Operation::count:
            break;
    }
    return 0;
}
