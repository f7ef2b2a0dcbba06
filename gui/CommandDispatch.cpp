#include "gui/CommandDispatch.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/ExchangeFiles.h"
#include "app/FailureReport.h"
#include "app/TypedNumber.h"
#include "gui/WindowLayout.h"

namespace gui {

namespace {

void reportInterruption(app::KeyExchangeView& view, const std::exception_ptr& failure) noexcept {
    // Composing or showing the report may fail in turn; the command has stopped either way.
    try {
        view.showMessage(app::failureReport(failure), app::errorCaption, app::MessageIcon::none);
    } catch (...) {
    }
}

}  // namespace

CommandDispatcher::CommandDispatcher(app::KeyExchange& state, app::KeyExchangeView& view,
                                     app::FileChooser& chooser, ShellRequests& shell)
    : state_(state), view_(view), chooser_(chooser), shell_(shell) {}

void CommandDispatcher::open(const app::FileDialogOptions& dialog,
                             std::initializer_list<app::TextField> typed, const Load& load) {
    if (!app::checkTypedFields(view_, typed)) {
        return;
    }
    const std::optional<std::filesystem::path> path = chooser_.choosePath(dialog);
    if (!path) {
        state_.updatePaPab(view_);
        return;
    }
    const std::optional<std::string> bytes = app::readChosenFile(view_, *path);
    if (bytes && load(*bytes, app::displayName(*path))) {
        state_.updatePaPab(view_);
    }
}

void CommandDispatcher::save(const app::FileDialogOptions& dialog,
                             const std::function<std::string()>& compose,
                             app::files::Visibility visibility) {
    if (const std::optional<std::filesystem::path> path = chooser_.choosePath(dialog)) {
        app::writeChosenFile(view_, *path, compose(), visibility);
    }
}

void CommandDispatcher::dispatch(int commandId) noexcept {
    using app::TextField;
    using Visibility = app::files::Visibility;
    try {
        switch (commandId) {
            // Each save of a point first updates, as each load does afterwards, so that a saved
            // Pa or Pab belongs to the q, A, B, P and a saved beside it or still shown.
            case command::savePublicData:
                if (state_.updatePaPab(view_)) {
                    save(
                        app::publicDataSaveDialog, [this] { return app::publicDataFile(state_); },
                        Visibility::normal);
                }
                break;
            case command::saveSecretKey:
                save(
                    app::secretKeySaveDialog, [this] { return app::secretKeyFile(view_); },
                    Visibility::ownerOnly);
                break;
            // The update after a load reads the file's numbers and the typed ones beside them.
            case command::openPublicData:
                open(app::publicDataOpenDialog, {TextField::a},
                     [this](std::string_view bytes, std::string_view name) {
                         return app::openPublicData(state_, view_, bytes, name);
                     });
                break;
            case command::openSecretKey:
                open(app::secretKeyOpenDialog,
                     {TextField::q, TextField::A, TextField::B, TextField::Px, TextField::Py},
                     [this](std::string_view bytes, std::string_view name) {
                         return app::openSecretKey(view_, bytes, name);
                     });
                break;
            case command::saveSharedKey:
                if (state_.updatePaPab(view_)) {
                    save(
                        app::sharedKeySaveDialog, [this] { return app::sharedKeyFile(state_); },
                        Visibility::ownerOnly);
                }
                break;
            case command::exit:
                shell_.requestClose();
                break;
            case command::clearAll:
                state_.clearAll(view_);
                break;
            case command::updatePaPab:
                state_.updatePaPab(view_);
                break;
            case command::useTestValues:
                state_.useTestValues(view_);
                break;
            case command::generateSecret:
                state_.generateSecret(view_);
                break;
            case command::about:
                shell_.showAbout();
                break;
            default:
                break;
        }
    } catch (...) {
        reportInterruption(view_, std::current_exception());
    }
}

}  // namespace gui
