// Pictures of the main window with a sample list (the real application object,
// frame and view; the offscreen platform draws no window frame).
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

#include "Shots.h"
#include "app/KovrelApp.h"
#include "document/KvdFormat.h"

using namespace kovrel;
using namespace kovrel::shots;

namespace {

QString SampleDocument(const QString& strDir) {
    CSyncItemList list;
    const std::string strRoot = strDir.toStdString();
    list.SetAt(-1, (strRoot + "/作業/報告書").c_str(), "/media/usb/報告書", nullptr);
    list.SetAt(-1, "/home/me/src/*.c|*.h", "/srv/backup/src", "!*.bak\n!\\obj\\")->dwOption =
        SIO_ONEWAY_1TO2 | SIO_NOFILE1_DELETE | SIO_FORCE_RO2;
    list.SetAt(-1, "/home/me/.bashrc", "/srv/backup/dotfiles/.bashrc", nullptr)->dwOption =
        SIO_NO_SUBDIRS | SIO_FORCE_RO1;
    const QString strPath = strDir + QStringLiteral("/サンプル.kvd");
    if (SaveKvdFile(strPath.toStdString(), list, KVD_VERSION_1_0).eStatus != KvdFileStatus::Ok)
        return QString();
    return strPath;
}

} // namespace

KOVREL_SHOTS(RegisterAppShots) {
    RegisterShot(QStringLiteral("app_main"), [] {
        // A profile of the picture's own: the user's settings stay untouched.
        static QTemporaryDir s_dirConfig;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, s_dirConfig.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, s_dirConfig.path());
        QTemporaryDir dir;
        app::CKovrelApp theApp;
        app::CMDLINE cmd;
        cmd.strDocument = SampleDocument(dir.path()).toStdString();
        if (!theApp.InitInstance(cmd))
            return QImage();
        return GrabWindow(theApp.GetMainFrame(), true);
    });
}
