#pragma once

#include <QCoreApplication>

namespace gui::qt {

// Puts Qt's own texts (file dialogs, standard buttons, context menus) in Danish and makes Danish
// the default locale, whatever the system's language: the program is Danish throughout. The
// translator belongs to the application. Returns false when Qt's Danish translation is not
// installed; Qt's texts then stay English.
bool useDanishQtTexts(QCoreApplication& application);

}  // namespace gui::qt
