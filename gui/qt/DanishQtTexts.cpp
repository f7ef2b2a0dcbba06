#include "gui/qt/DanishQtTexts.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

namespace gui::qt {

bool useDanishQtTexts(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Danish, QLocale::Denmark));
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_da"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    translator->setParent(&application);
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace gui::qt
