// The application: the profile's settings, the log window, the one document
// with its frame and view, the commands that belong to none of them, the run,
// and the unattended run of the command line's "/A".
#pragma once

#include "app/AppDialogs.h"
#include "app/CommandLine.h"
#include "app/KovrelDoc.h"
#include "app/MainFrame.h"
#include "app/Profile.h"
#include "dialogs/SyncLogDlg.h"
#include "engine/RunSettings.h"
#include "engine/SyncEngine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace kovrel::app {

class CKovrelApp : public QObject, private dialogs::ISyncLogView {
    Q_OBJECT
public:
    CKovrelApp();
    ~CKovrelApp() override;

    // Start-up: settings, recent files, the log window, the main window with
    // the view, then the command line's document or a new one. False when the
    // named document could not be opened: there is then no main window and the
    // program ends.
    bool InitInstance(const CMDLINE& cmdLine);

    // Where the application's and the document's questions and dialogs go
    // (null: the real ones). Set before InitInstance.
    void SetDialogs(IAppDialogs* pDialogs);

    // The program-wide settings (group "Env"): m_strLogFile, m_bLogAppend,
    // m_bSoundOn, m_strEndSoundFile, m_strErrSoundFile.
    CRunSettings m_settings;
    int m_nAutoSync = 0;
    std::unique_ptr<dialogs::CSyncLogDlg> m_dlgLog;
    WINRECT m_rcWindow;
    grid::CKovrelView* m_pMainView = nullptr;

    CMainFrame* GetMainFrame() const { return m_pFrame.get(); }
    CKovrelDoc& GetDocument() { return m_doc; }
    CRecentFileList& GetRecentFiles() { return m_recent; }
    bool IsRunning() const { return m_bRunning; }
    // The program's exit status: that of the unattended run (the statuses of
    // CommandLine.h, as kovrel-sync gives them); 0 without one.
    int ExitStatus() const { return m_nExitStatus; }
    const SYNCSTAT& LastRunStat() const { return m_lastStat; }
    int LastRunEventPasses() const { return m_nLastEventPasses; }

    // The commands.
    void OnFileNew();
    void OnFileOpen();
    // Opens strPath after the save question. Opened, Failed, or Replaced; a
    // question answered Cancel gives Failed with bCancelled set.
    OpenResult OpenDocumentFile(const QString& strPath, bool* pbCancelled = nullptr);
    void OnOpenRecentFile(int nIndex);
    void OnAppAbout();
    void OnHelpFinder();
    void OnOptionLogFile();
    void OnOptionSound();
    void OnSynchronize();
    // The whole list as a dry run in the log window; nothing on disk changes.
    void OnPreview();
    void OnDropFiles(const QStringList& astrPaths); // opened as documents, one by one
    void OnDropOnGrid(const QPoint& ptGrid, const QStringList& astrPaths);

    // Enabled states of the frame's commands that depend on the run.
    void UpdateCommands();

    // Where the help page is; empty when it cannot be found.
    static QString HelpFilePath();
    // The program that opens the help page in the desktop's browser, looked
    // up in PATH. When it is missing or fails, a box names the page instead.
    QString m_strHelpLauncher = QStringLiteral("xdg-open");

signals:
    void runFinished();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void SetFocusToGrid() override;
    void OnIdle();
    void ConnectCommands();
    void SetWhatsThisTexts();
    void UpdateTitle();
    void AfterDocumentChange();
    bool QueryClose();
    void PostExit();
    void SetRunning(bool bRunning);
    bool RefusedWhileRunning();
    IAppDialogs& Dialogs();
    void ReportHelpNotShown(const QString& strPath);

    std::unique_ptr<CMainFrame> m_pFrame;
    CKovrelDoc m_doc;
    CRecentFileList m_recent;
    IAppDialogs* m_pDialogs = nullptr;
    std::unique_ptr<IAppDialogs> m_pStdDialogs;
    bool m_bRunning = false;
    bool m_bCloseAfterRun = false;
    bool m_bExitPosted = false;
    bool m_bStartDocUnreadable = false; // the command line's document was another program's
    int m_nExitStatus = 0;
    SYNCSTAT m_lastStat;
    int m_nLastEventPasses = 0;
    // What the last finished preview found the run would handle, and the list
    // it was made of: the next run shows percent and time left from it while
    // the list is still the same; any edit in between makes it a stranger's.
    struct PREVIEWTOTALS {
        bool bValid = false;
        std::uint64_t nFiles = 0;
        std::uint64_t nBytes = 0;
        std::string strListKey;
    };
    PREVIEWTOTALS m_previewTotals;
};

// The one application object, or null before it exists.
CKovrelApp* AfxGetApp();

} // namespace kovrel::app
