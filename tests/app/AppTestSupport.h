// Shared pieces of the application tests: a script that answers the modal
// windows one after the other, the application started on a private profile,
// and real temporary trees.
#pragma once

#include "app/AppDialogs.h"
#include "app/KovrelApp.h"
#include "app/Profile.h"
#include "document/KvdFormat.h"
#include "support/GuiTest.h"
#include "ui/AppInfo.h"
#include "ui/MsgBox.h"
#include "ui/Sound.h"
#include "ui/Text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kovrel::app::test {

// Every text a modal window shows in its labels, joined by line feeds.
inline QString WindowText(QWidget* pWindow) {
    QStringList astr;
    for (QLabel* pLabel : pWindow->findChildren<QLabel*>()) {
        if (!pLabel->text().isEmpty())
            astr.append(pLabel->text());
    }
    return astr.join(QLatin1Char('\n'));
}

// Answers the document's and the application's questions and dialogs directly
// through their seam, in order, each with its own step, and records what each
// one asked. While one exists, the application started by AppTest asks it
// (the innermost one, when they nest). A question no step is left for, or one
// its step does not fit, is answered as Escape would answer it (Cancel, or OK on
// an OK-only box; No on Yes/No) and counted as unexpected.
class CDialogScript final : public IAppDialogs {
public:
    struct SEEN {
        QString strTitle;
        QString strText;
    };

    CDialogScript() : m_pOuter(s_pCurrent) { s_pCurrent = this; }
    ~CDialogScript() override { s_pCurrent = m_pOuter; }
    CDialogScript(const CDialogScript&) = delete;
    CDialogScript& operator=(const CDialogScript&) = delete;
    static CDialogScript* Current() { return s_pCurrent; }

    // A message box answered with nId (IDYES, IDNO, ...).
    CDialogScript& Answer(int nId) { return Push({Kind::Box, nId, {}, {}, {}}); }
    // A file dialog that picks strPath.
    CDialogScript& ChooseFile(const QString& strPath) {
        return Push({Kind::File, 0, strPath, {}, {}});
    }
    CDialogScript& CancelDialog() { return Push({Kind::File, 0, QString(), {}, {}}); }
    // The log file or sound dialog: fn sees what it shows, may change it, and
    // returns true for OK.
    CDialogScript& LogFile(std::function<bool(LOGFILECHOICE&)> fn) {
        return Push({Kind::LogFile, 0, {}, std::move(fn), {}});
    }
    CDialogScript& Sound(std::function<bool(SOUNDCHOICE&)> fn) {
        return Push({Kind::Sound, 0, {}, {}, std::move(fn)});
    }

    int MessageBox(QWidget*, const QString& strText, unsigned nType,
                   const QString& strCaption) override {
        m_seen.push_back({strCaption.isEmpty() ? ui::AppTitle() : strCaption, strText});
        m_anTypes.push_back(nType);
        if (!Next(Kind::Box))
            return EscapeAnswer(nType);
        return Take().nAnswer;
    }
    QString AskOpenDocumentName(QWidget*) override { return FileName(ui::U("開く"), QString()); }
    QString AskSaveDocumentName(QWidget*, const QString& strProposed) override {
        m_astrProposed.append(strProposed);
        return FileName(ui::U("名前を付けて保存"), strProposed);
    }
    bool RunLogFileDlg(QWidget*, LOGFILECHOICE& choice, const QString&) override {
        m_seen.push_back({ui::U("ﾛｸﾞﾌｧｲﾙ"), QString()});
        return Next(Kind::LogFile) && Take().fnLog(choice);
    }
    bool RunSoundDlg(QWidget*, SOUNDCHOICE& choice) override {
        m_seen.push_back({ui::U("ｻｳﾝﾄﾞ"), QString()});
        return Next(Kind::Sound) && Take().fnSound(choice);
    }
    void RunAboutDlg(QWidget*) override { m_seen.push_back({ui::U("About"), QString()}); }

    const std::vector<SEEN>& Seen() const { return m_seen; }
    QString Text(std::size_t i) const { return i < m_seen.size() ? m_seen[i].strText : QString(); }
    QString Title(std::size_t i) const {
        return i < m_seen.size() ? m_seen[i].strTitle : QString();
    }
    // The buttons and icon asked for by message box i.
    unsigned Type(std::size_t i) const { return i < m_anTypes.size() ? m_anTypes[i] : ~0u; }
    bool AllAnswered() const { return m_steps.empty(); }
    int Unexpected() const { return m_nUnexpected; }
    // The names the save dialog proposed, in turn.
    const QStringList& ProposedNames() const { return m_astrProposed; }

    // What Escape gives on a box of type nType.
    static int EscapeAnswer(unsigned nType) {
        switch (nType & ui::MB_TYPEMASK) {
        case ui::MB_OK:
            return ui::IDOK;
        case ui::MB_YESNO:
            return ui::IDNO;
        case ui::MB_ABORTRETRYIGNORE:
            return ui::IDABORT;
        default:
            return ui::IDCANCEL;
        }
    }

private:
    enum class Kind { Box, File, LogFile, Sound };
    struct STEP {
        Kind eKind;
        int nAnswer;
        QString strPath;
        std::function<bool(LOGFILECHOICE&)> fnLog;
        std::function<bool(SOUNDCHOICE&)> fnSound;
    };
    CDialogScript& Push(STEP step) {
        m_steps.push_back(std::move(step));
        return *this;
    }
    // True when the next step is of kind eKind; otherwise the question counts
    // as unexpected and the step stays for the question it was meant for.
    bool Next(Kind eKind) {
        if (!m_steps.empty() && m_steps.front().eKind == eKind)
            return true;
        ++m_nUnexpected;
        return false;
    }
    STEP Take() {
        STEP step = std::move(m_steps.front());
        m_steps.pop_front();
        return step;
    }
    QString FileName(const QString& strTitle, const QString& strProposed) {
        m_seen.push_back({strTitle, strProposed});
        return Next(Kind::File) ? Take().strPath : QString();
    }

    inline static CDialogScript* s_pCurrent = nullptr;
    CDialogScript* m_pOuter;
    std::deque<STEP> m_steps;
    std::vector<SEEN> m_seen;
    std::vector<unsigned> m_anTypes;
    QStringList m_astrProposed;
    int m_nUnexpected = 0;
};

// What the application under test is given as its dialogs: the current
// CDialogScript, or, with none, the Escape answers and an empty file name.
class CScriptedAppDialogs final : public IAppDialogs {
public:
    int MessageBox(QWidget* p, const QString& strText, unsigned nType,
                   const QString& strCaption) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            return pScript->MessageBox(p, strText, nType, strCaption);
        ++m_nUnscripted;
        return CDialogScript::EscapeAnswer(nType);
    }
    QString AskOpenDocumentName(QWidget* p) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            return pScript->AskOpenDocumentName(p);
        ++m_nUnscripted;
        return QString();
    }
    QString AskSaveDocumentName(QWidget* p, const QString& strProposed) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            return pScript->AskSaveDocumentName(p, strProposed);
        ++m_nUnscripted;
        return QString();
    }
    bool RunLogFileDlg(QWidget* p, LOGFILECHOICE& choice, const QString& strDocPath) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            return pScript->RunLogFileDlg(p, choice, strDocPath);
        ++m_nUnscripted;
        return false;
    }
    bool RunSoundDlg(QWidget* p, SOUNDCHOICE& choice) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            return pScript->RunSoundDlg(p, choice);
        ++m_nUnscripted;
        return false;
    }
    void RunAboutDlg(QWidget* p) override {
        if (CDialogScript* pScript = CDialogScript::Current())
            pScript->RunAboutDlg(p);
        else
            ++m_nUnscripted;
    }
    int m_nUnscripted = 0;
};

// Answers real modal windows (message boxes, file dialogs) in order, each with
// its own step, and records what each one said: for the run's questions, and
// for the real dialogs behind the application's seam. A window no step is left for is closed with
// Escape and counted as unexpected, so a test never hangs on a box nobody expected.
class CModalScript {
public:
    struct SEEN {
        QString strTitle;
        QString strText;
    };
    using Step = std::function<void(QWidget*)>;

    CModalScript() {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }
    ~CModalScript() { m_timer.stop(); }

    CModalScript& Then(Step step) {
        m_steps.push_back(std::move(step));
        return *this;
    }
    // Clicks a message box button by its answer (IDYES, IDNO, ...).
    CModalScript& Answer(int nId) {
        return Then([nId](QWidget* p) {
            kovrel::test::ClickMessageBoxButton(p, ui::MessageBoxButtonText(nId));
        });
    }
    // Picks strPath in a file dialog and accepts it.
    CModalScript& ChooseFile(const QString& strPath) {
        return Then([this, strPath](QWidget* p) {
            auto* pDlg = qobject_cast<QFileDialog*>(p);
            ASSERT_NE(pDlg, nullptr) << "not a file dialog";
            auto* pEdit = pDlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(pEdit, nullptr);
            m_astrProposed.append(pEdit->text());
            // Typed into the name field, as the user would.
            pEdit->setText(strPath);
            static_cast<QDialog*>(pDlg)->accept(); // the dialog's own checks run
        });
    }
    CModalScript& CancelDialog() {
        return Then([this](QWidget* p) {
            if (auto* pEdit = p->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                m_astrProposed.append(pEdit->text());
            static_cast<QDialog*>(p)->reject();
        });
    }

    const std::vector<SEEN>& Seen() const { return m_seen; }
    QString Text(std::size_t i) const { return i < m_seen.size() ? m_seen[i].strText : QString(); }
    QString Title(std::size_t i) const {
        return i < m_seen.size() ? m_seen[i].strTitle : QString();
    }
    bool AllAnswered() const { return m_steps.empty(); }
    int Unexpected() const { return m_nUnexpected; }
    const QStringList& ProposedNames() const { return m_astrProposed; }

private:
    void Poll() {
        QWidget* pModal = QApplication::activeModalWidget();
        if (pModal == nullptr || !pModal->isVisible() || pModal == m_pLast)
            return;
        m_pLast = pModal;
        m_seen.push_back({pModal->windowTitle(), WindowText(pModal)});
        if (m_steps.empty()) {
            ++m_nUnexpected;
            QTest::keyClick(pModal, Qt::Key_Escape);
            if (auto* pDlg = qobject_cast<QDialog*>(pModal); pDlg && pDlg->isVisible())
                pDlg->reject();
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        // Run the step outside this timer's slot: a step that opens another modal
        // window (a file dialog's replace question) must let the timer fire again.
        QPointer<QWidget> pTarget(pModal);
        QTimer::singleShot(0, [step = std::move(step), pTarget] {
            if (pTarget)
                step(pTarget);
        });
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    std::vector<SEEN> m_seen;
    QStringList m_astrProposed;
    QPointer<QWidget> m_pLast;
    int m_nUnexpected = 0;
};

// Records the sounds a run would play.
class CSoundRecorder : public ui::ISoundService {
public:
    CSoundRecorder() { m_pPrevious = ui::SetSoundService(this); }
    ~CSoundRecorder() override { ui::SetSoundService(m_pPrevious); }
    bool PlayFile(const std::string& strPath) override {
        m_astrPlayed.push_back("file:" + strPath);
        return true;
    }
    bool PlayEvent(ui::SoundEvent nEvent) override {
        m_astrPlayed.push_back(nEvent == ui::SoundEvent::Information ? "information" : "warning");
        return true;
    }
    std::vector<std::string> m_astrPlayed;

private:
    ui::ISoundService* m_pPrevious = nullptr;
};

// The application on a fresh profile in a temporary folder.
class AppTest : public ::testing::Test {
public:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        OpenProfile()->clear();
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override {
        m_pApp.reset();
        OpenProfile()->clear();
    }

    // Starts the application as the command line would. Its questions and
    // dialogs go to the current CDialogScript, unless m_bRealDialogs asks for
    // the real ones.
    bool Start(const QString& strDocument = QString(), int nAutoSync = 0) {
        m_pApp = std::make_unique<CKovrelApp>();
        if (!m_bRealDialogs)
            m_pApp->SetDialogs(&m_dialogs);
        CMDLINE cmd;
        cmd.strDocument = QFile::encodeName(strDocument).toStdString();
        cmd.nAutoSync = nAutoSync;
        const bool bOk = m_pApp->InitInstance(cmd);
        if (bOk)
            QTest::qWait(1);
        return bOk;
    }

    QString Path(const QString& strName) const { return m_dir.filePath(strName); }

    // Writes a document with the given items (path 1, path 2) in layout 1.0.
    QString MakeDocument(const QString& strName,
                         const std::vector<std::pair<QString, QString>>& items,
                         int nFileVersion = KVD_VERSION_1_0, const std::string& strDocLog = {}) {
        CSyncItemList list;
        for (const auto& item : items)
            list.SetAt(-1, item.first.toUtf8().constData(), item.second.toUtf8().constData(),
                       nullptr);
        list.m_strDocLog = strDocLog;
        const QString strPath = Path(strName);
        const KvdFileResult res = SaveKvdFile(strPath.toStdString(), list, nFileVersion);
        EXPECT_EQ(res.eStatus, KvdFileStatus::Ok);
        return strPath;
    }

    static void WriteFile(const QString& strPath, const QByteArray& data) {
        QDir().mkpath(QFileInfo(strPath).path());
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(data);
    }
    static QByteArray ReadFile(const QString& strPath) {
        QFile file(strPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    CMainFrame* Frame() const { return m_pApp->GetMainFrame(); }
    grid::CKovrelView* View() const { return m_pApp->m_pMainView; }
    CKovrelDoc& Doc() const { return m_pApp->GetDocument(); }
    int ItemCount() const { return View()->GetList().GetCount(); }

    // Waits until cond holds or the time is up.
    static bool WaitFor(const std::function<bool()>& cond, int nMs = 5000) {
        return QTest::qWaitFor(cond, nMs);
    }

    QTemporaryDir m_dir;
    CScriptedAppDialogs m_dialogs;
    bool m_bRealDialogs = false;
    std::unique_ptr<CKovrelApp> m_pApp;
};

} // namespace kovrel::app::test
