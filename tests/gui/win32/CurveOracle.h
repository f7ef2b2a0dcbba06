#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A second, independent curve arithmetic for checking the program from outside: affine points
// modulo a prime below 2^63 in 64-bit words with 128-bit products, inverses by Fermat's little
// theorem. Only as fast and as general as the driver needs.
namespace kxtest {

struct OraclePoint {
    bool atInfinity = true;
    std::uint64_t x = 0;
    std::uint64_t y = 0;
};

class CurveOracle {
  public:
    // q must be an odd prime below 2^63.
    CurveOracle(std::uint64_t q, std::uint64_t A, std::uint64_t B);

    bool isOnCurve(const OraclePoint& point) const;
    OraclePoint add(const OraclePoint& left, const OraclePoint& right) const;
    // scalar * point by double-and-add; the scalar is hex text of any length.
    OraclePoint multiply(std::string_view scalarHex, const OraclePoint& point) const;

  private:
    std::uint64_t multiplyMod(std::uint64_t left, std::uint64_t right) const;
    std::uint64_t inverse(std::uint64_t value) const;

    std::uint64_t q_;
    std::uint64_t A_;
    std::uint64_t B_;
};

// Upper-case hex without leading zeros, "0" for zero.
std::string hexText(std::uint64_t value);
// The program's point text: "(X, Y)", or "(uendelig)" at infinity.
std::string pointText(const OraclePoint& point);
// Hex digits (either case) to a number; nothing when the text is empty, too long or not hex.
std::optional<std::uint64_t> parseHex(std::string_view text);

}  // namespace kxtest
