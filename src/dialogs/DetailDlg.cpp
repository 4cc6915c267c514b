#include "dialogs/DetailDlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "document/SyncItem.h"
#include "ui/ManualButtons.h"
#include "ui/MsgBox.h"

namespace kovrel::dialogs {

namespace {

// The order the buttons are kept in.
constexpr int kButtonIds[15] = {
    CDetailDlg::IDC_SUBDIRS,        CDetailDlg::IDC_NOFILE1_COPY, CDetailDlg::IDC_NOFILE1_DELETE,
    CDetailDlg::IDC_NOFILE1_IGNORE, CDetailDlg::IDC_NOFILE2_COPY, CDetailDlg::IDC_NOFILE2_DELETE,
    CDetailDlg::IDC_NOFILE2_IGNORE, CDetailDlg::IDC_RO1_FORCE,    CDetailDlg::IDC_RO1_SKIP,
    CDetailDlg::IDC_RO2_FORCE,      CDetailDlg::IDC_RO2_SKIP,     CDetailDlg::IDC_ONEWAY,
    CDetailDlg::IDC_DIR_1TO2,       CDetailDlg::IDC_DIR_2TO1,     CDetailDlg::IDC_COPY_OLDER,
};

int IndexOf(int nId) {
    for (int i = 0; i < 15; ++i) {
        if (kButtonIds[i] == nId) {
            return i;
        }
    }
    return -1;
}

QString PatternHelp() {
    return QString::fromUtf8("拡張ワイルドカード指定：\n"
                             "\u3000\\abc\\d*\\*.c\t同期ファイル指定\n"
                             "\u3000!a*.c\t\t\t除外ファイル指定\n"
                             "\u3000!\\xyz\\9804??\\\t除外ディレクトリ指定");
}

// The radio groups: clicking one member marks it and clears the others.
struct GROUP {
    int anIds[3];
    int nCount;
};
constexpr GROUP kGroups[] = {
    {{CDetailDlg::IDC_NOFILE1_COPY, CDetailDlg::IDC_NOFILE1_DELETE, CDetailDlg::IDC_NOFILE1_IGNORE},
     3},
    {{CDetailDlg::IDC_NOFILE2_COPY, CDetailDlg::IDC_NOFILE2_DELETE, CDetailDlg::IDC_NOFILE2_IGNORE},
     3},
    {{CDetailDlg::IDC_RO1_FORCE, CDetailDlg::IDC_RO1_SKIP, 0}, 2},
    {{CDetailDlg::IDC_RO2_FORCE, CDetailDlg::IDC_RO2_SKIP, 0}, 2},
};

} // namespace

CDetailDlg::CDetailDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QString::fromUtf8("詳細設定"), QString::fromUtf8("ＭＳ Ｐ明朝"),
                          10, 356, 183) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(pOk, 82, 160, 50, 14);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CDetailDlg::accept);
    auto* pCancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ"), this);
    Place(pCancel, 224, 160, 50, 14);
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
        m_apButtons[IndexOf(nId)] = pButton;
        connect(pButton, &QAbstractButton::clicked, this, [this, nId] { OnClicked(nId); });
    };
    auto check = [this](int nId, const char* pszText, int nLeft, int nTop, int nWidth, int nHeight,
                        bool bTriState) {
        auto* pButton = new ui::CManualCheckBox(QString::fromUtf8(pszText), this);
        pButton->setTristate(bTriState);
        pButton->setFocusPolicy(Qt::StrongFocus);
        Place(pButton, nLeft, nTop, nWidth, nHeight);
        m_apButtons[IndexOf(nId)] = pButton;
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
    setTabOrder(Button(IDC_SUBDIRS), Button(IDC_ONEWAY));
    setTabOrder(Button(IDC_ONEWAY), Button(IDC_COPY_OLDER));
    setTabOrder(Button(IDC_COPY_OLDER), m_pEdit);
}

QAbstractButton* CDetailDlg::Button(int nId) const {
    const int nIndex = IndexOf(nId);
    return nIndex < 0 ? nullptr : m_apButtons[nIndex];
}

bool CDetailDlg::IsChecked(int nId) const {
    if (auto* pBox = qobject_cast<QCheckBox*>(Button(nId))) {
        return pBox->checkState() == Qt::Checked;
    }
    return Button(nId)->isChecked();
}

void CDetailDlg::SetCheck(int nId, bool bChecked) {
    if (auto* pBox = qobject_cast<QCheckBox*>(Button(nId))) {
        pBox->setCheckState(bChecked ? Qt::Checked : Qt::Unchecked);
    } else {
        Button(nId)->setChecked(bChecked);
    }
}

void CDetailDlg::Enable(int nId, bool bEnable) {
    Button(nId)->setEnabled(bEnable);
}

void CDetailDlg::SelectInGroup(int nId) {
    for (const GROUP& group : kGroups) {
        bool bInGroup = false;
        for (int i = 0; i < group.nCount; ++i) {
            bInGroup = bInGroup || group.anIds[i] == nId;
        }
        if (bInGroup) {
            for (int i = 0; i < group.nCount; ++i) {
                SetCheck(group.anIds[i], group.anIds[i] == nId);
            }
            return;
        }
    }
}

void CDetailDlg::OnClicked(int nId) {
    switch (nId) {
    case IDC_DIR_1TO2:
        OnDirection1To2();
        break;
    case IDC_DIR_2TO1:
        OnDirection2To1();
        break;
    case IDC_ONEWAY:
        OnOneWay();
        break;
    case IDC_COPY_OLDER:
    case IDC_SUBDIRS: {
        // A box in the third state stays as it is.
        auto* pBox = static_cast<QCheckBox*>(Button(nId));
        if (pBox->checkState() != Qt::PartiallyChecked) {
            pBox->setCheckState(pBox->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        }
        break;
    }
    default:
        SelectInGroup(nId);
        break;
    }
}

void CDetailDlg::OnDirection1To2() {
    SetCheck(IDC_DIR_1TO2, true);
    SetCheck(IDC_DIR_2TO1, false);
    // Side 1 is only read: nothing may be copied to it or deleted from it.
    if (IsChecked(IDC_NOFILE1_COPY)) {
        SelectInGroup(IDC_NOFILE1_IGNORE);
    }
    if (IsChecked(IDC_NOFILE2_DELETE)) {
        SelectInGroup(IDC_NOFILE2_IGNORE);
    }
    Enable(IDC_NOFILE1_COPY, false);
    Enable(IDC_NOFILE2_DELETE, false);
    Enable(IDC_NOFILE2_COPY, true);
    Enable(IDC_NOFILE1_DELETE, true);
    Enable(IDC_RO1_FORCE, false);
    Enable(IDC_RO1_SKIP, false);
    Enable(IDC_RO2_FORCE, true);
    Enable(IDC_RO2_SKIP, true);
}

void CDetailDlg::OnDirection2To1() {
    SetCheck(IDC_DIR_1TO2, false);
    SetCheck(IDC_DIR_2TO1, true);
    if (IsChecked(IDC_NOFILE2_COPY)) {
        SelectInGroup(IDC_NOFILE2_IGNORE);
    }
    if (IsChecked(IDC_NOFILE1_DELETE)) {
        SelectInGroup(IDC_NOFILE1_IGNORE);
    }
    Enable(IDC_NOFILE2_COPY, false);
    Enable(IDC_NOFILE1_DELETE, false);
    Enable(IDC_NOFILE1_COPY, true);
    Enable(IDC_NOFILE2_DELETE, true);
    Enable(IDC_RO1_FORCE, true);
    Enable(IDC_RO1_SKIP, true);
    Enable(IDC_RO2_FORCE, false);
    Enable(IDC_RO2_SKIP, false);
}

void CDetailDlg::OnOneWay() {
    auto* pBox = static_cast<QCheckBox*>(Button(IDC_ONEWAY));
    if (pBox->checkState() == Qt::Unchecked) {
        pBox->setCheckState(Qt::Checked);
        Enable(IDC_COPY_OLDER, true);
        Enable(IDC_DIR_1TO2, true);
        Enable(IDC_DIR_2TO1, true);
        if (IsChecked(IDC_DIR_2TO1)) {
            OnDirection2To1();
        } else {
            OnDirection1To2();
        }
    } else if (pBox->checkState() == Qt::Checked) {
        pBox->setCheckState(Qt::Unchecked);
        Enable(IDC_COPY_OLDER, false);
        Enable(IDC_DIR_1TO2, false);
        Enable(IDC_DIR_2TO1, false);
        for (int nId : {IDC_NOFILE1_COPY, IDC_NOFILE1_DELETE, IDC_NOFILE2_COPY, IDC_NOFILE2_DELETE,
                        IDC_RO1_FORCE, IDC_RO1_SKIP, IDC_RO2_FORCE, IDC_RO2_SKIP}) {
            Enable(nId, true);
        }
    }
}

bool CDetailDlg::OnInitDialog() {
    const std::uint32_t dw = m_dwOption;
    for (int nId : {IDC_NOFILE1_COPY, IDC_NOFILE1_DELETE, IDC_NOFILE1_IGNORE}) {
        SetCheck(nId, false);
    }
    switch (dw & SIO_NOFILE1_MASK) {
    case SIO_NOFILE1_COPY:
        SetCheck(IDC_NOFILE1_COPY, true);
        break;
    case SIO_NOFILE1_DELETE:
        SetCheck(IDC_NOFILE1_DELETE, true);
        break;
    case SIO_NOFILE1_IGNORE:
        SetCheck(IDC_NOFILE1_IGNORE, true);
        break;
    default:
        break;
    }
    for (int nId : {IDC_NOFILE2_COPY, IDC_NOFILE2_DELETE, IDC_NOFILE2_IGNORE}) {
        SetCheck(nId, false);
    }
    switch (dw & SIO_NOFILE2_MASK) {
    case SIO_NOFILE2_COPY:
        SetCheck(IDC_NOFILE2_COPY, true);
        break;
    case SIO_NOFILE2_DELETE:
        SetCheck(IDC_NOFILE2_DELETE, true);
        break;
    case SIO_NOFILE2_IGNORE:
        SetCheck(IDC_NOFILE2_IGNORE, true);
        break;
    default:
        break;
    }
    SelectInGroup((dw & SIO_FORCE_RO1) != 0 ? IDC_RO1_FORCE : IDC_RO1_SKIP);
    SelectInGroup((dw & SIO_FORCE_RO2) != 0 ? IDC_RO2_FORCE : IDC_RO2_SKIP);
    if ((dw & SIO_ONEWAY_MASK) != 0) {
        if ((dw & SIO_ONEWAY_1TO2) != 0) {
            OnDirection1To2();
        } else {
            OnDirection2To1();
        }
        SetCheck(IDC_ONEWAY, false);
    } else {
        SetCheck(IDC_ONEWAY, true);
    }
    // Inverts the box just set, so it ends checked exactly for a one-way word,
    // and applies (or undoes) the direction's enabled states.
    OnOneWay();
    SetCheck(IDC_COPY_OLDER, (dw & SIO_COPY_OLDER) != 0);
    SetCheck(IDC_SUBDIRS, (dw & SIO_NO_SUBDIRS) == 0);

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
    std::uint32_t dw = 0;
    if (IsChecked(IDC_NOFILE1_DELETE) && IsChecked(IDC_NOFILE2_DELETE)) {
        ui::ShowMessageBox(this,
                           QString::fromUtf8("双方ともDelete FILEを選択することはできません。"),
                           ui::MB_OK | ui::MB_ICONEXCLAMATION);
        return;
    }
    if (!IsChecked(IDC_NOFILE1_COPY)) {
        dw += IsChecked(IDC_NOFILE1_DELETE) ? SIO_NOFILE1_DELETE : SIO_NOFILE1_IGNORE;
    }
    if (!IsChecked(IDC_NOFILE2_COPY)) {
        dw += IsChecked(IDC_NOFILE2_DELETE) ? SIO_NOFILE2_DELETE : SIO_NOFILE2_IGNORE;
    }
    if (IsChecked(IDC_RO1_FORCE)) {
        dw += SIO_FORCE_RO1;
    }
    if (IsChecked(IDC_RO2_FORCE)) {
        dw += SIO_FORCE_RO2;
    }
    if (IsChecked(IDC_ONEWAY)) {
        dw += IsChecked(IDC_DIR_1TO2) ? SIO_ONEWAY_1TO2 : SIO_ONEWAY_2TO1;
    }
    if (IsChecked(IDC_COPY_OLDER)) {
        dw += SIO_COPY_OLDER;
    }
    if (!IsChecked(IDC_SUBDIRS)) {
        dw += SIO_NO_SUBDIRS;
    }
    m_dwOption = dw;

    const QString strText = m_pEdit->toPlainText();
    if (strText != m_strShownPattern) {
        QString strCrLf = strText;
        strCrLf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        m_strPattern = strCrLf.toStdString();
    }
    ui::CTemplateDialog::accept();
}

} // namespace kovrel::dialogs
