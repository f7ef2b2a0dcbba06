#pragma once

#include <QDialog>
#include <QRect>
#include <memory>
#include <vector>

#include "gui/WindowLayout.h"

namespace gui::qt {

// A rectangle of the About box's template in pixels: the edges are converted one by one, with
// 1.5 pixels across and 1.625 down per dialog unit, rounded half away from zero.
QRect dialogUnitsToPixels(int x, int y, int width, int height);

// The modal About box, owned by the main window. Only OK (or Enter through it) closes it;
// Escape and the close box are ignored. It owns its items.
class AboutDialog final : public QDialog {
  public:
    // The template's position is taken relative to the owner's client area.
    AboutDialog(QWidget& owner, const QWidget& ownerClientArea);
    ~AboutDialog() override;

    void reject() override;

  private:
    std::vector<std::unique_ptr<QWidget>> items_;
};

}  // namespace gui::qt
