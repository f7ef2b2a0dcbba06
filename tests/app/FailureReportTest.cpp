#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "app/FailureReport.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Every message the arithmetic throws is told in Danish with something to check on a line of its
// own; the English text never reaches the student.
TEST(FailureReport, ArithmeticMessagesAreExplainedInDanishWithWhatToCheck) {
    std::set<std::string> reports;
    for (const std::string message :
         {"Natural is not that big", "Natural not that big", "result would be negative",
          "divide by 0 error", "Modulus must be the same!"}) {
        SCOPED_TRACE(message);
        const std::string report =
            app::failureReport(std::make_exception_ptr(std::invalid_argument(message)));
        EXPECT_THAT(report, StartsWith("Beregningen blev afbrudt: "));
        EXPECT_THAT(report, Not(HasSubstr(message)));
        EXPECT_THAT(report.substr(report.find('\n') + 1), StartsWith("Tjek"));
        reports.insert(report);
    }
    EXPECT_EQ(reports.size(), 4u) << "only the two 'not that big' messages share a report";
    EXPECT_EQ(app::failureReport(std::make_exception_ptr(std::runtime_error("disk on fire"))),
              "Beregningen blev afbrudt: disk on fire");
}

}  // namespace
