#include "app/ExchangeFormats.h"

#include <array>
#include <utility>
#include <vector>

#include "app/TextField.h"
#include "app/TypedNumber.h"
#include "bignum/Modular.h"
#include "curve/CurvePoint.h"

namespace app {

namespace {

using bignum::Modular;
using bignum::Natural;

constexpr char separator = '*';
constexpr std::string_view infinityText = "(uendelig)";
constexpr std::string_view notAPoint =
    "Pa i filen er ikke et punkt skrevet som (X, Y) eller (uendelig)";

// The number the text denotes by the typed number rule; otherwise nothing, and refusal says why,
// starting with what (the name of what holds the text).
std::optional<Natural> readNumber(std::string_view text, std::string_view what,
                                  std::string& refusal) {
    const TypedNumber number = readTypedNumber(text);
    if (number.bad) {
        refusal = std::string(what) + " " + describeBadCharacter(*number.bad);
        return std::nullopt;
    }
    if (number.digits.size() > maxNumberDigits) {
        refusal =
            std::string(what) + " har flere end " + std::to_string(maxNumberDigits) + " cifre";
        return std::nullopt;
    }
    Natural value;
    value.fromHex(number.digits);
    return value;
}

// One coordinate of point text, which starts at place `offset` of the part; it must hold a digit.
std::optional<std::string> readCoordinate(std::string_view text, std::size_t offset,
                                          std::string& refusal) {
    TypedNumber number = readTypedNumber(text);
    if (number.bad) {
        number.bad->place += offset;
        refusal = "Pa i filen " + describeBadCharacter(*number.bad);
        return std::nullopt;
    }
    if (number.digits.size() > maxNumberDigits) {
        refusal = "Pa i filen har flere end " + std::to_string(maxNumberDigits) + " cifre";
        return std::nullopt;
    }
    if (number.digits.empty()) {
        refusal = notAPoint;
        return std::nullopt;
    }
    return std::move(number.digits);
}

// The point text as the program writes it, with canonical digits, so that CurvePoint::fromText
// reads lower case as hex; otherwise nothing, and refusal says why.
std::optional<std::string> canonicalPointText(std::string_view part, std::string& refusal) {
    const std::size_t first = part.find_first_not_of(skippedCharacters);
    const std::size_t last = part.find_last_not_of(skippedCharacters);
    const std::string_view text =
        first == std::string_view::npos ? std::string_view() : part.substr(first, last - first + 1);
    if (text == infinityText) {
        return std::string(infinityText);
    }
    const std::size_t comma = text.find(',');
    if (text.size() < 2 || text.front() != '(' || text.back() != ')' ||
        comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) {
        refusal = notAPoint;
        return std::nullopt;
    }
    const std::optional<std::string> x =
        readCoordinate(text.substr(1, comma - 1), first + 1, refusal);
    if (!x) {
        return std::nullopt;
    }
    const std::optional<std::string> y =
        readCoordinate(text.substr(comma + 1, text.size() - comma - 2), first + comma + 1, refusal);
    if (!y) {
        return std::nullopt;
    }
    return "(" + *x + ", " + *y + ")";
}

// Point text written by CurvePoint, the one writer of it, on a curve of the point's own.
std::string pointText(const PointValue& value) {
    Natural q;
    const Modular A(q), B(q);
    curve::CurvePoint point(q, A, B);
    if (!value.atInfinity) {
        point.setAtInfinity(false);
        point.x().value() = value.x;
        point.y().value() = value.y;
    }
    return point.toText();
}

std::string withoutSeparatorReason(std::string_view bytes) {
    std::string reason = "den indeholder intet \"*\"";
    std::string ignored;
    if (looksLikeSecretKey(bytes)) {
        reason += "; den ligner en hemmelig n\xF8gle (en .secret-fil)";
    } else if (canonicalPointText(bytes, ignored)) {
        reason += "; den ligner en f\xE6lles n\xF8gle (en .comkey-fil)";
    }
    return reason;
}

}  // namespace

std::string tooLargeReason() {
    return "filen fylder over " + std::to_string(maxExchangeFileBytes / (1024 * 1024)) +
           " MiB, og s\xE5 store er udvekslingsfiler aldrig (for meget data)";
}

PublicDataReading readPublicData(std::string_view bytes) {
    const auto refuse = [](std::string reason) {
        return PublicDataReading{std::nullopt, std::move(reason)};
    };
    if (bytes.empty()) {
        return refuse("filen er tom");
    }
    if (bytes.back() == '\0') {
        bytes.remove_suffix(1);
    }
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = bytes.find(separator, start);
        parts.push_back(bytes.substr(start, end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (parts.size() == 1) {
        return refuse(withoutSeparatorReason(bytes));
    }
    if (parts.size() != 6) {
        return refuse("den har " + std::to_string(parts.size()) +
                      " dele adskilt af \"*\", men en fil med offentlige data har seks: q, A, "
                      "B, Px, Py og Pa");
    }
    std::string refusal;
    std::array<Natural, 5> numbers;
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        std::optional<Natural> number = readNumber(
            parts[k], std::string(fieldName(static_cast<TextField>(k))) + " i filen", refusal);
        if (!number) {
            return refuse(std::move(refusal));
        }
        numbers[k] = *number;
    }
    const std::optional<std::string> PaText = canonicalPointText(parts[5], refusal);
    if (!PaText) {
        return refuse(std::move(refusal));
    }
    PublicData data;
    data.q = numbers[0];
    const Modular A(data.q, numbers[1]), B(data.q, numbers[2]);
    curve::CurvePoint Pa(data.q, A, B);
    Pa.fromText(*PaText);
    if (!Pa.isOnCurve()) {
        return refuse("Pa i filen ligger ikke p\xE5 kurven");
    }
    data.A = A.value();
    data.B = B.value();
    data.Px = numbers[3];
    data.Px.reduce(data.q);
    data.Py = numbers[4];
    data.Py.reduce(data.q);
    data.Pa = {Pa.atInfinity(), Pa.x().value(), Pa.y().value()};
    return {std::move(data), {}};
}

std::string writePublicData(const PublicData& data) {
    std::string bytes;
    for (const Natural* number : {&data.q, &data.A, &data.B, &data.Px, &data.Py}) {
        bytes += number->toHex();
        bytes += separator;
    }
    bytes += pointText(data.Pa);
    bytes += '\0';
    return bytes;
}

SecretKeyReading readSecretKey(std::string_view bytes) {
    SecretKeyReading reading;
    reading.a = readNumber(bytes, "den", reading.refusal);
    if (!reading.a && bytes.find(separator) != std::string_view::npos) {
        reading.refusal += "; den ligner en fil med offentlige data (en .public-fil)";
    }
    return reading;
}

bool looksLikeSecretKey(std::string_view bytes) {
    const TypedNumber number = readTypedNumber(bytes);
    return !number.bad && !number.digits.empty();
}

}  // namespace app
