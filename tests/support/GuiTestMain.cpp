// main() of every GUI test program: the offscreen platform is chosen before the
// QApplication exists (it cannot be changed afterwards), settings go to a
// temporary folder so no test reads or writes the user's profile, and Qt's
// Japanese texts are loaded as the program loads them.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (std::getenv("KOVREL_TEST_REAL_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QTemporaryDir dirRuntime;
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        setenv("XDG_RUNTIME_DIR", dirRuntime.path().toLocal8Bit().constData(), 1);
    }
    // QSettings fixes its paths at first use; point them at a private folder first.
    QTemporaryDir dirConfig;
    setenv("XDG_CONFIG_HOME", dirConfig.path().toLocal8Bit().constData(), 1);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dirConfig.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dirConfig.path());

    // Runs that keep deleted files in the trash keep them here, not in the
    // user's own trash.
    QTemporaryDir dirData;
    setenv("XDG_DATA_HOME", dirData.path().toLocal8Bit().constData(), 1);

    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&translator);
    }
    return RUN_ALL_TESTS();
}
