// The log file rule (engine/LogFileCheck.h) and its use by the run: a log
// setting names only a log. The document, another document, a text of the
// user's, a FIFO or a directory are refused with a message, left byte for byte
// as they were, and the run goes on without a log file; an absent, empty or
// earlier log is written as before.
#include "EngineFixture.h"

#include <sys/stat.h>

#include "document/KvdFormat.h"
#include "engine/LogFileCheck.h"

namespace kovrel::test {
namespace {

// A real document's bytes: a one-item list whose own log setting is strDocLog.
std::string DocumentBytes(const std::string& strDocLog) {
    CSyncItemList list;
    list.SetAt(-1, "/a", "/b", nullptr);
    list.m_strDocLog = strDocLog;
    return WriteKvd(list, KVD_VERSION_1_0);
}

TEST(LogFileRule, FirstBytesDecide) {
    const struct {
        std::string strHead;
        LogFileVerdict eVerdict;
    } cases[] = {
        {"", LogFileVerdict::Ok},
        {"<< Synchronize start 98/07/15 13:05:09 >>\r\n/a -> /b\r\n", LogFileVerdict::Ok},
        {std::string(kLogFileStart), LogFileVerdict::Ok},
        {DocumentBytes("w/tmp/x.log").substr(0, kLogFileHeadBytes), LogFileVerdict::HoldsDocument},
        {"\x17KovrelDuplicator Ver0.0", LogFileVerdict::HoldsDocument},
        {"<< Synchronize completed 98/07/15 13:05:09 >>\r\n", LogFileVerdict::NotALog},
        {"<< Synchronize", LogFileVerdict::NotALog},
        {" << Synchronize start", LogFileVerdict::NotALog},
        {"my notes\n", LogFileVerdict::NotALog},
        {std::string("\0\0\0", 3), LogFileVerdict::NotALog},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strHead);
        EXPECT_EQ(JudgeLogFileHead(c.strHead), c.eVerdict);
    }
}

class LogFile : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        m_strDocPath = P("list.kvd");
        m_tmp.WriteFile("list.kvd", DocumentBytes("w" + m_strDocPath));
        m_tmp.WriteFile("other.kvd", DocumentBytes(""));
        m_tmp.WriteFile("notes.txt", "my notes, not a log\n");
        m_tmp.WriteFile("empty.log", "");
        m_tmp.WriteFile("old.log", "<< Synchronize start 98/07/14 10:00:00 >>\r\nold\r\n");
        ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0644), 0);
        Dir("dir");
        ASSERT_EQ(::symlink(P("list.kvd").c_str(), P("doc-link").c_str()), 0);
        ASSERT_EQ(::link(P("list.kvd").c_str(), P("doc-hardlink").c_str()), 0);
        File("1/a.txt", "a", 0);
    }

    // A run of one item 1 -> 2 whose document names strLog, in mode cMode.
    RunResult RunWithDocLog(char cMode, const std::string& strLog) {
        CSyncItemList list;
        AddItem(list, m_str1, m_str2);
        list.m_strDocLog = std::string(1, cMode) + strLog;
        return RunList(list);
    }
};

// Each refused file: verdict, message, file unchanged, run goes on.
TEST_F(LogFile, RefusedFilesStayAsTheyWereAndTheRunGoesOn) {
    const struct {
        const char* pszName;
        LogFileVerdict eVerdict;
        const char* pszReason;
    } cases[] = {
        {"list.kvd", LogFileVerdict::IsDocument, "開いているKVDファイルそのもの"},
        {"doc-link", LogFileVerdict::IsDocument, "開いているKVDファイルそのもの"},
        {"doc-hardlink", LogFileVerdict::IsDocument, "開いているKVDファイルそのもの"},
        {"other.kvd", LogFileVerdict::HoldsDocument, "はKVDファイルなので"},
        {"notes.txt", LogFileVerdict::NotALog, "ログではないため"},
        {"pipe", LogFileVerdict::NotRegularFile, "通常のファイルではない"},
        {"dir", LogFileVerdict::NotRegularFile, "通常のファイルではない"},
    };
    for (const auto& c : cases) {
        for (const char cMode : {'w', 'a'}) {
            SCOPED_TRACE(std::string(c.pszName) + " " + cMode);
            EXPECT_EQ(CheckLogFile(P(c.pszName), m_strDocPath).eVerdict, c.eVerdict);
            ::unlink(P("2/a.txt").c_str());
            const auto before = Snapshot("");
            EXPECT_EQ(RunWithDocLog(cMode, P(c.pszName)), RunResult::Completed);
            // The run went on: the copy and its line, with every line as always.
            EXPECT_EQ(Actions(), std::vector<std::string>{P("1/a.txt") + " -> " + P("2/a.txt")});
            EXPECT_TRUE(Exists("2/a.txt"));
            ASSERT_EQ(m_host.m_errors.size(), 1u);
            const std::string& strError = m_host.m_errors.front();
            EXPECT_NE(strError.find("'" + P(c.pszName) + "'"), std::string::npos) << strError;
            EXPECT_NE(strError.find(c.pszReason), std::string::npos) << strError;
            EXPECT_NE(strError.find("ログファイルなしで同期を続けます。"), std::string::npos);
            // Nothing else changed, byte for byte (the FIFO was never opened).
            auto after = Snapshot("");
            after.erase("2/a.txt");
            EXPECT_EQ(after, before);
        }
    }
}

// An absent, empty or earlier log is written: overwritten or appended to.
TEST_F(LogFile, LogsAreWrittenAsBefore) {
    const std::string strOld = Read("old.log");
    EXPECT_EQ(RunWithDocLog('a', P("old.log")), RunResult::Completed);
    EXPECT_TRUE(m_host.m_errors.empty());
    const std::string strAppended = Read("old.log");
    ASSERT_EQ(strAppended.substr(0, strOld.size()), strOld);
    EXPECT_EQ(strAppended.substr(strOld.size(), kStartLine.size()), kStartLine);

    for (const char* pszName : {"old.log", "empty.log", "new.log"}) {
        SCOPED_TRACE(pszName);
        ::unlink(P("2/a.txt").c_str());
        EXPECT_EQ(CheckLogFile(P(pszName), m_strDocPath).eVerdict, LogFileVerdict::Ok);
        EXPECT_EQ(RunWithDocLog('w', P(pszName)), RunResult::Completed);
        EXPECT_TRUE(m_host.m_errors.empty());
        std::string strExpected;
        for (const std::string& strLine : m_host.m_lines)
            strExpected += strLine + "\r\n";
        EXPECT_EQ(Read(pszName), strExpected);
    }
}

// The program-wide setting is held to the same rule, and a document never
// saved (no path) still cannot be given another document.
TEST_F(LogFile, ProgramWideSettingAndUnsavedDocument) {
    const std::string strDoc = Read("list.kvd");
    m_settings.m_strLogFile = P("list.kvd");
    m_settings.m_bLogAppend = false;
    CSyncItemList list;
    AddItem(list, m_str1, m_str2);
    EXPECT_EQ(RunList(list), RunResult::Completed);
    EXPECT_EQ(m_host.m_errors.size(), 1u);
    EXPECT_EQ(Read("list.kvd"), strDoc);

    m_strDocPath.clear();
    EXPECT_EQ(CheckLogFile(P("list.kvd"), "").eVerdict, LogFileVerdict::HoldsDocument);
    ::unlink(P("2/a.txt").c_str());
    EXPECT_EQ(RunList(list), RunResult::Completed);
    EXPECT_EQ(m_host.m_errors.size(), 1u);
    EXPECT_EQ(Read("list.kvd"), strDoc);
}

// A dry run opens no log file, so it refuses nothing and says nothing.
TEST_F(LogFile, DryRunSaysNothing) {
    m_bNoLogFile = true;
    EXPECT_EQ(RunWithDocLog('w', P("notes.txt")), RunResult::Completed);
    EXPECT_TRUE(m_host.m_errors.empty());
}

} // namespace
} // namespace kovrel::test
