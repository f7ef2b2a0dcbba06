#include "gui/qt/AboutDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "gui/qt/Windows1252.h"

namespace gui::qt {
namespace {

// The template's font at 96 dpi: 6 / 4 pixels across and 13 / 8 down per dialog unit.
int horizontalPixels(int units) {
    return (units * 6 + 2) / 4;
}
int verticalPixels(int units) {
    return (units * 13 + 4) / 8;
}

// Lines of a template text are separated by a lone carriage return.
QString withLineBreaks(std::string_view text) {
    QString converted = fromWindows1252(text);
    converted.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return converted;
}

// Plain text, or rich text in which the guide's file name is a link to the guide.
void setTextLinkingGuide(QLabel& label, const QString& text, const QString& guidePath) {
    const QString name = QFileInfo(guidePath).fileName();
    const qsizetype at = name.isEmpty() ? -1 : text.indexOf(name);
    if (at < 0) {
        label.setTextFormat(Qt::PlainText);
        label.setText(text);
        return;
    }
    const QString link =
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(QUrl::fromLocalFile(guidePath).toString(QUrl::FullyEncoded), name.toHtmlEscaped());
    QString html =
        text.left(at).toHtmlEscaped() + link + text.mid(at + name.size()).toHtmlEscaped();
    label.setTextFormat(Qt::RichText);
    label.setText(html.replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    label.setOpenExternalLinks(true);
}

std::unique_ptr<QWidget> makeItem(const DialogItemSpec& item, QDialog& dialog,
                                  const QString& guidePath) {
    const QString text = withLineBreaks(item.text);
    switch (item.kind) {
        case DialogItemKind::defaultPushButton: {
            auto button = std::make_unique<QPushButton>(text, &dialog);
            button->setDefault(true);
            QObject::connect(button.get(), &QPushButton::clicked, &dialog, &QDialog::accept);
            return button;
        }
        case DialogItemKind::groupBox:
            return std::make_unique<QGroupBox>(text, &dialog);
        case DialogItemKind::centeredText:
            break;
    }
    auto label = std::make_unique<QLabel>(&dialog);
    setTextLinkingGuide(*label, text, guidePath);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

// The template's font is not found on Linux; the platform's sans-serif takes its place at the
// largest size, at most the template's, at which every text fits its item.
QFont fittingFont(const DialogSpec& form) {
    QFont font(fromWindows1252(form.fontName));
    font.setStyleHint(QFont::SansSerif);
    constexpr int smallestPixelSize = 7;
    int pixelSize = (form.fontPointSize * 96 + 36) / 72;
    for (; pixelSize > smallestPixelSize; --pixelSize) {
        font.setPixelSize(pixelSize);
        const QFontMetrics metrics(font);
        bool fits = true;
        for (const DialogItemSpec& item : form.items) {
            if (item.kind != DialogItemKind::centeredText) {
                continue;
            }
            const QRect box = dialogUnitsToPixels(item.x, item.y, item.width, item.height);
            const QRect needed = metrics.boundingRect(QRect(0, 0, box.width(), 0),
                                                      Qt::AlignHCenter | Qt::TextWordWrap,
                                                      withLineBreaks(item.text));
            fits = fits && needed.height() <= box.height() && needed.width() <= box.width();
        }
        if (fits) {
            break;
        }
    }
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace

QRect dialogUnitsToPixels(int x, int y, int width, int height) {
    const int left = horizontalPixels(x);
    const int top = verticalPixels(y);
    return {left, top, horizontalPixels(x + width) - left, verticalPixels(y + height) - top};
}

QString installedGuide() {
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString installed = QString::fromUtf8(KX_GUIDE_FROM_PROGRAM);
    for (const QString& candidate : {QFileInfo(installed).fileName(), installed}) {
        if (programFolder.exists(candidate)) {
            return QDir::cleanPath(programFolder.absoluteFilePath(candidate));
        }
    }
    return {};
}

AboutDialog::AboutDialog(QWidget& owner, const QWidget& ownerClientArea, const QString& guidePath)
    : QDialog(&owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const DialogSpec& form = aboutDialog;
    setWindowTitle(fromWindows1252(form.caption));
    setModal(true);
    setFont(fittingFont(form));
    setFixedSize(dialogUnitsToPixels(form.x, form.y, form.width, form.height).size());
    move(ownerClientArea.mapToGlobal(dialogUnitsToPixels(form.x, form.y, 0, 0).topLeft()));

    for (const DialogItemSpec& item : form.items) {
        std::unique_ptr<QWidget> widget = makeItem(item, *this, guidePath);
        widget->setGeometry(dialogUnitsToPixels(item.x, item.y, item.width, item.height));
        widget->setProperty("controlId", item.id);
        items_.push_back(std::move(widget));
    }
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::reject() {}

}  // namespace gui::qt
