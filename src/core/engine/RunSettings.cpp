#include "engine/RunSettings.h"

namespace kovrel {

std::optional<LOGFILECHOICE> ChooseLogFile(const std::string& strDocLog,
                                           const CRunSettings& settings) {
    if (!strDocLog.empty()) {
        // The document's setting wins even when it names no file: then the run
        // has no log file at all.
        std::string strPath = strDocLog.substr(1);
        if (strPath.empty())
            return std::nullopt;
        switch (strDocLog.front()) {
        case 'w':
            return LOGFILECHOICE{std::move(strPath), LogFileMode::Overwrite};
        case 'a':
            return LOGFILECHOICE{std::move(strPath), LogFileMode::Append};
        default:
            return std::nullopt;
        }
    }
    if (settings.m_strLogFile.empty())
        return std::nullopt;
    return LOGFILECHOICE{settings.m_strLogFile,
                         settings.m_bLogAppend ? LogFileMode::Append : LogFileMode::Overwrite};
}

RUNSOUND DecideRunSound(const CRunSettings& settings, BeepType nType) {
    RUNSOUND sound;
    if (!settings.m_bSoundOn)
        return sound;
    const std::string& strFile =
        nType == BeepType::Asterisk ? settings.m_strEndSoundFile : settings.m_strErrSoundFile;
    sound.nBeep = nType;
    if (!strFile.empty() && strFile.front() != ' ') {
        sound.kind = RunSoundKind::File;
        sound.strFile = strFile;
    } else {
        sound.kind = RunSoundKind::Beep;
    }
    return sound;
}

} // namespace kovrel
