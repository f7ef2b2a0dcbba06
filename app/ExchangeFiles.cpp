#include "app/ExchangeFiles.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/FileAccess.h"

namespace app {

namespace {

constexpr std::string_view tooMuchDataMessage = "For meget data";
constexpr std::string_view tooMuchDataCaption = "Wierdness";
constexpr std::string_view saveFailedMessage = "Filen kunne ikke gemmes";
constexpr std::string_view errorCaption = "Fejl!";

constexpr char separator = '*';
constexpr std::array<TextField, 5> leadingPublicFields{TextField::q, TextField::A, TextField::B,
                                                       TextField::Px, TextField::Py};

// Field texts and file fields both end at their first NUL.
std::string_view untilNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

std::string textOf(const KeyExchangeView& view, TextField field) {
    std::string text = view.fieldText(field);
    text.resize(untilNul(text).size());
    return text;
}

void save(KeyExchangeView& view, FileChooser& chooser, const FileDialogOptions& dialog,
          std::string (*compose)(const KeyExchangeView&), files::Visibility visibility) {
    const std::optional<std::filesystem::path> path = chooser.choosePath(dialog);
    if (!path) {
        return;
    }
    if (!files::replaceFile(*path, compose(view), visibility)) {
        view.showMessage(saveFailedMessage, errorCaption, MessageIcon::warning);
    }
}

// The whole file the user chose, or nothing on cancel or when it cannot be read.
std::optional<std::string> load(KeyExchangeView& view, FileChooser& chooser,
                                const FileDialogOptions& dialog) {
    const std::optional<std::filesystem::path> path = chooser.choosePath(dialog);
    if (!path) {
        return std::nullopt;
    }
    files::ReadResult result = files::readRegularFile(*path, maxExchangeFileBytes);
    switch (result.status) {
        case files::ReadStatus::ok:
            return std::move(result.bytes);
        case files::ReadStatus::tooLarge:
            view.showMessage(tooMuchDataMessage, tooMuchDataCaption, MessageIcon::warning);
            break;
        case files::ReadStatus::unreadable:
            break;
    }
    return std::nullopt;
}

std::string composePublicData(const KeyExchangeView& view) {
    std::string bytes;
    for (const TextField field : leadingPublicFields) {
        bytes += textOf(view, field);
        bytes += separator;
    }
    bytes += textOf(view, TextField::Pa);
    bytes += '\0';
    return bytes;
}

std::string composeSecretKey(const KeyExchangeView& view) {
    return textOf(view, TextField::a);
}

std::string composeSharedKey(const KeyExchangeView& view) {
    return textOf(view, TextField::Pab);
}

}  // namespace

void savePublicData(KeyExchangeView& view, FileChooser& chooser) {
    save(view, chooser, publicDataSaveDialog, composePublicData, files::Visibility::normal);
}

void openPublicData(KeyExchange& state, KeyExchangeView& view, FileChooser& chooser) {
    const std::optional<std::string> content = load(view, chooser, publicDataOpenDialog);
    if (!content) {
        return;
    }
    std::string_view rest = *content;
    std::size_t fieldIndex = 0;
    for (std::size_t end = rest.find(separator); end != std::string_view::npos;
         end = rest.find(separator)) {
        if (fieldIndex < leadingPublicFields.size()) {
            view.setFieldText(leadingPublicFields[fieldIndex], untilNul(rest.substr(0, end)));
        } else {
            view.showMessage(tooMuchDataMessage, tooMuchDataCaption, MessageIcon::warning);
        }
        ++fieldIndex;
        rest.remove_prefix(end + 1);
    }
    const std::string_view received = untilNul(rest);
    view.setFieldText(TextField::Pb, received);
    // Pb is reduced by the curve it came with, not by a q left over from earlier input.
    state.q().fromHex(textOf(view, TextField::q));
    state.Pb().fromText(received);
}

void saveSecretKey(KeyExchangeView& view, FileChooser& chooser) {
    save(view, chooser, secretKeySaveDialog, composeSecretKey, files::Visibility::ownerOnly);
}

void openSecretKey(KeyExchangeView& view, FileChooser& chooser) {
    const std::optional<std::string> content = load(view, chooser, secretKeyOpenDialog);
    if (content) {
        view.setFieldText(TextField::a, untilNul(*content));
    }
}

void saveSharedKey(KeyExchangeView& view, FileChooser& chooser) {
    save(view, chooser, sharedKeySaveDialog, composeSharedKey, files::Visibility::ownerOnly);
}

}  // namespace app
