// The desktop program's own timings (offscreen, real application object):
//   app_bench startup N      a document of N items: from start-up to an idle main window
//   app_bench run DOC        DOC run unattended ("/A"): from start-up until the program
//                            has closed, the log window shown throughout
//   app_bench open DOC       File Open of DOC in a running program (after the file
//                            dialog): from the open until the window is idle again
//   app_bench preview DOC    the Preview command on DOC, opened at start-up: from the
//                            command until the preview window is idle, and the
//                            process's CPU time (user + system) spent meanwhile
//   app_bench progress N     what the log window's progress display costs a run: N
//                            event passes (a run makes one every 50 ms at most)
//                            with the progress text set and painted, against N
//                            without; and the per-file bookkeeping behind it
// Prints one line: what, milliseconds, and for "run" how often events were let through.
#include "app/GuiRunHost.h"
#include "app/KovrelApp.h"
#include "document/KvdFormat.h"
#include "engine/RunProgress.h"
#include "ui/AppInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

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

// User plus system CPU time of the whole process (all its threads) so far.
long long CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto toMs = [](const timeval& tv) {
        return static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
    };
    return toMs(usage.ru_utime) + toMs(usage.ru_stime);
}

int Preview(const char* pszDoc) {
    kovrel::app::CKovrelApp app;
    kovrel::app::CMDLINE cmd;
    cmd.strDocument = pszDoc;
    if (!app.InitInstance(cmd))
        return 1;
    DrainEvents();
    const long long nCpuBefore = CpuMs();
    QElapsedTimer timer;
    timer.start();
    // What the toolbar button and F7 do: the whole dry run, shown in the log
    // window, returning once it has ended.
    app.OnPreview();
    DrainEvents();
    const qint64 nMs = timer.elapsed();
    const long long nCpuMs = CpuMs() - nCpuBefore;
    std::printf("preview ms %lld cpu_ms %lld lines %d\n", static_cast<long long>(nMs), nCpuMs,
                app.m_dlgLog->GetCount());
    app.GetMainFrame()->close();
    return 0;
}

// What one event pass of a run costs with and without the progress display, in
// the log window as a run shows it (offscreen, painted). The run itself is not
// involved: the difference is all the display adds.
int ProgressCost(int nPasses) {
    kovrel::app::CKovrelApp app;
    if (!app.InitInstance(kovrel::app::CMDLINE{}))
        return 1;
    kovrel::dialogs::CSyncLogDlg& dlg = *app.m_dlgLog;
    dlg.show();
    DrainEvents();
    kovrel::CRunProgress progress;
    progress.Start(0);
    progress.SetTotals(100000, 500ull << 20);

    // Per file: the bookkeeping every copy and deletion pays.
    constexpr int kFiles = 1000000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kFiles; ++i) {
        progress.OnCopyStart("/src/file", 5000);
        progress.OnAction(kovrel::RUNACTION{kovrel::RunActionKind::CopyNew, 2});
    }
    const double dPerFileNs = static_cast<double>(timer.nsecsElapsed()) / kFiles;

    // Per pass: what the run's event pass does, with and without the progress.
    const auto passes = [&](bool bProgress) {
        QElapsedTimer passTimer;
        passTimer.start();
        for (int i = 0; i < nPasses; ++i) {
            if (bProgress) {
                const std::int64_t nNowMs = 50 * static_cast<std::int64_t>(i + 1);
                progress.OnCopyStart("/src/file", 5000);
                progress.OnAction(kovrel::RUNACTION{kovrel::RunActionKind::CopyNew, 2});
                dlg.SetProgress(QString::fromStdString(progress.FormatCounts()),
                                QString::fromStdString(progress.FormatPace(nNowMs)));
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        return static_cast<double>(passTimer.nsecsElapsed()) / nPasses / 1000.0;
    };
    const double dPlainUs = passes(false);
    const double dShownUs = passes(true);
    // At most one pass every kEventIntervalMs: the share of a second of run.
    const double dPassesPerSecond = 1000.0 / kovrel::app::CGuiRunHost::kEventIntervalMs;
    std::printf("progress passes %d plain_us %.1f shown_us %.1f extra_share %.4f%% "
                "per_file_ns %.1f\n",
                nPasses, dPlainUs, dShownUs, (dShownUs - dPlainUs) * dPassesPerSecond / 1e6 * 100.0,
                dPerFileNs);
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
    kovrel::ui::LoadQtJapaneseTranslation(qapp);
    const std::string strMode = argc > 1 ? argv[1] : "";
    if (strMode == "startup" && argc > 2)
        return Startup(std::atoi(argv[2]));
    if (strMode == "run" && argc > 2)
        return RunUnattended(argv[2]);
    if (strMode == "open" && argc > 2)
        return Open(argv[2]);
    if (strMode == "preview" && argc > 2)
        return Preview(argv[2]);
    if (strMode == "progress" && argc > 2)
        return ProgressCost(std::atoi(argv[2]));
    std::fputs("Usage: app_bench startup N | app_bench run DOC | app_bench open DOC | "
               "app_bench preview DOC | app_bench progress N\n",
               stderr);
    return 2;
}
