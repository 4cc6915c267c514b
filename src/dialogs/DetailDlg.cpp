#include "dialogs/DetailDlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/ManualButtons.h"
#include "ui/MsgBox.h"

namespace kovrel::dialogs {

namespace {

QString PatternHelp() {
    return QString::fromUtf8("拡張ワイルドカード指定：\n"
                             "\u3000\\abc\\d*\\*.c\t同期ファイル指定\n"
                             "\u3000!a*.c\t\t\t除外ファイル指定\n"
                             "\u3000!\\xyz\\9804??\\\t除外ディレクトリ指定");
}

CDetailRules::Mark MarkOf(Qt::CheckState state) {
    switch (state) {
    case Qt::Checked:
        return CDetailRules::Mark::Checked;
    case Qt::PartiallyChecked:
        return CDetailRules::Mark::Partial;
    default:
        return CDetailRules::Mark::Unchecked;
    }
}

Qt::CheckState CheckStateOf(CDetailRules::Mark mark) {
    switch (mark) {
    case CDetailRules::Mark::Checked:
        return Qt::Checked;
    case CDetailRules::Mark::Partial:
        return Qt::PartiallyChecked;
    default:
        return Qt::Unchecked;
    }
}

} // namespace

CDetailDlg::CDetailDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QString::fromUtf8("詳細設定"), QString::fromUtf8("ＭＳ Ｐ明朝"),
                          10, 356, 195) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(pOk, 82, 172, 50, 14);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CDetailDlg::accept);
    auto* pCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    Place(pCancel, 224, 172, 50, 14);
    connect(pCancel, &QPushButton::clicked, this, &CDetailDlg::reject);

    auto group = [this](const char* pszTitle, int nLeft, int nTop, int nWidth, int nHeight) {
        auto* pGroup = new QGroupBox(QString::fromUtf8(pszTitle), this);
        pGroup->setFocusPolicy(Qt::NoFocus);
        Place(pGroup, nLeft, nTop, nWidth, nHeight);
    };
    auto radio = [this](int nId, const char* pszText, int nLeft, int nTop, int nWidth,
                        int nHeight) {
        auto* pButton = new ui::CManualRadioButton(QString::fromUtf8(pszText), this);
        pButton->setFocusPolicy(Qt::ClickFocus); // no tab stop
        Place(pButton, nLeft, nTop, nWidth, nHeight);
        m_apButtons[CDetailRules::IndexOf(nId)] = pButton;
        connect(pButton, &QAbstractButton::clicked, this, [this, nId] { OnClicked(nId); });
    };
    auto check = [this](int nId, const char* pszText, int nLeft, int nTop, int nWidth, int nHeight,
                        bool bTriState) {
        auto* pButton = new ui::CManualCheckBox(QString::fromUtf8(pszText), this);
        pButton->setTristate(bTriState);
        pButton->setFocusPolicy(Qt::StrongFocus);
        Place(pButton, nLeft, nTop, nWidth, nHeight);
        m_apButtons[CDetailRules::IndexOf(nId)] = pButton;
        connect(pButton, &QAbstractButton::clicked, this, [this, nId] { OnClicked(nId); });
        return pButton;
    };

    group("FILE1が存在しない場合", 8, 5, 96, 45);
    radio(IDC_NOFILE1_COPY, "FILE2からコピー", 17, 15, 74, 10);
    radio(IDC_NOFILE1_DELETE, "FILE2を削除", 17, 25, 60, 10);
    radio(IDC_NOFILE1_IGNORE, "何もしない", 17, 35, 60, 10);
    group("FILE2が存在しない場合", 107, 5, 96, 45);
    radio(IDC_NOFILE2_COPY, "FILE1からコピー", 116, 15, 74, 10);
    radio(IDC_NOFILE2_DELETE, "FILE1を削除", 116, 25, 60, 10);
    radio(IDC_NOFILE2_IGNORE, "何もしない", 116, 35, 60, 10);
    check(IDC_SUBDIRS, "サブディレクトリも検索", 60, 148, 103, 9, true);
    group("FILE1がReadOnlyの場合", 8, 53, 96, 33);
    radio(IDC_RO1_FORCE, "強制的にコピー", 17, 63, 74, 10);
    radio(IDC_RO1_SKIP, "何もしない", 17, 73, 60, 10);
    group("FILE2がReadOnlyの場合", 107, 53, 96, 33);
    radio(IDC_RO2_FORCE, "強制的にコピー", 116, 63, 74, 10);
    radio(IDC_RO2_SKIP, "何もしない", 116, 73, 60, 10);
    group("", 8, 90, 195, 51);
    // Lies across the untitled box's top edge as its title: it paints its own
    // background so the frame line does not run through the text.
    QCheckBox* pOneWay = check(IDC_ONEWAY, "片方向のみのコピー", 10, 89, 88, 11, false);
    pOneWay->setAutoFillBackground(true);
    pOneWay->resize(pOneWay->sizeHint().width(), pOneWay->height());
    check(IDC_COPY_OLDER, "コピー元が古い場合も上書きコピー(古くなる)", 18, 124, 183, 15, false);
    radio(IDC_DIR_1TO2, "FILE1 -> FILE2 方向のコピーのみ行う", 27, 99, 166, 13);
    radio(IDC_DIR_2TO1, "FILE1 <- FILE2 方向のコピーのみ行う", 27, 111, 166, 13);
    // Remembering the last run goes with two-way copying: a row of its own
    // under the subdirectory box, the template 12 units taller and its push
    // buttons moved down by as much; every other control stays where it was.
    check(IDC_REMEMBER_STATE, "前回の同期状態を記憶する（衝突を検出）", 60, 159, 180, 9, false);

    m_pEdit = new QPlainTextEdit(this);
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEdit->setTabChangesFocus(true);
    m_pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Place(m_pEdit, 209, 39, 139, 115);
    m_pEdit->installEventFilter(this);

    auto* pHelp = new QLabel(PatternHelp(), this);
    pHelp->setTextFormat(Qt::PlainText);
    pHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(pHelp, 205, 4, 148, 33);

    // Tab order: the push buttons come first in the template, then the boxes
    // with a tab stop, then the edit.
    setTabOrder(pOk, pCancel);
    setTabOrder(pCancel, Button(IDC_SUBDIRS));
    setTabOrder(Button(IDC_SUBDIRS), Button(IDC_REMEMBER_STATE));
    setTabOrder(Button(IDC_REMEMBER_STATE), Button(IDC_ONEWAY));
    setTabOrder(Button(IDC_ONEWAY), Button(IDC_COPY_OLDER));
    setTabOrder(Button(IDC_COPY_OLDER), m_pEdit);
}

QAbstractButton* CDetailDlg::Button(int nId) const {
    const int nIndex = CDetailRules::IndexOf(nId);
    return nIndex < 0 ? nullptr : m_apButtons[nIndex];
}

CDetailRules CDetailDlg::ReadButtons() const {
    CDetailRules rules;
    for (int nId : CDetailRules::kButtonIds) {
        const QAbstractButton* pButton = Button(nId);
        CDetailRules::BUTTON& button = rules.At(nId);
        button.bEnabled = pButton->isEnabled();
        Qt::CheckState state = pButton->isChecked() ? Qt::Checked : Qt::Unchecked;
        if (auto* pBox = qobject_cast<const QCheckBox*>(pButton)) {
            state = pBox->checkState();
        }
        button.mark = MarkOf(state);
    }
    return rules;
}

void CDetailDlg::WriteButtons(const CDetailRules& rules) {
    for (int nId : CDetailRules::kButtonIds) {
        QAbstractButton* pButton = Button(nId);
        const CDetailRules::BUTTON& button = rules.At(nId);
        if (auto* pBox = qobject_cast<QCheckBox*>(pButton)) {
            pBox->setCheckState(CheckStateOf(button.mark));
        } else {
            pButton->setChecked(button.mark == CDetailRules::Mark::Checked);
        }
        pButton->setEnabled(button.bEnabled);
    }
}

void CDetailDlg::OnClicked(int nId) {
    CDetailRules rules = ReadButtons();
    rules.Click(nId);
    WriteButtons(rules);
}

bool CDetailDlg::OnInitDialog() {
    CDetailRules rules = ReadButtons();
    rules.Load(CSyncOptions(m_dwOption));
    WriteButtons(rules);

    // CR LF in, line feeds in the edit; remember what was shown so an
    // unchanged text goes back as the very bytes that came in.
    QString strText = QString::fromUtf8(m_strPattern.data(), qsizetype(m_strPattern.size()));
    strText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_pEdit->setPlainText(strText);
    m_strShownPattern = m_pEdit->toPlainText();
    return true;
}

bool CDetailDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pEdit && pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter) {
            if ((pKey->modifiers() & Qt::ControlModifier) != 0) {
                m_pEdit->insertPlainText(QStringLiteral("\n"));
            } else {
                // The edit does not keep Enter for itself: it presses OK.
                accept();
            }
            return true;
        }
    }
    return ui::CTemplateDialog::eventFilter(pWatched, pEvent);
}

void CDetailDlg::accept() {
    const std::optional<CSyncOptions> word = ReadButtons().Word();
    if (!word) {
        ui::ShowMessageBox(this,
                           QString::fromUtf8("双方ともDelete FILEを選択することはできません。"),
                           ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return;
    }
    m_dwOption = word->Raw();

    const QString strText = m_pEdit->toPlainText();
    if (strText != m_strShownPattern) {
        QString strCrLf = strText;
        strCrLf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        m_strPattern = strCrLf.toStdString();
    }
    ui::CTemplateDialog::accept();
}

} // namespace kovrel::dialogs
