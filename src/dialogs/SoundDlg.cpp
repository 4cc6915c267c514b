#include "dialogs/SoundDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/LogFileDlg.h"
#include "ui/Sound.h"

namespace kovrel::dialogs {

CSoundDlg::CSoundDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QString::fromUtf8("サウンド"),
                          QString::fromUtf8("ＭＳ Ｐゴシック"), 9, 249, 91) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(pOk, 45, 70, 50, 14);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CSoundDlg::accept);
    auto* pCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    Place(pCancel, 132, 70, 50, 14);
    connect(pCancel, &QPushButton::clicked, this, &CSoundDlg::reject);

    Place(new QLabel(QString::fromUtf8("同期終了時等にベルを"), this), 7, 7, 74, 8);
    m_pOn = new QRadioButton(QString::fromUtf8("鳴らす"), this);
    Place(m_pOn, 87, 7, 35, 10);
    m_pOff = new QRadioButton(QString::fromUtf8("鳴らさない"), this);
    Place(m_pOff, 125, 7, 47, 10);
    for (QRadioButton* pRadio : {m_pOn, m_pOff}) {
        pRadio->setFocusPolicy(Qt::ClickFocus);
    }
    Place(new QLabel(QString::fromUtf8("同期終了時のベル"), this), 7, 25, 63, 8);
    Place(new QLabel(QString::fromUtf8("エラー発生時のベル"), this), 7, 45, 63, 8);
    m_pEndEdit = new QLineEdit(this);
    Place(m_pEndEdit, 72, 21, 111, 14);
    m_pErrEdit = new QLineEdit(this);
    Place(m_pErrEdit, 72, 41, 111, 14);
    m_pEndBrowse = new QPushButton(QString::fromUtf8("参照 ..."), this);
    Place(m_pEndBrowse, 188, 21, 30, 15);
    m_pErrBrowse = new QPushButton(QString::fromUtf8("参照 ..."), this);
    Place(m_pErrBrowse, 188, 41, 30, 15);
    m_pEndTest = new QPushButton(QString::fromUtf8("テスト"), this);
    Place(m_pEndTest, 218, 21, 23, 15);
    m_pErrTest = new QPushButton(QString::fromUtf8("テスト"), this);
    Place(m_pErrTest, 219, 41, 23, 15);

    connect(m_pEndBrowse, &QPushButton::clicked, this, [this] { OnBrowse(m_pEndEdit); });
    connect(m_pErrBrowse, &QPushButton::clicked, this, [this] { OnBrowse(m_pErrEdit); });
    connect(m_pEndTest, &QPushButton::clicked, this, [this] { OnTest(m_pEndEdit); });
    connect(m_pErrTest, &QPushButton::clicked, this, [this] { OnTest(m_pErrEdit); });

    setTabOrder(pOk, pCancel);
    setTabOrder(pCancel, m_pEndEdit);
    setTabOrder(m_pEndEdit, m_pErrEdit);
    setTabOrder(m_pErrEdit, m_pEndBrowse);
    setTabOrder(m_pEndBrowse, m_pErrBrowse);
    setTabOrder(m_pErrBrowse, m_pEndTest);
    setTabOrder(m_pEndTest, m_pErrTest);
}

bool CSoundDlg::OnInitDialog() {
    (m_bSoundOn ? m_pOn : m_pOff)->setChecked(true);
    // Shown from their beginning, as a typed path is read.
    m_pEndEdit->setText(m_strEndSound);
    m_pEndEdit->setCursorPosition(0);
    m_pErrEdit->setText(m_strErrSound);
    m_pErrEdit->setCursorPosition(0);
    return true;
}

void CSoundDlg::OnBrowse(QLineEdit* pEdit) {
    const QString strFile =
        BrowseForFile(this, QStringLiteral("wav"),
                      {QStringLiteral("Wave Files (*.wav)"), QStringLiteral("All Files (*)")});
    if (!strFile.isEmpty()) {
        pEdit->setText(strFile);
        pEdit->setCursorPosition(0);
    }
}

void CSoundDlg::OnTest(const QLineEdit* pEdit) {
    // An empty name, or one led by a blank, plays nothing here (a run sounds
    // the standard beep for such a setting).
    const QString strFile = pEdit->text();
    if (!strFile.isEmpty() && strFile.front() != QLatin1Char(' ')) {
        ui::Sound().PlayFile(strFile.toStdString());
    }
}

void CSoundDlg::accept() {
    m_bSoundOn = m_pOn->isChecked();
    m_strEndSound = m_pEndEdit->text();
    m_strErrSound = m_pErrEdit->text();
    ui::CTemplateDialog::accept();
}

} // namespace kovrel::dialogs
