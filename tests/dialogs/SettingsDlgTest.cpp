// The log file and sound dialogs: members in and out, Cancel, the browse
// buttons and the sound test buttons.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "dialogs/LogFileDlg.h"
#include "dialogs/SoundDlg.h"
#include "support/GuiTest.h"
#include "support/UiTestUtil.h"

using namespace kovrel;
using kovrel::test::ClickButton;
using kovrel::test::CModalAnswer;

namespace {

QPushButton* PushButton(const QDialog& dlg, const QString& strText) {
    for (auto* pButton : dlg.findChildren<QPushButton*>()) {
        if (pButton->text() == strText) {
            return pButton;
        }
    }
    return nullptr;
}

void ReplaceText(QLineEdit* pEdit, const QString& strText) {
    pEdit->setFocus();
    pEdit->selectAll();
    QTest::keyClick(pEdit, Qt::Key_Delete);
    QInputMethodEvent commit;
    commit.setCommitString(strText);
    QApplication::sendEvent(pEdit, &commit);
}

// Answers the file dialog: picks strName in strDir, or cancels when empty.
// Records the filters it offered.
CModalAnswer* AnswerFileDialog(const QString& strDir, const QString& strName, QStringList* pFilters,
                               QString* pSuffix) {
    return new CModalAnswer([=](QWidget* pWidget) {
        auto* pDialog = qobject_cast<QFileDialog*>(pWidget);
        ASSERT_NE(pDialog, nullptr);
        *pFilters = pDialog->nameFilters();
        *pSuffix = pDialog->defaultSuffix();
        if (strName.isEmpty()) {
            pDialog->reject();
            return;
        }
        pDialog->setDirectory(strDir);
        pDialog->selectFile(QDir(strDir).filePath(strName));
        static_cast<QDialog*>(pDialog)->accept(); // as the dialog's own OK does
    });
}

} // namespace

TEST(LogFileDlg, MembersInAndOut) {
    struct CASE {
        bool bDocLog;
        bool bAppend;
        QString strFile;
    };
    const CASE aCases[] = {
        {false, false, QString()},
        {true, true, QString::fromUtf8("/home/me/ログ/run.log")},
        {false, true, QStringLiteral("relative.log")},
    };
    for (const CASE& c : aCases) {
        dialogs::CLogFileDlg dlg;
        dlg.m_bDocLog = c.bDocLog;
        dlg.m_bAppend = c.bAppend;
        dlg.m_strLogFile = c.strFile;
        dlg.show();
        EXPECT_EQ(dlg.DocLogCheck()->isChecked(), c.bDocLog);
        EXPECT_EQ(dlg.AppendRadio()->isChecked(), c.bAppend);
        EXPECT_EQ(dlg.OverwriteRadio()->isChecked(), !c.bAppend) << "exactly one is checked";
        EXPECT_EQ(dlg.FileEdit()->text(), c.strFile);
        // Change everything and take it back with OK.
        ClickButton(dlg.DocLogCheck());
        ClickButton(c.bAppend ? dlg.OverwriteRadio() : dlg.AppendRadio());
        EXPECT_NE(dlg.OverwriteRadio()->isChecked(), dlg.AppendRadio()->isChecked());
        ReplaceText(dlg.FileEdit(), QString::fromUtf8("/tmp/新しい.log"));
        ClickButton(PushButton(dlg, QStringLiteral("OK")));
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.m_bDocLog, !c.bDocLog);
        EXPECT_EQ(dlg.m_bAppend, !c.bAppend);
        EXPECT_EQ(dlg.m_strLogFile, QString::fromUtf8("/tmp/新しい.log"));
    }
}

// OK refuses what a run would refuse, saying why in a box, and the dialog
// stays open with nothing handed back; a log, an empty or a new file pass.
TEST(LogFileDlg, OkRefusesAFileThatIsNoLog) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString strDoc = tmp.filePath(QStringLiteral("list.kvd"));
    auto write = [&](const QString& strName, const QByteArray& data) {
        QFile file(tmp.filePath(strName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    };
    write(QStringLiteral("list.kvd"), QByteArray("\x17KovrelDuplicator Ver1.0\0\0\0\0", 28));
    write(QStringLiteral("other.kvd"), QByteArray("\x17KovrelDuplicator Ver1.0\0\0\0\0", 28));
    write(QStringLiteral("notes.txt"), "my notes\n");
    write(QStringLiteral("old.log"), "<< Synchronize start 98/07/15 13:05:09 >>\r\n");
    write(QStringLiteral("empty.log"), "");
    ASSERT_EQ(::mkfifo(tmp.filePath(QStringLiteral("pipe")).toLocal8Bit().constData(), 0644), 0);
    struct CASE {
        const char* pszName;
        const char* pszReason; // null: accepted
    } const aCases[] = {
        {"list.kvd", "開いているKVDファイルそのもの"},
        {"other.kvd", "はKVDファイルなので"},
        {"notes.txt", "ログではないため"},
        {"pipe", "通常のファイルではない"},
        {"old.log", nullptr},
        {"empty.log", nullptr},
        {"new.log", nullptr},
    };
    for (const CASE& c : aCases) {
        SCOPED_TRACE(c.pszName);
        const QString strPath = tmp.filePath(QString::fromUtf8(c.pszName));
        dialogs::CLogFileDlg dlg;
        dlg.m_strDocPath = strDoc;
        dlg.m_strLogFile = QStringLiteral("/before.log");
        dlg.show();
        ReplaceText(dlg.FileEdit(), strPath);
        CModalAnswer answer(
            [](QWidget* pBox) { kovrel::test::ClickMessageBoxButton(pBox, QStringLiteral("OK")); },
            c.pszReason ? 5000 : 300);
        ClickButton(PushButton(dlg, QStringLiteral("OK")));
        if (c.pszReason) {
            EXPECT_TRUE(answer.WasAnswered());
            EXPECT_TRUE(answer.SeenText().contains(QString::fromUtf8(c.pszReason)))
                << answer.SeenText().toStdString();
            EXPECT_TRUE(answer.SeenText().contains(strPath));
            EXPECT_TRUE(dlg.isVisible());
            EXPECT_EQ(dlg.m_strLogFile, QStringLiteral("/before.log"));
        } else {
            EXPECT_FALSE(answer.WasAnswered());
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_EQ(dlg.m_strLogFile, strPath);
        }
    }
    // Nothing was written to or created by the checks.
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("new.log"))));
    QFile notes(tmp.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), QByteArray("my notes\n"));
}

TEST(LogFileDlg, CancelHandsNothingBack) {
    dialogs::CLogFileDlg dlg;
    dlg.m_strLogFile = QStringLiteral("/var/log/a.log");
    dlg.show();
    ClickButton(dlg.AppendRadio());
    ClickButton(dlg.DocLogCheck());
    ReplaceText(dlg.FileEdit(), QStringLiteral("/other.log"));
    ClickButton(PushButton(dlg, QString::fromUtf8("ｷｬﾝｾﾙ")));
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.m_bAppend);
    EXPECT_FALSE(dlg.m_bDocLog);
    EXPECT_EQ(dlg.m_strLogFile, QStringLiteral("/var/log/a.log"));
}

TEST(LogFileDlg, BrowseAcceptsANewFileAndCancelKeepsTheText) {
    QTemporaryDir dir;
    dialogs::CLogFileDlg dlg;
    dlg.m_strLogFile = QStringLiteral("/before.log");
    dlg.show();
    const QString strCurrentBefore = QDir::currentPath();
    QStringList listFilters;
    QString strSuffix;
    {
        std::unique_ptr<CModalAnswer> pAnswer(
            AnswerFileDialog(dir.path(), QString(), &listFilters, &strSuffix));
        ClickButton(dlg.BrowseButton());
        ASSERT_TRUE(pAnswer->WasAnswered());
    }
    EXPECT_EQ(dlg.FileEdit()->text(), QStringLiteral("/before.log"));
    {
        // A name that does not exist yet, typed without its extension.
        std::unique_ptr<CModalAnswer> pAnswer(
            AnswerFileDialog(dir.path(), QStringLiteral("session"), &listFilters, &strSuffix));
        ClickButton(dlg.BrowseButton());
        ASSERT_TRUE(pAnswer->WasAnswered());
    }
    EXPECT_EQ(listFilters,
              QStringList({QStringLiteral("Log Files (*.log)"), QStringLiteral("All Files (*)")}));
    EXPECT_EQ(strSuffix, QStringLiteral("log"));
    EXPECT_EQ(dlg.FileEdit()->text(), dir.filePath(QStringLiteral("session.log")));
    EXPECT_EQ(QDir::currentPath(), strCurrentBefore);
    EXPECT_EQ(dlg.m_strLogFile, QStringLiteral("/before.log")) << "nothing handed back yet";
}

TEST(SoundDlg, MembersInAndOutAndCancel) {
    for (bool bOk : {true, false}) {
        dialogs::CSoundDlg dlg;
        dlg.m_bSoundOn = true;
        dlg.m_strEndSound = QStringLiteral("/s/end.wav");
        dlg.m_strErrSound = QStringLiteral(" /s/err.wav");
        dlg.show();
        EXPECT_TRUE(dlg.OnRadio()->isChecked());
        EXPECT_FALSE(dlg.OffRadio()->isChecked());
        EXPECT_EQ(dlg.EndEdit()->text(), QStringLiteral("/s/end.wav"));
        EXPECT_EQ(dlg.ErrEdit()->text(), QStringLiteral(" /s/err.wav"));
        ClickButton(dlg.OffRadio());
        EXPECT_FALSE(dlg.OnRadio()->isChecked());
        ReplaceText(dlg.EndEdit(), QStringLiteral("/t/終了.wav"));
        ReplaceText(dlg.ErrEdit(), QString());
        ClickButton(PushButton(dlg, bOk ? QStringLiteral("OK") : QString::fromUtf8("ｷｬﾝｾﾙ")));
        if (bOk) {
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_FALSE(dlg.m_bSoundOn);
            EXPECT_EQ(dlg.m_strEndSound, QString::fromUtf8("/t/終了.wav"));
            EXPECT_EQ(dlg.m_strErrSound, QString());
        } else {
            EXPECT_EQ(dlg.result(), QDialog::Rejected);
            EXPECT_TRUE(dlg.m_bSoundOn);
            EXPECT_EQ(dlg.m_strEndSound, QStringLiteral("/s/end.wav"));
            EXPECT_EQ(dlg.m_strErrSound, QStringLiteral(" /s/err.wav"));
        }
    }
}

TEST(SoundDlg, TestButtonsPlayTheirOwnTextUnlessEmptyOrBlankLed) {
    struct CASE {
        QString strText;
        bool bPlays;
    };
    const CASE aCases[] = {
        {QString(), false},
        {QStringLiteral(" /s/a.wav"), false},
        {QStringLiteral("/s/a.wav"), true},
        {QStringLiteral("no-such-file"), true}, // handed on unchecked
        {QStringLiteral("/s/a b.wav "), true},
    };
    for (const CASE& c : aCases) {
        for (bool bEnd : {true, false}) {
            kovrel::test::CSoundRecorder recorder;
            dialogs::CSoundDlg dlg;
            (bEnd ? dlg.m_strEndSound : dlg.m_strErrSound) = c.strText;
            (bEnd ? dlg.m_strErrSound : dlg.m_strEndSound) = QStringLiteral("/other.wav");
            dlg.show();
            ClickButton(bEnd ? dlg.EndTestButton() : dlg.ErrTestButton());
            const std::vector<std::string> vecWant =
                c.bPlays ? std::vector<std::string>{"file:" + c.strText.toStdString()}
                         : std::vector<std::string>{};
            EXPECT_EQ(recorder.m_vecPlayed, vecWant) << c.strText.toStdString() << bEnd;
            EXPECT_TRUE(dlg.isVisible());
        }
    }
}

TEST(SoundDlg, BrowseLeavesTheCurrentDirectoryAsItWas) {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("bell.wav")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    dialogs::CSoundDlg dlg;
    dlg.m_strEndSound = QStringLiteral("/old/end.wav");
    dlg.show();
    const QString strCurrentBefore = QDir::currentPath();
    QStringList listFilters;
    QString strSuffix;
    {
        std::unique_ptr<CModalAnswer> pAnswer(
            AnswerFileDialog(dir.path(), QStringLiteral("bell.wav"), &listFilters, &strSuffix));
        ClickButton(dlg.ErrBrowseButton());
        ASSERT_TRUE(pAnswer->WasAnswered());
    }
    EXPECT_EQ(listFilters,
              QStringList({QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*)")}));
    EXPECT_EQ(strSuffix, QStringLiteral("wav"));
    EXPECT_EQ(dlg.ErrEdit()->text(), dir.filePath(QStringLiteral("bell.wav")));
    EXPECT_EQ(dlg.EndEdit()->text(), QStringLiteral("/old/end.wav")) << "the other box stays";
    // The file dialog never changes the process's current directory, so the
    // rule "after a browse it is what it was" holds without saving it.
    EXPECT_EQ(QDir::currentPath(), strCurrentBefore);
}
