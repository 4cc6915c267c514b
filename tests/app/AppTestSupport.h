// Shared pieces of the application tests: a script that answers the modal
// windows one after the other, the application started on a private profile,
// and real temporary trees.
#pragma once

#include "app/KovrelApp.h"
#include "app/Profile.h"
#include "document/KvdFormat.h"
#include "support/GuiTest.h"
#include "ui/MsgBox.h"
#include "ui/Sound.h"

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

inline QString U(const char* psz) {
    return QString::fromUtf8(psz);
}

// Every text a modal window shows in its labels, joined by line feeds.
inline QString WindowText(QWidget* pWindow) {
    QStringList astr;
    for (QLabel* pLabel : pWindow->findChildren<QLabel*>()) {
        if (!pLabel->text().isEmpty())
            astr.append(pLabel->text());
    }
    return astr.join(QLatin1Char('\n'));
}

// Answers modal windows in order, each with its own step, and records what
// each one said. A window no step is left for is closed with Escape and
// counted as unexpected, so a test never hangs on a box nobody expected.
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
            kovrel::test::ClickMessageBoxButton(p, MessageBoxButtonText(nId));
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
class CSoundRecorder : public ISoundService {
public:
    CSoundRecorder() { m_pPrevious = SetSoundService(this); }
    ~CSoundRecorder() override { SetSoundService(m_pPrevious); }
    bool PlayFile(const std::string& strPath) override {
        m_astrPlayed.push_back("file:" + strPath);
        return true;
    }
    bool PlayEvent(SoundEvent nEvent) override {
        m_astrPlayed.push_back(nEvent == SoundEvent::Information ? "information" : "warning");
        return true;
    }
    std::vector<std::string> m_astrPlayed;

private:
    ISoundService* m_pPrevious = nullptr;
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

    // Starts the application as the command line would.
    bool Start(const QString& strDocument = QString(), int nAutoSync = 0) {
        m_pApp = std::make_unique<CKovrelApp>();
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
    CKovrelView* View() const { return m_pApp->m_pMainView; }
    CKovrelDoc& Doc() const { return m_pApp->GetDocument(); }
    int ItemCount() const { return View()->GetList().GetCount(); }

    // Waits until cond holds or the time is up.
    static bool WaitFor(const std::function<bool()>& cond, int nMs = 5000) {
        return QTest::qWaitFor(cond, nMs);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CKovrelApp> m_pApp;
};

} // namespace kovrel::app::test
