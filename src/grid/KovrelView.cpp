#include "grid/KovrelView.h"

#include "engine/Patterns.h"
#include "ui/MsgBox.h"

#include <QAction>
#include <QResizeEvent>

#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

namespace kovrel::grid {

namespace {

std::string CurrentDir() {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::current_path(ec);
    return ec ? std::string() : path.string();
}

// The stored pattern text has bare line feeds; the dialog's edit box wants CR LF.
std::string ToCrLf(const std::string& strText) {
    std::string strOut;
    strOut.reserve(strText.size() + strText.size() / 16);
    for (char c : strText) {
        if (c == '\n') {
            strOut += '\r';
        }
        strOut += c;
    }
    return strOut;
}

// The folder part of a chosen file, its separator included; a path without one
// stays whole.
std::string FolderOf(const std::string& strPath) {
    const std::size_t nSep = strPath.rfind('/');
    return nSep == std::string::npos ? strPath : strPath.substr(0, nSep + 1);
}

// Menu text (a tab before the key name shown), status-bar prompt, shortcuts,
// tool tip, What's This; the handler; whether the keys pass the editor.
const VIEWCOMMAND kViewCommands[] = {
    {{ID_ITEM_DETAIL,
      "詳細設定(&O)...\tF5",
      "ファイル同期に関する詳細設定\t詳細設定",
      {QKeyCombination(Qt::Key_F5), kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemDetail,
     true},
    {{ID_ITEM_UP,
      "項目を１つ上へ(&U)\tCtrl-Up",
      "現在選択されている項目を１つ上に移動する\t項目を１つ上へ",
      {Qt::CTRL | Qt::Key_Up, kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemUp,
     true},
    {{ID_ITEM_DOWN,
      "項目を１つ下へ(&D)\tCtrl-Down",
      "現在選択されている項目を１つ下に移動する\t項目を１つ下へ",
      {Qt::CTRL | Qt::Key_Down, kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemDown,
     true},
    {{ID_ITEM_INSERT,
      "新規項目を挿入(&I)\tCtrl-I",
      "選択された位置に新規項目を挿入する。\t新規項目を挿入",
      {Qt::CTRL | Qt::Key_I, kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemInsert,
     true},
    {{ID_BROWSE_FILE,
      "ファイル参照(&F)...\tF3",
      nullptr,
      {QKeyCombination(Qt::Key_F3), kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnBrowseFile,
     true},
    {{ID_BROWSE_DIR,
      "ディレクトリ参照(&R)...\tF4",
      nullptr,
      {QKeyCombination(Qt::Key_F4), kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnBrowseDir,
     true},
    {{ID_ITEM_CHANGE,
      "変更(&C)\tF2",
      nullptr,
      {QKeyCombination(Qt::Key_F2), kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemChange,
     true},
    {{ID_EDIT_CUT,
      "切り取り(&T)",
      "選択範囲を切り取ってクリップボードに移動します",
      {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete},
      nullptr,
      nullptr},
     &CKovrelView::OnEditCut,
     false},
    {{ID_EDIT_COPY,
      "コピー(&C)",
      "選択範囲をコピーしてクリップボードに保存します",
      {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert},
      nullptr,
      nullptr},
     &CKovrelView::OnEditCopy,
     false},
    {{ID_EDIT_PASTE,
      "貼り付け(&P)",
      "クリップボードの内容を貼り付けます",
      {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert},
      nullptr,
      nullptr},
     &CKovrelView::OnEditPaste,
     false},
    {{ID_ITEM_DELETE,
      "項目削除(&D)\tCtrl-Del",
      "現在選択されている項目を削除する。",
      {Qt::CTRL | Qt::Key_Delete, kNoKey},
      nullptr,
      nullptr},
     &CKovrelView::OnItemDelete,
     true},
};

} // namespace

std::span<const VIEWCOMMAND> CKovrelView::Commands() {
    return kViewCommands;
}

CKovrelView::CKovrelView(QWidget* pParent)
    : QWidget(pParent), m_grid(this), m_btnSync(QStringLiteral("Synchronize !!"), this) {
    m_grid.CreateGrid(this);
    // Like a dialog's default button: Enter or Space on it presses it.
    m_btnSync.setAutoDefault(true);
    m_btnSync.setDefault(true);
    m_btnSync.setFocusPolicy(Qt::StrongFocus);
    connect(&m_btnSync, &QPushButton::clicked, this, &CKovrelView::synchronize);
    setTabOrder(&m_grid, &m_btnSync);

    m_strFolder1 = CurrentDir();
    m_strFolder2 = m_strFolder1;

    std::vector<QKeyCombination> vecPassKeys;
    for (const VIEWCOMMAND& cmd : Commands()) {
        QAction* pAction = CreateCommandAction(cmd.def, this);
        pAction->setShortcutContext(Qt::WindowShortcut);
        connect(pAction, &QAction::triggered, this, cmd.pfnHandler);
        addAction(pAction);
        m_mapActions[cmd.def.nId] = pAction;
        if (cmd.bPassFromEditor) {
            for (const QKeyCombination key : cmd.def.aKeys) {
                if (key.key() != Qt::Key_unknown) {
                    vecPassKeys.push_back(key);
                }
            }
        }
    }
    m_grid.GetEdit().SetPassKeys(std::move(vecPassKeys));

    connect(&m_grid, &CItemGrid::stateChanged, this, &CKovrelView::UpdateCommands);
    UpdateCommands();
    Layout();
}

CKovrelView::~CKovrelView() = default;

QAction* CKovrelView::GetAction(int nCommandId) const {
    const auto it = m_mapActions.find(nCommandId);
    return it == m_mapActions.end() ? nullptr : it->second;
}

bool CKovrelView::IsCommandEnabled(int nCommandId) const {
    const int nRow = m_grid.GetCurRow();
    const int nCount = m_grid.GetCount();
    const bool bItem = nRow >= 0 && nRow < nCount;
    switch (nCommandId) {
    case ID_ITEM_DETAIL:
    case ID_ITEM_DELETE:
        return !m_bRunning && bItem;
    case ID_ITEM_UP:
        return !m_bRunning && nRow > 0 && nRow < nCount;
    case ID_ITEM_DOWN:
        return !m_bRunning && nRow >= 0 && nRow < nCount - 1;
    case ID_ITEM_INSERT:
        return !m_bRunning && nRow != -1;
    case ID_BROWSE_FILE:
    case ID_BROWSE_DIR:
    case ID_ITEM_CHANGE:
        return !m_bRunning;
    case ID_EDIT_CUT:
    case ID_EDIT_COPY:
    case ID_EDIT_PASTE:
        return true; // they act only on an open editor, which a run closes
    default:
        return false;
    }
}

void CKovrelView::UpdateCommands() {
    for (const auto& [nId, pAction] : m_mapActions) {
        pAction->setEnabled(IsCommandEnabled(nId));
    }
}

void CKovrelView::OnInitialUpdate() {
    m_btnSync.setFocus(Qt::OtherFocusReason);
}

void CKovrelView::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    Layout();
}

void CKovrelView::Layout() {
    const int cw = width();
    const int ch = height();
    m_grid.setGeometry(0, 0, cw, std::max(ch - kButtonStrip, 0));
    m_btnSync.setGeometry(0, ch - kButtonStrip, cw, kButtonStrip);
}

void CKovrelView::ResetGrid() {
    m_grid.ResetList();
    m_grid.SelectRow(0, -1);
}

void CKovrelView::LoadList(CSyncItemList& list) {
    m_grid.LoadList(list);
}

void CKovrelView::SetRunning(bool bRunning) {
    m_bRunning = bRunning;
    m_grid.SetRunning(bRunning);
    UpdateCommands();
}

void CKovrelView::SetModifiedFlag() {
    if (m_pDoc != nullptr) {
        m_pDoc->SetModifiedFlag(true);
    }
}

IViewDialogs& CKovrelView::Dialogs() {
    if (m_pDialogs != nullptr) {
        return *m_pDialogs;
    }
    if (!m_pStdDialogs) {
        m_pStdDialogs = CreateStandardViewDialogs();
    }
    return *m_pStdDialogs;
}

void CKovrelView::CommitEdit() {
    if (m_grid.IsEditing()) {
        m_grid.EndEdit(true);
    }
}

void CKovrelView::OnDropFile(const QPoint& pt, const std::string& strPath, int nIndex) {
    if (pt.y() >= height() - kButtonStrip) {
        return; // the button strip takes no files
    }
    m_grid.DropFile(pt - m_grid.pos(), strPath, nIndex);
}

// --- commands ---------------------------------------------------------------

void CKovrelView::OnItemChange() {
    if (IsCommandEnabled(ID_ITEM_CHANGE)) {
        m_grid.BeginEdit();
    }
}

void CKovrelView::OnBrowseFile() {
    if (m_grid.GetCurSide() == 0) {
        BrowseFile1();
    } else {
        BrowseFile2();
    }
}

void CKovrelView::OnBrowseDir() {
    if (m_grid.GetCurSide() == 0) {
        BrowseDir1();
    } else {
        BrowseDir2();
    }
}

void CKovrelView::PutPath(int nRow, int nSide, const std::string& strPath) {
    if (nRow < m_grid.GetCount()) {
        m_grid.SetCellText(nRow, nSide, strPath);
    } else {
        m_grid.AppendItem(nSide, strPath);
    }
}

void CKovrelView::MoveOnAfterBrowse(int nRow, int nSide) {
    if (nSide == 0) {
        m_grid.SetCurSide(1);
        m_grid.SelectRow(nRow, -1);
    } else {
        m_grid.SetCurSide(0);
        m_grid.SelectRow(nRow + 1, -1);
    }
}

// Every command that acts on the list: refused when its rule says it is
// disabled (whatever route it came by), and an open edit is committed to its
// own cell first, so the command never writes the text into another item.
bool CKovrelView::BeginCommand(int nId) {
    if (!IsCommandEnabled(nId)) {
        return false;
    }
    CommitEdit();
    return true;
}

void CKovrelView::BrowseFile(int nSide) {
    if (!BeginCommand(ID_BROWSE_FILE)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    if (nRow == -1) {
        return;
    }
    std::string& strFolder = nSide == 0 ? m_strFolder1 : m_strFolder2;
    // The dialog may change the process's current directory; put it back either way.
    std::error_code ec;
    const std::filesystem::path pathSaved = std::filesystem::current_path(ec);
    std::string strPath;
    const bool bOk = Dialogs().BrowseFile(this, strPath, strFolder);
    if (bOk) {
        PutPath(nRow, nSide, strPath);
        MoveOnAfterBrowse(nRow, nSide);
        SetModifiedFlag();
        strFolder = FolderOf(strPath);
    }
    if (!ec) {
        std::filesystem::current_path(pathSaved, ec);
    }
}

void CKovrelView::BrowseDir(int nSide) {
    if (!BeginCommand(ID_BROWSE_DIR)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    if (nRow == -1) {
        return;
    }
    std::string& strFolder = nSide == 0 ? m_strFolder1 : m_strFolder2;
    std::string strPath = strFolder;
    if (!Dialogs().BrowseDir(this, strPath)) {
        return;
    }
    PutPath(nRow, nSide, strPath);
    MoveOnAfterBrowse(nRow, nSide);
    SetModifiedFlag();
    strFolder = strPath;
}

void CKovrelView::OnItemDetail() {
    if (!BeginCommand(ID_ITEM_DETAIL)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    const SYNCITEM* pItem = m_grid.GetItem(nRow);
    if (pItem == nullptr) {
        return; // the blank row has no settings
    }
    std::uint32_t dwOption = pItem->dwOption;
    const std::string strGiven = ToCrLf(pItem->lpszPattern.value_or(std::string()));
    std::string strPattern = strGiven;
    if (!Dialogs().RunDetail(this, dwOption, strPattern)) {
        return;
    }
    SYNCITEM* pEdited = m_grid.GetItem(nRow);
    if (pEdited == nullptr) {
        return;
    }
    if (dwOption == pEdited->dwOption && strPattern == strGiven) {
        m_grid.Refresh();
        return;
    }
    // The last confirmed settings become those of every item created from now on.
    m_grid.m_dwNewOption = dwOption;
    pEdited->dwOption = dwOption;
    try {
        m_grid.SetPattern(nRow, NormalizePatternText(strPattern));
    } catch (const std::bad_alloc&) {
        // The item keeps its old pattern text; the option word is already stored.
        ui::ShowMessageBox(
            this, QStringLiteral("メモリが不足しています。変更された情報の更新が行えません。"),
            ui::MB_OK | ui::MB_ICONEXCLAMATION);
    }
    SetModifiedFlag();
    m_grid.Refresh();
}

void CKovrelView::OnItemUp() {
    MoveItem(ID_ITEM_UP, -1);
}

void CKovrelView::OnItemDown() {
    MoveItem(ID_ITEM_DOWN, 1);
}

// Exchanges the current item with its neighbour nDelta rows away and follows it.
void CKovrelView::MoveItem(int nId, int nDelta) {
    if (!BeginCommand(nId)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    const int nOther = nRow + nDelta;
    if (nRow >= 0 && nRow < m_grid.GetCount() && nOther >= 0 && nOther < m_grid.GetCount()) {
        m_grid.SwapItems(nRow, nOther);
        m_grid.SelectRow(nOther, -1);
        SetModifiedFlag();
    }
}

void CKovrelView::OnItemInsert() {
    if (!BeginCommand(ID_ITEM_INSERT)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    if (nRow == -1) {
        return;
    }
    m_grid.InsertItem(nRow, std::string(), std::string());
    m_grid.SelectRow(nRow, -1);
    SetModifiedFlag();
}

void CKovrelView::OnItemDelete() {
    if (!BeginCommand(ID_ITEM_DELETE)) {
        return;
    }
    const int nRow = m_grid.GetCurRow();
    if (nRow == -1) {
        return;
    }
    m_grid.RemoveItem(nRow);
    m_grid.SelectRow(nRow, -1);
    SetModifiedFlag();
}

void CKovrelView::OnEditCut() {
    m_grid.EditCut();
}

void CKovrelView::OnEditCopy() {
    m_grid.EditCopy();
}

void CKovrelView::OnEditPaste() {
    m_grid.EditPaste();
}

} // namespace kovrel::grid
