#pragma once

#include <QWidget>

#include "app/FileChooser.h"

namespace gui::qt {

// The platform's own save and open dialogs, owned by the window they are shown over. Under the
// offscreen platform (the tests) Qt's own dialog is used, so a test can find and answer it.
class DialogFileChooser final : public app::FileChooser {
  public:
    explicit DialogFileChooser(QWidget& owner) : owner_(&owner) {}

    std::optional<std::filesystem::path> choosePath(const app::FileDialogOptions& options) override;

  private:
    QWidget* owner_;
};

}  // namespace gui::qt
