// CurvePoint::fromText on any bytes against the digit-by-digit definition of point text, and the
// round trip of the parsed point through toText.
#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bignum/Modular.h"
#include "curve/CurvePoint.h"

namespace {

// Flag at s[1]; x from s[1] to the first ",", which is skipped with one more byte, y up to the
// first ")"; "0"-"9" count 0-9 and any other byte c counts (c - 55) mod 256.
bool definition(std::string_view s, mpz_class& x, mpz_class& y) {
    s = s.substr(0, s.find('\0'));
    if (s.size() > 1 && s[1] == 'u') {
        return true;
    }
    std::size_t i = 1;
    for (mpz_class* v : {&x, &y}) {
        *v = 0;
        for (; i < s.size() && s[i] != (v == &x ? ',' : ')'); ++i) {
            const unsigned c = static_cast<unsigned char>(s[i]), d = (c + 256 - 48) % 256;
            *v = *v * 16 + (d < 10 ? d : (c + 256 - 55) % 256);
        }
        i += 2;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) {
        return -1;
    }
    static bignum::Natural q = [] {
        bignum::Natural value;
        value.fromHex("725F8E91CC4087");
        return value;
    }();
    static const bignum::Modular A(q), B(q);
    curve::CurvePoint point(q, A, B);
    point.setAtInfinity(false);
    point.x().value().fromHex("1234");  // "(u..." leaves the coordinates as they are
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    point.fromText(text);
    mpz_class x(0x1234), y(0);
    const bool atInfinity = definition(text, x, y);
    const mpz_class qValue("725F8E91CC4087", 16);
    if (point.atInfinity() != atInfinity || mpz_class(point.x().value().toHex(), 16) != x % qValue ||
        mpz_class(point.y().value().toHex(), 16) != y % qValue) {
        std::abort();
    }
    curve::CurvePoint again(q, A, B);
    again.fromText(point.toText());
    if (!(again == point)) {
        std::abort();
    }
    return 0;
}
