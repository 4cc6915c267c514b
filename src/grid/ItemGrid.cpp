#include "grid/ItemGrid.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>

namespace kovrel::grid {

namespace {
constexpr int kBorder = 1; // the grid's thin border
constexpr int kWheelLines = 3;
} // namespace

CItemGrid::CItemGrid(QWidget* pParent)
    : QWidget(pParent), m_btnFile1(QStringLiteral("File1"), this),
      m_btnDir1(QStringLiteral("Dir1"), this), m_btnOption(QStringLiteral("<->"), this),
      m_btnFile2(QStringLiteral("File2"), this), m_btnDir2(QStringLiteral("Dir2"), this),
      m_scrollBar(Qt::Vertical, this), m_edit(this) {
    // Until CreateGrid has run the children stay hidden and no layout happens.
    for (QWidget* pChild :
         std::initializer_list<QWidget*>{&m_btnFile1, &m_btnDir1, &m_btnOption, &m_btnFile2,
                                         &m_btnDir2, &m_scrollBar, &m_edit}) {
        pChild->hide();
    }
}

CItemGrid::~CItemGrid() {
    // The editor's loss of focus while the widgets are torn down must not write
    // into a list that is going away.
    m_edit.m_pGrid = nullptr;
}

int CItemGrid::CreateGrid(IGridHost* pView) {
    m_pView = pView;
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContentsMargins(kBorder, kBorder, kBorder, kBorder);

    m_scrollBar.setRange(0, 0);
    m_scrollBar.setValue(0);
    m_scrollBar.setSingleStep(1);
    // No page size: the thumb keeps a fixed size whatever the number of items,
    // and page actions are carried out by the grid's own arithmetic.
    m_scrollBar.setPageStep(0);
    m_scrollBar.setFocusPolicy(Qt::NoFocus);
    connect(&m_scrollBar, &QAbstractSlider::actionTriggered, this, &CItemGrid::OnScrollAction);

    MeasureFont();
    m_painter.LoadGlyphs();
    m_nav.m_nScrollWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &m_scrollBar);

    const std::pair<QPushButton*, int> aButtons[] = {{&m_btnFile1, ID_BTN_FILE1},
                                                     {&m_btnDir1, ID_BTN_DIR1},
                                                     {&m_btnOption, ID_BTN_OPTION},
                                                     {&m_btnFile2, ID_BTN_FILE2},
                                                     {&m_btnDir2, ID_BTN_DIR2}};
    for (const auto& [pButton, nId] : aButtons) {
        // The header buttons never take the focus: Tab goes between the grid and
        // the view's button, and a click keeps the keys with the grid.
        pButton->setFocusPolicy(Qt::NoFocus);
        pButton->setAutoDefault(false);
        const int nButtonId = nId;
        connect(pButton, &QPushButton::clicked, this, [this, nButtonId] { OnHeader(nButtonId); });
        pButton->show();
    }
    m_scrollBar.show();

    m_edit.CreateEdit(this);
    m_bEditing = false;
    m_painter.m_crText = QColor(0, 0, 0);
    m_painter.m_crBack = QColor(255, 255, 255);
    m_bCreated = true;
    Layout();
    return 1;
}

QPoint CItemGrid::ClientOrigin() const noexcept {
    return contentsRect().topLeft();
}

QPushButton* CItemGrid::GetHeaderButton(int nId) noexcept {
    switch (nId) {
    case ID_BTN_FILE1:
        return &m_btnFile1;
    case ID_BTN_DIR1:
        return &m_btnDir1;
    case ID_BTN_OPTION:
        return &m_btnOption;
    case ID_BTN_FILE2:
        return &m_btnFile2;
    case ID_BTN_DIR2:
        return &m_btnDir2;
    default:
        return nullptr;
    }
}

void CItemGrid::MeasureFont() {
    // The rows use the widget's font, enlarged where it is too small for a row
    // to hold a whole glyph: the row height is the font's height plus one.
    m_fontRows = font();
    for (int i = 0; i < 16 && QFontMetrics(m_fontRows).height() < CGridNav::kGlyphSize; ++i) {
        if (m_fontRows.pointSizeF() > 0) {
            m_fontRows.setPointSizeF(m_fontRows.pointSizeF() + 0.5);
        } else {
            m_fontRows.setPixelSize(m_fontRows.pixelSize() + 1);
        }
    }
    m_nav.m_nRowHeight = QFontMetrics(m_fontRows).height() + 1;
    m_edit.setFont(m_fontRows);
}

void CItemGrid::Layout() {
    if (!m_bCreated) {
        return;
    }
    const QRect rcClient = contentsRect();
    m_nav.m_nClientWidth = rcClient.width();
    m_nav.m_nClientHeight = rcClient.height();
    const QPoint org = rcClient.topLeft();
    const int cw = m_nav.m_nClientWidth;
    const int nScroll = m_nav.m_nScrollWidth;
    m_scrollBar.setGeometry(org.x() + cw - nScroll, org.y(), nScroll, rcClient.height());

    const int w1 = m_nav.Width1();
    const int w2 = m_nav.Width2();
    const int h = CGridNav::kHeaderHeight;
    const int wm = CGridNav::kMidWidth;
    m_btnFile1.setGeometry(org.x(), org.y(), w1 / 2, h);
    m_btnDir1.setGeometry(org.x() + w1 / 2, org.y(), w1 / 2, h);
    m_btnOption.setGeometry(org.x() + w1, org.y(), wm, h);
    m_btnFile2.setGeometry(org.x() + w1 + wm, org.y(), w2 / 2, h);
    m_btnDir2.setGeometry(org.x() + w1 + wm + w2 / 2, org.y(), w2 / 2, h);
}

void CItemGrid::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    Layout();
}

void CItemGrid::changeEvent(QEvent* pEvent) {
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange && m_bCreated) {
        MeasureFont();
        update();
    }
}

void CItemGrid::Changed() {
    const QSignalBlocker block(&m_scrollBar);
    m_scrollBar.setRange(0, m_nav.m_nCount);
    m_scrollBar.setValue(m_nav.m_nPos);
    update();
    emit stateChanged();
}

void CItemGrid::Refresh() {
    update();
    emit stateChanged();
}

// --- painting ---------------------------------------------------------------

void CItemGrid::paintEvent(QPaintEvent* /*pEvent*/) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!m_bCreated) {
        return;
    }
    const QRect rcClient = contentsRect();
    painter.setClipRect(rcClient);
    painter.translate(rcClient.topLeft());
    painter.setFont(m_fontRows);
    // Gaps the halved button widths leave in the header.
    painter.fillRect(QRect(0, 0, m_nav.RightEdge(), CGridNav::kHeaderHeight),
                     palette().color(QPalette::Button));
    // Only the rows that fit are painted: the cost never grows with the list.
    const int nSlots = m_nav.PaintSlots();
    for (int i = 0; i < nSlots; ++i) {
        const int nRow = m_nav.m_nPos + i;
        m_painter.PaintRow(painter, m_nav, nRow, m_list.GetAt(nRow));
    }
}

// --- navigation -------------------------------------------------------------

int CItemGrid::SelectRow(int nRow, int nPos) {
    if (m_nav.SelectRow(nRow, nPos)) {
        Changed();
    }
    return nRow;
}

void CItemGrid::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    GridKey eKey;
    switch (pEvent->key()) {
    case Qt::Key_PageUp:
        eKey = GridKey::PageUp;
        break;
    case Qt::Key_PageDown:
        eKey = GridKey::PageDown;
        break;
    case Qt::Key_Left:
        eKey = GridKey::Left;
        break;
    case Qt::Key_Right:
        eKey = GridKey::Right;
        break;
    case Qt::Key_Up:
        eKey = GridKey::Up;
        break;
    case Qt::Key_Down:
        eKey = GridKey::Down;
        break;
    case Qt::Key_F2:
        pEvent->accept();
        BeginEdit();
        return;
    default:
        QWidget::keyPressEvent(pEvent);
        return;
    }
    pEvent->accept();
    if (m_nav.Key(eKey)) {
        Changed();
    }
}

void CItemGrid::OnScrollAction(int nAction) {
    // A scroll moves the rows under an open editor: end the edit first, keeping
    // its text, as a click on the scroll bar would.
    if (m_bEditing) {
        EndEdit(true);
    }
    bool bChanged = false;
    switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub:
        bChanged = m_nav.Scroll(GridScroll::LineUp, 0);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        bChanged = m_nav.Scroll(GridScroll::LineDown, 0);
        break;
    case QAbstractSlider::SliderPageStepSub:
        bChanged = m_nav.Scroll(GridScroll::PageUp, 0);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        bChanged = m_nav.Scroll(GridScroll::PageDown, 0);
        break;
    case QAbstractSlider::SliderMove:
        bChanged = m_nav.Scroll(GridScroll::ThumbTrack, m_scrollBar.sliderPosition());
        break;
    case QAbstractSlider::SliderToMinimum:
        bChanged = m_nav.Scroll(GridScroll::ThumbPosition, 0);
        break;
    case QAbstractSlider::SliderToMaximum:
        bChanged = m_nav.Scroll(GridScroll::ThumbPosition, m_nav.m_nCount);
        break;
    default:
        break;
    }
    // The value the scroll bar settles on is the grid's own position.
    m_scrollBar.setSliderPosition(m_nav.m_nPos);
    if (bChanged) {
        update();
        emit stateChanged();
    }
}

void CItemGrid::ScrollBy(int nLines) {
    if (m_bEditing) {
        EndEdit(true);
    }
    const int nPos = std::clamp(m_nav.m_nPos + nLines, 0, m_nav.m_nCount);
    if (nPos != m_nav.m_nPos && m_nav.Scroll(GridScroll::ThumbPosition, nPos)) {
        Changed();
    }
}

void CItemGrid::wheelEvent(QWheelEvent* pEvent) {
    // Three rows a notch, moving the current row along like the thumb does.
    const int nNotches = pEvent->angleDelta().y() / 120;
    if (nNotches != 0) {
        ScrollBy(-nNotches * kWheelLines);
    }
    pEvent->accept();
}

void CItemGrid::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton || !m_bCreated) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    const QPoint pt = pEvent->position().toPoint() - ClientOrigin();
    const int nOldRow = m_nav.m_nCurRow;
    const int nOldSide = m_nav.m_nCurSide;
    const GridHit hit = m_nav.HitTest(pt.x(), pt.y());
    if (!hit.bInList) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    if (hit.nSide >= 0) {
        m_nav.m_nCurSide = hit.nSide;
    }
    SelectRow(hit.nRow, -1);
    setFocus(Qt::MouseFocusReason);
    pEvent->accept();
    if (hit.nSide < 0) {
        if (!m_bRunning && m_pView != nullptr) {
            m_pView->OnItemDetail();
        }
    } else if (m_nav.m_nCurRow == nOldRow && m_nav.m_nCurSide == nOldSide) {
        BeginEdit();
    }
}

void CItemGrid::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    // The second press of a double-click does nothing more: editing by mouse
    // takes a second, separate click.
    pEvent->accept();
}

void CItemGrid::OnHeader(int nId) {
    if (m_bRunning || m_pView == nullptr) {
        return;
    }
    if (nId == ID_BTN_OPTION) {
        m_pView->OnItemDetail();
        return;
    }
    const int nSide = (nId == ID_BTN_FILE1 || nId == ID_BTN_DIR1) ? 0 : 1;
    if (m_nav.m_nCurSide != nSide) {
        m_nav.m_nCurSide = nSide;
        SelectRow(m_nav.m_nCurRow, -1);
    }
    switch (nId) {
    case ID_BTN_FILE1:
        m_pView->BrowseFile1();
        break;
    case ID_BTN_DIR1:
        m_pView->BrowseDir1();
        break;
    case ID_BTN_FILE2:
        m_pView->BrowseFile2();
        break;
    case ID_BTN_DIR2:
        m_pView->BrowseDir2();
        break;
    default:
        break;
    }
}

// --- list operations --------------------------------------------------------

int CItemGrid::SetCellText(int nRow, int nSide, const std::string& strText) {
    SYNCITEM* pItem = m_list.GetAt(nRow);
    if (pItem == nullptr) {
        return 0;
    }
    if (nSide == 0) {
        m_list.SetAt(nRow, strText.c_str(), nullptr, nullptr);
    } else {
        m_list.SetAt(nRow, nullptr, strText.c_str(), nullptr);
    }
    Refresh();
    return 0;
}

int CItemGrid::AppendItem(int nSide, const std::string& strText) {
    SYNCITEM* pItem = nSide == 0 ? m_list.SetAt(-1, strText.c_str(), "", nullptr)
                                 : m_list.SetAt(-1, "", strText.c_str(), nullptr);
    if (pItem != nullptr) {
        pItem->dwOption = m_dwNewOption;
    }
    m_nav.SetCount(m_list.GetCount());
    Changed();
    return 0;
}

int CItemGrid::InsertItem(int nRow, const std::string& strPath1, const std::string& strPath2) {
    if (nRow < 0 || nRow >= m_list.GetCount()) {
        return 0;
    }
    SYNCITEM* pItem = m_list.InsertAt(nRow, strPath1.c_str(), strPath2.c_str(), nullptr);
    if (pItem != nullptr) {
        pItem->dwOption = m_dwNewOption;
    }
    m_nav.SetCount(m_list.GetCount());
    Changed();
    return 0;
}

int CItemGrid::RemoveItem(int nRow) {
    if (nRow < 0 || nRow >= m_list.GetCount()) {
        return 0;
    }
    m_list.RemoveAt(nRow);
    m_nav.SetCount(m_list.GetCount());
    Changed();
    return 0;
}

int CItemGrid::SwapItems(int nRow1, int nRow2) {
    if (m_list.Swap(nRow1, nRow2) == 0) {
        Refresh();
    }
    return 0;
}

void CItemGrid::ResetList() {
    if (m_bEditing) {
        EndEdit(false); // the items it was editing are going away
    }
    m_list.RemoveAll();
    m_nav.SetCount(0);
    m_nav.m_nPos = 0;
    m_nav.m_nCurRow = 0;
    m_nav.m_nCurSide = 0;
    Changed();
}

void CItemGrid::LoadList(CSyncItemList& list) {
    if (m_bEditing) {
        EndEdit(false);
    }
    m_list.SwapItems(list);
    std::swap(m_list.m_strDocLog, list.m_strDocLog);
    m_nav.SetCount(m_list.GetCount());
    Changed();
}

void CItemGrid::SetPattern(int nRow, const std::string& strPattern) {
    if (m_list.GetAt(nRow) != nullptr) {
        m_list.SetAt(nRow, nullptr, nullptr, strPattern.c_str());
    }
}

// --- in-place editing -------------------------------------------------------

void CItemGrid::BeginEdit() {
    if (!m_bCreated || m_bRunning) {
        return;
    }
    const int nRow = m_nav.m_nCurRow;
    const int nSide = m_nav.m_nCurSide;
    if (m_bEditing && m_edit.m_nRow == nRow && m_edit.m_nSide == nSide) {
        m_edit.setFocus(Qt::OtherFocusReason); // F2 again keeps what was typed
        return;
    }
    std::string strText;
    if (const SYNCITEM* pItem = m_list.GetAt(nRow)) {
        const OptStr& strPath = nSide == 0 ? pItem->lpszPath1 : pItem->lpszPath2;
        strText = strPath.value_or(std::string());
    }
    m_edit.Load(strText, nRow, nSide);
    const QPoint org = ClientOrigin();
    m_edit.setGeometry(org.x() + m_nav.CellLeft(nSide), org.y() + m_nav.RowTop(nRow),
                       m_nav.Width1(), m_nav.m_nRowHeight);
    m_edit.show();
    m_bEditing = true;
    m_edit.setFocus(Qt::OtherFocusReason);
    emit stateChanged();
}

void CItemGrid::EndEdit(bool bCommit) {
    if (!m_bEditing) {
        return; // the loss of focus that hiding the editor causes ends nothing twice
    }
    m_bEditing = false;
    // Keep the keyboard with the grid rather than letting it wander to the next
    // child when the editor disappears.
    if (window()->focusWidget() == &m_edit) {
        setFocus(Qt::OtherFocusReason);
    }
    m_edit.hide();

    const int nRow = m_edit.m_nRow;
    const int nSide = m_edit.m_nSide;
    bool bWritten = false;
    if (bCommit && nRow >= 0) {
        const QByteArray text = m_edit.text().toUtf8();
        const std::string strText(text.constData(), std::size_t(text.size()));
        if (nRow < m_list.GetCount()) {
            // Only a real change is written: compare with the text the editor was
            // given first, so that a path holding bytes that are not UTF-8 stays
            // as it is when nothing was typed.
            const SYNCITEM* pItem = m_list.GetAt(nRow);
            const OptStr& strOld = nSide == 0 ? pItem->lpszPath1 : pItem->lpszPath2;
            if (m_edit.IsChanged() && strText != strOld.value_or(std::string())) {
                SetCellText(nRow, nSide, strText);
                bWritten = true;
            }
        } else if (!strText.empty()) {
            AppendItem(nSide, strText);
            bWritten = true;
        }
    }
    if (bWritten && m_pView != nullptr) {
        m_pView->SetModifiedFlag();
    }
    Refresh();
}

void CItemGrid::EditCut() {
    if (m_bEditing) {
        m_edit.cut();
    }
}

void CItemGrid::EditCopy() {
    if (m_bEditing) {
        m_edit.copy();
    }
}

void CItemGrid::EditPaste() {
    if (m_bEditing) {
        m_edit.paste();
    }
}

// --- drops and the running state --------------------------------------------

void CItemGrid::DropFile(const QPoint& pt, const std::string& strPath, int nIndex) {
    if (!m_bCreated || m_bRunning) {
        return;
    }
    const QPoint ptClient = pt - ClientOrigin();
    const GridHit hit = m_nav.DropTarget(ptClient.x(), ptClient.y(), nIndex);
    if (!hit.bInList || hit.nSide < 0) {
        return; // the header and the middle column take no files
    }
    if (m_bEditing) {
        EndEdit(true);
    }
    m_nav.m_nCurSide = hit.nSide;
    if (hit.nRow < m_list.GetCount()) {
        SetCellText(hit.nRow, hit.nSide, strPath);
    } else {
        AppendItem(hit.nSide, strPath);
    }
    if (m_pView != nullptr) {
        m_pView->SetModifiedFlag();
    }
    if (nIndex == 0) {
        SelectRow(hit.nRow, -1);
        setFocus(Qt::OtherFocusReason);
    }
}

void CItemGrid::SetRunning(bool bRunning) {
    if (bRunning && m_bEditing) {
        EndEdit(true);
    }
    m_bRunning = bRunning;
    for (QPushButton* pButton : {&m_btnFile1, &m_btnDir1, &m_btnOption, &m_btnFile2, &m_btnDir2}) {
        pButton->setEnabled(!bRunning);
    }
    emit stateChanged();
}

} // namespace kovrel::grid
