// The view's commands: enabled states, list changes, the browse sequences and the
// detailed settings, through shortcuts and buttons as a user gives them.
#include "GridTestSupport.h"

#include <QAction>
#include <QClipboard>
#include <QSignalSpy>

#include <filesystem>

namespace kovrel::test {
namespace {

using ViewTest = ViewFixture;

TEST_F(ViewTest, EnabledStatesByRow) {
    const int ids[] = {grid::ID_ITEM_DETAIL, grid::ID_ITEM_DELETE, grid::ID_ITEM_UP,
                       grid::ID_ITEM_DOWN,   grid::ID_ITEM_INSERT, grid::ID_ITEM_CHANGE,
                       grid::ID_BROWSE_FILE, grid::ID_BROWSE_DIR,  grid::ID_EDIT_CUT,
                       grid::ID_EDIT_COPY,   grid::ID_EDIT_PASTE};
    struct Case {
        const char* what;
        int count, row;
        bool enabled[11]; // in the order of ids
    };
    const Case cases[] = {
        {"empty list",
         0,
         0,
         {false, false, false, false, true, true, true, true, true, true, true}},
        {"first item", 4, 0, {true, true, false, true, true, true, true, true, true, true, true}},
        {"middle item", 4, 2, {true, true, true, true, true, true, true, true, true, true, true}},
        {"last item", 4, 3, {true, true, true, false, true, true, true, true, true, true, true}},
        {"blank row", 4, 4, {false, false, false, false, true, true, true, true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_pView->ResetGrid();
        Fill(c.count);
        Cell(c.row, 0);
        for (std::size_t i = 0; i < std::size(ids); ++i) {
            SCOPED_TRACE(ids[i]);
            ASSERT_NE(m_pView->GetAction(ids[i]), nullptr);
            EXPECT_EQ(m_pView->GetAction(ids[i])->isEnabled(), c.enabled[i]);
        }
    }
}

TEST_F(ViewTest, ListCommandsThroughTheirShortcuts) {
    struct Case {
        const char* what;
        int row, side;
        int key;
        Qt::KeyboardModifiers mods;
        std::vector<std::string> items;
        int rowAfter;
        int modified;
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Case cases[] = {
        {"delete item 2 of five",
         2,
         1,
         Qt::Key_Delete,
         ctrl,
         {"a0|b0", "a1|b1", "a3|b3", "a4|b4"},
         2,
         1},
        {"delete the last item",
         4,
         0,
         Qt::Key_Delete,
         ctrl,
         {"a0|b0", "a1|b1", "a2|b2", "a3|b3"},
         4,
         1},
        {"delete on the blank row: disabled",
         5,
         0,
         Qt::Key_Delete,
         ctrl,
         {"a0|b0", "a1|b1", "a2|b2", "a3|b3", "a4|b4"},
         5,
         0},
        {"move up row 3",
         3,
         1,
         Qt::Key_Up,
         ctrl,
         {"a0|b0", "a1|b1", "a3|b3", "a2|b2", "a4|b4"},
         2,
         1},
        {"move up row 0: disabled",
         0,
         0,
         Qt::Key_Up,
         ctrl,
         {"a0|b0", "a1|b1", "a2|b2", "a3|b3", "a4|b4"},
         0,
         0},
        {"move down row 1",
         1,
         0,
         Qt::Key_Down,
         ctrl,
         {"a0|b0", "a2|b2", "a1|b1", "a3|b3", "a4|b4"},
         2,
         1},
        {"move down the last item: disabled",
         4,
         0,
         Qt::Key_Down,
         ctrl,
         {"a0|b0", "a1|b1", "a2|b2", "a3|b3", "a4|b4"},
         4,
         0},
        {"insert on row 2",
         2,
         1,
         Qt::Key_I,
         ctrl,
         {"a0|b0", "a1|b1", "|", "a2|b2", "a3|b3", "a4|b4"},
         2,
         1},
        {"insert on the blank row",
         5,
         0,
         Qt::Key_I,
         ctrl,
         {"a0|b0", "a1|b1", "a2|b2", "a3|b3", "a4|b4"},
         5,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_pView->ResetGrid();
        Fill(5);
        Grid().m_dwNewOption = 0x220;
        m_doc.m_nModified = 0;
        Cell(c.row, c.side);
        Grid().setFocus();
        Key(c.key, c.mods);
        EXPECT_EQ(Items(), c.items);
        EXPECT_EQ(Grid().GetCurRow(), c.rowAfter);
        EXPECT_EQ(Grid().GetCurSide(), c.side);
        EXPECT_EQ(m_doc.m_nModified, c.modified);
        if (c.key == Qt::Key_I && c.row < 5) {
            const SYNCITEM* pNew = Grid().GetList().GetAt(c.row);
            EXPECT_EQ(pNew->dwOption, 0x220u);
            EXPECT_FALSE(pNew->lpszPattern.has_value());
        }
    }
}

TEST_F(ViewTest, ListCommandWhileEditingCommitsToTheEditedCellFirst) {
    Fill(4);
    Cell(2, 0);
    Grid().setFocus();
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    QTest::keyClicks(&Edit(), "X");
    Key(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_FALSE(Grid().IsEditing());
    // The text went to the item being edited, which then moved up.
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0", "a2X|b2", "a1|b1", "a3|b3"}));
    EXPECT_EQ(Grid().GetCurRow(), 1);
    EXPECT_EQ(m_doc.m_nModified, 2);

    Key(Qt::Key_F2);
    QTest::keyClicks(&Edit(), "Y");
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0", "a1|b1", "a3|b3"}));
}

TEST_F(ViewTest, BrowseSequences) {
    const std::string strCwd = std::filesystem::current_path().string();
    EXPECT_EQ(m_pView->GetFolder(0), strCwd);
    EXPECT_EQ(m_pView->GetFolder(1), strCwd);

    // F3 on side 1 of the blank row of an empty list, then F3 again on side 2.
    Grid().setFocus();
    m_dialogs.Ok("/home/u/docs/plan.txt");
    Key(Qt::Key_F3);
    EXPECT_EQ(Items(), (std::vector<std::string>{"/home/u/docs/plan.txt|"}));
    EXPECT_EQ(Grid().GetCurRow(), 0);
    EXPECT_EQ(Grid().GetCurSide(), 1);
    EXPECT_EQ(m_pView->GetFolder(0), "/home/u/docs/");
    m_dialogs.Ok("/mnt/usb/plan.txt");
    Key(Qt::Key_F3);
    EXPECT_EQ(Items(), (std::vector<std::string>{"/home/u/docs/plan.txt|/mnt/usb/plan.txt"}));
    EXPECT_EQ(Grid().GetCurRow(), 1);
    EXPECT_EQ(Grid().GetCurSide(), 0);
    m_dialogs.Cancel();
    Key(Qt::Key_F3);
    ASSERT_EQ(m_dialogs.m_vecCalls.size(), 3u);
    EXPECT_EQ(m_dialogs.m_vecCalls[0].strIn, strCwd);
    EXPECT_EQ(m_dialogs.m_vecCalls[2].strIn, "/home/u/docs/"); // the next side-1 browse
    EXPECT_EQ(m_doc.m_nModified, 2);

    // F3 on side 2 of row 3 of five: row 3 set, side 1 of row 4 current.
    m_pView->ResetGrid();
    Fill(5);
    Cell(3, 1);
    m_dialogs.Ok("/x/y");
    Key(Qt::Key_F3);
    EXPECT_EQ(Path(3, 1), "/x/y");
    EXPECT_EQ(Grid().GetCurRow(), 4);
    EXPECT_EQ(Grid().GetCurSide(), 0);

    // F4 on side 2 of the last item: the blank row's side 1 becomes current; the
    // folder memory is the whole path, of any length.
    const std::string strDeep = "/d/" + std::string(3000, 'q');
    Cell(4, 1);
    m_dialogs.Ok(strDeep);
    Key(Qt::Key_F4);
    EXPECT_EQ(Path(4, 1), strDeep);
    EXPECT_EQ(Grid().GetCurRow(), 5);
    EXPECT_EQ(Grid().GetCurSide(), 0);
    EXPECT_EQ(m_pView->GetFolder(1), strDeep);

    // The directory browser closed with OK and nothing chosen: an item's path
    // empties; on the blank row an item with two empty paths is appended.
    Cell(0, 0);
    m_dialogs.Ok("");
    Key(Qt::Key_F4);
    EXPECT_EQ(Path(0, 0), "");
    EXPECT_EQ(m_pView->GetFolder(0), "");
    Cell(5, 1);
    m_dialogs.Ok("");
    Key(Qt::Key_F4);
    EXPECT_EQ(Grid().GetCount(), 6);
    EXPECT_EQ(Path(5, 0) + "|" + Path(5, 1), "|");
    ASSERT_FALSE(m_dialogs.m_vecCalls.empty());
    EXPECT_EQ(m_dialogs.m_vecCalls.back().strIn, strDeep);
}

TEST_F(ViewTest, HeaderButtonsChangeTheSideAndBrowse) {
    Fill(2);
    Cell(1, 0);
    m_dialogs.Ok("/hdr/dir2");
    QTest::mouseClick(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_DIR2), Qt::LeftButton);
    EXPECT_EQ(Path(1, 1), "/hdr/dir2");
    EXPECT_EQ(Grid().GetCurRow(), 2);
    EXPECT_EQ(Grid().GetCurSide(), 0);
    ASSERT_EQ(m_dialogs.m_vecCalls.size(), 1u);
    EXPECT_EQ(m_dialogs.m_vecCalls[0].cKind, 'D');
}

TEST_F(ViewTest, CancelledDialogsChangeNothing) {
    Fill(3);
    const std::vector<std::string> before = Items();
    const std::string strCwd = std::filesystem::current_path().string();
    struct Case {
        const char* what;
        int key;
        int row, side;
    };
    const Case cases[] = {
        {"file dialog on an item", Qt::Key_F3, 1, 0},
        {"file dialog on the blank row", Qt::Key_F3, 3, 1},
        {"directory browser", Qt::Key_F4, 2, 1},
        {"detailed settings", Qt::Key_F5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell(c.row, c.side);
        Grid().setFocus();
        m_dialogs.Cancel();
        Key(c.key);
        EXPECT_TRUE(m_dialogs.m_queAnswers.empty()); // the dialog was asked
        EXPECT_EQ(Items(), before);
        EXPECT_EQ(Grid().GetCurRow(), c.row);
        EXPECT_EQ(Grid().GetCurSide(), c.side);
        EXPECT_EQ(m_doc.m_nModified, 0);
        EXPECT_EQ(std::filesystem::current_path().string(), strCwd);
    }
    EXPECT_EQ(Grid().m_dwNewOption, 0u);
}

TEST_F(ViewTest, DetailedSettings) {
    Fill(3);
    SYNCITEM* pItem = Grid().GetList().GetAt(1);
    pItem->dwOption = 0x100;
    Grid().SetPattern(1, "*.c\n!\\obj\\");
    Cell(1, 0);
    Grid().setFocus();

    // OK with no change: not modified, the option for new items untouched.
    m_dialogs.OkDetail(0x100, "*.c\r\n!\\obj\\");
    Key(Qt::Key_F5);
    ASSERT_EQ(m_dialogs.m_vecCalls.size(), 1u);
    EXPECT_EQ(m_dialogs.m_vecCalls[0].strIn, "*.c\r\n!\\obj\\"); // CR LF handed in
    EXPECT_EQ(m_dialogs.m_vecCalls[0].dwIn, 0x100u);
    EXPECT_EQ(m_doc.m_nModified, 0);
    EXPECT_EQ(Grid().m_dwNewOption, 0u);

    // A change of the pattern alone: stored normalised with bare line feeds; the
    // item's unchanged option word becomes the word for new items.
    m_dialogs.OkDetail(0x100, "*.c\r\nsrc/gen/*.h\r\n!tmp\\x");
    Key(Qt::Key_F5);
    EXPECT_EQ(*Grid().GetList().GetAt(1)->lpszPattern, "*.c\n/src/gen/*.h\n!\\tmp\\x");
    EXPECT_EQ(m_doc.m_nModified, 1);
    EXPECT_EQ(Grid().m_dwNewOption, 0x100u);

    // Shown again on three lines.
    m_dialogs.Cancel();
    Key(Qt::Key_F5);
    EXPECT_EQ(m_dialogs.m_vecCalls.back().strIn, "*.c\r\n/src/gen/*.h\r\n!\\tmp\\x");

    // An option change: the item and every new item get it; an empty pattern is
    // stored as an empty string.
    m_dialogs.OkDetail(0x10081, "");
    QTest::mouseClick(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_OPTION), Qt::LeftButton);
    EXPECT_EQ(Grid().GetList().GetAt(1)->dwOption, 0x10081u);
    ASSERT_TRUE(Grid().GetList().GetAt(1)->lpszPattern.has_value());
    EXPECT_EQ(*Grid().GetList().GetAt(1)->lpszPattern, "");
    Cell(1, 0);
    Key(Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(Path(1, 0), "");
    EXPECT_EQ(Grid().GetList().GetAt(1)->dwOption, 0x10081u);

    // On the blank row the command is disabled: F5 opens nothing.
    Cell(4, 0);
    const std::size_t nCalls = m_dialogs.m_vecCalls.size();
    Key(Qt::Key_F5);
    EXPECT_EQ(m_dialogs.m_vecCalls.size(), nCalls);
}

TEST_F(ViewTest, RunningRefusesChangesButNotNavigation) {
    Fill(3);
    Cell(1, 0);
    Grid().setFocus();
    m_pView->SetRunning(true);
    for (int nKey : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5}) {
        Key(nKey);
    }
    Key(Qt::Key_I, Qt::ControlModifier);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    Click(1, 0);  // the current cell: no editor
    Click(2, -1); // the middle column: no details
    QTest::mouseClick(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_FILE1), Qt::LeftButton);
    m_pView->OnDropFile(Grid().mapTo(m_pView.get(), CellPoint(0, 0)), "/drop", 0);
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_TRUE(m_dialogs.m_vecCalls.empty());
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0", "a1|b1", "a2|b2"}));
    EXPECT_EQ(m_doc.m_nModified, 0);
    EXPECT_EQ(Grid().GetCurRow(), 2);
    Key(Qt::Key_Up);
    EXPECT_EQ(Grid().GetCurRow(), 1);

    m_pView->SetRunning(false);
    Key(Qt::Key_F2);
    EXPECT_TRUE(Grid().IsEditing());
}

TEST_F(ViewTest, FocusLikeADialog) {
    QSignalSpy spy(m_pView.get(), &grid::CKovrelView::synchronize);
    EXPECT_TRUE(m_pView->GetSyncButton().hasFocus());
    Key(Qt::Key_Return);
    EXPECT_EQ(spy.count(), 1);
    Key(Qt::Key_Tab);
    EXPECT_TRUE(Grid().hasFocus());
    Key(Qt::Key_Return); // no meaning in the grid
    EXPECT_EQ(spy.count(), 1);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(m_pView->GetSyncButton().hasFocus());
    Key(Qt::Key_Space);
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(ViewTest, ClipboardCommandsActOnlyInTheEditor) {
    Fill(1);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    Cell(0, 0);
    Grid().setFocus();
    m_pView->GetAction(grid::ID_EDIT_COPY)->trigger();
    m_pView->GetAction(grid::ID_EDIT_CUT)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0"}));

    Key(Qt::Key_F2); // text selected
    m_pView->GetAction(grid::ID_EDIT_COPY)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("a0"));
    QApplication::clipboard()->setText(QStringLiteral("/pasted"));
    m_pView->GetAction(grid::ID_EDIT_PASTE)->trigger();
    Key(Qt::Key_Return);
    EXPECT_EQ(Path(0, 0), "/pasted");
}

TEST_F(ViewTest, LoadingAndResettingTheList) {
    CSyncItemList list;
    for (int i = 0; i < 50; ++i) {
        list.SetAt(-1, "p", "q", nullptr);
    }
    list.m_strDocLog = "a/var/log/k.log";
    Grid().SelectRow(0, -1);
    m_pView->LoadList(list);
    EXPECT_EQ(Grid().GetCount(), 50);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(m_pView->GetList().m_strDocLog, "a/var/log/k.log");
    EXPECT_EQ(Grid().GetScrollBar().maximum(), 50);
    Grid().SelectRow(45, -1);
    EXPECT_GT(Grid().GetScrollPos(), 0);
    m_pView->ResetGrid();
    EXPECT_EQ(Grid().GetCount(), 0);
    EXPECT_EQ(Grid().GetScrollPos(), 0);
    EXPECT_EQ(Grid().GetScrollBar().maximum(), 0);
    EXPECT_EQ(Grid().GetCurRow(), 0);
    EXPECT_EQ(m_pView->m_nFileVersion, 0x100);
    EXPECT_EQ(m_doc.m_nModified, 0);
}

} // namespace
} // namespace kovrel::test
