#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "app/FileAccess.h"
#include "app/FileChooser.h"
#include "app/KeyExchange.h"
#include "app/KeyExchangeView.h"

namespace gui {

// What only a shell can do for a command: close its window, show its About box.
class ShellRequests {
  public:
    virtual ~ShellRequests() = default;
    // Take the same path as the window's close box.
    virtual void requestClose() = 0;
    // The modal About box, owned by the main window; returns when it is closed.
    virtual void showAbout() = 0;

  protected:
    ShellRequests() = default;
    ShellRequests(const ShellRequests&) = default;
    ShellRequests& operator=(const ShellRequests&) = default;
};

// Runs a menu or button command on the key exchange. Every command identifier of the window
// reaches its operation; other identifiers do nothing. The references must outlive the object.
class CommandDispatcher {
  public:
    CommandDispatcher(app::KeyExchange& state, app::KeyExchangeView& view,
                      app::FileChooser& chooser, ShellRequests& shell);

    // Never throws: a failed computation stops where it failed and is reported in a message box
    // ("Fejl!"), and the next command works as usual.
    void dispatch(int commandId) noexcept;

  private:
    // Takes the bytes of a file and its name; false when it refused the file.
    using Load = std::function<bool(std::string_view bytes, std::string_view fileName)>;
    // Checks the fields the update after the load reads, asks for the file, reads it and hands
    // its bytes to the load; updates after a load that took the file, and after a cancel.
    void open(const app::FileDialogOptions& dialog, std::initializer_list<app::TextField> typed,
              const Load& load);
    // Asks where, composes the bytes and writes them.
    void save(const app::FileDialogOptions& dialog, const std::function<std::string()>& compose,
              app::files::Visibility visibility);

    app::KeyExchange& state_;
    app::KeyExchangeView& view_;
    app::FileChooser& chooser_;
    ShellRequests& shell_;
};

}  // namespace gui
