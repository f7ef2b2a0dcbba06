#pragma once

#include <optional>
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

// A file a student picked to open: its bytes and its name as the messages give it
// (Windows-1252).
struct PickedFile {
    std::string_view bytes;
    std::string_view name;
};

// The dialog of a file command, with which a save's file is written; nothing for the other
// commands.
struct FileCommand {
    const app::FileDialogOptions* dialog;
    app::files::Visibility visibility;
};
std::optional<FileCommand> fileCommand(int commandId);

// Runs a menu or button command on the key exchange. Every command identifier of the window
// reaches its operation; other identifiers do nothing. The references must outlive the object.
//
// A file command is split at the file, so that a front end which asks for files and reads or
// offers them itself (a browser) runs it with the window's checks, updates and messages:
// beginOpen, the student's choice, then finishOpen; or composeSave, then the bytes to a file.
// dispatch runs the same steps around the chooser and the disk. None of them throws: a failed
// computation stops where it failed and is reported in a message box ("Fejl!"), and the next
// command works as usual.
class CommandDispatcher {
  public:
    CommandDispatcher(app::KeyExchange& state, app::KeyExchangeView& view,
                      app::FileChooser& chooser, ShellRequests& shell);

    void dispatch(int commandId) noexcept;

    // Checks the typed fields that the update after the open reads; false, after telling the
    // user, when the command ends here and no file may be asked for.
    bool beginOpen(int commandId) noexcept;
    // Loads the picked file, nothing after a cancel, and updates when the file was taken and
    // after a cancel. A file of more than app::maxExchangeFileBytes bytes is refused unread.
    void finishOpen(int commandId, const std::optional<PickedFile>& file) noexcept;
    // The bytes the save writes, after the update or check it runs first; nothing, after
    // telling the user, when the command ends there.
    std::optional<std::string> composeSave(int commandId) noexcept;

  private:
    app::KeyExchange& state_;
    app::KeyExchangeView& view_;
    app::FileChooser& chooser_;
    ShellRequests& shell_;
};

}  // namespace gui
