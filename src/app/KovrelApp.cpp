#include "app/KovrelApp.h"

#include "app/CommandIds.h"
#include "app/GuiRunHost.h"
#include "app/LogFileRules.h"
#include "app/WindowHints.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/SyncLogDlg.h"
#include "engine/ListRun.h"
#include "platform/PosixFileSystem.h"
#include "ui/AppInfo.h"
#include "ui/MsgBox.h"
#include "ui/Text.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWhatsThis>

namespace kovrel::app {

namespace {

// Everything of the list a run reads, as one string: two lists with the same
// key are run alike. An item's empty and absent fields differ.
std::string ListKey(const CSyncItemList& list, const QString& strDocPath) {
    std::string strKey = strDocPath.toStdString();
    const auto add = [&strKey](const OptStr& str) {
        strKey += str ? '+' + std::to_string(str->size()) + ':' + *str : std::string("-");
    };
    for (int i = 0; i < list.GetCount(); ++i) {
        const SYNCITEM* pItem = list.GetAt(i);
        strKey += '\n' + std::to_string(pItem->dwOption);
        add(pItem->lpszPath1);
        add(pItem->lpszPath2);
        add(pItem->lpszPattern);
    }
    return strKey;
}

CKovrelApp* g_pApp = nullptr;

const char* const kWhatsThisGrid =
    "同期項目の一覧\n1 行が 1 つの同期項目です。左の列に 1 側（File1/Dir1）、右の列に 2 側"
    "（File2/Dir2）のパスを書きます。セルを選んで文字を打つか F2 で編集、F3 でファイル、F4 で"
    "ディレクトリを選べます。一番下の空行に書くと項目が増えます。ファイルをドロップすると、"
    "その位置から下へパスが入ります。";
const char* const kWhatsThisMiddle =
    "項目の設定\n5 つの絵が、片側にないファイルの扱い、読み込み専用ファイルの上書き、"
    "サブディレクトリ、一方向コピーの向きを表します。クリックするか F5 で詳細設定を開きます。";
const char* const kWhatsThisFileButton =
    "ファイル参照\nこの側のパスを、ファイルを選ぶダイアログで指定します。";
const char* const kWhatsThisDirButton =
    "ディレクトリ参照\nこの側のパスを、ディレクトリを選ぶダイアログで指定します。";
const char* const kWhatsThisOptionButton =
    "詳細設定\n選んでいる項目の同期方法とワイルドカードのパターンを指定します。";
const char* const kWhatsThisSync =
    "Synchronize !!\n一覧の項目を上から順に同期します。処理の様子は Synchronize Log "
    "ウィンドウに表示され、その Cancel ボタンで中止できます。";

} // namespace

CKovrelApp* AfxGetApp() {
    return g_pApp;
}

CKovrelApp::CKovrelApp() {
    g_pApp = this;
}

CKovrelApp::~CKovrelApp() {
    if (m_pMainView)
        m_pMainView->GetGrid().removeEventFilter(this);
    m_pFrame.reset();
    m_dlgLog.reset();
    g_pApp = nullptr;
}

void CKovrelApp::SetDialogs(IAppDialogs* pDialogs) {
    m_pDialogs = pDialogs;
    m_doc.SetDialogs(pDialogs);
}

IAppDialogs& CKovrelApp::Dialogs() {
    if (m_pDialogs)
        return *m_pDialogs;
    if (!m_pStdDialogs)
        m_pStdDialogs = CreateStandardAppDialogs();
    return *m_pStdDialogs;
}

bool CKovrelApp::InitInstance(const CMDLINE& cmdLine) {
    const ENVSETTINGS env = ReadEnvSettings();
    m_rcWindow = env.rcWindow;
    m_settings = env.run;
    m_recent.Read();

    // Without an owner: it stays up on its own while the main window is moved.
    m_dlgLog = std::make_unique<dialogs::CSyncLogDlg>(nullptr);
    // Its template has no system menu: no close button either. The hint goes
    // out each time before the window is mapped.
    m_dlgLog->installEventFilter(this);

    m_nAutoSync = cmdLine.nAutoSync;

    auto* pView = new grid::CKovrelView;
    m_pFrame = std::make_unique<CMainFrame>(*pView);
    m_pFrame->setWindowIcon(dialogs::ProgramIcon());
    m_pMainView = pView;
    pView->SetDocument(&m_doc);
    m_doc.SetView(pView);
    m_doc.SetWindow(m_pFrame.get());
    m_pFrame->SetRecentFiles(m_recent.Entries());
    m_pFrame->PlaceWindow(m_rcWindow);
    ConnectCommands();
    SetWhatsThisTexts();

    if (cmdLine.strDocument.empty()) {
        m_doc.OnNewDocument();
        m_nAutoSync = 0;
    } else {
        const QString strPath = QFile::decodeName(QByteArray::fromStdString(cmdLine.strDocument));
        if (m_doc.OnOpenDocument(strPath) != OpenResult::Opened) {
            // No document, no main window: the program ends.
            m_nAutoSync = 0;
            m_pFrame.reset();
            m_pMainView = nullptr;
            return false;
        }
        // Another program's file opens as an empty list; its unattended run
        // ends as kovrel-sync's does for a document it cannot read.
        m_bStartDocUnreadable = m_doc.IsForeignFile();
        m_recent.Add(m_doc.GetPathName());
        m_recent.Write();
        m_pFrame->SetRecentFiles(m_recent.Entries());
    }
    AfterDocumentChange();
    m_pFrame->show();
    // The unattended run starts once the event loop runs and the window is up.
    QTimer::singleShot(0, this, &CKovrelApp::OnIdle);
    return true;
}

void CKovrelApp::OnIdle() {
    if (m_pMainView != nullptr && m_nAutoSync == 1) {
        m_nAutoSync = 2;
        OnSynchronize();
    }
}

void CKovrelApp::ConnectCommands() {
    CMainFrame* pFrame = m_pFrame.get();
    const auto on = [this, pFrame](int nId, void (CKovrelApp::*pfn)()) {
        connect(pFrame->GetAction(nId), &QAction::triggered, this, [this, pfn] { (this->*pfn)(); });
    };
    on(ID_FILE_NEW, &CKovrelApp::OnFileNew);
    on(ID_FILE_OPEN, &CKovrelApp::OnFileOpen);
    connect(pFrame->GetAction(ID_FILE_SAVE), &QAction::triggered, this,
            [this] { m_doc.DoFileSave(); });
    connect(pFrame->GetAction(ID_FILE_SAVE_AS), &QAction::triggered, this,
            [this] { m_doc.DoSave(QString()); });
    connect(pFrame->GetAction(ID_APP_EXIT), &QAction::triggered, pFrame, &QWidget::close);
    on(ID_APP_ABOUT, &CKovrelApp::OnAppAbout);
    on(ID_HELP_FINDER, &CKovrelApp::OnHelpFinder);
    on(ID_HELP, &CKovrelApp::OnHelpFinder);
    on(ID_DEFAULT_HELP, &CKovrelApp::OnHelpFinder);
    on(ID_OPTION_LOGFILE, &CKovrelApp::OnOptionLogFile);
    on(ID_OPTION_SOUND, &CKovrelApp::OnOptionSound);
    on(ID_PREVIEW, &CKovrelApp::OnPreview);
    QAction* pTrash = pFrame->GetAction(ID_OPTION_TRASH);
    pTrash->setChecked(m_settings.m_bUseTrash);
    connect(pTrash, &QAction::toggled, this, [this](bool bOn) {
        if (m_settings.m_bUseTrash == bOn)
            return;
        m_settings.m_bUseTrash = bOn;
        WriteTrashSetting(m_settings);
    });
    // "同期を実行" after a preview: an ordinary run, once the click is done.
    connect(m_dlgLog.get(), &dialogs::CSyncLogDlg::runRequested, this,
            [this] { QTimer::singleShot(0, this, &CKovrelApp::OnSynchronize); });
    connect(pFrame, &CMainFrame::recentFileChosen, this, &CKovrelApp::OnOpenRecentFile);
    connect(pFrame, &CMainFrame::filesDroppedElsewhere, this, &CKovrelApp::OnDropFiles);
    connect(pFrame, &CMainFrame::filesDroppedOnGrid, this, &CKovrelApp::OnDropOnGrid);
    connect(pFrame, &CMainFrame::runPaneClicked, this, [this] {
        if (m_bRunning)
            m_dlgLog->ShowAgain();
    });
    connect(pFrame, &CMainFrame::windowRectSaved, this,
            [this](const WINRECT& rc) { m_rcWindow = rc; });
    pFrame->m_fnQueryClose = [this] { return QueryClose(); };
    pFrame->m_fnDropsRefused = [this] { return m_bRunning; };
    connect(m_pMainView, &grid::CKovrelView::synchronize, this, &CKovrelApp::OnSynchronize);
    connect(&m_doc, &CKovrelDoc::titleChanged, this, &CKovrelApp::UpdateTitle);
    connect(&m_doc, &CKovrelDoc::pathUsed, this, [this](const QString& strPath) {
        m_recent.Add(strPath);
        m_recent.Write();
        m_pFrame->SetRecentFiles(m_recent.Entries());
        UpdateCommands();
    });
}

void CKovrelApp::SetWhatsThisTexts() {
    grid::CItemGrid& grid = m_pMainView->GetGrid();
    grid.setWhatsThis(ui::U(kWhatsThisGrid));
    grid.installEventFilter(this);
    const struct {
        int nId;
        const char* pszText;
    } buttons[] = {{grid::CItemGrid::ID_BTN_FILE1, kWhatsThisFileButton},
                   {grid::CItemGrid::ID_BTN_FILE2, kWhatsThisFileButton},
                   {grid::CItemGrid::ID_BTN_DIR1, kWhatsThisDirButton},
                   {grid::CItemGrid::ID_BTN_DIR2, kWhatsThisDirButton},
                   {grid::CItemGrid::ID_BTN_OPTION, kWhatsThisOptionButton}};
    for (const auto& b : buttons) {
        if (QPushButton* pButton = grid.GetHeaderButton(b.nId))
            pButton->setWhatsThis(ui::U(b.pszText));
    }
    m_pMainView->GetSyncButton().setWhatsThis(ui::U(kWhatsThisSync));
}

// In What's This mode a click on the grid's middle column explains the glyphs,
// anywhere else in the grid the paths.
bool CKovrelApp::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::Show && m_dlgLog && pWatched == m_dlgLog.get()) {
        ForbidCloseFunction(m_dlgLog.get());
        return false;
    }
    if (pEvent->type() == QEvent::WhatsThis && m_pMainView && pWatched == &m_pMainView->GetGrid()) {
        auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        grid::CItemGrid& grid = m_pMainView->GetGrid();
        QString strText = ui::U(kWhatsThisGrid);
        if (QPushButton* pMiddle = grid.GetHeaderButton(grid::CItemGrid::ID_BTN_OPTION)) {
            const int nX = pHelp->pos().x();
            if (nX >= pMiddle->x() && nX < pMiddle->x() + pMiddle->width())
                strText = ui::U(kWhatsThisMiddle);
        }
        QWhatsThis::showText(pHelp->globalPos(), strText, &grid);
        return true;
    }
    return QObject::eventFilter(pWatched, pEvent);
}

void CKovrelApp::UpdateTitle() {
    if (m_pFrame)
        m_pFrame->setWindowTitle(m_doc.GetTitle() + QStringLiteral(" - ") + ui::AppTitle());
}

void CKovrelApp::AfterDocumentChange() {
    UpdateTitle();
    m_pMainView->OnInitialUpdate();
    UpdateCommands();
}

void CKovrelApp::UpdateCommands() {
    if (!m_pFrame)
        return;
    // A run must never see its list or its document change under it.
    for (int nId : {ID_FILE_NEW, ID_FILE_OPEN, ID_PREVIEW})
        m_pFrame->GetAction(nId)->setEnabled(!m_bRunning);
    for (int i = 0; i < m_recent.GetSize(); ++i) {
        if (QAction* pAction = m_pFrame->RecentFileAction(i))
            pAction->setEnabled(!m_bRunning);
    }
    m_pMainView->UpdateCommands();
}

void CKovrelApp::OnFileNew() {
    if (m_bRunning || !m_doc.SaveModified())
        return;
    m_doc.OnNewDocument();
    AfterDocumentChange();
}

void CKovrelApp::OnFileOpen() {
    if (m_bRunning)
        return;
    const QString strPath = Dialogs().AskOpenDocumentName(m_pFrame.get());
    if (!strPath.isEmpty())
        OpenDocumentFile(strPath);
}

OpenResult CKovrelApp::OpenDocumentFile(const QString& strPath, bool* pbCancelled) {
    if (pbCancelled)
        *pbCancelled = false;
    if (m_bRunning)
        return OpenResult::Failed;
    if (!m_doc.SaveModified()) {
        if (pbCancelled)
            *pbCancelled = true;
        return OpenResult::Failed;
    }
    const OpenResult result = m_doc.OnOpenDocument(strPath);
    switch (result) {
    case OpenResult::Opened:
        m_recent.Add(m_doc.GetPathName());
        m_recent.Write();
        m_pFrame->SetRecentFiles(m_recent.Entries());
        AfterDocumentChange();
        break;
    case OpenResult::Replaced:
        // The broken file took the old document with it: a new one stands.
        m_doc.OnNewDocument();
        AfterDocumentChange();
        break;
    case OpenResult::Failed:
        break;
    }
    return result;
}

void CKovrelApp::OnOpenRecentFile(int nIndex) {
    if (m_bRunning || nIndex < 0 || nIndex >= m_recent.GetSize())
        return;
    const QString strPath = m_recent[nIndex];
    bool bCancelled = false;
    // Only an entry that fails to open goes; one whose save question was
    // answered Cancel stays.
    if (OpenDocumentFile(strPath, &bCancelled) != OpenResult::Opened && !bCancelled) {
        const int nNow = static_cast<int>(m_recent.Entries().indexOf(strPath));
        m_recent.Remove(nNow);
        m_recent.Write();
        m_pFrame->SetRecentFiles(m_recent.Entries());
        UpdateCommands();
    }
}

void CKovrelApp::OnDropFiles(const QStringList& astrPaths) {
    for (const QString& strPath : astrPaths) {
        bool bCancelled = false;
        OpenDocumentFile(strPath, &bCancelled);
        if (bCancelled)
            break;
    }
}

void CKovrelApp::OnDropOnGrid(const QPoint& ptGrid, const QStringList& astrPaths) {
    if (m_bRunning)
        return;
    // The grid sits at the view's top left corner: grid and view points agree.
    const QPoint ptView = m_pMainView->GetGrid().mapTo(m_pMainView, ptGrid);
    for (int i = 0; i < astrPaths.size(); ++i)
        m_pMainView->OnDropFile(ptView, QFile::encodeName(astrPaths[i]).toStdString(), i);
}

void CKovrelApp::OnAppAbout() {
    Dialogs().RunAboutDlg(m_pFrame.get());
}

QString CKovrelApp::HelpFilePath() {
    const QString strName = QStringLiteral("/index.html");
    const QString astrDirs[] = {QCoreApplication::applicationDirPath() + QStringLiteral("/../") +
                                    ui::U(KOVREL_HELP_SUBDIR),
                                ui::U(KOVREL_SOURCE_HELP_DIR)};
    for (const QString& strDir : astrDirs) {
        const QFileInfo info(strDir + strName);
        if (info.isFile())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return QString();
}

void CKovrelApp::OnHelpFinder() {
    const QString strPath = HelpFilePath();
    if (strPath.isEmpty()) {
        Dialogs().MessageBox(m_pFrame.get(), ui::U("ヘルプファイルが見つかりません。"),
                             ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Run the opener ourselves: only its exit status tells that no browser
    // could be found, and a page nobody sees must not pass unnoticed.
    const QString strLauncher = QStandardPaths::findExecutable(m_strHelpLauncher);
    if (strLauncher.isEmpty()) {
        ReportHelpNotShown(strPath);
        return;
    }
    auto* pProcess = new QProcess(this);
    pProcess->setProgram(strLauncher);
    pProcess->setArguments({strPath});
    pProcess->setProcessChannelMode(QProcess::ForwardedChannels);
    pProcess->setStandardInputFile(QProcess::nullDevice());
    connect(pProcess, &QProcess::finished, this,
            [this, pProcess, strPath](int nExitCode, QProcess::ExitStatus status) {
                pProcess->deleteLater();
                if (status != QProcess::NormalExit || nExitCode != 0)
                    ReportHelpNotShown(strPath);
            });
    connect(pProcess, &QProcess::errorOccurred, this,
            [this, pProcess, strPath](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                pProcess->deleteLater();
                ReportHelpNotShown(strPath);
            });
    pProcess->start();
#else
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(strPath)))
        ReportHelpNotShown(strPath);
#endif
}

void CKovrelApp::ReportHelpNotShown(const QString& strPath) {
    Dialogs().MessageBox(m_pFrame.get(),
                         ui::U("ヘルプを表示するブラウザが見つかりません。\n"
                               "次のファイルをブラウザで開いてください。\n") +
                             QDir::toNativeSeparators(strPath),
                         ui::MB_OK | ui::MB_ICONEXCLAMATION);
}

void CKovrelApp::OnOptionLogFile() {
    const std::string strDocLog = m_pMainView->GetList().m_strDocLog;
    LOGFILECHOICE choice = LogFileDialogStart(strDocLog, m_settings);
    if (!Dialogs().RunLogFileDlg(m_pFrame.get(), choice, m_doc.GetPathName()))
        return;
    const LOGFILEOUTCOME outcome = ApplyLogFileChoice(strDocLog, choice, m_settings);
    if (outcome.strDocLog != strDocLog)
        m_pMainView->SetDocLog(outcome.strDocLog);
    if (outcome.bModified)
        m_doc.SetModifiedFlag();
    if (outcome.bWriteProfile)
        WriteLogFileSettings(m_settings);
}

void CKovrelApp::OnOptionSound() {
    SOUNDCHOICE choice{m_settings.m_bSoundOn, m_settings.m_strEndSoundFile,
                       m_settings.m_strErrSoundFile};
    if (!Dialogs().RunSoundDlg(m_pFrame.get(), choice))
        return;
    m_settings.m_bSoundOn = choice.bSoundOn;
    m_settings.m_strEndSoundFile = choice.strEndSound;
    m_settings.m_strErrSoundFile = choice.strErrSound;
    WriteSoundSettings(m_settings);
}

void CKovrelApp::SetFocusToGrid() {
    if (m_pMainView)
        m_pMainView->GetGrid().setFocus();
}

// A run or a preview going on: the list and the documents are locked, the
// status bar says so.
void CKovrelApp::SetRunning(bool bRunning) {
    m_bRunning = bRunning;
    m_pMainView->SetRunning(bRunning);
    m_pFrame->ShowRunPane(bRunning);
    UpdateCommands();
}

// Never a run or preview inside another (they would share counters, log file
// and window): the command brings back the running one's window instead.
bool CKovrelApp::RefusedWhileRunning() {
    if (!m_bRunning)
        return false;
    m_dlgLog->ShowAgain();
    return true;
}

void CKovrelApp::OnSynchronize() {
    if (m_pMainView == nullptr)
        return;
    if (RefusedWhileRunning())
        return;
    SetRunning(true);

    CGuiRunHost host(m_pFrame.get(), *m_dlgLog);
    // A preview's totals count for the run right after it on the same list,
    // and for no other.
    if (m_previewTotals.bValid &&
        m_previewTotals.strListKey == ListKey(m_pMainView->GetList(), m_doc.GetPathName()))
        host.SetTotals(m_previewTotals.nFiles, m_previewTotals.nBytes);
    m_previewTotals = PREVIEWTOTALS{};
    m_dlgLog->BeginRun(this);
    platform::PosixFileSystem fs;
    CSyncEngine engine(fs, host, m_settings);
    engine.SetDocumentPath(m_doc.GetPathName().toStdString());
    // How it ended shows in the log window; an unattended run also tells it
    // by the program's exit status.
    const RunResult result = engine.Run(m_pMainView->GetList());
    m_dlgLog->EndRun();
    m_lastStat = engine.GetStat();
    m_nLastEventPasses = host.EventPasses();

    SetRunning(false);

    // An unattended program ends after every run, except one cancelled before
    // its first item.
    if (m_nAutoSync != 0) {
        m_nExitStatus = m_bStartDocUnreadable                      ? kExitUnreadable
                        : result == RunResult::Completed           ? kExitCompleted
                        : result == RunResult::CompletedWithErrors ? kExitCompletedWithErrors
                                                                   : kExitStopped;
    }
    if (m_nAutoSync != 0 && !engine.StoppedBeforeFirstItem()) {
        m_dlgLog->hide();
        PostExit();
    }
    if (m_bCloseAfterRun) {
        m_bCloseAfterRun = false;
        PostExit();
    }
    emit runFinished();
}

void CKovrelApp::OnPreview() {
    if (m_pMainView == nullptr)
        return;
    if (RefusedWhileRunning())
        return;
    SetRunning(true);

    CGuiRunHost host(m_pFrame.get(), *m_dlgLog);
    host.SetPreview(true);
    m_dlgLog->BeginPreview(this);
    // The same dry run as kovrel-sync --dry-run: an overlay, no log file. It
    // asks the run's questions, so what it shows is what a run answered the
    // same way does.
    platform::PosixFileSystem fs;
    m_previewTotals = PREVIEWTOTALS{};
    const LISTRUNRESULT outcome = RunSyncList(fs, true, host, m_settings, m_pMainView->GetList(),
                                              m_doc.GetPathName().toStdString());
    // What the dry run did is what the run will do; a cancelled preview saw
    // only part of it.
    if (outcome.result != RunResult::Stopped && host.Progress().FilesDone() > 0) {
        m_previewTotals.bValid = true;
        m_previewTotals.nFiles = host.Progress().FilesDone();
        m_previewTotals.nBytes = host.Progress().BytesDone();
        m_previewTotals.strListKey = ListKey(m_pMainView->GetList(), m_doc.GetPathName());
    }
    m_dlgLog->EndPreview();

    SetRunning(false);
    if (m_bCloseAfterRun) {
        m_bCloseAfterRun = false;
        PostExit();
    }
    emit runFinished();
}

void CKovrelApp::PostExit() {
    if (m_bExitPosted || !m_pFrame)
        return;
    m_bExitPosted = true;
    QTimer::singleShot(0, this, [this] {
        m_bExitPosted = false;
        if (m_pFrame)
            m_pFrame->close();
    });
}

bool CKovrelApp::QueryClose() {
    if (m_bRunning) {
        // Stop the run first; the close is asked again once it has stopped.
        m_dlgLog->m_bCancel = true;
        m_bCloseAfterRun = true;
        return false;
    }
    if (!m_doc.SaveModified())
        return false;
    m_recent.Write();
    m_dlgLog->hide();
    return true;
}

} // namespace kovrel::app
