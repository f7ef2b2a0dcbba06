#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace gui::qt {

// One of the value fields Pa, Pb and Pab: text the user can select and copy but not edit. It
// wraps at any character and reports the height that shows all of it; a text longer than any point
// scrolls instead, and one of thousands of characters is shown cut short. Its context menu copies
// the whole text. It keeps the text exactly as it was set.
class ValueField final : public QPlainTextEdit {
  public:
    explicit ValueField(const QString& text);

    const QString& text() const noexcept { return text_; }
    void setText(const QString& text);
    // The height at the current width that shows every line, at least `minimum` and at most ten
    // lines.
    int heightShowingAll(int minimum);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QString text_;
};

}  // namespace gui::qt
