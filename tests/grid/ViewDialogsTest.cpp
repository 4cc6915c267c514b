// The view with its real dialogs, each answered from the test as a user would.
#include "GridTestSupport.h"
#include "support/GuiTest.h"

#include "dialogs/DetailDlg.h"
#include "dialogs/SelectDirDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <filesystem>

namespace kovrel::test {
namespace {

class RealDialogsTest : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        m_pView->SetDialogs(nullptr);
    }
};

TEST_F(RealDialogsTest, DetailedSettingsDirectoryBrowserAndFileDialog) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string strDir = dir.path().toStdString();
    Fill(1);
    Cell(0, 0);
    Grid().setFocus();

    {
        // Subdirectories off and a two-line pattern, then OK.
        CModalAnswer answer([](QWidget* pModal) {
            auto* pDlg = qobject_cast<dialogs::CDetailDlg*>(pModal);
            ASSERT_NE(pDlg, nullptr);
            pDlg->Button(dialogs::CDetailDlg::IDC_SUBDIRS)->click();
            pDlg->PatternEdit()->setPlainText(QStringLiteral("*.txt\nsub/*.c"));
            pDlg->accept();
        });
        Key(Qt::Key_F5);
        EXPECT_TRUE(answer.WasAnswered());
    }
    const SYNCITEM* pItem = Grid().GetList().GetAt(0);
    EXPECT_EQ(pItem->dwOption, SIO_NO_SUBDIRS);
    EXPECT_EQ(pItem->lpszPattern.value_or("<null>"), "*.txt\n/sub/*.c");
    EXPECT_EQ(Grid().m_dwNewOption, SIO_NO_SUBDIRS);

    {
        // A directory typed into the browser's edit box.
        CModalAnswer answer([&](QWidget* pModal) {
            auto* pDlg = qobject_cast<dialogs::CSelectDirDlg*>(pModal);
            ASSERT_NE(pDlg, nullptr);
            pDlg->PathEdit()->setText(QString::fromStdString(strDir + "/"));
            pDlg->accept();
        });
        m_pView->GetAction(grid::ID_BROWSE_DIR)->trigger();
        EXPECT_TRUE(answer.WasAnswered());
    }
    EXPECT_EQ(Path(0, 0), strDir);
    EXPECT_EQ(Grid().GetCurSide(), 1);

    {
        // A side-2 file that does not exist yet is accepted.
        CModalAnswer answer([&](QWidget* pModal) {
            auto* pDlg = qobject_cast<QFileDialog*>(pModal);
            ASSERT_NE(pDlg, nullptr);
            EXPECT_EQ(pDlg->directory().absolutePath().toStdString(),
                      std::filesystem::current_path().string());
            pDlg->selectFile(QString::fromStdString(strDir + "/new-file.txt"));
            QMetaObject::invokeMethod(pDlg, "accept"); // as the Open button does
        });
        m_pView->GetAction(grid::ID_BROWSE_FILE)->trigger();
        EXPECT_TRUE(answer.WasAnswered());
    }
    EXPECT_EQ(Path(0, 1), strDir + "/new-file.txt");
    EXPECT_EQ(m_pView->GetFolder(1), strDir + "/");
    EXPECT_EQ(Grid().GetCurRow(), 1);
    EXPECT_EQ(m_doc.m_nModified, 3);
}

} // namespace
} // namespace kovrel::test
