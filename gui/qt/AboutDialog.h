#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <memory>
#include <vector>

#include "gui/WindowLayout.h"

namespace gui::qt {

// A rectangle of the About box's template in pixels: the edges are converted one by one, with
// 1.5 pixels across and 1.625 down per dialog unit, rounded half away from zero.
QRect dialogUnitsToPixels(int x, int y, int width, int height);

// The guide the About box names: beside the program, as in the build and on Windows, or where the
// package installs it. Empty when there is none.
QString installedGuide();

// The modal About box, owned by the main window. Only OK (or Enter through it) closes it;
// Escape and the close box are ignored. Where a text names the guide's file, the name is a link
// that opens it. It owns its items.
class AboutDialog final : public QDialog {
  public:
    // The template's position is taken relative to the owner's client area. An empty guide path
    // leaves the texts plain.
    AboutDialog(QWidget& owner, const QWidget& ownerClientArea, const QString& guidePath);
    ~AboutDialog() override;

    void reject() override;

  private:
    std::vector<std::unique_ptr<QWidget>> items_;
};

}  // namespace gui::qt
