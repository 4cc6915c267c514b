#include "app/KovrelApp.h"

#include "app/CommandIds.h"
#include "app/GuiRunHost.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/LogFileDlg.h"
#include "dialogs/SoundDlg.h"
#include "dialogs/SyncLogDlg.h"
#include "platform/PosixFileSystem.h"
#include "ui/AppInfo.h"
#include "ui/MsgBox.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWhatsThis>

namespace kovrel::app {

namespace {

CKovrelApp* g_pApp = nullptr;

QString U(const char* psz) {
    return QString::fromUtf8(psz);
}

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

bool CKovrelApp::InitInstance(const CMDLINE& cmdLine) {
    const ENVSETTINGS env = ReadEnvSettings();
    m_rcWindow = env.rcWindow;
    m_settings = env.run;
    m_recent.Read();

    // Without an owner: it stays up on its own while the main window is moved.
    m_dlgLog = std::make_unique<CSyncLogDlg>(nullptr);

    m_nAutoSync = cmdLine.nAutoSync;

    auto* pView = new CKovrelView;
    m_pFrame = std::make_unique<CMainFrame>([pView](int nId) { return pView->GetAction(nId); });
    m_pFrame->SetView(pView, &pView->GetGrid());
    m_pFrame->setWindowIcon(ProgramIcon());
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
    connect(pFrame, &CMainFrame::recentFileChosen, this, &CKovrelApp::OnOpenRecentFile);
    connect(pFrame, &CMainFrame::filesDroppedElsewhere, this, &CKovrelApp::OnDropFiles);
    connect(pFrame, &CMainFrame::filesDroppedOnGrid, this, &CKovrelApp::OnDropOnGrid);
    connect(pFrame, &CMainFrame::windowRectSaved, this,
            [this](const WINRECT& rc) { m_rcWindow = rc; });
    pFrame->m_fnQueryClose = [this] { return QueryClose(); };
    pFrame->m_fnDropsRefused = [this] { return m_bRunning; };
    connect(m_pMainView, &CKovrelView::synchronize, this, &CKovrelApp::OnSynchronize);
    connect(&m_doc, &CKovrelDoc::titleChanged, this, &CKovrelApp::UpdateTitle);
    connect(&m_doc, &CKovrelDoc::pathUsed, this, [this](const QString& strPath) {
        m_recent.Add(strPath);
        m_recent.Write();
        m_pFrame->SetRecentFiles(m_recent.Entries());
        UpdateCommands();
    });
}

void CKovrelApp::SetWhatsThisTexts() {
    CItemGrid& grid = m_pMainView->GetGrid();
    grid.setWhatsThis(U(kWhatsThisGrid));
    grid.installEventFilter(this);
    const struct {
        int nId;
        const char* pszText;
    } buttons[] = {{CItemGrid::ID_BTN_FILE1, kWhatsThisFileButton},
                   {CItemGrid::ID_BTN_FILE2, kWhatsThisFileButton},
                   {CItemGrid::ID_BTN_DIR1, kWhatsThisDirButton},
                   {CItemGrid::ID_BTN_DIR2, kWhatsThisDirButton},
                   {CItemGrid::ID_BTN_OPTION, kWhatsThisOptionButton}};
    for (const auto& b : buttons) {
        if (QPushButton* pButton = grid.GetHeaderButton(b.nId))
            pButton->setWhatsThis(U(b.pszText));
    }
    m_pMainView->GetSyncButton().setWhatsThis(U(kWhatsThisSync));
}

// In What's This mode a click on the grid's middle column explains the glyphs,
// anywhere else in the grid the paths.
bool CKovrelApp::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::WhatsThis && m_pMainView && pWatched == &m_pMainView->GetGrid()) {
        auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        CItemGrid& grid = m_pMainView->GetGrid();
        QString strText = U(kWhatsThisGrid);
        if (QPushButton* pMiddle = grid.GetHeaderButton(CItemGrid::ID_BTN_OPTION)) {
            const int nX = pHelp->pos().x();
            if (nX >= pMiddle->x() && nX < pMiddle->x() + pMiddle->width())
                strText = U(kWhatsThisMiddle);
        }
        QWhatsThis::showText(pHelp->globalPos(), strText, &grid);
        return true;
    }
    return QObject::eventFilter(pWatched, pEvent);
}

void CKovrelApp::UpdateTitle() {
    if (m_pFrame)
        m_pFrame->setWindowTitle(m_doc.GetTitle() + QStringLiteral(" - ") + AppTitle());
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
    for (int nId : {ID_FILE_NEW, ID_FILE_OPEN})
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
    const QString strPath = AskOpenDocumentName(m_pFrame.get());
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
    CAboutDlg dlg(m_pFrame.get());
    dlg.exec();
}

QString CKovrelApp::HelpFilePath() {
    const QString strName = QStringLiteral("/index.html");
    const QString astrDirs[] = {QCoreApplication::applicationDirPath() + QStringLiteral("/../") +
                                    U(KOVREL_HELP_SUBDIR),
                                U(KOVREL_SOURCE_HELP_DIR)};
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
        ShowMessageBox(m_pFrame.get(), U("ヘルプファイルが見つかりません。"),
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(strPath));
}

void CKovrelApp::OnOptionLogFile() {
    const std::string strDocLog = m_pMainView->GetList().m_strDocLog;
    CLogFileDlg dlg(m_pFrame.get());
    dlg.m_strDocPath = m_doc.GetPathName();
    if (!strDocLog.empty()) {
        dlg.m_bDocLog = true;
        dlg.m_strLogFile = QString::fromStdString(strDocLog.substr(1));
        dlg.m_bAppend = strDocLog[0] == 'a';
    } else {
        dlg.m_bDocLog = false;
        dlg.m_strLogFile = QString::fromStdString(m_settings.m_strLogFile);
        dlg.m_bAppend = m_settings.m_bLogAppend;
    }
    if (dlg.exec() != QDialog::Accepted)
        return;
    if (dlg.m_bDocLog) {
        if (strDocLog.empty())
            m_doc.SetModifiedFlag();
        const std::string strNew = (dlg.m_bAppend ? "a" : "w") + dlg.m_strLogFile.toStdString();
        if (strNew != strDocLog) {
            m_pMainView->SetDocLog(strNew);
            m_doc.SetModifiedFlag();
        }
    } else {
        if (!strDocLog.empty()) {
            m_pMainView->SetDocLog(std::string());
            m_doc.SetModifiedFlag();
        }
        m_settings.m_strLogFile = dlg.m_strLogFile.toStdString();
        m_settings.m_bLogAppend = dlg.m_bAppend;
        WriteLogFileSettings(m_settings);
    }
}

void CKovrelApp::OnOptionSound() {
    CSoundDlg dlg(m_pFrame.get());
    dlg.m_bSoundOn = m_settings.m_bSoundOn;
    dlg.m_strEndSound = QString::fromStdString(m_settings.m_strEndSoundFile);
    dlg.m_strErrSound = QString::fromStdString(m_settings.m_strErrSoundFile);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_settings.m_bSoundOn = dlg.m_bSoundOn;
    m_settings.m_strEndSoundFile = dlg.m_strEndSound.toStdString();
    m_settings.m_strErrSoundFile = dlg.m_strErrSound.toStdString();
    WriteSoundSettings(m_settings);
}

void CKovrelApp::SetFocusToGrid() {
    if (m_pMainView)
        m_pMainView->GetGrid().setFocus();
}

void CKovrelApp::OnSynchronize() {
    if (m_bRunning || m_pMainView == nullptr)
        return; // never a run inside a run: they would share counters and log file
    m_bRunning = true;
    m_pMainView->SetRunning(true);
    UpdateCommands();

    CGuiRunHost host(m_pFrame.get(), *m_dlgLog);
    m_dlgLog->BeginRun(this);
    platform::PosixFileSystem fs;
    CSyncEngine engine(fs, host, m_settings);
    engine.SetDocumentPath(m_doc.GetPathName().toStdString());
    // How it ended shows in the log window; the program does not act on it.
    platform::IgnoreFailure(engine.Run(m_pMainView->GetList()));
    m_dlgLog->EndRun();
    m_lastStat = engine.GetStat();
    m_nLastEventPasses = host.EventPasses();

    m_bRunning = false;
    m_pMainView->SetRunning(false);
    UpdateCommands();

    // An unattended program ends after every run, except one cancelled before
    // its first item.
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
