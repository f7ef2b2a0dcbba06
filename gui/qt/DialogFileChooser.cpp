#include "gui/qt/DialogFileChooser.h"

#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QStringList>

#include "gui/qt/Windows1252.h"

namespace gui::qt {
namespace {

// Qt reads a filter's patterns from the parentheses at its end; a description that does not
// already end with its pattern gets it appended.
QString nameFilter(const app::FileFilter& filter) {
    const QString description = fromWindows1252(filter.description);
    const QString pattern = fromWindows1252(filter.pattern);
    const QString shownPattern = QStringLiteral("(") + pattern + QStringLiteral(")");
    if (description.endsWith(shownPattern)) {
        return description;
    }
    return description + QStringLiteral(" ") + shownPattern;
}

}  // namespace

std::optional<std::filesystem::path> DialogFileChooser::choosePath(
    const app::FileDialogOptions& options) {
    QFileDialog dialog(owner_);
    if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    QStringList filters;
    for (const app::FileFilter& filter : options.filters) {
        filters.append(nameFilter(filter));
    }
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(fromWindows1252(options.defaultExtension));
    if (options.kind == app::FileDialogKind::save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(QFile::encodeName(chosen.front()).toStdString());
}

}  // namespace gui::qt
