// The directory browser over a fake mount table of temporary trees.
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cerrno>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dialogs/SelectDirDlg.h"
#include "platform/PosixFileSystem.h"
#include "support/FaultFileSystem.h"
#include "support/UiTestUtil.h"

using namespace kovrel;
using kovrel::test::ClickButton;

namespace {

class CFakeMounts final : public dialogs::IMountTable {
public:
    std::vector<dialogs::MOUNTENTRY> GetMounts() const override { return m_vecMounts; }
    std::vector<dialogs::MOUNTENTRY> m_vecMounts;
};

class SelectDirDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_strRoot = m_dir.path().toStdString();
        for (const char* pszDir :
             {"disk/WINDOWS/SYSTEM", "disk/WINDOWS/FONTS", "disk/Data/x", "disk/DATA",
              "disk/.hidden", "disk/empty", "disk/写真/2026", "net/proj/sub", "other/a"}) {
            ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QString::fromUtf8(pszDir))));
        }
        QFile file(m_dir.filePath(QStringLiteral("disk/a_file")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        // Mount-table order; "/" comes first among the drives wherever it is.
        m_mounts.m_vecMounts = {
            {Disk(), "/dev/sdb1", "ext4", false},
            {"/", "overlay", "overlay", false},
            {m_strRoot + "/other", "/dev/loop3", "squashfs", true},   // a snap image: left out
            {m_strRoot + "/disk/a_file", "/dev/sda1", "ext4", false}, // a bound file: left out
            {Net(), "//SERVER/SHARE", "cifs", false},
            {Disk(), "/dev/sdb1", "ext4", false}, // seen twice: listed once
        };
    }

    std::string Disk() const { return m_strRoot + "/disk"; }
    std::string Net() const { return m_strRoot + "/net"; }

    static QStringList ChildTexts(QTreeWidgetItem* pItem) {
        QStringList list;
        for (int i = 0; i < pItem->childCount(); ++i) {
            list << pItem->child(i)->text(0);
        }
        return list;
    }

    static QTreeWidgetItem* Child(QTreeWidgetItem* pItem, const QString& strText) {
        for (int i = 0; i < pItem->childCount(); ++i) {
            if (pItem->child(i)->text(0) == strText) {
                return pItem->child(i);
            }
        }
        return nullptr;
    }

    // Expands or collapses an item as a user does: select it and press the key.
    static void UserToggle(dialogs::CSelectDirDlg& dlg, QTreeWidgetItem* pItem, bool bExpand) {
        dlg.Tree()->setCurrentItem(pItem);
        dlg.Tree()->setFocus();
        QTest::keyClick(dlg.Tree(), bExpand ? Qt::Key_Right : Qt::Key_Left);
    }

    QTemporaryDir m_dir;
    std::string m_strRoot;
    CFakeMounts m_mounts;
};

} // namespace

TEST(SelectDirDlgNames, DisplayNames) {
    const std::pair<const char*, const char*> aCases[] = {
        {"WINDOWS", "Windows"},
        {"PROGRA~1", "Progra~1"},
        {"Windows", "Windows"},
        {"ABCdEF", "ABCdEF"},
        {"A", "A"},
        {"", ""},
        {"_X1", "_x1"},
        {"写真DIR", "写真DIR"},
        {"DIR写真", "DIR写真"},
        {".CACHE", ".cache"},
    };
    for (const auto& [pszName, pszShown] : aCases) {
        EXPECT_EQ(dialogs::CSelectDirDlg::MakeDisplayName(pszName), pszShown) << pszName;
    }
}

TEST(SelectDirDlgNames, NetworkSourcesAndTypes) {
    struct CASE {
        const char* pszSource;
        bool bOk;
        const char* pszServer;
        const char* pszShare;
    };
    const CASE aCases[] = {
        {"server:/export", true, "server", "export"},
        {"server:/export/home/", true, "server", "export/home"},
        {"//server/share", true, "server", "share"},
        {"//server", true, "server", ""},
        {"me@host:", true, "me@host", ""},
        {"hostshare", false, "", ""},
        {":/x", false, "", ""},
    };
    for (const CASE& c : aCases) {
        std::string strServer;
        std::string strShare;
        EXPECT_EQ(dialogs::SplitNetworkSource(c.pszSource, strServer, strShare), c.bOk)
            << c.pszSource;
        if (c.bOk) {
            EXPECT_EQ(strServer, c.pszServer) << c.pszSource;
            EXPECT_EQ(strShare, c.pszShare) << c.pszSource;
        }
    }
    EXPECT_TRUE(dialogs::IsNetworkFsType("nfs4"));
    EXPECT_TRUE(dialogs::IsNetworkFsType("fuse.sshfs"));
    EXPECT_FALSE(dialogs::IsNetworkFsType("ext4"));
    EXPECT_FALSE(dialogs::IsNetworkFsType("fuse.portal"));
}

TEST_F(SelectDirDlgTest, EmptyStartShowsRootsAndDrivesOnly) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.show();
    QTreeWidget* pTree = dlg.Tree();
    ASSERT_EQ(pTree->topLevelItemCount(), 2);
    EXPECT_EQ(pTree->topLevelItem(0)->text(0), QStringLiteral("My Computer"));
    EXPECT_EQ(pTree->topLevelItem(1)->text(0), QStringLiteral("Network Computer"));
    EXPECT_EQ(ChildTexts(dlg.MyComputerItem()),
              QStringList({QStringLiteral(" (/)"), QString::fromStdString(" (" + Disk() + ")")}));
    EXPECT_TRUE(dlg.MyComputerItem()->isExpanded());
    EXPECT_EQ(dlg.NetworkComputerItem()->childCount(), 0);
    EXPECT_EQ(dlg.NetworkComputerItem()->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(pTree->currentItem(), nullptr);
    EXPECT_TRUE(dlg.PathEdit()->text().isEmpty());
    EXPECT_EQ(dlg.focusWidget(), dlg.PathEdit());
    ClickButton(dlg.OkButton());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strPath, "");
}

TEST_F(SelectDirDlgTest, StartPathsSelectTheirItems) {
    struct CASE {
        std::string strStart;
        QString strSelected; // text of the selected item, empty: none
        std::string strEdit; // what the edit shows
        std::string strOk;   // what OK hands back
    };
    const CASE aCases[] = {
        {Disk(), QString::fromStdString(" (" + Disk() + ")"), Disk(), Disk()},
        {Disk() + "/", QString::fromStdString(" (" + Disk() + ")"), Disk(), Disk()},
        {"/", QStringLiteral(" (/)"), "/", "/"},
        {Disk() + "/WINDOWS/SYSTEM", QStringLiteral("System"), Disk() + "/WINDOWS/SYSTEM",
         Disk() + "/WINDOWS/SYSTEM"},
        // Typed in another case: found, and the path shows the names on disk.
        {Disk() + "/windows/System/", QStringLiteral("System"), Disk() + "/WINDOWS/SYSTEM",
         Disk() + "/WINDOWS/SYSTEM"},
        // Two names differing in case only: the exact one wins.
        {Disk() + "/DATA", QStringLiteral("Data"), Disk() + "/DATA", Disk() + "/DATA"},
        {Disk() + "/Data/x", QStringLiteral("x"), Disk() + "/Data/x", Disk() + "/Data/x"},
        {Disk() + "/写真/2026", QStringLiteral("2026"), Disk() + "/写真/2026",
         Disk() + "/写真/2026"},
        {Disk() + "/missing/deeper", QString(), "", ""},
        {"relative/path", QString(), "", ""},
    };
    for (const CASE& c : aCases) {
        SCOPED_TRACE(c.strStart);
        dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
        dlg.m_strPath = c.strStart;
        dlg.show();
        QTreeWidgetItem* pCurrent = dlg.Tree()->currentItem();
        if (c.strSelected.isEmpty()) {
            EXPECT_EQ(pCurrent, nullptr);
        } else {
            ASSERT_NE(pCurrent, nullptr);
            EXPECT_EQ(pCurrent->text(0), c.strSelected);
            EXPECT_TRUE(pCurrent->isSelected());
        }
        EXPECT_EQ(dlg.PathEdit()->text().toStdString(), c.strEdit);
        ClickButton(dlg.OkButton());
        EXPECT_EQ(dlg.m_strPath, c.strOk);
    }
}

TEST_F(SelectDirDlgTest, DeepStartFillsTheNodesAlongThePath) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = Disk() + "/WINDOWS/SYSTEM";
    dlg.show();
    QTreeWidgetItem* pDisk = dlg.MyComputerItem()->child(1);
    EXPECT_TRUE(pDisk->isExpanded());
    // Sorted by shown name; hidden directories are listed; files are not.
    EXPECT_EQ(ChildTexts(pDisk), QStringList({".hidden", "Data", "Data", "empty", "Windows",
                                              QString::fromUtf8("写真")}));
    QTreeWidgetItem* pWindows = Child(pDisk, QStringLiteral("Windows"));
    ASSERT_NE(pWindows, nullptr);
    EXPECT_EQ(dialogs::CSelectDirDlg::ItemRealName(pWindows), "WINDOWS");
    EXPECT_EQ(ChildTexts(pWindows), QStringList({"Fonts", "System"}));
    EXPECT_TRUE(pWindows->isExpanded());
    // "/" was not on the path: still unread.
    EXPECT_EQ(dlg.MyComputerItem()->child(0)->childCount(), 0);
    // The selected directory itself has been read: it has no subdirectories
    // and lost its expand button.
    EXPECT_EQ(dlg.Tree()->currentItem()->childIndicatorPolicy(),
              QTreeWidgetItem::DontShowIndicator);
}

TEST_F(SelectDirDlgTest, PathBelowANetworkMount) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = Net() + "/proj/sub";
    dlg.show();
    QTreeWidgetItem* pNetwork = dlg.NetworkComputerItem();
    EXPECT_TRUE(pNetwork->isExpanded());
    ASSERT_EQ(ChildTexts(pNetwork), QStringList({"Server"}));
    QTreeWidgetItem* pServer = pNetwork->child(0);
    EXPECT_TRUE(pServer->isExpanded());
    ASSERT_EQ(ChildTexts(pServer), QStringList({"Share"}));
    ASSERT_NE(dlg.Tree()->currentItem(), nullptr);
    EXPECT_EQ(dlg.Tree()->currentItem()->text(0), QStringLiteral("sub"));
    EXPECT_EQ(dlg.PathEdit()->text().toStdString(), Net() + "/proj/sub");

    // Enumerating again (collapse and expand the root) adds no duplicates.
    UserToggle(dlg, pNetwork, false);
    UserToggle(dlg, pNetwork, true);
    EXPECT_EQ(ChildTexts(pNetwork), QStringList({"Server"}));
    EXPECT_EQ(ChildTexts(pServer), QStringList({"Share"}));

    // A server is no directory: selecting it leaves the edit box as it was.
    dlg.PathEdit()->setText(QStringLiteral("/typed"));
    dlg.Tree()->setCurrentItem(pServer);
    EXPECT_EQ(dlg.PathEdit()->text(), QStringLiteral("/typed"));
    dlg.Tree()->setCurrentItem(pServer->child(0));
    EXPECT_EQ(dlg.PathEdit()->text().toStdString(), Net());
}

TEST_F(SelectDirDlgTest, NetworkRootListsSharesWhenTheUserExpandsIt) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.show();
    EXPECT_EQ(dlg.NetworkComputerItem()->childCount(), 0);
    UserToggle(dlg, dlg.NetworkComputerItem(), true);
    EXPECT_EQ(ChildTexts(dlg.NetworkComputerItem()), QStringList({"Server"}));
    EXPECT_TRUE(dlg.PathEdit()->text().isEmpty()) << "a root gives no path";
}

TEST_F(SelectDirDlgTest, CollapsedDirectoryIsReadAfreshOnExpand) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = Disk() + "/WINDOWS";
    dlg.show();
    QTreeWidgetItem* pWindows = dlg.Tree()->currentItem();
    ASSERT_NE(pWindows, nullptr);
    EXPECT_EQ(ChildTexts(pWindows), QStringList({"Fonts", "System"}));
    UserToggle(dlg, pWindows, false);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Disk() + "/WINDOWS/Temp")));
    UserToggle(dlg, pWindows, true);
    EXPECT_EQ(ChildTexts(pWindows), QStringList({"Fonts", "System", "Temp"}));
}

TEST_F(SelectDirDlgTest, ExpandingAChildDoesNotRereadItsParent) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = Disk();
    dlg.show();
    QTreeWidgetItem* pDisk = dlg.Tree()->currentItem();
    ASSERT_NE(pDisk, nullptr);
    const QStringList listBefore = ChildTexts(pDisk);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Disk() + "/NEWDIR")));
    QTreeWidgetItem* pWindows = Child(pDisk, QStringLiteral("Windows"));
    ASSERT_NE(pWindows, nullptr);
    EXPECT_EQ(pWindows->childCount(), 0) << "not read before it is expanded";
    UserToggle(dlg, pWindows, true);
    EXPECT_EQ(ChildTexts(pWindows), QStringList({"Fonts", "System"}));
    EXPECT_EQ(ChildTexts(pDisk), listBefore);

    // A directory without subdirectories loses its expand button when read.
    QTreeWidgetItem* pEmpty = Child(pDisk, QStringLiteral("empty"));
    ASSERT_NE(pEmpty, nullptr);
    EXPECT_EQ(pEmpty->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    UserToggle(dlg, pEmpty, true);
    EXPECT_EQ(pEmpty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
}

TEST_F(SelectDirDlgTest, OkRemovesOneTrailingSeparatorFromTheTypedText) {
    const std::pair<const char*, const char*> aCases[] = {
        {"/some/typed/path/", "/some/typed/path"},
        {"/some/typed/path", "/some/typed/path"},
        {"/", "/"},
        {"//", "/"},
        {"/a//", "/a/"},
        {"relative dir/", "relative dir"},
        {"", ""},
    };
    for (const auto& [pszTyped, pszOk] : aCases) {
        dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
        dlg.m_strPath = Disk();
        dlg.show();
        dlg.PathEdit()->selectAll();
        QTest::keyClick(dlg.PathEdit(), Qt::Key_Delete);
        QTest::keyClicks(dlg.PathEdit(), pszTyped);
        QTest::keyClick(dlg.PathEdit(), Qt::Key_Return); // Enter presses OK
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.m_strPath, pszOk) << pszTyped;
    }
}

TEST_F(SelectDirDlgTest, CancelHandsNothingBack) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = Disk() + "/WINDOWS";
    dlg.show();
    dlg.Tree()->setCurrentItem(dlg.MyComputerItem()->child(0));
    ClickButton(dlg.CancelButton());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.m_strPath, Disk() + "/WINDOWS");
}

TEST_F(SelectDirDlgTest, LayoutAfterAResize) {
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.show();
    const QSize sizeButton = dlg.OkButton()->size();
    const int nEdit = dlg.PathEdit()->height();
    for (const QSize& size : {QSize(700, 560), QSize(400, 300)}) {
        dlg.resize(size);
        const int nW = dlg.width();
        const int nH = dlg.height();
        ASSERT_EQ(QSize(nW, nH), size);
        EXPECT_EQ(dlg.PathEdit()->geometry(), QRect(5, 5, nW - 10, nEdit));
        EXPECT_EQ(
            dlg.Tree()->geometry(),
            QRect(QPoint(5, nEdit + 10), QPoint(nW - 5 - 1, nH - sizeButton.height() - 20 - 1)));
        EXPECT_EQ(dlg.OkButton()->geometry(),
                  QRect(QPoint(20, nH - sizeButton.height() - 10), sizeButton));
        EXPECT_EQ(
            dlg.CancelButton()->geometry(),
            QRect(QPoint(nW - sizeButton.width() - 20, nH - sizeButton.height() - 10), sizeButton));
    }
}

TEST_F(SelectDirDlgTest, NameThatIsNotUtf8ComesBackIntact) {
    const std::string strOdd = Disk() + "/odd\xff\xfe";
    ASSERT_EQ(::mkdir(strOdd.c_str(), 0755), 0);
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts);
    dlg.m_strPath = strOdd;
    dlg.show();
    ASSERT_NE(dlg.Tree()->currentItem(), nullptr);
    ClickButton(dlg.OkButton());
    EXPECT_EQ(dlg.m_strPath, strOdd);
    ::rmdir(strOdd.c_str()); // a name QTemporaryDir cannot spell
}

// Directories are read through the platform layer: a link that leads to a
// directory is one, other links are not, and a directory that cannot be read
// shows no children while its neighbours still do.
TEST_F(SelectDirDlgTest, ReadsThroughTheFileSystemLinksAndFailures) {
    ASSERT_EQ(::symlink((Disk() + "/WINDOWS").c_str(), (Disk() + "/to_windows").c_str()), 0);
    ASSERT_EQ(::symlink((Disk() + "/a_file").c_str(), (Disk() + "/to_file").c_str()), 0);
    ASSERT_EQ(::symlink((Disk() + "/gone").c_str(), (Disk() + "/dangling").c_str()), 0);
    platform::PosixFileSystem disk;
    platform::FaultFileSystem faults(disk);
    faults.AddFault(platform::FsOp::ListDir, Disk() + "/WINDOWS/SYSTEM", EACCES);
    dialogs::CSelectDirDlg dlg(nullptr, &m_mounts, &faults);
    dlg.m_strPath = Disk() + "/WINDOWS";
    dlg.show();
    QTreeWidgetItem* pDisk = dlg.MyComputerItem()->child(1);
    EXPECT_EQ(ChildTexts(pDisk), QStringList({".hidden", "Data", "Data", "empty", "to_windows",
                                              "Windows", QString::fromUtf8("写真")}));
    EXPECT_EQ(faults.CountCalls(platform::FsOp::ListDir, Disk()), 1u);
    QTreeWidgetItem* pWindows = dlg.Tree()->currentItem();
    ASSERT_NE(pWindows, nullptr);
    QTreeWidgetItem* pSystem = Child(pWindows, QStringLiteral("System"));
    ASSERT_NE(pSystem, nullptr);
    UserToggle(dlg, pSystem, true);
    EXPECT_EQ(pSystem->childCount(), 0);
    EXPECT_EQ(faults.CountCalls(platform::FsOp::ListDir, Disk() + "/WINDOWS/SYSTEM"), 1u);
    // The link leads into the same tree: expanding it lists the target's children.
    QTreeWidgetItem* pLink = Child(pDisk, QStringLiteral("to_windows"));
    ASSERT_NE(pLink, nullptr);
    UserToggle(dlg, pLink, true);
    EXPECT_EQ(ChildTexts(pLink), QStringList({"Fonts", "System"}));
}

// Without a single network mount, "Network Computer" keeps its expand button
// before and after the user tries it: the button is drawn to the left of the
// item's text, and that strip is not plain background.
TEST_F(SelectDirDlgTest, NetworkComputerKeepsItsExpandButtonWithoutMounts) {
    CFakeMounts localOnly;
    for (const dialogs::MOUNTENTRY& entry : m_mounts.m_vecMounts) {
        if (!dialogs::IsNetworkFsType(entry.strFsType)) {
            localOnly.m_vecMounts.push_back(entry);
        }
    }
    dialogs::CSelectDirDlg dlg(nullptr, &localOnly);
    dlg.show();
    QTreeWidgetItem* pNetwork = dlg.NetworkComputerItem();
    const auto buttonDrawn = [&] {
        QTreeWidget* pTree = dlg.Tree();
        // No selection or focus frame that could fill the strip by itself.
        pTree->setCurrentItem(nullptr);
        pTree->clearSelection();
        const QRect rcItem = pTree->visualItemRect(pNetwork);
        const QImage image = pTree->viewport()->grab().toImage();
        const QRect rcBranch(0, rcItem.top(), rcItem.left(), rcItem.height());
        const QRgb rgbFirst = image.pixel(rcBranch.topLeft());
        for (int y = rcBranch.top(); y <= rcBranch.bottom(); ++y) {
            for (int x = rcBranch.left(); x <= rcBranch.right(); ++x) {
                if (image.pixel(x, y) != rgbFirst) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(buttonDrawn()) << "before the first try";
    for (int nTry = 1; nTry <= 2; ++nTry) {
        UserToggle(dlg, pNetwork, true);
        EXPECT_EQ(pNetwork->childCount(), 0);
        EXPECT_FALSE(pNetwork->isExpanded()) << "try " << nTry;
        EXPECT_TRUE(buttonDrawn()) << "after try " << nTry;
    }
    // A share mounted meanwhile shows at the next try.
    localOnly.m_vecMounts.push_back({Net(), "//SERVER/SHARE", "cifs", false});
    dlg.hide();
    dlg.show();
    UserToggle(dlg, dlg.NetworkComputerItem(), true);
    EXPECT_EQ(ChildTexts(dlg.NetworkComputerItem()), QStringList({"Server"}));
}
