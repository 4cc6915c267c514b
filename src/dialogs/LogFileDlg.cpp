#include "dialogs/LogFileDlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/LogFileCheck.h"
#include "ui/MsgBox.h"

namespace kovrel::dialogs {

QString BrowseForFile(QWidget* pParent, const QString& strDefaultSuffix,
                      const QStringList& astrFilters) {
    // Qt's file dialog never changes the process's current directory, so there
    // is nothing to save and restore around it.
    QFileDialog dlg(pParent);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::AnyFile); // a log file need not exist yet
    dlg.setDefaultSuffix(strDefaultSuffix);
    dlg.setNameFilters(astrFilters);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return {};
    }
    return dlg.selectedFiles().front();
}

CLogFileDlg::CLogFileDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QString::fromUtf8("ﾛｸﾞﾌｧｲﾙ"),
                          QString::fromUtf8("ＭＳ Ｐゴシック"), 9, 243, 91) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(pOk, 45, 68, 50, 16);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CLogFileDlg::accept);
    auto* pCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    Place(pCancel, 134, 68, 50, 16);
    connect(pCancel, &QPushButton::clicked, this, &CLogFileDlg::reject);

    m_pEdit = new QLineEdit(this);
    Place(m_pEdit, 61, 25, 128, 16);
    auto* pName = new QLabel(QString::fromUtf8("ログファイル名"), this);
    Place(pName, 7, 27, 49, 9);
    m_pOverwrite = new QRadioButton(QString::fromUtf8("上書"), this);
    Place(m_pOverwrite, 65, 47, 36, 10);
    m_pAppend = new QRadioButton(QString::fromUtf8("追加書込"), this);
    Place(m_pAppend, 106, 47, 45, 10);
    m_pBrowse = new QPushButton(QString::fromUtf8("参照(&R)..."), this);
    Place(m_pBrowse, 196, 25, 40, 16);
    connect(m_pBrowse, &QPushButton::clicked, this, &CLogFileDlg::OnBrowse);
    auto* pMode = new QLabel(QString::fromUtf8("オープンモード"), this);
    Place(pMode, 7, 47, 52, 9);
    m_pDocLog = new QCheckBox(
        QString::fromUtf8("現在開いているKVDファイル固有のログファイルとして指定"), this);
    Place(m_pDocLog, 7, 7, 195, 13);
    for (QRadioButton* pRadio : {m_pOverwrite, m_pAppend}) {
        pRadio->setFocusPolicy(Qt::ClickFocus);
    }
    setTabOrder(pOk, pCancel);
    setTabOrder(pCancel, m_pEdit);
    setTabOrder(m_pEdit, m_pBrowse);
    setTabOrder(m_pBrowse, m_pDocLog);
}

bool CLogFileDlg::OnInitDialog() {
    m_pDocLog->setChecked(m_bDocLog);
    (m_bAppend ? m_pAppend : m_pOverwrite)->setChecked(true);
    m_pEdit->setText(m_strLogFile);
    m_pEdit->setCursorPosition(0);
    return true;
}

void CLogFileDlg::OnBrowse() {
    const QString strFile =
        BrowseForFile(this, QStringLiteral("log"),
                      {QStringLiteral("Log Files (*.log)"), QStringLiteral("All Files (*)")});
    if (!strFile.isEmpty()) {
        m_pEdit->setText(strFile);
        m_pEdit->setCursorPosition(0);
    }
}

void CLogFileDlg::accept() {
    // The run would refuse such a file each time; better to say so now.
    const std::string strFile = m_pEdit->text().toStdString();
    const LOGFILECHECK check = CheckLogFile(strFile, m_strDocPath.toStdString());
    if (check.eVerdict != LogFileVerdict::Ok) {
        ui::ShowMessageBox(this, LogFileRefusalText(check, strFile),
                           ui::MB_OK | ui::MB_ICONEXCLAMATION);
        m_pEdit->setFocus();
        m_pEdit->selectAll();
        return;
    }
    m_bDocLog = m_pDocLog->isChecked();
    m_bAppend = m_pAppend->isChecked();
    m_strLogFile = m_pEdit->text();
    ui::CTemplateDialog::accept();
}

} // namespace kovrel::dialogs
