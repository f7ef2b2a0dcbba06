#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bignum/MontgomeryField.h"
#include "bignum/Natural.h"
#include "curve/CurvePoint.h"
#include "curve/ScalarMultiplication.h"

// The steps of a scalar multiplication as every front end shows them: a row per bit of the
// scalar, low bit first, with the sums taken, their slopes, and result and R after the step.
namespace app {

inline constexpr std::size_t traceColumns = 8;
using TraceRow = std::array<std::string, traceColumns>;

// "+R": R is added to the result; "2R": R is doubled.
inline constexpr std::array<std::string_view, traceColumns> traceHeadings{
    "trin", "bit", "+R", "2R", "h\xE6ldning +R", "h\xE6ldning 2R", "resultat", "R"};

// The step's position, its bit, "ja" or "nej" for each sum, each slope in hex or "-" for a sum
// drawn on no line, and result and R as point text.
TraceRow traceRow(const curve::MultiplicationStep& step);

// The cells as one line of comma-separated values, without a line end; a cell holding a comma
// or a quote is quoted, each quote doubled.
std::string csvLine(std::span<const std::string> cells);

// Beyond the field's limit the arithmetic runs for minutes, and a trace has more rows than anyone
// reads; the largest standard curve has 521 bits.
inline constexpr std::size_t largestTracedBits = bignum::MontgomeryField<0>::maxBits;

struct Trace {
    std::vector<TraceRow> rows;
    // Why the steps stop early or were not taken (Danish); empty when they ran to the end.
    std::string failure;
};

// The steps of k*P taken again, to explain a product that was computed without them. The state's
// commands recompute Pa and Pab whenever they change a number, so for a product shown the steps
// end at it, or fail where its computation failed.
Trace traceProduct(const curve::CurvePoint& P, const bignum::Natural& k);

// The headings and then each row, as comma-separated values, each line ended by "\n".
std::string traceCsv(std::span<const TraceRow> rows);

}  // namespace app
