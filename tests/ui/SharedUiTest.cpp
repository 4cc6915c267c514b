// Dialog units, the template fonts, the Japanese standard texts and the
// sound service's own checks.
#include <QFontInfo>
#include <QFontMetricsF>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include "support/UiTestUtil.h"
#include "ui/AppInfo.h"
#include "ui/DialogUnits.h"
#include "ui/MsgBox.h"
#include "ui/Sound.h"

using namespace kovrel;

TEST(DialogUnits, TemplateFontsMapToTheIpaFaces) {
    const std::pair<const char*, const char*> aCases[] = {
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
        {"ＭＳ 明朝", "IPAMincho"},
        {"ＭＳ Ｐ明朝", "IPAPMincho"},
    };
    for (const auto& [pszFace, pszFamily] : aCases) {
        const QFont font = ui::MapTemplateFont(QString::fromUtf8(pszFace), 9);
        EXPECT_EQ(QFontInfo(font).family(), QString::fromLatin1(pszFamily)) << pszFace;
        EXPECT_EQ(font.pointSize(), 9);
    }
    const QFont fontSystem = ui::MapTemplateFont(QStringLiteral("System"), 12);
    EXPECT_EQ(fontSystem.family(), QApplication::font().family());
    EXPECT_EQ(fontSystem.pointSize(), 12);
}

TEST(DialogUnits, ConversionUsesTheFontsBaseUnits) {
    const QFont font = ui::MapTemplateFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9);
    const ui::CDialogUnits du(font);
    const double dAverage = QFontMetricsF(font).horizontalAdvance(QStringLiteral(
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                            52.0;
    EXPECT_DOUBLE_EQ(du.BaseX(), dAverage);
    EXPECT_EQ(du.BaseY(), QFontMetrics(font).height());
    for (int n : {0, 1, 4, 7, 50, 243}) {
        EXPECT_EQ(du.X(n), static_cast<int>(std::lround(n * dAverage / 4))) << n;
        EXPECT_EQ(du.Y(n), static_cast<int>(std::lround(n * du.BaseY() / 8.0))) << n;
    }
    // Neighbouring rectangles that touch in dialog units touch in pixels.
    const QRect rcLeft = du.Rect(7, 7, 33, 9);
    const QRect rcRight = du.Rect(40, 7, 10, 9);
    EXPECT_EQ(rcLeft.right() + 1, rcRight.left());
    EXPECT_EQ(du.Size(243, 91), QSize(du.X(243), du.Y(91)));

    // A bigger font gives a bigger dialog of the same proportions.
    const ui::CDialogUnits duBig(ui::MapTemplateFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 18));
    EXPECT_GT(duBig.X(100), du.X(100));
    EXPECT_GT(duBig.Y(100), du.Y(100));
}

TEST(QtTranslation, LoaderInstallsTheJapaneseStandardTexts) {
    ASSERT_TRUE(ui::LoadQtJapaneseTranslation(*QCoreApplication::instance()));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDYES), QString::fromUtf8("はい(&Y)"));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDNO), QString::fromUtf8("いいえ(&N)"));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDCANCEL), QString::fromUtf8("キャンセル"));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDABORT), QString::fromUtf8("中止"));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDRETRY), QString::fromUtf8("再試行"));
    EXPECT_EQ(ui::MessageBoxButtonText(ui::IDIGNORE), QString::fromUtf8("無視"));
}

TEST(Sound, CanberraRefusesWhatIsNoPlayableFileBeforeTouchingTheDevice) {
    QTemporaryDir dir;
    ui::CCanberraSound sound;
    EXPECT_FALSE(sound.PlayFile(""));
    EXPECT_FALSE(sound.PlayFile(dir.filePath(QStringLiteral("missing.wav")).toStdString()));
    EXPECT_FALSE(sound.PlayFile(dir.path().toStdString())) << "a directory";
}

TEST(Sound, ReplacementAndFallbackToTheEventSound) {
    kovrel::test::CSoundRecorder recorder;
    EXPECT_EQ(&ui::Sound(), &recorder);
    recorder.m_bFilesPlay = false;
    ui::PlayFileOrEvent("/x/end.wav", ui::SoundEvent::Warning);
    recorder.m_bFilesPlay = true;
    ui::PlayFileOrEvent("/x/end.wav", ui::SoundEvent::Information);
    EXPECT_EQ(recorder.m_vecPlayed,
              (std::vector<std::string>{"file:/x/end.wav", "event:warning", "file:/x/end.wav"}));
    {
        kovrel::test::CSoundRecorder inner;
        EXPECT_EQ(&ui::Sound(), &inner);
    }
    EXPECT_EQ(&ui::Sound(), &recorder) << "the previous service comes back";
}
