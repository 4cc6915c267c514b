#include "app/Profile.h"

#include <QFileInfo>
#include <QSettings>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace kovrel::app {

namespace {

// strtol on the start of the field, clamped to int.
int FieldNumber(const std::string& strValue, std::size_t nStart) {
    const char* psz = strValue.c_str() + nStart;
    errno = 0;
    const long n = std::strtol(psz, nullptr, 10);
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return static_cast<int>(n);
}

QString Key(const char* psz) {
    return QString::fromUtf8(psz);
}

} // namespace

void ParseWindowRect(std::string_view strView, WINRECT& rc) {
    const std::string strValue(strView);
    const std::size_t nFirst = strValue.find(',');
    if (nFirst == std::string::npos || nFirst == 0)
        return;
    rc.left = FieldNumber(strValue, 0);
    const std::size_t nSecond = strValue.find(',', nFirst + 1);
    if (nSecond == std::string::npos || nSecond == nFirst + 1)
        return;
    rc.top = FieldNumber(strValue, nFirst + 1);
    const std::size_t nThird = strValue.find(',', nSecond + 1);
    if (nThird == std::string::npos || nThird == nSecond + 1)
        return;
    rc.right = FieldNumber(strValue, nSecond + 1);
    rc.bottom = FieldNumber(strValue, nThird + 1);
}

QString FormatWindowRect(const WINRECT& rc) {
    return QStringLiteral("%1,%2,%3,%4").arg(rc.left).arg(rc.top).arg(rc.right).arg(rc.bottom);
}

QString ProfileText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

std::unique_ptr<QSettings> OpenProfile() {
    return std::make_unique<QSettings>(Key(kProfileOrganization), Key(kProfileApplication));
}

ENVSETTINGS ReadEnvSettings() {
    ENVSETTINGS env;
    auto profile = OpenProfile();
    profile->beginGroup(Key(kEnvGroup));
    const QString strWindow =
        ProfileText(profile->value(QStringLiteral("Window"), Key(kWindowDefault)));
    env.rcWindow = WINRECT{};
    ParseWindowRect(strWindow.toStdString(), env.rcWindow);
    env.run.m_strLogFile = ProfileText(profile->value(QStringLiteral("LogFile"))).toStdString();
    env.run.m_bLogAppend = profile->value(QStringLiteral("LogAppend"), 0).toInt() != 0;
    env.run.m_bSoundOn = profile->value(QStringLiteral("SoundOn"), 1).toInt() != 0;
    env.run.m_strEndSoundFile =
        ProfileText(profile->value(QStringLiteral("EndSoundFile"))).toStdString();
    env.run.m_strErrSoundFile =
        ProfileText(profile->value(QStringLiteral("ErrSoundFile"))).toStdString();
    env.run.m_bUseTrash = profile->value(QStringLiteral("UseTrash"), 1).toInt() != 0;
    env.run.m_bDeleteGuard = profile->value(QStringLiteral("DeleteGuard"), 1).toInt() != 0;
    env.run.m_nDeleteGuardPercent =
        profile->value(QStringLiteral("DeleteGuardPercent"), 50).toInt();
    env.run.m_nDeleteGuardMin = profile->value(QStringLiteral("DeleteGuardMin"), 10).toInt();
    profile->endGroup();
    return env;
}

void WriteWindowSetting(const WINRECT& rc) {
    auto profile = OpenProfile();
    profile->setValue(Key(kEnvGroup) + QStringLiteral("/Window"), FormatWindowRect(rc));
}

void WriteLogFileSettings(const CRunSettings& settings) {
    auto profile = OpenProfile();
    profile->beginGroup(Key(kEnvGroup));
    profile->setValue(QStringLiteral("LogFile"), QString::fromStdString(settings.m_strLogFile));
    profile->setValue(QStringLiteral("LogAppend"), settings.m_bLogAppend ? 1 : 0);
    profile->endGroup();
}

void WriteSoundSettings(const CRunSettings& settings) {
    auto profile = OpenProfile();
    profile->beginGroup(Key(kEnvGroup));
    profile->setValue(QStringLiteral("SoundOn"), settings.m_bSoundOn ? 1 : 0);
    profile->setValue(QStringLiteral("EndSoundFile"),
                      QString::fromStdString(settings.m_strEndSoundFile));
    profile->setValue(QStringLiteral("ErrSoundFile"),
                      QString::fromStdString(settings.m_strErrSoundFile));
    profile->endGroup();
}

void WriteTrashSetting(const CRunSettings& settings) {
    auto profile = OpenProfile();
    profile->setValue(Key(kEnvGroup) + QStringLiteral("/UseTrash"), settings.m_bUseTrash ? 1 : 0);
}

void CRecentFileList::Read() {
    m_list.clear();
    auto profile = OpenProfile();
    profile->beginGroup(Key(kRecentGroup));
    for (int i = 1; i <= kRecentMax; ++i) {
        const QString strPath = ProfileText(profile->value(QStringLiteral("File%1").arg(i)));
        if (!strPath.isEmpty() && !m_list.contains(strPath))
            m_list.append(strPath);
    }
    profile->endGroup();
}

void CRecentFileList::Write() const {
    auto profile = OpenProfile();
    profile->beginGroup(Key(kRecentGroup));
    for (int i = 1; i <= kRecentMax; ++i) {
        const QString strKey = QStringLiteral("File%1").arg(i);
        if (i <= m_list.size())
            profile->setValue(strKey, m_list[i - 1]);
        else
            profile->remove(strKey);
    }
    profile->endGroup();
}

void CRecentFileList::Add(const QString& strPath) {
    const QString strFull = QFileInfo(strPath).absoluteFilePath();
    m_list.removeAll(strFull);
    m_list.prepend(strFull);
    while (m_list.size() > kRecentMax)
        m_list.removeLast();
}

void CRecentFileList::Remove(int nIndex) {
    if (nIndex >= 0 && nIndex < m_list.size())
        m_list.removeAt(nIndex);
}

} // namespace kovrel::app
