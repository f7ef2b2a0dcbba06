#pragma once

#include <stdexcept>
#include <string_view>

namespace bignum {

// The one exception the arithmetic throws for an operand it refuses: its kind, for code to match
// on, and its fixed English message, for people to read.
class ArithmeticError final : public std::invalid_argument {
  public:
    enum class Kind {
        incrementBeyondLength,  // "Natural is not that big"
        decrementBeyondLength,  // "Natural not that big"
        negativeResult,         // "result would be negative"
        divisionByZero,         // "divide by 0 error"
        differentModuli,        // "Modulus must be the same!"
    };

    explicit ArithmeticError(Kind kind) : std::invalid_argument(messageOf(kind)), kind_(kind) {}

    Kind kind() const noexcept { return kind_; }

    static constexpr const char* messageOf(Kind kind) noexcept {
        switch (kind) {
            case Kind::incrementBeyondLength:
                return "Natural is not that big";
            case Kind::decrementBeyondLength:
                return "Natural not that big";
            case Kind::negativeResult:
                return "result would be negative";
            case Kind::divisionByZero:
                return "divide by 0 error";
            case Kind::differentModuli:
                break;
        }
        return "Modulus must be the same!";
    }

  private:
    Kind kind_;
};

}  // namespace bignum
