#include "gui/CommandDispatch.h"

#include <exception>
#include <string_view>

#include "app/ExchangeFiles.h"
#include "app/FailureReport.h"
#include "gui/WindowLayout.h"

namespace gui {

namespace {

constexpr std::string_view errorCaption = "Fejl!";

void reportInterruption(app::KeyExchangeView& view, const std::exception_ptr& failure) noexcept {
    // Composing or showing the report may fail in turn; the command has stopped either way.
    try {
        view.showMessage(app::failureReport(failure), errorCaption, app::MessageIcon::none);
    } catch (...) {
    }
}

}  // namespace

CommandDispatcher::CommandDispatcher(app::KeyExchange& state, app::KeyExchangeView& view,
                                     app::FileChooser& chooser, ShellRequests& shell)
    : state_(state), view_(view), chooser_(chooser), shell_(shell) {}

void CommandDispatcher::dispatch(int commandId) noexcept {
    try {
        switch (commandId) {
            // Each save first updates, as each load does afterwards, so that a saved Pa or Pab
            // belongs to the q, A, B, P and a saved beside it or still shown.
            case command::savePublicData:
                state_.updatePaPab(view_);
                app::savePublicData(view_, chooser_);
                break;
            case command::saveSecretKey:
                app::saveSecretKey(view_, chooser_);
                break;
            case command::openPublicData:
                app::openPublicData(state_, view_, chooser_);
                state_.updatePaPab(view_);
                break;
            case command::openSecretKey:
                app::openSecretKey(view_, chooser_);
                state_.updatePaPab(view_);
                break;
            case command::saveSharedKey:
                state_.updatePaPab(view_);
                app::saveSharedKey(view_, chooser_);
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
