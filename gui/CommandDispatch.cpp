#include "gui/CommandDispatch.h"

#include <exception>
#include <filesystem>

#include "app/ExchangeFiles.h"
#include "app/ExchangeFormats.h"
#include "app/FailureReport.h"
#include "app/TypedNumber.h"
#include "gui/WindowLayout.h"

namespace gui {

namespace {

using app::TextField;

void reportInterruption(app::KeyExchangeView& view, const std::exception_ptr& failure) noexcept {
    // Composing or showing the report may fail in turn; the command has stopped either way.
    try {
        view.showMessage(app::failureReport(failure), app::errorCaption, app::MessageIcon::none);
    } catch (...) {
    }
}

}  // namespace

std::optional<FileCommand> fileCommand(int commandId) {
    using Visibility = app::files::Visibility;
    switch (commandId) {
        case command::savePublicData:
            return FileCommand{&app::publicDataSaveDialog, Visibility::normal};
        case command::openPublicData:
            return FileCommand{&app::publicDataOpenDialog, Visibility::normal};
        case command::saveSecretKey:
            return FileCommand{&app::secretKeySaveDialog, Visibility::ownerOnly};
        case command::openSecretKey:
            return FileCommand{&app::secretKeyOpenDialog, Visibility::normal};
        case command::saveSharedKey:
            return FileCommand{&app::sharedKeySaveDialog, Visibility::ownerOnly};
        default:
            return std::nullopt;
    }
}

CommandDispatcher::CommandDispatcher(app::KeyExchange& state, app::KeyExchangeView& view,
                                     app::FileChooser& chooser, ShellRequests& shell)
    : state_(state), view_(view), chooser_(chooser), shell_(shell) {}

bool CommandDispatcher::beginOpen(int commandId) noexcept {
    try {
        // The update after a load reads the file's numbers and the typed ones beside them.
        switch (commandId) {
            case command::openPublicData:
                return app::checkTypedFields(view_, {TextField::a});
            case command::openSecretKey:
                return app::checkTypedFields(view_, {TextField::q, TextField::A, TextField::B,
                                                     TextField::Px, TextField::Py});
            default:
                break;
        }
    } catch (...) {
        reportInterruption(view_, std::current_exception());
    }
    return false;
}

void CommandDispatcher::finishOpen(int commandId, const std::optional<PickedFile>& file) noexcept {
    try {
        bool taken = !file;  // a cancel updates as a load does
        if (file && file->bytes.size() > app::maxExchangeFileBytes) {
            app::refuseTooLarge(view_, file->name);
        } else if (file && commandId == command::openPublicData) {
            taken = app::openPublicData(state_, view_, file->bytes, file->name);
        } else if (file && commandId == command::openSecretKey) {
            taken = app::openSecretKey(view_, file->bytes, file->name);
        }
        if (taken) {
            state_.updatePaPab(view_);
        }
    } catch (...) {
        reportInterruption(view_, std::current_exception());
    }
}

std::optional<std::string> CommandDispatcher::composeSave(int commandId) noexcept {
    try {
        // Each save of a point first updates, as each load does afterwards, so that a saved Pa
        // or Pab belongs to the q, A, B, P and a saved beside it or still shown.
        switch (commandId) {
            case command::savePublicData:
                if (state_.updatePaPab(view_)) {
                    return app::publicDataFile(state_);
                }
                break;
            case command::saveSecretKey:
                if (app::checkTypedFields(view_, {TextField::a})) {
                    return app::secretKeyFile(view_);
                }
                break;
            case command::saveSharedKey:
                if (state_.updatePaPab(view_)) {
                    return app::sharedKeyFile(state_);
                }
                break;
            default:
                break;
        }
    } catch (...) {
        reportInterruption(view_, std::current_exception());
    }
    return std::nullopt;
}

void CommandDispatcher::dispatch(int commandId) noexcept {
    try {
        switch (commandId) {
            case command::openPublicData:
            case command::openSecretKey:
                if (beginOpen(commandId)) {
                    const auto path = chooser_.choosePath(*fileCommand(commandId)->dialog);
                    if (!path) {
                        finishOpen(commandId, std::nullopt);
                    } else if (const auto bytes = app::readChosenFile(view_, *path)) {
                        const std::string name = app::displayName(*path);
                        finishOpen(commandId, PickedFile{*bytes, name});
                    }
                }
                break;
            case command::savePublicData:
            case command::saveSecretKey:
            case command::saveSharedKey:
                if (const std::optional<std::string> bytes = composeSave(commandId)) {
                    const FileCommand file = *fileCommand(commandId);
                    if (const auto path = chooser_.choosePath(*file.dialog)) {
                        app::writeChosenFile(view_, *path, *bytes, file.visibility);
                    }
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
