#include "app/LogFileRules.h"

namespace kovrel::app {

LOGFILECHOICE LogFileDialogStart(const std::string& strDocLog, const CRunSettings& settings) {
    LOGFILECHOICE choice;
    if (!strDocLog.empty()) {
        choice.bDocLog = true;
        choice.strLogFile = strDocLog.substr(1);
        choice.bAppend = strDocLog[0] == 'a';
    } else {
        choice.strLogFile = settings.m_strLogFile;
        choice.bAppend = settings.m_bLogAppend;
    }
    return choice;
}

LOGFILEOUTCOME ApplyLogFileChoice(const std::string& strDocLog, const LOGFILECHOICE& choice,
                                  CRunSettings& settings) {
    LOGFILEOUTCOME outcome;
    outcome.strDocLog = strDocLog;
    if (choice.bDocLog) {
        if (strDocLog.empty())
            outcome.bModified = true;
        const std::string strNew = (choice.bAppend ? "a" : "w") + choice.strLogFile;
        if (strNew != strDocLog) {
            outcome.strDocLog = strNew;
            outcome.bModified = true;
        }
        return outcome;
    }
    if (!strDocLog.empty()) {
        outcome.strDocLog.clear();
        outcome.bModified = true;
    }
    settings.m_strLogFile = choice.strLogFile;
    settings.m_bLogAppend = choice.bAppend;
    outcome.bWriteProfile = true;
    return outcome;
}

} // namespace kovrel::app
