// The log window's progress: the figures a run shows beside the button, with
// percent and time left only after a preview of the same unchanged list, and
// nothing left of them once the run has ended.
#include "AppTestSupport.h"

#include "app/CommandIds.h"
#include "app/GuiRunHost.h"
#include "dialogs/LogListBox.h"

#include <QAction>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace kovrel::app::test {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// The host alone, scripted: a large file half copied, then its end.
TEST(GuiRunProgress, ShowsTheFiguresBesideTheButtonAndNothingAfterTheRun) {
    dialogs::CSyncLogDlg dlg;
    dlg.resize(900, 300);
    dlg.BeginRun(nullptr);
    const QRect rcList = dlg.ListBox()->geometry();
    const QRect rcButton = dlg.Button()->geometry();
    CGuiRunHost host(nullptr, dlg);
    host.SetTotals(3, 20 * kMiB);
    QTest::qWait(20); // a rate needs time gone by
    host.OnCopyStart("/src/dir/big.bin", 10 * kMiB);
    host.OnCopyProgress(5 * kMiB, 10 * kMiB);
    EXPECT_FALSE(host.CheckCancel()); // the first pass always shows
    EXPECT_EQ(host.EventPasses(), 1);
    const QString strShown = dlg.ProgressText();
    EXPECT_TRUE(
        QRegularExpression(
            QString::fromUtf8("^ファイル 0/3, 5\\.0 MiB/20\\.0 MiB \\| 25%, 残り \\d+:\\d\\d"
                              ", [0-9.]+ [KMG]?i?B/s, big\\.bin 50%$"))
            .match(strShown)
            .hasMatch())
        << strShown.toStdString();
    // Both halves lie in the button row, beside the button, clear of the list.
    const auto labels = dlg.findChildren<QLabel*>();
    int nShown = 0;
    for (const QLabel* pLabel : labels) {
        if (!pLabel->objectName().startsWith(QStringLiteral("RunProgress")))
            continue;
        ++nShown;
        EXPECT_TRUE(pLabel->isVisible());
        EXPECT_FALSE(pLabel->geometry().intersects(rcButton));
        EXPECT_FALSE(pLabel->geometry().intersects(rcList));
        EXPECT_GT(pLabel->width(), 100);
    }
    EXPECT_EQ(nShown, 2);
    EXPECT_EQ(dlg.ListBox()->geometry(), rcList);

    host.OnCopyProgress(10 * kMiB, 10 * kMiB);
    host.OnRunAction({RunActionKind::CopyNew, 2});
    EXPECT_EQ(host.Progress().FilesDone(), 1u);
    EXPECT_EQ(host.Progress().BytesDone(), 10 * kMiB);
    dlg.EndRun();
    EXPECT_EQ(dlg.ProgressText(), QString());
    for (const QLabel* pLabel : labels)
        EXPECT_FALSE(pLabel->isVisible()) << pLabel->objectName().toStdString();
    EXPECT_EQ(dlg.ListBox()->geometry(), rcList);
    EXPECT_EQ(dlg.Button()->geometry(), rcButton);
}

class RunProgress : public AppTest {
protected:
    // A shown text: with totals of 3 files and 24 MiB, a percentage (and
    // time left once there is a rate) after the files and bytes; without
    // them, no total and no guess: only a rate and the large file's own
    // percentage may follow.
    static bool Shows(const QString& str, bool bTotals) {
        return QRegularExpression(
                   QString::fromUtf8(bTotals ? "^ファイル \\d/3, [^/|]+/24\\.0 MiB \\| \\d+%"
                                               "(, 残り \\d+:\\d\\d)?(, .*)?$"
                                             : "^ファイル \\d+, [^/,%|]+"
                                               "( \\| ([0-9.]+ [KMGT]?i?B/s)?(, )?"
                                               "(big\\.bin \\d+%)?)?$"))
            .match(str)
            .hasMatch();
    }
    // Every progress text the log window showed during the next run or
    // preview, sampled at each event pass the run lets through.
    QStringList Watch(const std::function<void()>& start) {
        QStringList astr;
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const QString str = m_pApp->m_dlgLog->ProgressText();
            if (!str.isEmpty() && (astr.isEmpty() || astr.last() != str))
                astr.append(str);
        });
        timer.start();
        start();
        timer.stop();
        return astr;
    }
    QStringList Run() {
        return Watch([this] { QTest::mouseClick(&View()->GetSyncButton(), Qt::LeftButton); });
    }
    QStringList Preview() {
        return Watch([this] { Frame()->GetAction(ID_PREVIEW)->trigger(); });
    }
};

// Three files to copy, one of 24 MiB: the copy goes in chunks. Totals come
// from a preview just before, and from nothing else.
TEST_F(RunProgress, PercentAndTimeLeftOnlyAfterAPreviewOfTheSameList) {
    const struct {
        const char* pszCase;
        bool bPreview;
        bool bEdit; // the list edited between the preview and the run
        bool bTotals;
    } cases[] = {
        {"no preview", false, false, false},
        {"preview, then run", true, false, true},
        {"preview, edit, run", true, true, false},
    };
    int nCase = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        const QString strBase = Path(QStringLiteral("c%1").arg(nCase++));
        WriteFile(strBase + "/1/a.txt", "a");
        WriteFile(strBase + "/1/b.txt", "bb");
        WriteFile(strBase + "/1/big.bin", QByteArray(24 * 1024 * 1024, 'x'));
        QDir().mkpath(strBase + "/2");
        ASSERT_TRUE(Start(MakeDocument("p.kvd", {{strBase + "/1", strBase + "/2"}})));
        if (c.bPreview) {
            const QStringList astrPreview = Preview();
            ASSERT_FALSE(astrPreview.isEmpty());
            // The preview counts as it goes, with no totals of its own.
            for (const QString& str : astrPreview)
                EXPECT_TRUE(Shows(str, false)) << str.toStdString();
            EXPECT_EQ(m_pApp->m_dlgLog->ProgressText(), QString());
            m_pApp->m_dlgLog->accept(); // 閉じる
        }
        if (c.bEdit)
            View()->GetGrid().AppendItem(0, (strBase + "/elsewhere").toStdString());
        const QStringList astrRun = Run();
        ASSERT_FALSE(astrRun.isEmpty());
        for (const QString& str : astrRun)
            EXPECT_TRUE(Shows(str, c.bTotals)) << str.toStdString();
        // The run went through and left nothing of its progress in the window.
        EXPECT_EQ(ReadFile(strBase + "/2/big.bin").size(), 24 * 1024 * 1024);
        EXPECT_EQ(m_pApp->m_dlgLog->ProgressText(), QString());
        EXPECT_EQ(m_pApp->m_dlgLog->GetButtonText(), QStringLiteral("OK"));
        // A run's totals are spent: the next run guesses nothing.
        for (const QString& str : Run())
            EXPECT_TRUE(Shows(str, false)) << str.toStdString();
        m_pApp.reset();
    }
}

// An item the deletion guard counted gives the log window's progress its
// totals up to the item's end, when no preview gave the run's.
TEST(RunProgressHost, DeletionGuardsCountGivesTheItemsTotals) {
    dialogs::CSyncLogDlg dlgLog;
    CGuiRunHost host(nullptr, dlgLog);
    DELETECOUNT count;
    count.nHeld[1] = 4;
    count.nDeleted[1] = 1;
    count.nCopies = 2;
    count.nCopyBytes = 24 * kMiB;
    host.OnItemBegin(0);
    host.OnDeleteCount(count);
    EXPECT_EQ(host.Progress().FormatCounts(), "ファイル 0/3, 0 B/24.0 MiB");
    host.OnCopyStart("/a/big.bin", 24 * kMiB);
    host.OnCopyProgress(24 * kMiB, 24 * kMiB);
    host.OnRunAction({RunActionKind::CopyNew, 2});
    EXPECT_EQ(host.Progress().FormatCounts(), "ファイル 1/3, 24.0 MiB/24.0 MiB");
    host.OnItemEnd(0);
    EXPECT_EQ(host.Progress().FormatCounts(), "ファイル 1, 24.0 MiB");
    // A preview's totals for the whole run stand.
    host.SetTotals(9, 48 * kMiB);
    host.OnItemBegin(1);
    host.OnDeleteCount(count);
    EXPECT_EQ(host.Progress().FormatCounts(), "ファイル 1/9, 24.0 MiB/48.0 MiB");
}

} // namespace
} // namespace kovrel::app::test
