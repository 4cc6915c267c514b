#include "dialogs/SyncLogDlg.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QResizeEvent>

#include "dialogs/LogListBox.h"

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
    m_bInitialized = true;
}

void CSyncLogDlg::BeginRun(ISyncLogView* pView) {
    m_pView = pView;
    ResetContent();
    show();
    SetButtonText(QStringLiteral("Cancel"));
    m_bCancel = false;
}

void CSyncLogDlg::EndRun() {
    SetButtonText(QStringLiteral("OK"));
    BringToTop();
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
    m_pList->setGeometry(10, 10, nW - 20, nH - nButtonH - 20);
    m_pButton->setGeometry((nW - nButtonW) / 2, nH - nButtonH - 5, nButtonW, nButtonH);
}

} // namespace kovrel::dialogs
