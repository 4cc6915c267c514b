// The desktop program's own timings (offscreen, real application object):
//   app_bench startup N      a document of N items: from start-up to an idle main window
//   app_bench run DOC        DOC run unattended ("/A"): from start-up until the program
//                            has closed, the log window shown throughout
//   app_bench open DOC       File Open of DOC in a running program (after the file
//                            dialog): from the open until the window is idle again
// Prints one line: what, milliseconds, and for "run" how often events were let through.
#include "app/KovrelApp.h"
#include "document/KvdFormat.h"
#include "ui/AppInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Lets everything queued run, including zero-time timers, until nothing is left.
void DrainEvents() {
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents);
}

int Startup(int nItems) {
    QTemporaryDir dir;
    kovrel::CSyncItemList list;
    for (int i = 0; i < nItems; ++i) {
        const std::string str1 = "/home/me/projects/item" + std::to_string(i) + "/src";
        const std::string str2 = "/srv/backup/projects/item" + std::to_string(i) + "/src";
        list.SetAt(-1, str1.c_str(), str2.c_str(), i % 3 == 0 ? "!*.bak" : nullptr);
    }
    const std::string strDoc = dir.filePath(QStringLiteral("big.kvd")).toStdString();
    if (kovrel::SaveKvdFile(strDoc, list, kovrel::KVD_VERSION_1_0).eStatus !=
        kovrel::KvdFileStatus::Ok)
        return 1;

    QElapsedTimer timer;
    timer.start();
    kovrel::app::CKovrelApp app;
    kovrel::app::CMDLINE cmd;
    cmd.strDocument = strDoc;
    if (!app.InitInstance(cmd))
        return 1;
    DrainEvents();
    const qint64 nMs = timer.elapsed();
    std::printf("startup items %d ms %lld\n", app.m_pMainView->GetList().GetCount(),
                static_cast<long long>(nMs));
    app.GetMainFrame()->close();
    return 0;
}

int Open(const char* pszDoc) {
    kovrel::app::CKovrelApp app;
    if (!app.InitInstance(kovrel::app::CMDLINE{}))
        return 1;
    DrainEvents();
    QElapsedTimer timer;
    timer.start();
    const kovrel::app::OpenResult eResult = app.OpenDocumentFile(QString::fromLocal8Bit(pszDoc));
    DrainEvents();
    const qint64 nMs = timer.elapsed();
    if (eResult != kovrel::app::OpenResult::Opened)
        return 1;
    std::printf("open items %d ms %lld\n", app.m_pMainView->GetList().GetCount(),
                static_cast<long long>(nMs));
    app.GetMainFrame()->close();
    return 0;
}

int RunUnattended(const char* pszDoc) {
    QElapsedTimer timer;
    timer.start();
    kovrel::app::CKovrelApp app;
    kovrel::app::CMDLINE cmd;
    cmd.strDocument = pszDoc;
    cmd.nAutoSync = 1;
    if (!app.InitInstance(cmd))
        return 1;
    QApplication::exec();
    const qint64 nMs = timer.elapsed();
    std::printf("run ms %lld event_passes %d copied %d\n", static_cast<long long>(nMs),
                app.LastRunEventPasses(),
                app.LastRunStat().nCopied1to2 + app.LastRunStat().nCopied2to1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A profile of the benchmark's own: no log file, no sounds, the user's untouched.
    QTemporaryDir dirConfig;
    setenv("XDG_CONFIG_HOME", dirConfig.path().toLocal8Bit().constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dirConfig.path());
    {
        QSettings profile(QStringLiteral("Marovin_Quellan"), QStringLiteral("Kovrel Duplicator"));
        profile.setValue(QStringLiteral("Env/SoundOn"), 0);
    }
    QApplication qapp(argc, argv);
    kovrel::LoadQtJapaneseTranslation(qapp);
    const std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "startup" && argc > 2)
        return Startup(std::atoi(argv[2]));
    if (strMode == "run" && argc > 2)
        return RunUnattended(argv[2]);
    if (strMode == "open" && argc > 2)
        return Open(argv[2]);
    std::fputs("Usage: app_bench startup N | app_bench run DOC | app_bench open DOC\n", stderr);
    return 2;
}
