#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bignum/Natural.h"

// The bytes of the exchange files, read and written by pure functions: every front end (the
// window's commands, keyexchange-cli, the browser) reads a file through these, so a file means
// the same everywhere and is checked whole before anything changes.
namespace app {

// No exchange file comes near this; a larger one is refused before it is read.
inline constexpr std::size_t maxExchangeFileBytes = std::size_t{16} * 1024 * 1024;
// Why such a file is refused, in the words of readPublicData's refusals.
std::string tooLargeReason();

// A point by its coordinates: affine (x, y), or the point at infinity.
struct PointValue {
    bool atInfinity = true;
    bignum::Natural x;
    bignum::Natural y;
};

// The six values of a public-data file: the writer's curve y^2 = x^3 + A*x + B modulo q, its
// base point P = (Px, Py) and its public point Pa. As readPublicData returns them, A, B, P and
// Pa are reduced modulo q (unless q is zero) and Pa lies on the curve; P may not.
struct PublicData {
    bignum::Natural q;
    bignum::Natural A;
    bignum::Natural B;
    bignum::Natural Px;
    bignum::Natural Py;
    PointValue Pa;
};

struct PublicDataReading {
    std::optional<PublicData> data;  // set exactly when the file passed every check
    // Otherwise why not, in a student's words (Windows-1252), without the file's name and
    // without a full stop, e.g. "filen er tom".
    std::string refusal;
};

// Reads a ".public" file: six parts separated by "*" (q, A, B, Px, Py and Pa) and, as the
// window writes it, one NUL at the end, which may be missing. Each number is read by the typed
// number rule (readTypedNumber); Pa is "(uendelig)" or "(X, Y)" with X and Y read by the same
// rule, so lower-case digits are hex digits. Pa must lie on the file's own curve. Characters the
// rule skips may stand around the parts. Numbers longer than maxNumberDigits are refused. Costs
// one curve equation on the file's numbers; runs out of memory (std::bad_alloc) only for numbers
// near that limit.
PublicDataReading readPublicData(std::string_view bytes);

// The bytes "Gem offentlig data..." writes: each number in canonical hex, Pa in point text,
// separated by "*" and ended by one NUL. readPublicData gives the values back.
std::string writePublicData(const PublicData& data);

struct SecretKeyReading {
    std::optional<bignum::Natural> a;  // set exactly when the file reads as a number
    std::string refusal;               // as PublicDataReading's
};

// Reads a ".secret" file: one number by the typed number rule, so a line end left by an editor
// does no harm; an empty file is the number 0.
SecretKeyReading readSecretKey(std::string_view bytes);

// Whether the bytes are what a ".secret" file holds: a number with at least one digit. Tells a
// secret key given where public data belongs from a damaged public-data file.
bool looksLikeSecretKey(std::string_view bytes);

}  // namespace app
