#include "CliSettings.h"

#include <QSettings>
#include <QString>

namespace kovrel::cli {

CRunSettings ReadRunSettings() {
    QSettings profile(QString::fromUtf8(kProfileOrganization),
                      QString::fromUtf8(kProfileApplication));
    profile.beginGroup(QStringLiteral("Env"));
    CRunSettings settings;
    settings.m_strLogFile =
        profile.value(QStringLiteral("LogFile"), QString()).toString().toStdString();
    settings.m_bLogAppend = profile.value(QStringLiteral("LogAppend"), 0).toInt() != 0;
    settings.m_bSoundOn = profile.value(QStringLiteral("SoundOn"), 1).toInt() != 0;
    settings.m_strEndSoundFile =
        profile.value(QStringLiteral("EndSoundFile"), QString()).toString().toStdString();
    settings.m_strErrSoundFile =
        profile.value(QStringLiteral("ErrSoundFile"), QString()).toString().toStdString();
    settings.m_bUseTrash = profile.value(QStringLiteral("UseTrash"), 1).toInt() != 0;
    settings.m_bDeleteGuard = profile.value(QStringLiteral("DeleteGuard"), 1).toInt() != 0;
    settings.m_nDeleteGuardPercent =
        profile.value(QStringLiteral("DeleteGuardPercent"), 50).toInt();
    settings.m_nDeleteGuardMin = profile.value(QStringLiteral("DeleteGuardMin"), 10).toInt();
    profile.endGroup();
    return settings;
}

} // namespace kovrel::cli
