// CurvePoint::fromText on any bytes with a fixed q, against a byte-by-byte model of the point
// text parser, and the round trip of the parsed point through toText.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "bignum/Modular.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "fuzz/GmpModel.h"

namespace {

constexpr std::size_t maxInputBytes = 8192;

// The parser's digit value: "0"-"9" as usual, every other byte c as (c - 55) mod 256.
unsigned pointDigit(unsigned char c) {
    const unsigned asDecimal = (c + 256u - 48u) % 256u;
    return asDecimal < 10 ? asDecimal : (c + 256u - 55u) % 256u;
}

struct ModelPoint {
    bool atInfinity;
    mpz_class x;
    mpz_class y;
};

// Walks the bytes by index: flag at s[1], x from s[1] to the first ",", skip it and one more
// byte, y up to the first ")". The text ends at its end or first NUL.
ModelPoint modelParse(const std::uint8_t* data, std::size_t size, const mpz_class& q,
                      ModelPoint previous) {
    std::size_t end = 0;
    while (end < size && data[end] != 0) {
        ++end;
    }
    if (end > 1 && data[1] == 'u') {
        previous.atInfinity = true;
        return previous;
    }
    ModelPoint result{false, 0, 0};
    std::size_t i = 1;
    while (i < end && data[i] != ',') {
        result.x = result.x * 16 + pointDigit(data[i]);
        ++i;
    }
    i += 2;  // the comma and the byte after it
    while (i < end && data[i] != ')') {
        result.y = result.y * 16 + pointDigit(data[i]);
        ++i;
    }
    result.x %= q;
    result.y %= q;
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > maxInputBytes) {
        return -1;
    }
    // The program's built-in test curve; the coefficients matter only for equality.
    static bignum::Natural q = [] {
        bignum::Natural value;
        value.fromHex("725F8E91CC4087");
        return value;
    }();
    static const bignum::Modular A(q);
    static const bignum::Modular B(q);
    const mpz_class qModel("725F8E91CC4087", 16);

    // Start from an affine point, so that "(u" must leave its coordinates in place.
    curve::CurvePoint point(q, A, B);
    point.x().value().fromHex("1234");
    point.y().value().fromHex("ABCDEF");
    point.setAtInfinity(false);
    const ModelPoint before{false, 0x1234, 0xABCDEF};

    point.fromText(std::string_view(reinterpret_cast<const char*>(data), size));
    const ModelPoint expected = modelParse(data, size, qModel, before);

    if (point.atInfinity() != expected.atInfinity) {
        kxfuzz::fail("fromText set the wrong flag");
    }
    kxfuzz::expectEqual("fromText gave the wrong x", point.x().value(), expected.x);
    kxfuzz::expectEqual("fromText gave the wrong y", point.y().value(), expected.y);

    // Rendering and parsing again gives the same point.
    const char* text = point.toText();
    curve::CurvePoint again(q, A, B);
    again.fromText(std::string_view(text, std::strlen(text)));
    if (again.atInfinity() != point.atInfinity() || (!point.atInfinity() && !(again == point))) {
        kxfuzz::fail("fromText(toText(P)) is not P");
    }
    return 0;
}
