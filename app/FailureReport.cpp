#include "app/FailureReport.h"

#include <new>
#include <string_view>

#include "bignum/ArithmeticError.h"

namespace app {

namespace {

constexpr std::string_view interruptedPrefix = "Beregningen blev afbrudt: ";

struct Explanation {
    std::string_view failure;  // in Danish
    std::string_view check;
};

// Thrown only when the program's own arithmetic breaks a rule of its own: nothing the student
// typed explains it, so starting over is the advice.
constexpr std::string_view internalCheck =
    "Tjek q, A, B og P, eller begynd forfra med \"Slet alt\" eller \"Brug test-v\xE6rdier\".";

constexpr std::string_view tooShort = "intern regnefejl (et tal var kortere end ventet).";

Explanation explain(bignum::ArithmeticError::Kind kind) {
    using Kind = bignum::ArithmeticError::Kind;
    switch (kind) {
        case Kind::divisionByZero:
            return {"et tal havde ingen invers modulo q (division med 0).",
                    "Tjek, at q er et primtal, og at P og Pb ligger p\xE5 kurven."};
        case Kind::negativeResult:
            return {"et punkt har koordinater, der ikke er mindre end q.",
                    "Tjek, at Pb h\xF8rer til den samme kurve: bliv enige om q, A og B, og \xE5"
                    "bn den andens offentlige data igen."};
        case Kind::incrementBeyondLength:
        case Kind::decrementBeyondLength:
            return {tooShort, internalCheck};
        case Kind::differentModuli:
            break;
    }
    return {"intern regnefejl (to tal h\xF8rte til hver sit modulus).", internalCheck};
}

constexpr Explanation outOfMemory{
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
    } catch (const bignum::ArithmeticError& refused) {
        const Explanation explanation = explain(refused.kind());
        return report(explanation.failure, explanation.check);
    } catch (const std::exception& caught) {
        return report(caught.what(), {});
    } catch (...) {
        return report("ukendt fejl", {});
    }
}

}  // namespace app
