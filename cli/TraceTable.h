#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>

#include "app/MultiplicationTrace.h"
#include "curve/ScalarMultiplication.h"

namespace cli {

// The trace of a multiplication, written a row per step as the steps come: columns aligned for
// reading, or comma-separated values for a spreadsheet. Writes to a stream it does not own.
class TraceTable final : public curve::MultiplicationObserver {
  public:
    // Columns wide enough for coordinates of up to `digits` hex digits and for `steps` rows.
    TraceTable(std::ostream& out, bool csv, std::size_t digits, std::size_t steps);

    void writeHeadings();
    void step(const curve::MultiplicationStep& step) override;

  private:
    static constexpr std::size_t columns = app::traceColumns;
    void write(const std::array<std::string, columns>& cells);

    std::ostream& out_;
    bool csv_;
    std::array<std::size_t, columns> widths_{};
};

}  // namespace cli
