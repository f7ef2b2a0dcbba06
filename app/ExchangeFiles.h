#pragma once

#include <cstddef>

#include "app/FileChooser.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"

namespace app {

// No exchange file comes near this; anything larger is refused before it is read.
inline constexpr std::size_t maxExchangeFileBytes = std::size_t{16} * 1024 * 1024;

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

// ".public": the texts of q, A, B, Px, Py and Pa, separated by "*" and ended by one NUL byte.
void savePublicData(KeyExchangeView& view, FileChooser& chooser);
// Puts the first five "*"-separated texts into q, A, B, Px and Py, the last into Pb, and parses
// it into the state's Pb modulo the q that the q field then holds.
void openPublicData(KeyExchange& state, KeyExchangeView& view, FileChooser& chooser);
// ".secret": exactly the text of the a field.
void saveSecretKey(KeyExchangeView& view, FileChooser& chooser);
void openSecretKey(KeyExchangeView& view, FileChooser& chooser);
// ".comkey": exactly the text of the Pab field.
void saveSharedKey(KeyExchangeView& view, FileChooser& chooser);

}  // namespace app
