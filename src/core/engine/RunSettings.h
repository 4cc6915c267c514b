// The program-wide settings a run depends on, the rule that picks a run's log
// file, and the choice of the sound that ends a run. Reading and writing the
// settings profile is the front end's job; these are plain values and pure
// functions.
#pragma once

#include <optional>
#include <string>

namespace kovrel {

// Profile group "Env". Defaults are those of an absent key.
struct CRunSettings {
    std::string m_strLogFile;      // "LogFile": empty means no program-wide log file
    bool m_bLogAppend = false;     // "LogAppend": append instead of overwrite
    bool m_bSoundOn = true;        // "SoundOn": a run ends with a sound
    std::string m_strEndSoundFile; // "EndSoundFile": run went through the whole list
    std::string m_strErrSoundFile; // "ErrSoundFile": run stopped early
    // "UseTrash": files the run deletes, and the old version of a file it
    // overwrites, go to the trash of their file system. The profile's default
    // is on; a run whose settings were not read from a profile deletes for good.
    bool m_bUseTrash = false;
    // "DeleteGuard": before an item with a delete option deletes anything, it
    // counts what it would delete and asks when that is most or all of a side
    // (DeleteGuard.h has the rule). The profile's default is on; a run whose
    // settings were not read from a profile does not ask.
    bool m_bDeleteGuard = false;
    int m_nDeleteGuardPercent = 50; // "DeleteGuardPercent"
    int m_nDeleteGuardMin = 10;     // "DeleteGuardMin"
};

enum class LogFileMode { Overwrite, Append };

struct LOGFILECHOICE {
    std::string strPath;
    LogFileMode mode = LogFileMode::Overwrite;
};

// Which log file a run opens. A document's own setting (mode letter "w" or "a",
// then the path) replaces the program-wide one; the mode letter alone means no
// log file at all. A letter other than "w" or "a" cannot be opened either: no
// log file.
std::optional<LOGFILECHOICE> ChooseLogFile(const std::string& strDocLog,
                                           const CRunSettings& settings);

// The standard beeps, with the values the message box icons carry.
enum class BeepType : unsigned { Asterisk = 0x40, Exclamation = 0x30 };

enum class RunSoundKind { None, Beep, File };

// What to play at the end of a run. For RunSoundKind::File the host plays
// strFile and, when that file cannot be played, the standard beep nBeep instead.
struct RUNSOUND {
    RunSoundKind kind = RunSoundKind::None;
    std::string strFile;
    BeepType nBeep = BeepType::Asterisk;
};

// Asterisk: the run went through the whole list; Exclamation: it stopped early.
// Sounds off: None. Otherwise the end or error sound file when its name is not
// empty and does not begin with a blank (a leading blank keeps a name in the
// setting while using the beep), else the standard beep of that type.
RUNSOUND DecideRunSound(const CRunSettings& settings, BeepType nType);

} // namespace kovrel
