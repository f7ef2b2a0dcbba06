#include "app/ExchangeFiles.h"

#include <array>
#include <string>
#include <system_error>
#include <utility>

#include "app/Windows1252.h"

namespace app {

namespace {

constexpr std::string_view wrongFileCaption = "Forkert fil";
constexpr std::string_view saveFailedMessage = "Filen kunne ikke gemmes";
constexpr std::string_view nothingChanged = ".\nIntet er \xE6ndret. ";

constexpr std::array<TextField, 5> leadingPublicFields{TextField::q, TextField::A, TextField::B,
                                                       TextField::Px, TextField::Py};

std::string fileNamed(std::string_view fileName) {
    return "Filen \"" + std::string(fileName) + "\"";
}

void refuse(KeyExchangeView& view, std::string_view fileName, std::string_view what,
            std::string_view reason, std::string_view remedy) {
    view.showMessage(fileNamed(fileName) + std::string(what) + std::string(reason) +
                         std::string(nothingChanged) + std::string(remedy),
                     wrongFileCaption, MessageIcon::warning);
}

}  // namespace

std::string displayName(const std::filesystem::path& path) {
    std::string name;
    try {
        for (const char32_t c : path.filename().u32string()) {
            name += static_cast<char>(toWindows1252(c));
        }
    } catch (const std::system_error&) {
        // A name that is no valid text in the system's encoding: its bytes, as the system has it.
        name = path.filename().string();
    }
    return name;
}

std::optional<std::string> readChosenFile(KeyExchangeView& view,
                                          const std::filesystem::path& path) {
    files::ReadResult result = files::readRegularFile(path, maxExchangeFileBytes);
    switch (result.status) {
        case files::ReadStatus::ok:
            return std::move(result.bytes);
        case files::ReadStatus::tooLarge:
            refuseTooLarge(view, displayName(path));
            break;
        case files::ReadStatus::unreadable:
            refuseUnreadable(view, displayName(path));
            break;
    }
    return std::nullopt;
}

void refuseTooLarge(KeyExchangeView& view, std::string_view fileName) {
    view.showMessage(fileNamed(fileName) + " kan ikke bruges: " + tooLargeReason() +
                         std::string(nothingChanged) + "V\xE6lg den rigtige fil.",
                     wrongFileCaption, MessageIcon::warning);
}

void refuseUnreadable(KeyExchangeView& view, std::string_view fileName) {
    view.showMessage(fileNamed(fileName) + " kunne ikke l\xE6ses" + std::string(nothingChanged) +
                         "Tjek, at filen findes, og at du har lov til at l\xE6se den.",
                     errorCaption, MessageIcon::warning);
}

void writeChosenFile(KeyExchangeView& view, const std::filesystem::path& path,
                     std::string_view bytes, files::Visibility visibility) {
    if (!files::replaceFile(path, bytes, visibility)) {
        view.showMessage(saveFailedMessage, errorCaption, MessageIcon::warning);
    }
}

bool openPublicData(KeyExchange& state, KeyExchangeView& view, std::string_view bytes,
                    std::string_view fileName) {
    const PublicDataReading reading = readPublicData(bytes);
    if (!reading.data) {
        refuse(view, fileName, " er ikke en fil med offentlige data: ", reading.refusal,
               "\xC5"
               "bn den .public-fil, som den anden har gemt med \"Gem offentlig data...\", "
               "eller bed om en ny.");
        return false;
    }
    const PublicData& data = *reading.data;
    const std::array<const bignum::Natural*, 5> numbers{&data.q, &data.A, &data.B, &data.Px,
                                                        &data.Py};
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        view.setFieldText(leadingPublicFields[k], numbers[k]->toHex());
    }
    state.receive(data);
    view.setFieldText(TextField::Pb, state.Pb().toText());
    return true;
}

bool openSecretKey(KeyExchangeView& view, std::string_view bytes, std::string_view fileName) {
    const SecretKeyReading reading = readSecretKey(bytes);
    if (!reading.a) {
        refuse(view, fileName, " er ikke en hemmelig n\xF8gle: ", reading.refusal,
               "\xC5"
               "bn den .secret-fil, du selv har gemt med \"Gem hemmelig n\xF8gle a...\".");
        return false;
    }
    view.setFieldText(TextField::a, reading.a->toHex());
    return true;
}

std::string publicDataFile(const KeyExchange& state) {
    return writePublicData(state.publicData());
}

std::string secretKeyFile(const KeyExchangeView& view) {
    return view.fieldText(TextField::a);
}

std::string sharedKeyFile(const KeyExchange& state) {
    return state.Pab().toText();
}

}  // namespace app
