#include "app/FailureReport.h"

#include <array>
#include <new>
#include <string_view>

namespace app {

namespace {

constexpr std::string_view interruptedPrefix = "Beregningen blev afbrudt: ";

struct Explanation {
    std::string_view message;  // exactly as the arithmetic throws it
    std::string_view failure;  // in Danish
    std::string_view check;
};

// Thrown only when the program's own arithmetic breaks a rule of its own: nothing the student
// typed explains it, so starting over is the advice.
constexpr std::string_view internalCheck =
    "Tjek q, A, B og P, eller begynd forfra med \"Slet alt\" eller \"Brug test-v\xE6rdier\".";

constexpr std::string_view tooShort = "intern regnefejl (et tal var kortere end ventet).";

constexpr std::array<Explanation, 5> arithmeticFailures{{
    {"divide by 0 error", "et tal havde ingen invers modulo q (division med 0).",
     "Tjek, at q er et primtal, og at P og Pb ligger p\xE5 kurven."},
    {"result would be negative", "et punkt har koordinater, der ikke er mindre end q.",
     "Tjek, at Pb h\xF8rer til den samme kurve: bliv enige om q, A og B, og \xE5"
     "bn den andens offentlige data igen."},
    {"Natural is not that big", tooShort, internalCheck},
    {"Natural not that big", tooShort, internalCheck},
    {"Modulus must be the same!", "intern regnefejl (to tal h\xF8rte til hver sit modulus).",
     internalCheck},
}};

constexpr Explanation outOfMemory{
    {},
    "tallene er for store til den tilg\xE6ngelige hukommelse.",
    "Tjek, at q og a har det antal cifre, du mente; luk eventuelt andre programmer."};

std::string report(std::string_view failure, std::string_view check) {
    std::string text(interruptedPrefix);
    text += failure;
    if (!check.empty()) {
        text += '\n';
        text += check;
    }
    return text;
}

}  // namespace

std::string failureReport(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return report(outOfMemory.failure, outOfMemory.check);
    } catch (const std::exception& caught) {
        const std::string_view message = caught.what();
        for (const Explanation& known : arithmeticFailures) {
            if (known.message == message) {
                return report(known.failure, known.check);
            }
        }
        return report(message, {});
    } catch (...) {
        return report("ukendt fejl", {});
    }
}

}  // namespace app
