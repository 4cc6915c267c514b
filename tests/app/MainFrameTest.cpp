#include "app/MainFrame.h"
#include "app/CommandIds.h"
#include "support/GuiTest.h"
#include "ui/Text.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace kovrel::app {
namespace {

// A menu as the user reads it: entry texts, "-" for a separator, submenus by title.
QStringList MenuTexts(const QMenu* pMenu) {
    QStringList astr;
    for (const QAction* pAction : pMenu->actions())
        astr.append(pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
    return astr;
}

// The frame as the program ships it: with its real view (which it takes over).
class MainFrame : public ::testing::Test {
protected:
    void SetUp() override {
        OpenProfile()->clear();
        m_pView = new grid::CKovrelView;
        m_pFrame = std::make_unique<CMainFrame>(*m_pView);
    }
    void TearDown() override {
        m_pFrame.reset();
        OpenProfile()->clear();
    }
    grid::CKovrelView* m_pView = nullptr;
    std::unique_ptr<CMainFrame> m_pFrame;
};

// One menu entry as the user meets it: the text, the keys that run it, and the
// prompt the status bar shows while the mouse rests on it. "-" is a separator.
struct MENUENTRY {
    const char* pszText;
    QList<QKeySequence> keys;
    const char* pszPrompt;
};

TEST_F(MainFrame, EveryMenuEntryWithItsShortcutsAndPrompt) {
    const QList<QAction*> menus = m_pFrame->menuBar()->actions();
    QStringList astrTitles;
    for (QAction* p : menus)
        astrTitles.append(p->text());
    EXPECT_EQ(astrTitles, (QStringList{ui::U("ﾌｧｲﾙ(&F)"), ui::U("編集(&E)"), ui::U("表示(&V)"),
                                       ui::U("ｵﾌﾟｼｮﾝ(&O)"), ui::U("ﾍﾙﾌﾟ(&H)")}));
    const auto key = [](QKeyCombination n) { return QKeySequence(n); };
    const std::vector<MENUENTRY> aMenus[] = {
        {{"新規作成(&N)\tCtrl+N", {key(Qt::CTRL | Qt::Key_N)}, "新しいドキュメントを作成します"},
         {"開く(&O)...\tCtrl+O", {key(Qt::CTRL | Qt::Key_O)}, "既存のドキュメントを開きます"},
         {"上書き保存(&S)\tCtrl+S",
          {key(Qt::CTRL | Qt::Key_S)},
          "開いているドキュメントを上書き保存します"},
         {"名前を付けて保存(&A)...", {}, "開いているドキュメントに名前を付けて保存します"},
         {"-", {}, ""},
         {"最近使ったﾌｧｲﾙ", {}, ""},
         {"-", {}, ""},
         {"KovrelDuplicatorの終了(&X)",
          {},
          "アプリケーションを終了し、ドキュメントの保存を確認します"}},
        {{"変更(&C)\tF2", {key(Qt::Key_F2)}, ""},
         {"ファイル参照(&F)...\tF3", {key(Qt::Key_F3)}, ""},
         {"ディレクトリ参照(&R)...\tF4", {key(Qt::Key_F4)}, ""},
         {"詳細設定(&O)...\tF5", {key(Qt::Key_F5)}, "ファイル同期に関する詳細設定\t詳細設定"},
         {"項目削除(&D)\tCtrl-Del",
          {key(Qt::CTRL | Qt::Key_Delete)},
          "現在選択されている項目を削除する。"},
         {"新規項目を挿入(&I)\tCtrl-I",
          {key(Qt::CTRL | Qt::Key_I)},
          "選択された位置に新規項目を挿入する。\t新規項目を挿入"},
         {"項目を１つ上へ(&U)\tCtrl-Up",
          {key(Qt::CTRL | Qt::Key_Up)},
          "現在選択されている項目を１つ上に移動する\t項目を１つ上へ"},
         {"項目を１つ下へ(&D)\tCtrl-Down",
          {key(Qt::CTRL | Qt::Key_Down)},
          "現在選択されている項目を１つ下に移動する\t項目を１つ下へ"},
         {"-", {}, ""},
         {"プレビュー(&P)\tF7",
          {key(Qt::Key_F7)},
          "ディスクを変更せずに、同期で行われる操作を一覧します"}},
        {{"ツールバー(&T)", {}, "ツールバーの表示/非表示を切り替えます"},
         {"ステータスバー(&S)", {}, "ステータスバーの表示/非表示を切り替えます"}},
        {{"ﾛｸﾞﾌｧｲﾙ(&L)...", {}, "Synchronize結果のログ出力指定"},
         {"ｻｳﾝﾄﾞ(&S)...", {}, "実行完了時の確認音のOn/Off"},
         {"削除したファイルをごみ箱へ移動",
          {},
          "削除や上書きで失われるファイルをごみ箱に残します"}},
        {{"ﾄﾋﾟｯｸの検索(&H)", {}, "ヘルプの目次を表示します"},
         {"-", {}, ""},
         {"KovrelDuplicatorについて(&A)...",
          {},
          "プログラムの情報、バージョン、著作権を表示します"}},
    };
    // A middle item of three is current, so every Edit entry is enabled and
    // shows its prompt like any other.
    for (int i = 0; i < 3; ++i)
        m_pView->GetGrid().AppendItem(0, "/a" + std::to_string(i));
    m_pView->GetGrid().SelectRow(1, -1);
    m_pFrame->resize(600, 400);
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    ASSERT_EQ(menus.size(), 5);
    for (int nMenu = 0; nMenu < 5; ++nMenu) {
        QMenu* pMenu = menus[nMenu]->menu();
        const QList<QAction*> actions = pMenu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(aMenus[nMenu].size())) << nMenu;
        // The mouse comes from outside the menu (a menu ignores the first moves
        // that do not leave the point where it opened).
        QTest::mouseMove(m_pFrame.get(), QPoint(590, 390));
        pMenu->popup(m_pFrame->mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pMenu));
        for (std::size_t i = 0; i < aMenus[nMenu].size(); ++i) {
            const MENUENTRY& e = aMenus[nMenu][i];
            QAction* pAction = actions[static_cast<qsizetype>(i)];
            SCOPED_TRACE(e.pszText);
            if (std::string_view(e.pszText) == "-") {
                EXPECT_TRUE(pAction->isSeparator());
                continue;
            }
            EXPECT_EQ(pAction->text(), ui::U(e.pszText));
            EXPECT_EQ(pAction->shortcuts(), e.keys);
            if (!pAction->isEnabled())
                continue; // the empty recent file list's greyed place
            // The mouse rests on the entry: its prompt shows in the message pane.
            m_pFrame->statusBar()->showMessage(QStringLiteral("?"));
            QTest::mouseMove(pMenu, pMenu->actionGeometry(pAction).center());
            EXPECT_EQ(m_pFrame->statusBar()->currentMessage(), ui::U(e.pszPrompt));
        }
        pMenu->hide();
    }
    // The Edit entries are the view's own actions, not copies; the preview
    // after the separator is the frame's.
    for (QAction* pAction : menus[1]->menu()->actions()) {
        if (pAction->isSeparator() || pAction == m_pFrame->GetAction(ID_PREVIEW))
            continue;
        EXPECT_EQ(pAction, m_pView->GetAction(pAction->data().toInt()));
    }
}

TEST_F(MainFrame, RecentFilesBetweenTheSeparators) {
    m_pFrame->SetRecentFiles({"/d/a.kvd", "/d/b&c.kvd"});
    const QStringList astr = MenuTexts(m_pFrame->FileMenu());
    EXPECT_EQ(astr.mid(4, 4), (QStringList{"-", "&1 /d/a.kvd", "&2 /d/b&&c.kvd", "-"}));
    QSignalSpy spy(m_pFrame.get(), &CMainFrame::recentFileChosen);
    m_pFrame->RecentFileAction(1)->trigger();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 1);
    EXPECT_EQ(m_pFrame->GetAction(ID_FILE_MRU_FILE1 + 1), m_pFrame->RecentFileAction(1));
    m_pFrame->SetRecentFiles({});
    EXPECT_EQ(MenuTexts(m_pFrame->FileMenu())[5], ui::U("最近使ったﾌｧｲﾙ"));
    EXPECT_FALSE(m_pFrame->RecentFileAction(0)->isEnabled());
}

struct ACCEL {
    QKeySequence key;
    int nCommand;
};

TEST_F(MainFrame, AcceleratorTableHasAllTwentyOneKeys) {
    const ACCEL table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_C), grid::ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_I), grid::ID_ITEM_INSERT},
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_NEW},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
        {QKeySequence(Qt::CTRL | Qt::Key_V), grid::ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::CTRL | Qt::Key_Delete), grid::ID_ITEM_DELETE},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), grid::ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Down), grid::ID_ITEM_DOWN},
        {QKeySequence(Qt::Key_F2), grid::ID_ITEM_CHANGE},
        {QKeySequence(Qt::Key_F3), grid::ID_BROWSE_FILE},
        {QKeySequence(Qt::Key_F4), grid::ID_BROWSE_DIR},
        {QKeySequence(Qt::Key_F5), grid::ID_ITEM_DETAIL},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), grid::ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), grid::ID_EDIT_PASTE},
        {QKeySequence(Qt::CTRL | Qt::Key_Up), grid::ID_ITEM_UP},
        {QKeySequence(Qt::CTRL | Qt::Key_X), grid::ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
    };
    int nKeys = 0;
    for (const ACCEL& a : table) {
        QAction* pAction = m_pFrame->GetAction(a.nCommand);
        ASSERT_NE(pAction, nullptr) << a.nCommand;
        EXPECT_TRUE(pAction->shortcuts().contains(a.key)) << a.key.toString().toStdString();
        ++nKeys;
    }
    EXPECT_EQ(nKeys, 21);
}

TEST_F(MainFrame, ShortcutReachesItsCommand) {
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    QSignalSpy spyNew(m_pFrame->GetAction(ID_FILE_NEW), &QAction::triggered);
    QSignalSpy spyInsert(m_pFrame->GetAction(grid::ID_ITEM_INSERT), &QAction::triggered);
    m_pFrame->activateWindow();
    QTest::keyClick(m_pFrame.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(m_pFrame.get(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(spyNew.count(), 1);
    EXPECT_EQ(spyInsert.count(), 1);
}

TEST_F(MainFrame, ToolbarEightPositionsWithTipsAndImages) {
    const QList<QAction*> actions = m_pFrame->ToolBar()->actions();
    ASSERT_EQ(actions.size(), 8);
    const int anIds[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE,   0, ID_PREVIEW,
                         0,           ID_APP_ABOUT, ID_CONTEXT_HELP};
    const char* apszTips[] = {"新規作成",   "開く",  "上書き保存",     nullptr,
                              "プレビュー", nullptr, "バージョン情報", "ヘルプ"};
    for (int i = 0; i < 8; ++i) {
        if (anIds[i] == 0) {
            EXPECT_TRUE(actions[i]->isSeparator());
            continue;
        }
        EXPECT_EQ(actions[i], m_pFrame->GetAction(anIds[i])) << i;
        EXPECT_EQ(actions[i]->toolTip(), ui::U(apszTips[i]));
        EXPECT_FALSE(actions[i]->statusTip().isEmpty());
        EXPECT_FALSE(actions[i]->whatsThis().isEmpty());
        // The drawn image renders with visible pixels.
        const QImage img = actions[i]->icon().pixmap(16, 16).toImage();
        ASSERT_FALSE(img.isNull()) << i;
        int nInk = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                nInk += qAlpha(img.pixel(x, y)) > 0 ? 1 : 0;
        EXPECT_GT(nInk, 30) << i;
        // On a screen of twice the density the button gets a picture drawn at
        // 32 pixels, not the 16-pixel one magnified.
        const QImage imgDense = actions[i]->icon().pixmap(QSize(16, 16), 2.0).toImage();
        EXPECT_EQ(imgDense.size(), QSize(32, 32)) << i;
        EXPECT_EQ(imgDense.devicePixelRatio(), 2.0) << i;
        QImage imgPlain = img.convertToFormat(QImage::Format_ARGB32).scaled(32, 32);
        EXPECT_NE(imgDense.convertToFormat(QImage::Format_ARGB32), imgPlain) << i;
    }
}

TEST_F(MainFrame, ProgramsOwnPromptsShownWhole) {
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    QAction* pDetail = m_pFrame->GetAction(grid::ID_ITEM_DETAIL);
    EXPECT_EQ(pDetail->statusTip(), ui::U("ファイル同期に関する詳細設定\t詳細設定"));
    // Hovering shows the prompt in the message pane, tab included.
    pDetail->showStatusText(m_pFrame.get());
    EXPECT_EQ(m_pFrame->statusBar()->currentMessage(),
              ui::U("ファイル同期に関する詳細設定\t詳細設定"));
    EXPECT_EQ(m_pFrame->GetAction(ID_OPTION_LOGFILE)->statusTip(),
              ui::U("Synchronize結果のログ出力指定"));
    EXPECT_EQ(m_pFrame->GetAction(ID_OPTION_SOUND)->statusTip(),
              ui::U("実行完了時の確認音のOn/Off"));
}

TEST_F(MainFrame, IndicatorPanesGreyWithoutX11) {
    const char* apszTexts[] = {"ｶﾅ", "CAP", "NUM", "SCRL"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m_pFrame->IndicatorPane(i)->text(), ui::U(apszTexts[i]));
        EXPECT_FALSE(m_pFrame->IndicatorPane(i)->isEnabled()); // offscreen: no lights
    }
}

TEST_F(MainFrame, ToolbarAndStatusBarToggle) {
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    m_pFrame->GetAction(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_FALSE(m_pFrame->ToolBar()->isVisible());
    EXPECT_FALSE(m_pFrame->GetAction(ID_VIEW_TOOLBAR)->isChecked());
    m_pFrame->GetAction(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_FALSE(m_pFrame->statusBar()->isVisible());
    m_pFrame->GetAction(ID_VIEW_TOOLBAR)->trigger();
    m_pFrame->GetAction(ID_VIEW_STATUS_BAR)->trigger();
    EXPECT_TRUE(m_pFrame->ToolBar()->isVisible());
    EXPECT_TRUE(m_pFrame->statusBar()->isVisible());
}

TEST_F(MainFrame, PlacementRestoredAndSavedOnEveryCloseRequest) {
    m_pFrame->PlaceWindow({60, 70, 660, 520});
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    QTest::qWait(20);
    EXPECT_EQ(m_pFrame->GetWindowRect(), (WINRECT{60, 70, 660, 520}));

    bool bAllow = false;
    m_pFrame->m_fnQueryClose = [&bAllow] { return bAllow; };
    m_pFrame->move(100, 110);
    QTest::qWait(20);
    EXPECT_FALSE(m_pFrame->close()); // called off, but the rectangle is saved
    EXPECT_EQ(ProfileText(OpenProfile()->value("Env/Window")), "100,110,700,560");
    bAllow = true;
    EXPECT_TRUE(m_pFrame->close());
}

TEST_F(MainFrame, UnmovedStartAndCloseKeepsTheValue) {
    m_pFrame->PlaceWindow({50, 50, 550, 400});
    m_pFrame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
    QTest::qWait(20);
    EXPECT_TRUE(m_pFrame->close());
    EXPECT_EQ(ProfileText(OpenProfile()->value("Env/Window")), "50,50,550,400");
}

// Drops: on the grid (edges included) the point goes over in grid coordinates;
// anywhere else the files are to be opened as documents.
class MainFrameDrop : public MainFrame {
protected:
    void SetUp() override {
        MainFrame::SetUp();
        m_pFrame->resize(500, 400);
        m_pFrame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_pFrame.get()));
        m_pGrid = &m_pView->GetGrid();
    }
    void Drop(const QPoint& ptFrame, const QStringList& astr) {
        kovrel::test::DropFiles(m_pFrame.get(), ptFrame, astr);
    }
    QWidget* m_pGrid = nullptr;
};

TEST_F(MainFrameDrop, OnGridAndElsewhere) {
    QSignalSpy spyGrid(m_pFrame.get(), &CMainFrame::filesDroppedOnGrid);
    QSignalSpy spyOpen(m_pFrame.get(), &CMainFrame::filesDroppedElsewhere);
    const QPoint ptGridOrigin = m_pGrid->mapTo(m_pFrame.get(), QPoint(0, 0));
    Drop(ptGridOrigin + QPoint(30, 40), {"/a", "/b", "/c"});
    ASSERT_EQ(spyGrid.count(), 1);
    EXPECT_EQ(spyGrid[0][0].toPoint(), QPoint(30, 40));
    EXPECT_EQ(spyGrid[0][1].toStringList(), (QStringList{"/a", "/b", "/c"}));
    Drop(ptGridOrigin, {"/edge"}); // the top left corner counts as inside
    EXPECT_EQ(spyGrid.count(), 2);
    Drop(QPoint(5, m_pFrame->ToolBar()->geometry().center().y()), {"/x.kvd", "/y.kvd"});
    ASSERT_EQ(spyOpen.count(), 1);
    EXPECT_EQ(spyOpen[0][0].toStringList(), (QStringList{"/x.kvd", "/y.kvd"}));

    m_pFrame->m_fnDropsRefused = [] { return true; };
    Drop(ptGridOrigin + QPoint(30, 40), {"/a"});
    Drop(QPoint(5, 5), {"/x.kvd"});
    EXPECT_EQ(spyGrid.count(), 2);
    EXPECT_EQ(spyOpen.count(), 1);
}

} // namespace
} // namespace kovrel::app
