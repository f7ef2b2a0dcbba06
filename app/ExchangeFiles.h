#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/ExchangeFormats.h"
#include "app/FileAccess.h"
#include "app/FileChooser.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"

// The window's five file commands, split at the file's bytes: the dialog and the disk stay with
// the caller (gui's dispatcher runs the steps in order), so that a front end without either hands
// bytes in and takes bytes out with the window's own checks, field changes and messages.
namespace app {

// The dialogs of the five file commands.
inline constexpr FileDialogOptions publicDataSaveDialog{
    FileDialogKind::save,
    {{{"Offentlig data (*.public)", "*.public"}, {"All Files (*.*)", "*.*"}}},
    "public"};
inline constexpr FileDialogOptions publicDataOpenDialog{
    FileDialogKind::open,
    {{{"Offentlig data (*.public)", "*.public"}, {"All files (*.*)", "*.*"}}},
    "public"};
inline constexpr FileDialogOptions secretKeySaveDialog{
    FileDialogKind::save,
    {{{"Hemmelige n\xF8gler (*.secret)", "*.secret"}, {"All Files (*.*)", "*.*"}}},
    "secret"};
inline constexpr FileDialogOptions secretKeyOpenDialog{
    FileDialogKind::open,
    {{{"Hemmelige n\xF8gler (*.secret)", "*.secret"}, {"All Files (*.*)", "*.*"}}},
    "secret"};
inline constexpr FileDialogOptions sharedKeySaveDialog{
    FileDialogKind::save,
    {{{"F\xE6lles hemmelige n\xF8gler (*.comkey)", "*.comkey"}, {"All Files (*.*)", "*.*"}}},
    "comkey"};

// The name a message gives a file: the last part of its path, in Windows-1252.
std::string displayName(const std::filesystem::path& path);

// The chosen file whole; nothing, after telling the user, when it cannot be read or is too large
// to be an exchange file.
std::optional<std::string> readChosenFile(KeyExchangeView& view, const std::filesystem::path& path);
// Tell the user that the named file is too large to be an exchange file, or could not be read.
void refuseTooLarge(KeyExchangeView& view, std::string_view fileName);
void refuseUnreadable(KeyExchangeView& view, std::string_view fileName);
// Replaces the chosen file by the bytes; tells the user when that fails (the old file is then
// whole).
void writeChosenFile(KeyExchangeView& view, const std::filesystem::path& path,
                     std::string_view bytes, files::Visibility visibility);

// Opening public data, once the file is read: a file that passes readPublicData puts its
// q, A, B, Px and Py into their fields and its Pa into Pb, in the state (receive) and its field.
// Any other file is refused in one message naming it, and nothing changes. Returns whether the
// file was taken; the window then updates, as it does after a cancel.
bool openPublicData(KeyExchange& state, KeyExchangeView& view, std::string_view bytes,
                    std::string_view fileName);
// Opening a secret key, once the file is read: the same for a ".secret" file, whose
// number goes into the a field.
bool openSecretKey(KeyExchangeView& view, std::string_view bytes, std::string_view fileName);

// The bytes of the three saves. Public data and Pab come from the state, as the update that
// their commands run first leaves it; the secret is the a field's text as typed, which its
// command checks first.
std::string publicDataFile(const KeyExchange& state);
std::string secretKeyFile(const KeyExchangeView& view);
std::string sharedKeyFile(const KeyExchange& state);

}  // namespace app
