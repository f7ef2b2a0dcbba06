#include "cli/TraceTable.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "bignum/Modular.h"
#include "cli/Terminal.h"

namespace cli {

namespace {

// "+R": R is added to the result; "2R": R is doubled.
constexpr std::array<std::string_view, 8> headings{
    "trin", "bit", "+R", "2R", "h\xE6ldning +R", "h\xE6ldning 2R", "resultat", "R"};

std::string yesOrNo(bool yes) {
    return yes ? "ja" : "nej";
}

std::string slopeText(const std::optional<bignum::Modular>& slope) {
    return slope ? slope->value().toHex() : "-";
}

// A field as RFC 4180 has it: quoted when it holds a comma or a quote, each quote doubled.
std::string csvField(std::string_view cell) {
    if (cell.find_first_of(",\"") == std::string_view::npos) {
        return std::string(cell);
    }
    std::string quoted = "\"";
    for (const char c : cell) {
        quoted += c;
        if (c == '"') {
            quoted += c;
        }
    }
    return quoted + '"';
}

}  // namespace

TraceTable::TraceTable(std::ostream& out, bool csv, std::size_t digits, std::size_t steps)
    : out_(out), csv_(csv) {
    const std::size_t point = std::max(2 * digits + 4, std::string_view("(uendelig)").size());
    const std::array<std::size_t, columns> least{
        std::to_string(steps).size(), 1, 3, 3, digits, digits, point, 0};
    for (std::size_t i = 0; i < columns; ++i) {
        widths_[i] = std::max(headings[i].size(), least[i]);
    }
}

void TraceTable::writeHeadings() {
    std::array<std::string, columns> cells;
    std::copy(headings.begin(), headings.end(), cells.begin());
    write(cells);
}

void TraceTable::step(const curve::MultiplicationStep& step) {
    write({std::to_string(step.position), step.bit ? "1" : "0", yesOrNo(step.bit),
           yesOrNo(step.doubled), slopeText(step.additionSlope), slopeText(step.doublingSlope),
           step.result->toText(), step.R->toText()});
}

void TraceTable::write(const std::array<std::string, columns>& cells) {
    std::string line;
    for (std::size_t i = 0; i < columns; ++i) {
        if (i > 0) {
            line.append(csv_ ? "," : "  ");
        }
        if (csv_) {
            line.append(csvField(cells[i]));
            continue;
        }
        line.append(cells[i]);
        if (i + 1 < columns) {
            line.append(widths_[i] - std::min(widths_[i], cells[i].size()), ' ');
        }
    }
    out_ << forTerminal(line) << '\n';
}

}  // namespace cli
