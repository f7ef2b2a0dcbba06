#include "app/TypedNumber.h"

#include <algorithm>
#include <array>

#include "app/Windows1252.h"

namespace app {

namespace {

bool skipped(char c) {
    return skippedCharacters.find(c) != std::string_view::npos;
}

std::optional<char> hexDigit(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) {
        return c;
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, 9> fieldNames{"q", "A",  "B",  "Px", "Py",
                                                     "a", "Pa", "Pb", "Pab"};

}  // namespace

TypedNumber readTypedNumber(std::string_view text) {
    TypedNumber number;
    bool anyDigit = false;
    std::size_t i = 0;
    while (i < text.size() && skipped(text[i])) {
        ++i;
    }
    if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
        i += 2;
    }
    for (; i < text.size(); ++i) {
        if (skipped(text[i])) {
            continue;
        }
        const std::optional<char> digit = hexDigit(text[i]);
        if (!digit) {
            return {{}, BadCharacter{text[i], i + 1}};
        }
        anyDigit = true;
        if (*digit != '0' || !number.digits.empty()) {
            number.digits += *digit;
        }
    }
    if (anyDigit && number.digits.empty()) {
        number.digits.push_back('0');
    }
    return number;
}

std::string describeBadCharacter(const BadCharacter& bad) {
    const auto byte = static_cast<unsigned char>(bad.character);
    const char32_t shown = fromWindows1252(byte);
    // Controls, the bytes Windows-1252 leaves undefined (kept as controls), the no-break space
    // that pasted text brings along and the soft hyphen show nothing.
    const bool invisible = shown < 0x20 || (shown >= 0x7F && shown <= 0xA0) || shown == 0xAD;
    const std::string character = invisible ? "et usynligt tegn (kode " + std::to_string(byte) + ")"
                                            : std::string{'"', bad.character, '"'};
    return "indeholder " + character + " p\xE5 plads " + std::to_string(bad.place) +
           ", og det er ikke et hex-ciffer";
}

std::string_view fieldName(TextField field) {
    return fieldNames[static_cast<std::size_t>(field)];
}

std::string badFieldMessage(TextField field, const BadCharacter& bad) {
    return "Feltet " + std::string(fieldName(field)) + " " + describeBadCharacter(bad) +
           ".\n"
           "Tal skrives i hex med cifrene 0-9 og A-F (store eller sm\xE5 bogstaver). Mellemrum, "
           "linjeskift, \":\" og \"0x\" foran tallet springes over.\n"
           "Intet er \xE6ndret: ret feltet, og pr\xF8v igen.";
}

bool checkTypedFields(KeyExchangeView& view, std::initializer_list<TextField> fields) {
    for (const TextField field :
         {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py, TextField::a}) {
        if (std::find(fields.begin(), fields.end(), field) == fields.end()) {
            continue;
        }
        if (const TypedNumber number = readTypedNumber(view.fieldText(field)); number.bad) {
            view.showMessage(badFieldMessage(field, *number.bad), errorCaption,
                             MessageIcon::warning);
            return false;
        }
    }
    return true;
}

}  // namespace app
