#include "dialogs/SyncLogDlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include "dialogs/LogListBox.h"

#include <algorithm>

namespace kovrel::dialogs {

CSyncLogDlg::CSyncLogDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QStringLiteral("Synchronize Log"),
                          QString::fromUtf8("ＭＳ 明朝"), 12, 244, 146) {
    // Modeless, with a caption and a sizing border but no system menu.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);

    m_pButton = new QPushButton(QStringLiteral("OK"), this);
    Place(m_pButton, 97, 125, 50, 14);
    m_pButton->setDefault(true);
    connect(m_pButton, &QPushButton::clicked, this, &CSyncLogDlg::accept);
    m_pList = new CLogListBox(this);
    Place(m_pList, 8, 5, 228, 116);

    // The preview's controls, hidden in a run.
    m_pRunButton = new QPushButton(QString::fromUtf8("同期を実行"), this);
    Place(m_pRunButton, 60, 125, 60, 14);
    m_pRunButton->hide();
    connect(m_pRunButton, &QPushButton::clicked, this, [this] {
        // The run asks its own questions and shows itself here again.
        emit runRequested();
    });
    m_pCloseButton = new QPushButton(QString::fromUtf8("閉じる"), this);
    Place(m_pCloseButton, 124, 125, 60, 14);
    m_pCloseButton->hide();
    connect(m_pCloseButton, &QPushButton::clicked, this, &CSyncLogDlg::accept);
    m_pCounts = new QPlainTextEdit(this);
    m_pCounts->setReadOnly(true);
    m_pCounts->setObjectName(QStringLiteral("PreviewCounts"));
    m_pCounts->hide();
    // The progress halves, in a smaller type so two lines fit beside the button.
    const auto newProgressLabel = [this](const char* pszName, Qt::Alignment align) {
        auto* pLabel = new QLabel(this);
        pLabel->setObjectName(QString::fromLatin1(pszName));
        pLabel->setWordWrap(true);
        pLabel->setAlignment(align | Qt::AlignVCenter);
        QFont font = pLabel->font();
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * 0.8);
        else if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, font.pixelSize() * 4 / 5));
        pLabel->setFont(font);
        pLabel->hide();
        return pLabel;
    };
    m_pProgressDone = newProgressLabel("RunProgressDone", Qt::AlignRight);
    m_pProgressRate = newProgressLabel("RunProgressRate", Qt::AlignLeft);
    m_strRunTitle = windowTitle();
    m_bInitialized = true;
}

void CSyncLogDlg::SetPreviewLayout(bool bPreview, bool bDone) {
    m_bPreview = bPreview;
    m_bPreviewDone = bPreview && bDone;
    setWindowTitle(bPreview
                       ? QString::fromUtf8("プレビュー（何も変更していません） - ") + m_strRunTitle
                       : m_strRunTitle);
    m_pCounts->setVisible(bPreview);
    m_pButton->setVisible(!m_bPreviewDone);
    m_pButton->setDefault(!m_bPreviewDone);
    m_pRunButton->setVisible(m_bPreviewDone);
    m_pCloseButton->setVisible(m_bPreviewDone);
    // Enter after a preview starts nothing.
    m_pCloseButton->setDefault(m_bPreviewDone);
    Relayout();
}

void CSyncLogDlg::BeginPreview(ISyncLogView* pView) {
    m_pCounts->clear();
    SetPreviewLayout(true, false);
    m_pView = pView;
    ResetContent();
    show();
    SetButtonText(QStringLiteral("Cancel"));
    m_bCancel = false;
}

void CSyncLogDlg::EndPreview() {
    ClearProgress();
    SetButtonText(QStringLiteral("OK"));
    SetPreviewLayout(true, true);
    BringToTop();
    m_pCloseButton->setFocus(Qt::OtherFocusReason);
}

void CSyncLogDlg::MarkLastLine(LogLineMark mark) {
    m_pList->MarkLastLine(mark);
}

void CSyncLogDlg::AddCountsLine(const QString& strLine) {
    m_pCounts->appendPlainText(strLine);
}

QString CSyncLogDlg::CountsText() const {
    return m_pCounts->toPlainText();
}

void CSyncLogDlg::BeginRun(ISyncLogView* pView) {
    if (m_bPreview)
        SetPreviewLayout(false, false);
    m_pView = pView;
    ResetContent();
    show();
    SetButtonText(QStringLiteral("Cancel"));
    m_bCancel = false;
}

void CSyncLogDlg::EndRun() {
    ClearProgress();
    SetButtonText(QStringLiteral("OK"));
    BringToTop();
}

void CSyncLogDlg::SetProgress(const QString& strDone, const QString& strRate) {
    m_pProgressDone->setText(strDone);
    m_pProgressRate->setText(strRate);
    m_pProgressDone->setVisible(!strDone.isEmpty());
    m_pProgressRate->setVisible(!strRate.isEmpty());
}

void CSyncLogDlg::ClearProgress() {
    SetProgress(QString(), QString());
}

QString CSyncLogDlg::ProgressText() const {
    QStringList astr;
    for (const QLabel* pLabel : {m_pProgressDone, m_pProgressRate})
        if (!pLabel->isHidden() && !pLabel->text().isEmpty())
            astr.append(pLabel->text());
    return astr.join(QStringLiteral(" | "));
}

void CSyncLogDlg::ResetContent() {
    m_pList->ResetContent();
}

void CSyncLogDlg::AddString(const QString& strLine) {
    // Appended, then scrolled so the newest line is in view.
    m_pList->AddStringAndScroll(strLine);
}

void CSyncLogDlg::AddString(const std::string& strLine) {
    AddString(QString::fromUtf8(strLine.data(), qsizetype(strLine.size())));
}

void CSyncLogDlg::SetButtonText(const QString& strText) {
    m_pButton->setText(strText);
}

QString CSyncLogDlg::GetButtonText() const {
    return m_pButton->text();
}

void CSyncLogDlg::BringToTop() {
    raise();
    activateWindow();
}

int CSyncLogDlg::GetCount() const {
    return m_pList->GetCount();
}

QString CSyncLogDlg::GetText(int nIndex) const {
    return m_pList->GetText(nIndex);
}

int CSyncLogDlg::GetTopIndex() const {
    return m_pList->GetTopIndex();
}

int CSyncLogDlg::GetVisibleLineCount() const {
    return m_pList->VisibleLineCount();
}

void CSyncLogDlg::accept() {
    if (m_pButton->text() == QLatin1String("OK")) {
        if (m_pView != nullptr) {
            m_pView->SetFocusToGrid();
        }
        ui::CTemplateDialog::accept(); // hides the window
        return;
    }
    // "Cancel" while a run works: the run sees the flag at its next poll.
    m_bCancel = true;
}

void CSyncLogDlg::reject() {
    // Escape only hides the window; a run goes on and keeps adding lines (the
    // main window's status bar says so and brings it back).
    ui::CTemplateDialog::reject();
}

bool CSyncLogDlg::IsRunShown() const {
    return m_pButton->text() != QLatin1String("OK");
}

void CSyncLogDlg::ShowAgain() {
    show();
    BringToTop();
}

void CSyncLogDlg::closeEvent(QCloseEvent* pEvent) {
    // The window stays or goes by our own hand below, never by the base's.
    pEvent->ignore();
    if (IsRunShown()) {
        m_bCancel = true; // the run stops at its next poll; the window shows how
        return;
    }
    accept();
}

void CSyncLogDlg::showEvent(QShowEvent* pEvent) {
    if (!pEvent->spontaneous() && m_bHavePlace)
        move(m_ptFrame);
    ui::CTemplateDialog::showEvent(pEvent);
}

void CSyncLogDlg::hideEvent(QHideEvent* pEvent) {
    if (!pEvent->spontaneous()) {
        m_ptFrame = pos();
        m_bHavePlace = true;
    }
    ui::CTemplateDialog::hideEvent(pEvent);
}

void CSyncLogDlg::resizeEvent(QResizeEvent* pEvent) {
    ui::CTemplateDialog::resizeEvent(pEvent);
    if (m_bInitialized) {
        Relayout();
    }
}

void CSyncLogDlg::Relayout() {
    const int nW = width();
    const int nH = height();
    const int nButtonW = m_pButton->width();
    const int nButtonH = m_pButton->height();
    {
        // The progress beside the centred button, up to the window's edges.
        // From just under the list down to the bottom edge: three short lines.
        const int nTop = nH - nButtonH - 9;
        const int nLabelH = nButtonH + 9;
        const int nButtonLeft = (nW - nButtonW) / 2;
        m_pProgressDone->setGeometry(10, nTop, std::max(0, nButtonLeft - 16), nLabelH);
        const int nRightLeft = nButtonLeft + nButtonW + 6;
        m_pProgressRate->setGeometry(nRightLeft, nTop, std::max(0, nW - 10 - nRightLeft), nLabelH);
    }
    if (!m_bPreview) {
        m_pList->setGeometry(10, 10, nW - 20, nH - nButtonH - 20);
        m_pButton->setGeometry((nW - nButtonW) / 2, nH - nButtonH - 5, nButtonW, nButtonH);
        return;
    }
    // A preview: the counts box between the list and the buttons.
    const int nCountsH = std::min(nH / 3, 4 * fontMetrics().height() + 10);
    const int nListH = std::max(0, nH - nButtonH - nCountsH - 25);
    m_pList->setGeometry(10, 10, nW - 20, nListH);
    m_pCounts->setGeometry(10, 15 + nListH, nW - 20, nCountsH);
    const int nButtonTop = nH - nButtonH - 5;
    m_pButton->setGeometry((nW - nButtonW) / 2, nButtonTop, nButtonW, nButtonH);
    const int nPairW = m_pRunButton->width();
    m_pRunButton->setGeometry(nW / 2 - nPairW - 4, nButtonTop, nPairW, nButtonH);
    m_pCloseButton->setGeometry(nW / 2 + 4, nButtonTop, nPairW, nButtonH);
}

} // namespace kovrel::dialogs
