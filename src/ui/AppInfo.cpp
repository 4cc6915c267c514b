#include "ui/AppInfo.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kovrel::ui {

bool LoadQtJapaneseTranslation(QCoreApplication& app) {
    // Parented to the application: it must outlive every window that asks for
    // a text, and goes with the application.
    auto* pTranslator = new QTranslator(&app);
    if (!pTranslator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                           QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete pTranslator;
        return false;
    }
    return QCoreApplication::installTranslator(pTranslator);
}

} // namespace kovrel::ui
