#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace bench {

// The parameters of one benchmark curve, y^2 = x^3 + A*x + B modulo q with base point
// (Px, Py), as upper-case hex text. openSslName is the curve's short name in OpenSSL's table of
// named curves, or empty for a curve it does not know.
struct CurveParameters {
    std::string_view name;
    std::string_view q;
    std::string_view A;
    std::string_view B;
    std::string_view Px;
    std::string_view Py;
    std::string_view openSslName;
};

// The 55-bit teaching curve and the three standard curves of 256, 384 and 521 bits.
std::span<const CurveParameters> benchmarkCurves();

// A uniformly drawn value below q with exactly q's bit length, as canonical hex; the same seed
// gives the same value.
std::string fullSizeScalarBelow(std::string_view qHex, std::uint64_t seed);

// count upper-case hex digits, the first one non-zero, so the text is already canonical.
std::string randomHexDigits(std::size_t count, std::uint64_t seed);

// "(X, Y)" from two hex texts of either case and with any leading zeros, in the program's
// canonical point text form.
std::string canonicalPointText(std::string_view xHex, std::string_view yHex);

}  // namespace bench
