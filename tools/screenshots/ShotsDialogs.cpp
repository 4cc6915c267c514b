// Pictures of the dialogs, the log window and the message boxes.
#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "Shots.h"
#include "app/GuiRunHost.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/DetailDlg.h"
#include "dialogs/LogFileDlg.h"
#include "dialogs/SelectDirDlg.h"
#include "dialogs/SoundDlg.h"
#include "dialogs/SyncLogDlg.h"
#include "document/SyncItem.h"
#include "engine/ListRun.h"
#include "engine/RunProgress.h"
#include "platform/PosixFileSystem.h"
#include "ui/MsgBox.h"

using namespace kovrel;
using namespace kovrel::shots;

namespace {

// A mount table over a sample tree: the real "/" and one network share.
class CSampleMounts final : public dialogs::IMountTable {
public:
    explicit CSampleMounts(const QString& strRoot) : m_strRoot(strRoot.toStdString()) {}
    std::vector<dialogs::MOUNTENTRY> GetMounts() const override {
        return {{"/", "overlay", "overlay", false},
                {m_strRoot + "/local", "/dev/sdb1", "ext4", false},
                {m_strRoot + "/net", "//fileserver/PUBLIC", "cifs", false}};
    }

private:
    std::string m_strRoot;
};

QImage ShotSelectDir(const QString& strStart) {
    static QTemporaryDir s_dir; // kept until the program ends
    const QString strRoot = s_dir.path();
    for (const char* pszDir :
         {"local/WINDOWS/SYSTEM", "local/WINDOWS/FONTS", "local/Program Files", "local/.cache",
          "local/写真/2026年", "local/PROGRA~1", "net/Projects/kovrel", "net/Shared"}) {
        QDir().mkpath(strRoot + QLatin1Char('/') + QString::fromUtf8(pszDir));
    }
    static CSampleMounts* s_pMounts = new CSampleMounts(strRoot);
    auto* pDlg = new dialogs::CSelectDirDlg(nullptr, s_pMounts);
    pDlg->m_strPath = (strRoot + strStart).toStdString();
    return GrabWindow(pDlg);
}

QImage ShotBox(const QString& strText, unsigned nType, const QString& strClick) {
    return GrabModal([&] { ui::ShowMessageBox(nullptr, strText, nType); },
                     [&](QWidget* pBox) {
                         for (auto* pButton : pBox->findChildren<QAbstractButton*>()) {
                             if (pButton->text().startsWith(strClick)) {
                                 pButton->click();
                                 return;
                             }
                         }
                     });
}

} // namespace

KOVREL_SHOTS(RegisterDialogShots) {
    RegisterShot(QStringLiteral("detail_default"), [] {
        auto* pDlg = new dialogs::CDetailDlg;
        pDlg->m_strPattern = "\\src\\*.cpp\r\n!*.o\r\n!\\build\\";
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("detail_oneway"), [] {
        auto* pDlg = new dialogs::CDetailDlg;
        pDlg->m_dwOption = SIO_ONEWAY_2TO1 | SIO_COPY_OLDER | SIO_NOFILE1_DELETE | SIO_FORCE_RO1;
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("detail_remember"), [] {
        auto* pDlg = new dialogs::CDetailDlg;
        pDlg->m_dwOption = SIO_REMEMBER_STATE | SIO_FORCE_RO1 | SIO_FORCE_RO2;
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("select_dir"),
                 [] { return ShotSelectDir(QStringLiteral("/local/WINDOWS/SYSTEM")); });
    RegisterShot(QStringLiteral("select_dir_network"),
                 [] { return ShotSelectDir(QStringLiteral("/net/Projects")); });
    RegisterShot(QStringLiteral("log_file"), [] {
        auto* pDlg = new dialogs::CLogFileDlg;
        pDlg->m_strLogFile = QStringLiteral("/home/user/kovrel/sync.log");
        pDlg->m_bAppend = true;
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("sound"), [] {
        auto* pDlg = new dialogs::CSoundDlg;
        pDlg->m_bSoundOn = true;
        pDlg->m_strEndSound = QStringLiteral("/usr/share/sounds/alsa/Front_Center.wav");
        pDlg->m_strErrSound = QStringLiteral("/usr/share/sounds/alsa/Noise.wav");
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("sync_log"), [] {
        auto* pDlg = new dialogs::CSyncLogDlg;
        pDlg->BeginRun(nullptr);
        pDlg->AddString(std::string("<< Synchronize Start 26/12/07 14:30:00 >>"));
        for (int i = 0; i < 40; ++i) {
            pDlg->AddString("/home/user/文書/report" + std::to_string(i) +
                            ".txt -> /media/backup/文書/report" + std::to_string(i) + ".txt");
        }
        pDlg->AddString(std::string("Directory /media/backup/写真/2026年 created"));
        pDlg->AddString(std::string("<< Synchronize Completed 26/12/07 14:30:05 >>"));
        pDlg->AddString(std::string("File1 -> File2 コピーファイル数 : 40"));
        pDlg->AddString(std::string("File1 <- File2 コピーファイル数 : 0"));
        pDlg->EndRun();
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("sync_log_running"), [] {
        auto* pDlg = new dialogs::CSyncLogDlg;
        pDlg->BeginRun(nullptr);
        pDlg->resize(pDlg->width() * 3 / 2, pDlg->height());
        pDlg->AddString(std::string("<< Synchronize Start 26/12/07 14:30:00 >>"));
        pDlg->AddString(std::string("/home/user/a.txt -> /media/backup/a.txt"));
        // Half way through a large file, with a preview's totals: the figures
        // beside the Cancel button.
        CRunProgress progress;
        progress.Start(0);
        progress.SetTotals(120, std::uint64_t{900} << 20);
        progress.OnCopyStart("/home/user/動画/旅行.mp4", std::uint64_t{300} << 20);
        progress.OnCopyProgress(std::uint64_t{120} << 20, std::uint64_t{300} << 20);
        pDlg->SetProgress(QString::fromStdString(progress.FormatCounts()),
                          QString::fromStdString(progress.FormatPace(8000)));
        return GrabWindow(pDlg);
    });
    // A real preview over sample trees: a new copy, an overwrite, a new
    // directory, deletions and a removed directory.
    RegisterShot(QStringLiteral("sync_log_preview"), [] {
        QTemporaryDir dir;
        const auto write = [&](const QString& strRel, const QByteArray& data, int nAge) {
            const QString strPath = dir.filePath(strRel);
            QDir().mkpath(QFileInfo(strPath).path());
            QFile file(strPath);
            if (file.open(QIODevice::WriteOnly))
                file.write(data);
            file.setFileTime(QDateTime::currentDateTime().addSecs(-nAge),
                             QFileDevice::FileModificationTime);
        };
        write(QStringLiteral("文書/報告書.txt"), "new", 0);
        write(QStringLiteral("文書/予定表.txt"), "newer", 0);
        write(QStringLiteral("backup/予定表.txt"), "older", 3600);
        write(QStringLiteral("文書/写真/海.jpg"), "jpg", 0);
        write(QStringLiteral("backup/古いメモ.txt"), "old", 0);
        write(QStringLiteral("backup/旧版/下書き.txt"), "old", 0);
        CSyncItemList list;
        if (SYNCITEM* pItem =
                list.SetAt(-1, dir.filePath(QStringLiteral("文書")).toUtf8().constData(),
                           dir.filePath(QStringLiteral("backup")).toUtf8().constData(), nullptr))
            pItem->dwOption = SIO_NOFILE1_DELETE;
        auto* pDlg = new dialogs::CSyncLogDlg;
        pDlg->resize(pDlg->width() * 2, pDlg->height() * 3 / 2);
        app::CGuiRunHost host(nullptr, *pDlg);
        host.SetPreview(true);
        pDlg->BeginPreview(nullptr);
        platform::PosixFileSystem fs;
        CRunSettings settings;
        settings.m_bDeleteGuard = true; // its count shows on the item's line
        (void)RunSyncList(fs, true, host, settings, list, std::string());
        pDlg->EndPreview();
        return GrabWindow(pDlg);
    });
    RegisterShot(QStringLiteral("about"), [] { return GrabWindow(new dialogs::CAboutDlg); });
    RegisterShot(QStringLiteral("msgbox_refusal"), [] {
        return ShotBox(QString::fromUtf8("双方ともDelete FILEを選択することはできません。"),
                       ui::MB_OK | ui::MB_ICONEXCLAMATION, QStringLiteral("OK"));
    });
    RegisterShot(QStringLiteral("msgbox_abort_retry_ignore"), [] {
        return ShotBox(QString::fromUtf8("ファイルのコピーに失敗しました。\n'/a/b.txt' -> "
                                         "'/c/b.txt'\nエラー番号 : 28"),
                       ui::MB_ABORTRETRYIGNORE, ui::MessageBoxButtonText(ui::IDABORT));
    });
    RegisterShot(QStringLiteral("msgbox_yes_no_cancel"), [] {
        return ShotBox(QString::fromUtf8("無題 への変更を保存しますか?"), ui::MB_YESNOCANCEL,
                       ui::MessageBoxButtonText(ui::IDCANCEL));
    });
    RegisterShot(QStringLiteral("msgbox_mass_delete"), [] {
        return ShotBox(QString::fromUtf8("'/media/backup/写真' の 12480 個のファイルのうち 12480 "
                                         "個を削除します。\nよろしいですか？"),
                       ui::MB_YESNO | ui::MB_ICONEXCLAMATION | ui::MB_DEFBUTTON2,
                       ui::MessageBoxButtonText(ui::IDNO));
    });
    RegisterShot(QStringLiteral("msgbox_yes_no"), [] {
        return ShotBox(QString::fromUtf8("同名のファイルとディレクトリが存在します。\n"
                                         "'/a/x' <-> '/b/x'\n無視して継続しますか？"),
                       ui::MB_YESNO, ui::MessageBoxButtonText(ui::IDNO));
    });
}
