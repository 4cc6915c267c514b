// The log file rule and the end-of-run sound decision.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "engine/RunSettings.h"

namespace kovrel {
namespace {

TEST(ChooseLogFileTest, DocumentSettingOverProgramWide) {
    struct Case {
        const char* pszName;
        std::string strDocLog;
        std::string strLogFile;
        bool bAppend;
        std::optional<LOGFILECHOICE> expected;
    };
    const Case cases[] = {
        {"nothing set", "", "", true, std::nullopt},
        {"program-wide, overwrite", "", "/l/env.log", false,
         LOGFILECHOICE{"/l/env.log", LogFileMode::Overwrite}},
        {"program-wide, append", "", "/l/env.log", true,
         LOGFILECHOICE{"/l/env.log", LogFileMode::Append}},
        {"document w", "w/l/doc.log", "/l/env.log", true,
         LOGFILECHOICE{"/l/doc.log", LogFileMode::Overwrite}},
        {"document a", "a/l/doc.log", "/l/env.log", false,
         LOGFILECHOICE{"/l/doc.log", LogFileMode::Append}},
        {"document letter alone", "w", "/l/env.log", true, std::nullopt},
        {"document unknown letter", "r/l/doc.log", "/l/env.log", true, std::nullopt},
        {"document path with blanks", "a ログ 1.txt", "", false,
         LOGFILECHOICE{" ログ 1.txt", LogFileMode::Append}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunSettings settings;
        settings.m_strLogFile = c.strLogFile;
        settings.m_bLogAppend = c.bAppend;
        const auto choice = ChooseLogFile(c.strDocLog, settings);
        ASSERT_EQ(choice.has_value(), c.expected.has_value());
        if (choice) {
            EXPECT_EQ(choice->strPath, c.expected->strPath);
            EXPECT_EQ(choice->mode, c.expected->mode);
        }
    }
}

TEST(DecideRunSoundTest, FileOrStandardBeep) {
    struct Case {
        const char* pszName;
        bool bSoundOn;
        std::string strEnd;
        std::string strErr;
        BeepType nType;
        RunSoundKind kind;
        std::string strFile;
    };
    const Case cases[] = {
        {"defaults, end", true, "", "", BeepType::Asterisk, RunSoundKind::Beep, ""},
        {"defaults, early end", true, "", "", BeepType::Exclamation, RunSoundKind::Beep, ""},
        {"end file", true, "/s/end.wav", "/s/err.wav", BeepType::Asterisk, RunSoundKind::File,
         "/s/end.wav"},
        {"error file", true, "/s/end.wav", "/s/err.wav", BeepType::Exclamation, RunSoundKind::File,
         "/s/err.wav"},
        {"leading blank keeps the beep", true, " /s/end.wav", "", BeepType::Asterisk,
         RunSoundKind::Beep, ""},
        {"only the other file set", true, "", "/s/err.wav", BeepType::Asterisk, RunSoundKind::Beep,
         ""},
        {"sounds off", false, "/s/end.wav", "/s/err.wav", BeepType::Asterisk, RunSoundKind::None,
         ""},
        {"sounds off, early end", false, "", "", BeepType::Exclamation, RunSoundKind::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        CRunSettings settings;
        settings.m_bSoundOn = c.bSoundOn;
        settings.m_strEndSoundFile = c.strEnd;
        settings.m_strErrSoundFile = c.strErr;
        const RUNSOUND sound = DecideRunSound(settings, c.nType);
        EXPECT_EQ(sound.kind, c.kind);
        EXPECT_EQ(sound.strFile, c.strFile);
        if (sound.kind != RunSoundKind::None) {
            EXPECT_EQ(sound.nBeep, c.nType); // also the fallback of a file
        }
    }
}

TEST(RunSettingsTest, DefaultsOfAnAbsentProfile) {
    const CRunSettings settings;
    EXPECT_TRUE(settings.m_strLogFile.empty());
    EXPECT_FALSE(settings.m_bLogAppend);
    EXPECT_TRUE(settings.m_bSoundOn);
    EXPECT_EQ(static_cast<unsigned>(BeepType::Asterisk), 0x40u);
    EXPECT_EQ(static_cast<unsigned>(BeepType::Exclamation), 0x30u);
}

} // namespace
} // namespace kovrel
