// The grid driven as a user drives it: keys, clicks at computed positions, the
// in-place editor, drops, and what ends up painted.
#include "GridTestSupport.h"

#include <QInputMethodEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

namespace kovrel::test {
namespace {

using ItemGridTest = ViewFixture;

TEST_F(ItemGridTest, EmptyListHasOnlyTheBlankRow) {
    Grid().setFocus();
    EXPECT_EQ(Grid().GetScrollBar().minimum(), 0);
    EXPECT_EQ(Grid().GetScrollBar().maximum(), 0);
    for (int nKey : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown}) {
        Key(nKey);
        EXPECT_EQ(Grid().GetCurRow(), 0);
        EXPECT_EQ(Grid().GetCurSide(), 0);
    }
    Key(Qt::Key_Right);
    EXPECT_EQ(Grid().GetCurSide(), 1);
    Key(Qt::Key_Right);
    EXPECT_EQ(Grid().GetCurSide(), 1);
    EXPECT_EQ(Grid().GetCurRow(), 0);
    Key(Qt::Key_Left);
    EXPECT_EQ(Grid().GetCurSide(), 0);
    EXPECT_EQ(m_doc.m_nModified, 0);
}

TEST_F(ItemGridTest, TypingIntoTheBlankRowsSide2AppendsOneItem) {
    Grid().m_dwNewOption = 0x181;
    Grid().setFocus();
    Key(Qt::Key_Right);
    Key(Qt::Key_F2);
    ASSERT_TRUE(Grid().IsEditing());
    EXPECT_EQ(Edit().text(), QString());
    QTest::keyClicks(&Edit(), "/srv/backup");
    Key(Qt::Key_Return);
    EXPECT_FALSE(Grid().IsEditing());
    ASSERT_EQ(Grid().GetCount(), 1);
    EXPECT_EQ(Path(0, 0), ""); // an empty string, not null
    EXPECT_EQ(Path(0, 1), "/srv/backup");
    EXPECT_EQ(Grid().GetList().GetAt(0)->dwOption, 0x181u);
    EXPECT_FALSE(Grid().GetList().GetAt(0)->lpszPattern.has_value());
    EXPECT_EQ(Grid().GetCurRow(), 0);
    EXPECT_EQ(Grid().GetCurSide(), 1);
    EXPECT_EQ(Grid().GetScrollBar().maximum(), 1);
    EXPECT_EQ(m_doc.m_nModified, 1);
    EXPECT_TRUE(Grid().hasFocus());
}

TEST_F(ItemGridTest, EditsThatWriteNothing) {
    Fill(2);
    Grid().m_dwNewOption = 0;
    struct Case {
        const char* what;
        int row;
        const char* typed; // null: nothing typed
        int endKey;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"Enter on the blank row with no text", 2, nullptr, Qt::Key_Return, {"a0|b0", "a1|b1"}},
        {"Enter without a change", 1, nullptr, Qt::Key_Return, {"a0|b0", "a1|b1"}},
        {"Escape after a change", 0, "zzz", Qt::Key_Escape, {"a0|b0", "a1|b1"}},
        {"the same text typed again", 1, "a1", Qt::Key_Enter, {"a0|b0", "a1|b1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cell(c.row, 0);
        Grid().setFocus();
        Key(Qt::Key_F2);
        ASSERT_TRUE(Grid().IsEditing());
        if (c.typed != nullptr) {
            QTest::keyClicks(&Edit(), c.typed);
        }
        Key(c.endKey);
        EXPECT_FALSE(Grid().IsEditing());
        EXPECT_EQ(Items(), c.items);
        EXPECT_EQ(m_doc.m_nModified, 0);
    }
}

TEST_F(ItemGridTest, PathThatIsNotUtf8StaysAsItIsWhenNothingWasTyped) {
    Grid().AppendItem(0, std::string("/data/caf\xe9/x", 12));
    Cell(0, 0);
    Grid().setFocus();
    Key(Qt::Key_F2);
    Key(Qt::Key_Return);
    EXPECT_EQ(Path(0, 0), std::string("/data/caf\xe9/x", 12));
    EXPECT_EQ(m_doc.m_nModified, 0);
}

TEST_F(ItemGridTest, JapaneseFromTheInputMethodReachesTheItem) {
    Grid().setFocus();
    Key(Qt::Key_F2);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("/ホーム/写真"));
    QApplication::sendEvent(&Edit(), &commit);
    Key(Qt::Key_Return);
    EXPECT_EQ(Path(0, 0), "/ホーム/写真");
    EXPECT_EQ(m_doc.m_nModified, 1);
}

TEST_F(ItemGridTest, EditorLimitCountsUtf8Bytes) {
    const std::string strLong(5000, 'x');
    Grid().AppendItem(0, std::string(4095, 'a'));
    Grid().AppendItem(0, strLong);
    Cell(0, 0);
    Grid().setFocus();
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("あ")); // three bytes: one too many
    QApplication::sendEvent(&Edit(), &commit);
    EXPECT_EQ(Edit().text().toUtf8().size(), 4095);
    QTest::keyClick(&Edit(), Qt::Key_B); // one byte still fits
    EXPECT_EQ(Edit().text().toUtf8().size(), 4096);
    QTest::keyClick(&Edit(), Qt::Key_C);
    EXPECT_EQ(Edit().text().toUtf8().size(), 4096);
    Key(Qt::Key_Escape);

    // A longer path from a document is shown whole and can be shortened, not lengthened.
    Cell(1, 0);
    Key(Qt::Key_F2);
    EXPECT_EQ(Edit().text().toUtf8().size(), 5000);
    Key(Qt::Key_End);
    QTest::keyClick(&Edit(), Qt::Key_Backspace);
    QTest::keyClick(&Edit(), Qt::Key_Z);
    EXPECT_EQ(Edit().text().toUtf8().size(), 4999);
    Key(Qt::Key_Return);
    EXPECT_EQ(Path(1, 0), std::string(4999, 'x'));
}

TEST_F(ItemGridTest, Clicks) {
    Fill(3);
    struct Case {
        const char* what;
        int curRow, curSide; // before
        int row, side;       // clicked cell; side -1 = middle column
        bool dbl;
        int rowAfter, sideAfter;
        bool editing;
        int detailCalls;
    };
    const Case cases[] = {
        {"the current cell", 1, 0, 1, 0, false, 1, 0, true, 0},
        {"another cell", 1, 0, 2, 1, false, 2, 1, false, 0},
        {"the other side of the current row", 1, 0, 1, 1, false, 1, 1, false, 0},
        {"middle column of an item", 0, 1, 2, -1, false, 2, 1, false, 1},
        {"middle column of the blank row", 0, 0, 3, -1, false, 3, 0, false, 0},
        {"below the list", 0, 0, 8, 1, false, 3, 1, false, 0},
        {"double-click on a cell not current", 0, 0, 2, 0, true, 2, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.detailCalls > 0) {
            m_dialogs.Cancel();
        }
        Cell(c.curRow, c.curSide);
        Grid().setFocus();
        m_dialogs.m_vecCalls.clear();
        if (c.dbl) {
            // What the platform delivers: press, release, then a double-click event.
            Click(c.row, c.side);
            QTest::mouseDClick(&Grid(), Qt::LeftButton, {}, CellPoint(c.row, c.side));
        } else {
            Click(c.row, c.side);
        }
        EXPECT_EQ(Grid().GetCurRow(), c.rowAfter);
        EXPECT_EQ(Grid().GetCurSide(), c.sideAfter);
        EXPECT_EQ(Grid().IsEditing(), c.editing);
        EXPECT_EQ(int(m_dialogs.m_vecCalls.size()), c.detailCalls);
        if (Grid().IsEditing()) {
            Key(Qt::Key_Escape);
        }
    }
    EXPECT_EQ(m_doc.m_nModified, 0);
}

TEST_F(ItemGridTest, ClickElsewhereCommitsToTheCellBeingEdited) {
    Fill(3);
    Cell(0, 1);
    Grid().setFocus();
    Key(Qt::Key_F2);
    QTest::keyClicks(&Edit(), "new");
    Click(2, 0);
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|new", "a1|b1", "a2|b2"}));
    EXPECT_EQ(Grid().GetCurRow(), 2);
    EXPECT_EQ(m_doc.m_nModified, 1);
}

TEST_F(ItemGridTest, PopupMenuDoesNotEndTheEditButLosingTheWindowDoes) {
    Fill(1);
    Grid().setFocus();
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    QTest::keyClicks(&Edit(), "2");
    QFocusEvent popupOut(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(&Edit(), &popupOut);
    EXPECT_TRUE(Grid().IsEditing());
    QFocusEvent windowOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(&Edit(), &windowOut);
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_EQ(Path(0, 0), "a02");
}

TEST_F(ItemGridTest, PageDownWithTenWholeRows) {
    Fill(40);
    const int nRowHeight = Nav().m_nRowHeight;
    // Client height of the grid = view height - strip - border: 10 rows exactly.
    m_pView->resize(700, 25 + 10 * nRowHeight + grid::CKovrelView::kButtonStrip + 2);
    ASSERT_EQ(Nav().VisibleRows(), 10);
    ASSERT_EQ(Nav().Half(), 6);
    Grid().setFocus();
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Grid().GetCurRow(), 6);
    EXPECT_EQ(Grid().GetScrollPos(), 6);
    EXPECT_EQ(Grid().GetScrollBar().value(), 6);
    for (int i = 0; i < 10; ++i) {
        Key(Qt::Key_PageDown);
    }
    EXPECT_EQ(Grid().GetCurRow(), 40);
    EXPECT_EQ(Grid().GetScrollPos(), 40);
}

TEST_F(ItemGridTest, DraggingTheThumbMovesTheCurrentRow) {
    Fill(200);
    Cell(0, 0);
    QScrollBar& bar = Grid().GetScrollBar();
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar.minimum();
    opt.maximum = bar.maximum();
    opt.sliderPosition = bar.sliderPosition();
    opt.sliderValue = bar.value();
    opt.singleStep = bar.singleStep();
    opt.pageStep = bar.pageStep();
    opt.upsideDown = bar.invertedAppearance();
    const QRect rcThumb =
        bar.style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, &bar);
    QTest::mousePress(&bar, Qt::LeftButton, {}, rcThumb.center());
    QMouseEvent move(QEvent::MouseMove, QPointF(rcThumb.center() + QPoint(0, bar.height() / 2)),
                     bar.mapToGlobal(QPointF(rcThumb.center() + QPoint(0, bar.height() / 2))),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&bar, &move);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, rcThumb.center() + QPoint(0, bar.height() / 2));
    const int nPos = Grid().GetScrollPos();
    EXPECT_GT(nPos, 50);
    EXPECT_EQ(Grid().GetCurRow(), nPos); // moved to the first visible row
    EXPECT_EQ(bar.value(), nPos);

    // Dragging back up past the current row moves it to the last visible row.
    Grid().GetScrollBar().setSliderPosition(10);
    EXPECT_EQ(Grid().GetScrollPos(), 10);
    EXPECT_EQ(Grid().GetCurRow(), 10 + Nav().VisibleRows() - 1);
}

TEST_F(ItemGridTest, WheelScrollsThreeRowsANotchAndEndsAnEdit) {
    Fill(100);
    Cell(0, 0);
    Grid().setFocus();
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    QTest::keyClicks(&Edit(), "w");
    QWheelEvent wheel(QPointF(CellPoint(2, 0)), QPointF(Grid().mapToGlobal(CellPoint(2, 0))),
                      QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(&Grid(), &wheel);
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_EQ(Path(0, 0), "a0w");
    EXPECT_EQ(Grid().GetScrollPos(), 6);
    EXPECT_EQ(Grid().GetCurRow(), 6);
    EXPECT_EQ(Grid().GetScrollBar().value(), 6);
}

TEST_F(ItemGridTest, ThreeFilesDroppedOnRow5OfSixItems) {
    Fill(6);
    Grid().m_dwNewOption = 0x10;
    const QPoint pt = Grid().mapTo(m_pView.get(), CellPoint(5, 1));
    for (int i = 0; i < 3; ++i) {
        m_pView->OnDropFile(pt, "/drop/f" + std::to_string(i), i);
    }
    EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0", "a1|b1", "a2|b2", "a3|b3", "a4|b4",
                                                 "a5|/drop/f0", "|/drop/f1", "|/drop/f2"}));
    EXPECT_EQ(Grid().GetList().GetAt(6)->dwOption, 0x10u);
    EXPECT_EQ(Grid().GetCurRow(), 5);
    EXPECT_EQ(Grid().GetCurSide(), 1);
    EXPECT_EQ(m_doc.m_nModified, 3);
}

TEST_F(ItemGridTest, DropsThatChangeNothing) {
    Fill(2);
    const struct {
        const char* what;
        QPoint pt; // view coordinates
    } cases[] = {
        {"header", Grid().mapTo(m_pView.get(), Grid().ClientOrigin() + QPoint(20, 10))},
        {"middle column", Grid().mapTo(m_pView.get(), CellPoint(1, -1))},
        {"button strip", QPoint(20, m_pView->height() - 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_pView->OnDropFile(c.pt, "/x", 0);
        EXPECT_EQ(Items(), (std::vector<std::string>{"a0|b0", "a1|b1"}));
        EXPECT_EQ(m_doc.m_nModified, 0);
    }
}

TEST_F(ItemGridTest, ColumnWidthsFollowTheWidth) {
    for (int nWidth : {700, 523, 1000}) {
        m_pView->resize(nWidth, 300);
        const int cw = Grid().contentsRect().width();
        const int w = (cw - Nav().m_nScrollWidth - 84) / 2;
        SCOPED_TRACE(nWidth);
        EXPECT_EQ(Nav().Width1(), w);
        EXPECT_EQ(Nav().Width2(), w);
        const QPoint org = Grid().ClientOrigin();
        EXPECT_EQ(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_FILE1)->geometry(),
                  QRect(org.x(), org.y(), w / 2, 25));
        EXPECT_EQ(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_DIR1)->geometry(),
                  QRect(org.x() + w / 2, org.y(), w / 2, 25));
        EXPECT_EQ(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_OPTION)->geometry(),
                  QRect(org.x() + w, org.y(), 84, 25));
        EXPECT_EQ(Grid().GetHeaderButton(grid::CItemGrid::ID_BTN_DIR2)->geometry(),
                  QRect(org.x() + w + 84 + w / 2, org.y(), w / 2, 25));
        EXPECT_EQ(Grid().GetScrollBar().geometry().right(), org.x() + cw - 1);
        EXPECT_EQ(Grid().geometry(), QRect(0, 0, nWidth, 300 - 30));
        EXPECT_EQ(m_pView->GetSyncButton().geometry(), QRect(0, 270, nWidth, 30));
    }
}

} // namespace
} // namespace kovrel::test
