#include "app/MultiplicationTrace.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "app/CurveChecks.h"
#include "app/FailureReport.h"
#include "bignum/Modular.h"

namespace app {

namespace {

std::string yesOrNo(bool yes) {
    return yes ? "ja" : "nej";
}

std::string slopeText(const std::optional<bignum::Modular>& slope) {
    return slope ? slope->value().toHex() : "-";
}

class RowRecorder final : public curve::MultiplicationObserver {
  public:
    explicit RowRecorder(std::vector<TraceRow>& rows) : rows_(rows) {}
    void step(const curve::MultiplicationStep& step) override { rows_.push_back(traceRow(step)); }

  private:
    std::vector<TraceRow>& rows_;
};

}  // namespace

TraceRow traceRow(const curve::MultiplicationStep& step) {
    return {std::to_string(step.position),
            step.bit ? "1" : "0",
            yesOrNo(step.bit),
            yesOrNo(step.doubled),
            slopeText(step.additionSlope),
            slopeText(step.doublingSlope),
            step.result->toText(),
            step.R->toText()};
}

std::string csvLine(std::span<const std::string> cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::string& cell = cells[i];
        if (i > 0) {
            line += ',';
        }
        if (cell.find_first_of(",\"") == std::string::npos) {
            line += cell;
            continue;
        }
        line += '"';
        for (const char c : cell) {
            line += c;
            if (c == '"') {
                line += c;
            }
        }
        line += '"';
    }
    return line;
}

Trace traceProduct(const curve::CurvePoint& P, const bignum::Natural& k) {
    Trace trace;
    const std::size_t bits = k.bitLength();
    if (bits > largestTracedBits) {
        trace.failure = "a har " + std::to_string(bits) + " bit; udregningen vises for h\xF8jst " +
                        std::to_string(largestTracedBits) + " trin";
        return trace;
    }
    try {
        trace.rows.reserve(bits);
        RowRecorder recorder(trace.rows);
        curve::multiply(P, k, &recorder);
    } catch (...) {
        trace.failure = failureReport(std::current_exception());
    }
    return trace;
}

std::string traceCsv(std::span<const TraceRow> rows) {
    TraceRow headings;
    std::copy(traceHeadings.begin(), traceHeadings.end(), headings.begin());
    std::string csv = csvLine(headings) + '\n';
    for (const TraceRow& row : rows) {
        csv += csvLine(row) + '\n';
    }
    return csv;
}

}  // namespace app
