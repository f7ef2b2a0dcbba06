#include "gui/qt/ValueField.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTextBlock>
#include <algorithm>
#include <cmath>

#include "gui/WindowLayout.h"
#include "gui/qt/Windows1252.h"

namespace gui::qt {

namespace {
// More than the lines of any point up to P-521 at the window's width; longer texts scroll.
constexpr int mostLinesShown = 10;
// Far more than any point a student meets (one on P-521 takes 267). Only a damaged file or a
// giant q brings more, and an unbroken line takes time to wrap that grows with the square of its
// length, so the rest is left out of the display; the context menu still copies all of it.
constexpr qsizetype mostCharactersShown = 4096;
}  // namespace

ValueField::ValueField(const QString& text) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::ClickFocus);
    setUndoRedoEnabled(false);
    // Drawn like the plain static text it stands for: no frame, no margin, the window behind it.
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    setWordWrapMode(QTextOption::WrapAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setText(text);
}

void ValueField::setText(const QString& text) {
    text_ = text;
    setPlainText(text.size() <= mostCharactersShown
                     ? text
                     : text.left(mostCharactersShown) + QChar(0x2026));  // an ellipsis
}

int ValueField::heightShowingAll(int minimum) {
    QAbstractTextDocumentLayout& layout = *document()->documentLayout();
    qreal height = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        height += layout.blockBoundingRect(block).height();
    }
    const int most = fontMetrics().lineSpacing() * mostLinesShown;
    // The editor keeps its scroll bar until one pixel more than the lines is free.
    const int showingAll = static_cast<int>(std::ceil(height)) + 1;
    return std::clamp(showingAll, minimum, std::max(minimum, most));
}

void ValueField::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const QAction* copy = menu.addAction(fromWindows1252(copyCommandText));
    connect(copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(text_); });
    menu.exec(event->globalPos());
}

}  // namespace gui::qt
