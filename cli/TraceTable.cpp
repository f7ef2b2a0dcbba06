#include "cli/TraceTable.h"

#include <algorithm>
#include <string_view>

#include "app/MultiplicationTrace.h"
#include "cli/Terminal.h"

namespace cli {

TraceTable::TraceTable(std::ostream& out, bool csv, std::size_t digits, std::size_t steps)
    : out_(out), csv_(csv) {
    const std::size_t point = std::max(2 * digits + 4, std::string_view("(uendelig)").size());
    const std::array<std::size_t, columns> least{
        std::to_string(steps).size(), 1, 3, 3, digits, digits, point, 0};
    for (std::size_t i = 0; i < columns; ++i) {
        widths_[i] = std::max(app::traceHeadings[i].size(), least[i]);
    }
}

void TraceTable::writeHeadings() {
    std::array<std::string, columns> cells;
    std::copy(app::traceHeadings.begin(), app::traceHeadings.end(), cells.begin());
    write(cells);
}

void TraceTable::step(const curve::MultiplicationStep& step) {
    write(app::traceRow(step));
}

void TraceTable::write(const std::array<std::string, columns>& cells) {
    if (csv_) {
        out_ << forTerminal(app::csvLine(cells)) << '\n';
        return;
    }
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) {
        if (i > 0) {
            line.append("  ");
        }
        line.append(cells[i]);
        if (i + 1 < columns) {
            line.append(widths_[i] - std::min(widths_[i], cells[i].size()), ' ');
        }
    }
    out_ << forTerminal(line) << '\n';
}

}  // namespace cli
