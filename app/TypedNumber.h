#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "app/KeyExchangeView.h"
#include "app/TextField.h"
#include "bignum/Natural.h"

// The one rule for a number written by a student, in a field or in a file, and its Danish
// message. Every front end reads numbers through readTypedNumber before anything changes.
namespace app {

// The first character of a text that is neither a hex digit nor one the rule skips.
struct BadCharacter {
    char character;
    std::size_t place;  // 1 for the text's first byte
};

struct TypedNumber {
    // Upper-case hex without leading zeros ("0" for zero), or empty for a text without a digit,
    // which reads as 0. Empty when bad is set.
    std::string digits;
    std::optional<BadCharacter> bad;
};

// Reads hex digits of either case. Skips spaces, tabs, line ends and ':' anywhere, and one "0x"
// or "0X" before the first digit (after any skipped characters), so that pasted and prefixed
// values read as what they show. Any other byte, a NUL included, refuses the text.
TypedNumber readTypedNumber(std::string_view text);

// The most hex digits a number of the program holds. The file readers refuse longer numbers
// rather than run out of memory on them.
inline constexpr std::size_t maxNumberDigits = bignum::Natural::maxLimbs * (bignum::limbBits / 4);

// The characters the rule skips.
inline constexpr std::string_view skippedCharacters = " \t\r\n:";

// What is wrong with a text, in Danish, to follow the name of what holds it ("Feltet q ..."): the
// character in quotes (by its code when it shows nothing), its place, and that it is no hex digit.
std::string describeBadCharacter(const BadCharacter& bad);

// How the messages name a text field: "q", "A", "B", "Px", "Py", "a", "Pa", "Pb", "Pab".
std::string_view fieldName(TextField field);

// The message for a field whose text breaks the rule: the field, the character, its place, the
// digits allowed, and that nothing changed.
std::string badFieldMessage(TextField field, const BadCharacter& bad);

// Checks the fields in the window's order (q, A, B, Px, Py, a) and tells the user about the
// first one whose text breaks the rule; true when every one reads. Changes nothing.
bool checkTypedFields(KeyExchangeView& view, std::initializer_list<TextField> fields);

}  // namespace app
