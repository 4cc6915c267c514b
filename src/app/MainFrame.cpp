#include "app/MainFrame.h"

#include "app/CommandIds.h"
#include "app/LockIndicators.h"
#include "app/WindowPlacement.h"
#include "ui/Text.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWhatsThis>

// The toolbar's images live in a static library; its resources must be
// registered by hand (Q_INIT_RESOURCE must be called outside any namespace).
static void InitAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace kovrel::app {

namespace {

// The local files of a drop, in the order they were dragged.
QStringList DroppedFiles(const QMimeData* pData) {
    QStringList astr;
    if (pData == nullptr || !pData->hasUrls())
        return astr;
    for (const QUrl& url : pData->urls()) {
        if (url.isLocalFile())
            astr.append(url.toLocalFile());
    }
    return astr;
}

// The program only reads the dropped paths, so it never tells the source the
// files were moved: a file manager honouring a Move would remove the originals.
// Copy where offered, else Link; a drag offering neither is refused.
bool AcceptAsCopy(QDropEvent& event) {
    if (event.possibleActions() & Qt::CopyAction)
        event.setDropAction(Qt::CopyAction);
    else if (event.possibleActions() & Qt::LinkAction)
        event.setDropAction(Qt::LinkAction);
    else
        return false;
    return true;
}
// The frame's and the application's commands: menu text, status-bar prompt,
// shortcuts, tool tip, What's This. The framework's standard prompts say what
// the command does; the toolbar's tip is the tool tip.
using grid::kNoKey;

const grid::COMMANDDEF kFrameCommands[] = {
    {ID_FILE_NEW,
     "新規作成(&N)\tCtrl+N",
     "新しいドキュメントを作成します",
     {Qt::CTRL | Qt::Key_N, kNoKey},
     "新規作成",
     "新規作成\n新しい空の一覧を作ります。今の一覧が変更されていれば、保存するかどうかを尋ねます"
     "。"},
    {ID_FILE_OPEN,
     "開く(&O)...\tCtrl+O",
     "既存のドキュメントを開きます",
     {Qt::CTRL | Qt::Key_O, kNoKey},
     "開く",
     "開く\n保存してある一覧（.kvd ファイル）を開きます。"},
    {ID_FILE_SAVE,
     "上書き保存(&S)\tCtrl+S",
     "開いているドキュメントを上書き保存します",
     {Qt::CTRL | Qt::Key_S, kNoKey},
     "上書き保存",
     "上書き保存\n今の一覧をファイルに保存します。まだ名前がなければ、保存先を尋ねます。"},
    {ID_FILE_SAVE_AS,
     "名前を付けて保存(&A)...",
     "開いているドキュメントに名前を付けて保存します",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_APP_EXIT,
     "KovrelDuplicatorの終了(&X)",
     "アプリケーションを終了し、ドキュメントの保存を確認します",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_VIEW_TOOLBAR,
     "ツールバー(&T)",
     "ツールバーの表示/非表示を切り替えます",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_VIEW_STATUS_BAR,
     "ステータスバー(&S)",
     "ステータスバーの表示/非表示を切り替えます",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_HELP_FINDER,
     "ﾄﾋﾟｯｸの検索(&H)",
     "ヘルプの目次を表示します",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_HELP,
     "ヘルプ",
     "現在の作業のヘルプを表示します",
     {QKeyCombination(Qt::Key_F1), kNoKey},
     nullptr,
     nullptr},
    {ID_DEFAULT_HELP, "ヘルプ", "ヘルプの目次を表示します", {kNoKey, kNoKey}, nullptr, nullptr},
    {ID_APP_ABOUT,
     "KovrelDuplicatorについて(&A)...",
     "プログラムの情報、バージョン、著作権を表示します",
     {kNoKey, kNoKey},
     "バージョン情報",
     "バージョン情報\nプログラムのバージョンを表示します。"},
    {ID_CONTEXT_HELP,
     "ヘルプ",
     "クリックした場所のヘルプを表示します",
     {kNoKey, kNoKey},
     "ヘルプ",
     "ヘルプ\nこのボタンを押してから画面の部分をクリックすると、その部分の説明を表示します。"},
    // The settings commands, carried out by the application.
    {ID_OPTION_LOGFILE,
     "ﾛｸﾞﾌｧｲﾙ(&L)...",
     "Synchronize結果のログ出力指定",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_OPTION_SOUND,
     "ｻｳﾝﾄﾞ(&S)...",
     "実行完了時の確認音のOn/Off",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_OPTION_TRASH,
     "削除したファイルをごみ箱へ移動",
     "削除や上書きで失われるファイルをごみ箱に残します",
     {kNoKey, kNoKey},
     nullptr,
     nullptr},
    {ID_PREVIEW,
     "プレビュー(&P)\tF7",
     "ディスクを変更せずに、同期で行われる操作を一覧します",
     {QKeyCombination(Qt::Key_F7), kNoKey},
     "プレビュー",
     "プレビュー\n一覧全体を、何も変更せずに試します。コピー、上書き、削除が Synchronize Log "
     "ウィンドウに並び、上書きと削除には印が付きます。「同期を実行」で同じ一覧を同期します。"},
    // Undo and the pane keys are taken so they reach nothing else, and do nothing.
    {ID_EDIT_UNDO,
     "元に戻す",
     "直前に行った動作を元に戻します",
     {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace},
     nullptr,
     nullptr},
    {ID_NEXT_PANE,
     "次のウィンドウ",
     "次のウィンドウ ペインに切り替えます",
     {QKeyCombination(Qt::Key_F6), kNoKey},
     nullptr,
     nullptr},
    {ID_PREV_PANE,
     "前のウィンドウ",
     "前のウィンドウ ペインに切り替えます",
     {Qt::SHIFT | Qt::Key_F6, kNoKey},
     nullptr,
     nullptr},
};

// Indicator panes: the text, and the keyboard light it follows.
constexpr const char* kIndicatorTexts[4] = {"ｶﾅ", "CAP", "NUM", "SCRL"};
// A toolbar image drawn from its SVG source at the sizes a 16-pixel button
// takes on screens of 1 to 4 times the usual density, so the icon picks the
// one drawn for the screen instead of magnifying a 16-pixel picture. (Drawn
// here, not by Qt's SVG icon plugin, which a system may lack.)
QIcon ToolBarIcon(const QString& strSvg) {
    QSvgRenderer renderer(strSvg);
    if (!renderer.isValid())
        return QIcon(strSvg);
    QIcon icon;
    for (int nSize : {16, 20, 24, 32, 40, 48, 64}) {
        QPixmap pixmap(nSize, nSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(0, 0, nSize, nSize));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

constexpr const char* kRunPaneText = "同期処理中";
constexpr const char* kRunPaneTip = "クリックすると Synchronize Log ウィンドウを表示します";

} // namespace

CMainFrame::CMainFrame(grid::CKovrelView& view, QWidget* pParent)
    : QMainWindow(pParent), m_view(view) {
    setObjectName(QStringLiteral("MainFrame"));
    InitAppResources();
    setCentralWidget(&m_view);
    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    setAcceptDrops(true);
    // Lock keys change the lights wherever the focus is; watch the whole program.
    qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
}

void CMainFrame::BuildActions() {
    for (const grid::COMMANDDEF& def : kFrameCommands) {
        QAction* pAction = grid::CreateCommandAction(def, this);
        if (!pAction->shortcuts().isEmpty())
            addAction(pAction); // the shortcut works with menus and toolbar hidden too
        m_actions.insert(def.nId, pAction);
    }
    m_actions.value(ID_VIEW_TOOLBAR)->setCheckable(true);
    m_actions.value(ID_VIEW_STATUS_BAR)->setCheckable(true);
    m_actions.value(ID_OPTION_TRASH)->setCheckable(true);
    connect(m_actions.value(ID_CONTEXT_HELP), &QAction::triggered, this,
            [] { QWhatsThis::enterWhatsThisMode(); });
    // The view's commands are the view's own actions, shortcuts and all.
    for (const grid::VIEWCOMMAND& cmd : grid::CKovrelView::Commands())
        m_actions.insert(cmd.def.nId, m_view.GetAction(cmd.def.nId));
}

void CMainFrame::BuildMenus() {
    QMenuBar* pBar = menuBar();
    m_pFileMenu = pBar->addMenu(ui::U("ﾌｧｲﾙ(&F)"));
    m_pFileMenu->addAction(m_actions.value(ID_FILE_NEW));
    m_pFileMenu->addAction(m_actions.value(ID_FILE_OPEN));
    m_pFileMenu->addAction(m_actions.value(ID_FILE_SAVE));
    m_pFileMenu->addAction(m_actions.value(ID_FILE_SAVE_AS));
    m_pRecentTop = m_pFileMenu->addSeparator();
    m_pRecentBottom = m_pFileMenu->addSeparator();
    m_pFileMenu->addAction(m_actions.value(ID_APP_EXIT));
    RebuildRecentMenu();

    m_pEditMenu = pBar->addMenu(ui::U("編集(&E)"));
    for (int nId :
         {grid::ID_ITEM_CHANGE, grid::ID_BROWSE_FILE, grid::ID_BROWSE_DIR, grid::ID_ITEM_DETAIL,
          grid::ID_ITEM_DELETE, grid::ID_ITEM_INSERT, grid::ID_ITEM_UP, grid::ID_ITEM_DOWN})
        m_pEditMenu->addAction(m_actions.value(nId));
    // Synchronize itself is the button under the list; its preview is here.
    m_pEditMenu->addSeparator();
    m_pEditMenu->addAction(m_actions.value(ID_PREVIEW));

    QMenu* pView = pBar->addMenu(ui::U("表示(&V)"));
    pView->addAction(m_actions.value(ID_VIEW_TOOLBAR));
    pView->addAction(m_actions.value(ID_VIEW_STATUS_BAR));

    QMenu* pOptions = pBar->addMenu(ui::U("ｵﾌﾟｼｮﾝ(&O)"));
    pOptions->addAction(m_actions.value(ID_OPTION_LOGFILE));
    pOptions->addAction(m_actions.value(ID_OPTION_SOUND));
    pOptions->addAction(m_actions.value(ID_OPTION_TRASH));

    QMenu* pHelp = pBar->addMenu(ui::U("ﾍﾙﾌﾟ(&H)"));
    pHelp->addAction(m_actions.value(ID_HELP_FINDER));
    pHelp->addSeparator();
    pHelp->addAction(m_actions.value(ID_APP_ABOUT));
}

void CMainFrame::BuildToolBar() {
    m_pToolBar = new QToolBar(ui::U("ツールバー"), this);
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    const struct {
        int nId;
        const char* pszIcon;
    } buttons[] = {
        {ID_FILE_NEW, ":/app/new.svg"},    {ID_FILE_OPEN, ":/app/open.svg"},
        {ID_FILE_SAVE, ":/app/save.svg"},  {0, nullptr},
        {ID_PREVIEW, ":/app/preview.svg"}, {0, nullptr},
        {ID_APP_ABOUT, ":/app/about.svg"}, {ID_CONTEXT_HELP, ":/app/contexthelp.svg"},
    };
    for (const auto& b : buttons) {
        if (b.nId == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* pAction = m_actions.value(b.nId);
        pAction->setIcon(ToolBarIcon(QString::fromUtf8(b.pszIcon)));
        m_pToolBar->addAction(pAction);
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    QAction* pToggle = m_actions.value(ID_VIEW_TOOLBAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
    connect(m_pToolBar, &QToolBar::visibilityChanged, pToggle, [this, pToggle](bool) {
        // Closing the toolbar's own float window hides it too; keep the check mark true.
        pToggle->setChecked(!m_pToolBar->isHidden());
    });
}

void CMainFrame::ShowRunPane(bool bShow) {
    m_pRunPane->setVisible(bShow);
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* pStatus = statusBar();
    auto* pReady = new QLabel(ui::U("ﾚﾃﾞｨ"), pStatus);
    pReady->setObjectName(QStringLiteral("IdlePane"));
    pStatus->addWidget(pReady, 1);
    // Before the indicators: a run hidden with Escape stays in sight here.
    m_pRunPane = new QToolButton(pStatus);
    m_pRunPane->setObjectName(QStringLiteral("RunPane"));
    m_pRunPane->setText(ui::U(kRunPaneText));
    m_pRunPane->setToolTip(ui::U(kRunPaneTip));
    m_pRunPane->setAutoRaise(true);
    m_pRunPane->setFocusPolicy(Qt::NoFocus);
    m_pRunPane->setCursor(Qt::PointingHandCursor);
    m_pRunPane->hide();
    connect(m_pRunPane, &QToolButton::clicked, this, &CMainFrame::runPaneClicked);
    pStatus->addPermanentWidget(m_pRunPane);
    for (int i = 0; i < 4; ++i) {
        auto* pPane = new QLabel(ui::U(kIndicatorTexts[i]), pStatus);
        pPane->setObjectName(QStringLiteral("Indicator%1").arg(i));
        pPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pPane->setAlignment(Qt::AlignCenter);
        pPane->setMinimumWidth(pPane->fontMetrics().horizontalAdvance(ui::U("SCRL")) + 8);
        pPane->setEnabled(false);
        pStatus->addPermanentWidget(pPane);
        m_apIndicators[i] = pPane;
    }
    QAction* pToggle = m_actions.value(ID_VIEW_STATUS_BAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, pStatus, &QStatusBar::setVisible);
    RefreshIndicators();
}

void CMainFrame::RefreshIndicators() {
    const std::optional<LOCKSTATE> state = QueryLockState();
    const bool abOn[4] = {state && state->bKana, state && state->bCaps, state && state->bNum,
                          state && state->bScroll};
    for (int i = 0; i < 4; ++i)
        m_apIndicators[i]->setEnabled(abOn[i]);
}

QAction* CMainFrame::GetAction(int nCommandId) const {
    return m_actions.value(nCommandId, nullptr);
}

void CMainFrame::SetRecentFiles(const QStringList& astrPaths) {
    m_astrRecent = astrPaths;
    RebuildRecentMenu();
}

QAction* CMainFrame::RecentFileAction(int nIndex) const {
    return nIndex >= 0 && nIndex < m_recentActions.size() ? m_recentActions[nIndex] : nullptr;
}

void CMainFrame::RebuildRecentMenu() {
    for (QAction* pAction : m_recentActions) {
        m_actions.remove(pAction->data().toInt());
        m_pFileMenu->removeAction(pAction);
        pAction->deleteLater();
    }
    m_recentActions.clear();
    if (m_astrRecent.isEmpty()) {
        // The place of the list, greyed, as long as it is empty.
        auto* pEmpty = new QAction(ui::U("最近使ったﾌｧｲﾙ"), this);
        pEmpty->setData(ID_FILE_MRU_FILE1);
        pEmpty->setEnabled(false);
        m_pFileMenu->insertAction(m_pRecentBottom, pEmpty);
        m_recentActions.append(pEmpty);
        return;
    }
    for (int i = 0; i < m_astrRecent.size(); ++i) {
        QString strShown = m_astrRecent[i];
        strShown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* pAction = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(strShown), this);
        pAction->setData(ID_FILE_MRU_FILE1 + i);
        pAction->setStatusTip(ui::U("このドキュメントを開きます"));
        connect(pAction, &QAction::triggered, this, [this, i] { emit recentFileChosen(i); });
        m_pFileMenu->insertAction(m_pRecentBottom, pAction);
        m_recentActions.append(pAction);
        m_actions.insert(ID_FILE_MRU_FILE1 + i, pAction);
    }
}

void CMainFrame::PlaceWindow(const WINRECT& rcSaved) {
    // The profile is trusted, with one exception: a rectangle whose title bar no
    // screen shows could never be dragged back, so it comes onto the nearest one.
    QList<QRect> arcScreens;
    for (const QScreen* pScreen : QGuiApplication::screens())
        arcScreens.append(pScreen->geometry());
    const WINRECT rc = BringTitleBarOnScreen(rcSaved, arcScreens);
    m_rcWanted = rc;
    setGeometry(rc.left, rc.top, std::max(1, rc.right - rc.left), std::max(1, rc.bottom - rc.top));
    m_bPlacementPending = true;
    m_nPlacementTries = 0;
    if (isVisible())
        FixPlacement();
}

// Once the window system has framed the window, its client area is made smaller
// by the frame's margins so that the outer rectangle is the wanted one. Some
// window managers send no move or resize after framing, so the check does not
// wait for one: it looks again on a short timer until the frame is known and
// the outer rectangle is where it was asked to be, then stops for good (a
// later drag or maximise is the user's and is never undone).
void CMainFrame::FixPlacement() {
    if (!m_bPlacementPending || !isVisible())
        return;
    constexpr int kTryEveryMs = 20;
    constexpr int kMaxTries = 150; // three seconds
    if (++m_nPlacementTries > kMaxTries) {
        m_bPlacementPending = false;
        return;
    }
    const auto again = [this] { QTimer::singleShot(kTryEveryMs, this, &CMainFrame::FixPlacement); };
    const QRect rcWanted(QPoint(m_rcWanted.left, m_rcWanted.top),
                         QSize(std::max(1, m_rcWanted.right - m_rcWanted.left),
                               std::max(1, m_rcWanted.bottom - m_rcWanted.top)));
    if (const std::optional<X11FRAME> frame = QueryX11Frame(*this)) {
        // What the X server says, not what Qt last asked for.
        const QRect& rcReal = frame->rcOuter;
        const QRect& rcClient = frame->rcClient;
        if (rcReal == rcWanted) {
            m_bPlacementPending = false;
            return;
        }
        // Only what framing does is undone: the frame added to the client's
        // size, or the client put where the frame should be. Any other
        // difference is the user's (a drag or resize already under way) and
        // is left as it is.
        const QPoint ptFrame = rcClient.topLeft() - rcReal.topLeft();
        const QSize sizeFrame = rcReal.size() - rcClient.size();
        const QPoint ptOff = rcWanted.topLeft() - rcReal.topLeft();
        const bool bSizeByFrame =
            rcReal.size() == rcWanted.size() || rcReal.size() == rcWanted.size() + sizeFrame;
        const bool bPlaceByFrame = ptOff.isNull() || ptOff == ptFrame;
        if (!bSizeByFrame || !bPlaceByFrame) {
            m_bPlacementPending = false;
            return;
        }
        const QSize sizeClient(std::max(1, rcWanted.width() - sizeFrame.width()),
                               std::max(1, rcWanted.height() - sizeFrame.height()));
        QWidget::setGeometry(QRect(rcClient.topLeft() + ptOff, sizeClient));
        again();
        return;
    }
    const QRect rcFrame = frameGeometry();
    const QRect rcClient = geometry();
    const int nExtraW = rcFrame.width() - rcClient.width();
    const int nExtraH = rcFrame.height() - rcClient.height();
    if (nExtraW == 0 && nExtraH == 0 && rcFrame.topLeft() == rcClient.topLeft() &&
        !testAttribute(Qt::WA_Mapped)) {
        again(); // not framed yet
        return;
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        again(); // mapped, but the window manager has not published the frame yet
        return;
    }
    m_bPlacementPending = false;
    resize(std::max(1, rcWanted.width() - nExtraW), std::max(1, rcWanted.height() - nExtraH));
    move(m_rcWanted.left, m_rcWanted.top); // move() places the outer frame
}

WINRECT CMainFrame::GetWindowRect() const {
    const std::optional<X11FRAME> frame = QueryX11Frame(*this);
    const QRect rc = frame ? frame->rcOuter : frameGeometry();
    return WINRECT{rc.x(), rc.y(), rc.x() + rc.width(), rc.y() + rc.height()};
}

bool CMainFrame::event(QEvent* pEvent) {
    switch (pEvent->type()) {
    case QEvent::Show:
        if (m_bPlacementPending && m_nPlacementTries == 0)
            QTimer::singleShot(0, this, &CMainFrame::FixPlacement);
        break;
    case QEvent::WindowActivate:
        RefreshIndicators();
        break;
    default:
        break;
    }
    return QMainWindow::event(pEvent);
}

bool CMainFrame::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::KeyRelease) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_CapsLock || nKey == Qt::Key_NumLock || nKey == Qt::Key_ScrollLock ||
            nKey == Qt::Key_Kana_Lock || nKey == Qt::Key_Kana_Shift)
            QTimer::singleShot(0, this, &CMainFrame::RefreshIndicators);
    }
    return QMainWindow::eventFilter(pWatched, pEvent);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    // The rectangle is saved on every close request, also one that is then
    // called off in the save question.
    const WINRECT rc = GetWindowRect();
    WriteWindowSetting(rc);
    emit windowRectSaved(rc);
    if (m_fnQueryClose && !m_fnQueryClose()) {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
}

bool CMainFrame::DropsOnGrid(const QPoint& ptFrame) const {
    const QWidget& grid = m_view.GetGrid();
    if (!grid.isVisible())
        return false;
    const QRect rcGrid(grid.mapTo(this, QPoint(0, 0)), grid.size());
    // The edges count as inside.
    return ptFrame.x() >= rcGrid.left() && ptFrame.x() <= rcGrid.right() + 1 &&
           ptFrame.y() >= rcGrid.top() && ptFrame.y() <= rcGrid.bottom() + 1;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent) {
    if (!DroppedFiles(pEvent->mimeData()).isEmpty() && AcceptAsCopy(*pEvent))
        pEvent->accept();
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* pEvent) {
    if (!DroppedFiles(pEvent->mimeData()).isEmpty() && AcceptAsCopy(*pEvent))
        pEvent->accept();
}

void CMainFrame::dropEvent(QDropEvent* pEvent) {
    const QStringList astrFiles = DroppedFiles(pEvent->mimeData());
    if (astrFiles.isEmpty())
        return;
    if (m_fnDropsRefused && m_fnDropsRefused()) {
        pEvent->ignore();
        return;
    }
    if (!AcceptAsCopy(*pEvent)) {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
    const QPoint ptFrame = pEvent->position().toPoint();
    if (DropsOnGrid(ptFrame)) {
        const QPoint ptGrid = ptFrame - m_view.GetGrid().mapTo(this, QPoint(0, 0));
        emit filesDroppedOnGrid(ptGrid, astrFiles);
    } else {
        emit filesDroppedElsewhere(astrFiles);
    }
}

} // namespace kovrel::app
