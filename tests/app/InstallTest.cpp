// cmake --install into a temporary prefix gives both programs, the desktop
// entry, the MIME type, the icons and the help page, each where the desktop
// looks for it.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString RunProgram(const QString& strProgram, const QStringList& astrArgs, int& nExit) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(strProgram, astrArgs);
    if (!process.waitForFinished(120000)) {
        nExit = -1;
        return QStringLiteral("did not finish");
    }
    nExit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

QString ReadText(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

TEST(Install, IntoATemporaryPrefix) {
    QTemporaryDir dirPrefix;
    ASSERT_TRUE(dirPrefix.isValid());
    const QString strPrefix = dirPrefix.path();
    int nExit = 0;
    const QString strOut =
        RunProgram(QStringLiteral(CMAKE_COMMAND_PATH),
                   {"--install", QStringLiteral(KOVREL_BINARY_DIR), "--prefix", strPrefix}, nExit);
    ASSERT_EQ(nExit, 0) << strOut.toStdString();

    struct EXPECTED {
        const char* pszPath;
        bool bExecutable;
    };
    const EXPECTED files[] = {
        {"bin/kovrel-duplicator", true},
        {"bin/kovrel-sync", true},
        {"share/applications/kovrel-duplicator.desktop", false},
        {"share/mime/packages/kovrel-duplicator.xml", false},
        {"share/kovrel-duplicator/help/index.html", false},
        {"share/icons/hicolor/scalable/apps/kovrel-duplicator.svg", false},
        {"share/icons/hicolor/48x48/apps/kovrel-duplicator.png", false},
        {"share/icons/hicolor/48x48/mimetypes/application-x-kovrel-item.png", false},
    };
    for (const EXPECTED& e : files) {
        const QFileInfo info(strPrefix + QLatin1Char('/') + QString::fromUtf8(e.pszPath));
        EXPECT_TRUE(info.isFile()) << e.pszPath;
        EXPECT_GT(info.size(), 0) << e.pszPath;
        if (e.bExecutable) {
            EXPECT_TRUE(info.isExecutable()) << e.pszPath;
        }
    }

    // Icons in the usual sizes, each a PNG of that size named after the program.
    for (int n : {16, 32, 48, 64, 128, 256}) {
        const QString strIcon =
            strPrefix +
            QStringLiteral("/share/icons/hicolor/%1x%1/apps/kovrel-duplicator.png").arg(n);
        QFile file(strIcon);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << strIcon.toStdString();
        const QByteArray head = file.read(24);
        ASSERT_EQ(head.size(), 24);
        EXPECT_TRUE(head.startsWith("\x89PNG")) << n;
        const auto be32 = [&head](int i) {
            return (uchar(head[i]) << 24) | (uchar(head[i + 1]) << 16) | (uchar(head[i + 2]) << 8) |
                   uchar(head[i + 3]);
        };
        EXPECT_EQ(be32(16), n);
        EXPECT_EQ(be32(20), n);
    }

    const QString strDesktop =
        ReadText(strPrefix + QStringLiteral("/share/applications/kovrel-duplicator.desktop"));
    EXPECT_TRUE(strDesktop.contains(QStringLiteral("\nName=Kovrel Duplicator\n")));
    EXPECT_TRUE(strDesktop.contains(QStringLiteral("\nExec=kovrel-duplicator %f\n")));
    EXPECT_TRUE(strDesktop.contains(QStringLiteral("\nIcon=kovrel-duplicator\n")));
    EXPECT_TRUE(strDesktop.contains(QStringLiteral("MimeType=application/x-kovrel-item;")));

    const QString strMime =
        ReadText(strPrefix + QStringLiteral("/share/mime/packages/kovrel-duplicator.xml"));
    EXPECT_TRUE(strMime.contains(QStringLiteral("<comment>Kovrel Item File</comment>")));
    EXPECT_TRUE(strMime.contains(QStringLiteral("<glob pattern=\"*.kvd\"/>")));

    const QString strHelp =
        ReadText(strPrefix + QStringLiteral("/share/kovrel-duplicator/help/index.html"));
    EXPECT_TRUE(strHelp.contains(QStringLiteral("lang=\"ja\"")));
    EXPECT_TRUE(strHelp.contains(QString::fromUtf8("拡張ワイルドカード指定")));

    // The desktop's own tools accept both files where they are installed.
    const QString strValidate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!strValidate.isEmpty()) {
        const QString strReport = RunProgram(
            strValidate,
            {strPrefix + QStringLiteral("/share/applications/kovrel-duplicator.desktop")}, nExit);
        EXPECT_EQ(nExit, 0) << strReport.toStdString();
    }
    const QString strUpdateMime =
        QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!strUpdateMime.isEmpty()) {
        const QString strReport =
            RunProgram(strUpdateMime, {strPrefix + QStringLiteral("/share/mime")}, nExit);
        EXPECT_EQ(nExit, 0) << strReport.toStdString();
        EXPECT_TRUE(ReadText(strPrefix + QStringLiteral("/share/mime/globs2"))
                        .contains(QStringLiteral("application/x-kovrel-item:*.kvd")));
    }
}

} // namespace
