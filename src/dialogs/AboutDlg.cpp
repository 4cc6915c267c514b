#include "dialogs/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "ui/AppInfo.h"

// The resources live in this static library; nothing else references them, so
// the linker keeps them only when asked to.
static void InitDialogsResources() {
    Q_INIT_RESOURCE(dialogs);
}

namespace kovrel::dialogs {

QIcon ProgramIcon() {
    static const bool s_bInit = (InitDialogsResources(), true);
    (void)s_bInit;
    QIcon icon;
    for (int nSize : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/kovrel-%1.png").arg(nSize), QSize(nSize, nSize));
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* pParent)
    : ui::CTemplateDialog(pParent, QStringLiteral("About KovrelDuplicator"),
                          QStringLiteral("System"), 12, 217, 55) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());

    auto* pIcon = new QLabel(this);
    Place(pIcon, 11, 17, 20, 20);
    const int nSide = std::min(pIcon->width(), pIcon->height());
    pIcon->setPixmap(ProgramIcon().pixmap(QSize(nSide, nSide), devicePixelRatio()));
    pIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* pVersion = new QLabel(QString::fromUtf8(ui::KOVREL_VERSION_LINE), this);
    pVersion->setTextFormat(Qt::PlainText);
    Place(pVersion, 40, 10, 119, 8);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    Place(pOk, 176, 6, 32, 14);
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &CAboutDlg::accept);
}

} // namespace kovrel::dialogs
