#include "app/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace kovrel::app {
namespace {

struct RECTCASE {
    const char* pszName;
    const char* pszValue;
    WINRECT rc;
};

class WindowRect : public ::testing::TestWithParam<RECTCASE> {};

TEST_P(WindowRect, ParsesLikeTheProfileReader) {
    WINRECT rc;
    ParseWindowRect(GetParam().pszValue, rc);
    EXPECT_EQ(rc, GetParam().rc) << rc.left << ',' << rc.top << ',' << rc.right << ',' << rc.bottom;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowRect,
    ::testing::Values(
        RECTCASE{"Four", "10,20,300,200", {10, 20, 300, 200}},
        RECTCASE{"TwoOnly", "10,20", {10, 50, 550, 400}}, RECTCASE{"Empty", "", {50, 50, 550, 400}},
        RECTCASE{"NoComma", "123", {50, 50, 550, 400}},
        RECTCASE{"LeadingComma", ",1,2,3", {50, 50, 550, 400}},
        RECTCASE{"SecondCommaAtOnce", "10,,30,40", {10, 50, 550, 400}},
        RECTCASE{"ThirdCommaAtOnce", "10,20,,40", {10, 20, 550, 400}},
        RECTCASE{"ThreeNumbers", "10,20,30", {10, 20, 550, 400}},
        RECTCASE{"Negative", "-1280,-5,-100,300", {-1280, -5, -100, 300}},
        RECTCASE{"BlanksAndSigns", " 7, +8,  9,\t10", {7, 8, 9, 10}},
        RECTCASE{"TrailingJunk", "10px,20y,30z,40w", {10, 20, 30, 40}},
        RECTCASE{"LettersGiveZero", "a,b,c,d", {0, 0, 0, 0}},
        RECTCASE{"EmptyLastField", "1,2,3,", {1, 2, 3, 0}},
        RECTCASE{"Clamped", "99999999999,-99999999999,1,2", {2147483647, -2147483647 - 1, 1, 2}},
        RECTCASE{"MoreFields", "1,2,3,4,5", {1, 2, 3, 4}}),
    [](const auto& p) { return std::string(p.param.pszName); });

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override { OpenProfile()->clear(); }
    void TearDown() override { OpenProfile()->clear(); }
    static QString FileName() { return OpenProfile()->fileName(); }
};

TEST_F(ProfileFile, DefaultsWithoutEnv) {
    const ENVSETTINGS env = ReadEnvSettings();
    EXPECT_EQ(env.rcWindow, (WINRECT{50, 50, 550, 400}));
    EXPECT_EQ(env.run.m_strLogFile, "");
    EXPECT_FALSE(env.run.m_bLogAppend);
    EXPECT_TRUE(env.run.m_bSoundOn);
    EXPECT_TRUE(env.run.m_bUseTrash);
    EXPECT_TRUE(env.run.m_bDeleteGuard);
    EXPECT_EQ(env.run.m_nDeleteGuardPercent, 50);
    EXPECT_EQ(env.run.m_nDeleteGuardMin, 10);
    EXPECT_EQ(env.run.m_strEndSoundFile, "");
    EXPECT_EQ(env.run.m_strErrSoundFile, "");
}

TEST_F(ProfileFile, SharedWithTheCommandLineProgramsLocation) {
    EXPECT_TRUE(FileName().endsWith(QStringLiteral("Marovin_Quellan/Kovrel Duplicator.conf")))
        << FileName().toStdString();
}

TEST_F(ProfileFile, HandWrittenUnquotedWindowIsJoined) {
    // Someone editing the file by hand writes the value without quotes; QSettings
    // then reads it back as a list of four strings.
    {
        QDir().mkpath(QFileInfo(FileName()).path());
        QFile file(FileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Env]\nWindow=10,20,300,200\nLogFile=/tmp/a,b.log\nSoundOn=0\nUseTrash=0\n"
                   "DeleteGuard=0\nDeleteGuardPercent=75\nDeleteGuardMin=3\n");
    }
    const ENVSETTINGS env = ReadEnvSettings();
    EXPECT_EQ(env.rcWindow, (WINRECT{10, 20, 300, 200}));
    EXPECT_EQ(env.run.m_strLogFile, "/tmp/a,b.log");
    EXPECT_FALSE(env.run.m_bSoundOn);
    EXPECT_FALSE(env.run.m_bUseTrash);
    EXPECT_FALSE(env.run.m_bDeleteGuard);
    EXPECT_EQ(env.run.m_nDeleteGuardPercent, 75);
    EXPECT_EQ(env.run.m_nDeleteGuardMin, 3);
}

TEST_F(ProfileFile, WritesReadBack) {
    WriteWindowSetting({-3, 4, 700, 800});
    CRunSettings run;
    run.m_strLogFile = "/var/log/ログ,1.txt";
    run.m_bLogAppend = true;
    WriteLogFileSettings(run);
    run.m_bSoundOn = false;
    run.m_strEndSoundFile = " /snd/end.wav";
    run.m_strErrSoundFile = "/snd/err.wav";
    WriteSoundSettings(run);

    const ENVSETTINGS env = ReadEnvSettings();
    EXPECT_EQ(env.rcWindow, (WINRECT{-3, 4, 700, 800}));
    EXPECT_EQ(env.run.m_strLogFile, run.m_strLogFile);
    EXPECT_TRUE(env.run.m_bLogAppend);
    EXPECT_FALSE(env.run.m_bSoundOn);
    EXPECT_EQ(env.run.m_strEndSoundFile, " /snd/end.wav");
    EXPECT_EQ(env.run.m_strErrSoundFile, "/snd/err.wav");
    // Integers as 0 or 1, the window as one "%d,%d,%d,%d" text.
    auto profile = OpenProfile();
    EXPECT_EQ(profile->value(QStringLiteral("Env/LogAppend")).toString(), QStringLiteral("1"));
    EXPECT_EQ(profile->value(QStringLiteral("Env/SoundOn")).toString(), QStringLiteral("0"));
    EXPECT_EQ(ProfileText(profile->value(QStringLiteral("Env/Window"))),
              QStringLiteral("-3,4,700,800"));
}

TEST_F(ProfileFile, RecentListOrderLimitAndStaleKeys) {
    CRecentFileList mru;
    mru.Read();
    EXPECT_EQ(mru.GetSize(), 0);
    for (const char* psz : {"/d/1.kvd", "/d/2.kvd", "/d/3.kvd", "/d/4.kvd", "/d/5.kvd"})
        mru.Add(QString::fromUtf8(psz));
    mru.Add(QStringLiteral("/d/3.kvd")); // moves to the top, no duplicate
    EXPECT_EQ(mru.Entries(), (QStringList{"/d/3.kvd", "/d/5.kvd", "/d/4.kvd", "/d/2.kvd"}));
    mru.Write();

    CRecentFileList reread;
    reread.Read();
    EXPECT_EQ(reread.Entries(), mru.Entries());
    reread.Remove(1);
    reread.Remove(7); // out of range: nothing
    reread.Write();
    auto profile = OpenProfile();
    EXPECT_EQ(profile->value(QStringLiteral("Recent File List/File3")).toString(),
              QStringLiteral("/d/2.kvd"));
    EXPECT_FALSE(profile->contains(QStringLiteral("Recent File List/File4")));
}

TEST_F(ProfileFile, RecentEntryMadeAbsolute) {
    CRecentFileList mru;
    mru.Add(QStringLiteral("relative.kvd"));
    ASSERT_EQ(mru.GetSize(), 1);
    EXPECT_TRUE(mru[0].startsWith(QLatin1Char('/')));
    EXPECT_TRUE(mru[0].endsWith(QStringLiteral("/relative.kvd")));
}

} // namespace
} // namespace kovrel::app
