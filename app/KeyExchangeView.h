#pragma once

#include <string>
#include <string_view>

#include "app/TextField.h"

namespace app {

enum class MessageIcon { none, warning };

// The caption of every message that says something went wrong.
inline constexpr std::string_view errorCaption = "Fejl!";

// The window's side of the key exchange: its nine text fields and its message boxes. All text is
// Windows-1252 bytes; a shell converts at its edge.
class KeyExchangeView {
  public:
    virtual ~KeyExchangeView() = default;

    // The field's whole current text; a field that does not exist gives the empty text.
    virtual std::string fieldText(TextField field) const = 0;
    virtual void setFieldText(TextField field, std::string_view text) = 0;
    // A modal box with an OK button and no owner window, so the main window stays usable;
    // returns when the box is dismissed.
    virtual void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;

  protected:
    KeyExchangeView() = default;
    KeyExchangeView(const KeyExchangeView&) = default;
    KeyExchangeView& operator=(const KeyExchangeView&) = default;
};

}  // namespace app
