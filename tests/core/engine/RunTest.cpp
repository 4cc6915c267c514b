// The run over a whole list: its start, end and summary lines, items passed
// over, questions that stop or go on, Cancel, the log file and the end sound.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EngineFixture.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;

class RunTest : public EngineTest {
protected:
    std::string ReadAll(const std::string& strPath) const {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::string CrLf(const Lines& lines) {
        std::string str;
        for (const std::string& line : lines)
            str += line + "\r\n";
        return str;
    }
    Lines Completed(int n1to2 = 0, int n2to1 = 0, int nDel1 = 0, int nDel2 = 0) const {
        Lines lines = {kCompletedLine};
        for (const std::string& str : CountLines(n1to2, n2to1, nDel1, nDel2))
            lines.push_back(str);
        return lines;
    }
};

TEST_F(RunTest, EmptyListLogsStartCompletedAndZeroCounts) {
    CSyncItemList list;
    EXPECT_EQ(RunList(list), RunResult::Completed);
    Lines expected = {kStartLine};
    for (const std::string& str : Completed())
        expected.push_back(str);
    EXPECT_EQ(m_host.m_lines, expected);
    ASSERT_EQ(m_host.m_sounds.size(), 1u);
    EXPECT_EQ(m_host.m_sounds[0].kind, RunSoundKind::Beep);
    EXPECT_EQ(m_host.m_sounds[0].nBeep, BeepType::Asterisk);
}

TEST_F(RunTest, StartAndCompletedLinesCarryTheLocalTime) {
    CScriptedHost host;
    CSyncEngine engine(m_posix, host, m_settings);
    engine.SetClock([] {
        std::tm tm{};
        tm.tm_year = 105; // 2005
        tm.tm_mon = 0;
        tm.tm_mday = 2;
        tm.tm_hour = 3;
        tm.tm_min = 4;
        tm.tm_sec = 5;
        return tm;
    });
    CSyncItemList list;
    EXPECT_EQ(engine.Run(list), RunResult::Completed);
    ASSERT_GE(host.m_lines.size(), 2u);
    EXPECT_EQ(host.m_lines[0], "<< Synchronize start 05/01/02 03:04:05 >>");
    EXPECT_EQ(host.m_lines[1], "<< Synchronize completed 05/01/02 03:04:05 >>");
}

// Items without two paths are passed over without a word; the rest run.
TEST_F(RunTest, ItemsWithAnEmptyOrMissingPathArePassedOver) {
    File("1/f", "x", 1);
    CSyncItemList list;
    list.SetAt(-1, m_str1.c_str(), "", nullptr);
    list.SetAt(-1, "", m_str2.c_str(), nullptr);
    list.SetAt(-1, nullptr, m_str2.c_str(), nullptr);
    list.SetAt(-1, m_str1.c_str(), nullptr, nullptr);
    AddItem(list, m_str1, m_str2);
    EXPECT_EQ(RunList(list), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{m_str1 + "/f -> " + m_str2 + "/f"});
    EXPECT_TRUE(m_host.m_questions.empty());
}

// A wildcard list on one side selects the files of both sides.
TEST_F(RunTest, WildcardListOnOnePathSelectsFiles) {
    File("1/a.c", "", 1);
    File("1/a.h", "", 1);
    File("1/b.txt", "", 1);
    RunItem(m_str1 + "/*.c|*.H", m_str2);
    EXPECT_EQ(Actions(), (Lines{m_str1 + "/a.c -> " + m_str2 + "/a.c",
                                m_str1 + "/a.h -> " + m_str2 + "/a.h"}));
}

TEST_F(RunTest, WildcardsInBothPathsAreAskedAbout) {
    for (const bool bYes : {true, false}) {
        SCOPED_TRACE(bYes);
        File("1/f", "x", 1);
        ::unlink(P("2/f").c_str());
        CSyncItemList list;
        const std::string strW1 = m_str1 + "/*.c";
        const std::string strW2 = m_str2 + "/*.h";
        AddItem(list, strW1, strW2);
        AddItem(list, m_str1, m_str2);
        m_host.m_yesNoAnswers = {bYes};
        const RunResult result = RunList(list);
        ASSERT_EQ(m_host.m_questions.size(), 1u);
        EXPECT_EQ(m_host.m_questions[0], "両方にワイルドカードを指定することはできません。\n'" +
                                             strW1 + "' <-> '" + strW2 +
                                             "'\n無視して継続しますか？");
        EXPECT_EQ(m_stat.nOtherErrors, 1);
        ASSERT_EQ(m_host.m_sounds.size(), 1u);
        if (bYes) {
            EXPECT_EQ(result, RunResult::CompletedWithErrors);
            Lines expected = {kStartLine, m_str1 + "/f -> " + m_str2 + "/f"};
            for (const std::string& str : Completed(1))
                expected.push_back(str);
            expected.push_back("エラー個数 fileコピー : 0, file削除 : 0");
            expected.push_back("　　　　　 dir作成 : 0, dir削除 : 0");
            expected.push_back("　　　　　 その他 : 1");
            EXPECT_EQ(m_host.m_lines, expected);
            // Errors passed over: the run still reached the end.
            EXPECT_EQ(m_host.m_sounds[0].nBeep, BeepType::Asterisk);
        } else {
            EXPECT_EQ(result, RunResult::Stopped);
            Lines expected = {kStartLine, kCanceledLine};
            for (const std::string& str : CountLines(0, 0, 0, 0))
                expected.push_back(str);
            expected.push_back("エラー個数 fileコピー : 0, file削除 : 0");
            expected.push_back("　　　　　 dir作成 : 0, dir削除 : 0");
            expected.push_back("　　　　　 その他 : 1");
            EXPECT_EQ(m_host.m_lines, expected);
            EXPECT_EQ(m_host.m_sounds[0].nBeep, BeepType::Exclamation);
            EXPECT_FALSE(Exists("2/f"));
        }
    }
}

TEST_F(RunTest, CancelBeforeTheFirstItemWritesNoSummary) {
    File("1/f", "x", 1);
    m_host.m_nCancelAtCheck = 1;
    CSyncItemList list;
    AddItem(list, m_str1, m_str2);
    CSyncEngine engine(m_posix, m_host, m_settings);
    engine.SetClock(FixedTime);
    EXPECT_EQ(engine.Run(list), RunResult::Stopped);
    EXPECT_TRUE(engine.StoppedBeforeFirstItem());
    EXPECT_EQ(m_host.m_lines, (Lines{kStartLine, kCanceledLine}));
    EXPECT_FALSE(Exists("2/f"));
    ASSERT_EQ(m_host.m_sounds.size(), 1u);
    EXPECT_EQ(m_host.m_sounds[0].nBeep, BeepType::Exclamation);
}

// Cancel during the run: the operation under way finishes, then the run stops
// with the counts reached so far.
TEST_F(RunTest, CancelDuringTheRunStopsAfterTheCurrentOperation) {
    File("1/a", "", 1);
    File("1/b", "", 1);
    File("1/c", "", 1);
    m_host.m_strCancelAfterLine = m_str1 + "/b -> " + m_str2 + "/b";
    CSyncItemList list;
    AddItem(list, m_str1, m_str2);
    CSyncEngine engine(m_posix, m_host, m_settings);
    engine.SetClock(FixedTime);
    EXPECT_EQ(engine.Run(list), RunResult::Stopped);
    EXPECT_FALSE(engine.StoppedBeforeFirstItem());
    Lines expected = {kStartLine, m_str1 + "/a -> " + m_str2 + "/a",
                      m_str1 + "/b -> " + m_str2 + "/b", kCanceledLine};
    for (const std::string& str : CountLines(2, 0, 0, 0))
        expected.push_back(str);
    EXPECT_EQ(m_host.m_lines, expected);
    EXPECT_FALSE(Exists("2/c"));
}

// Cancel is also looked at after each step of a removal and after a directory
// is created.
TEST_F(RunTest, CancelIsNoticedInsideRemovalsAndCreations) {
    Dir("2/old");
    File("2/old/a", "", 1);
    File("2/old/b", "", 1);
    m_host.m_strCancelAfterLine = m_str2 + "/old/a Deleted";
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE), RunResult::Stopped);
    EXPECT_EQ(Actions(), Lines{m_str2 + "/old/a Deleted"});
    EXPECT_TRUE(Exists("2/old/b"));

    Dir("1/new");
    File("1/new/x", "", 1);
    m_host.m_strCancelAfterLine = "Directory " + m_str2 + "/new created";
    EXPECT_EQ(RunItem(m_str1 + "/new", m_str2 + "/new"), RunResult::Stopped);
    EXPECT_EQ(Actions(), Lines{"Directory " + m_str2 + "/new created"});
    EXPECT_FALSE(Exists("2/new/x"));
}

// The document's setting wins over the program-wide one; the mode letter alone
// means no log file; "w" empties the file, "a" appends; lines end in CR LF.
TEST_F(RunTest, LogFileModes) {
    const std::string strDoc = P("doc.log");
    const std::string strEnv = P("env.log");
    struct Case {
        const char* pszName;
        std::string strDocLog;
        std::string strLogFile;
        bool bAppend;
        bool bDocWritten; // else the program-wide file, or none when both false
        bool bEnvWritten;
        bool bKeepsOld;
    };
    const Case cases[] = {
        {"doc w", "w" + strDoc, strEnv, true, true, false, false},
        {"doc a", "a" + strDoc, strEnv, false, true, false, true},
        {"doc letter alone", "a", strEnv, false, false, false, false},
        {"doc unknown letter", "x" + strDoc, strEnv, false, false, false, false},
        {"env overwrite", "", strEnv, false, false, true, false},
        {"env append", "", strEnv, true, false, true, true},
        {"none", "", "", true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        // An earlier run's log: only such a file (or an empty one) is written to.
        const std::string strOld = "<< Synchronize start 98/07/14 10:00:00 >>\r\nearlier line\r\n";
        for (const std::string& strPath : {strDoc, strEnv}) {
            std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
            out << strOld;
        }
        File("1/f", "x", 1);
        ::unlink(P("2/f").c_str());
        m_settings.m_strLogFile = c.strLogFile;
        m_settings.m_bLogAppend = c.bAppend;
        CSyncItemList list;
        list.m_strDocLog = c.strDocLog;
        AddItem(list, m_str1, m_str2);
        RunList(list);
        const std::string strRun = CrLf(m_host.m_lines);
        ASSERT_EQ(m_host.m_lines.size(), 7u);
        const std::string strWritten = (c.bKeepsOld ? strOld : "") + strRun;
        EXPECT_EQ(ReadAll(strDoc), c.bDocWritten ? strWritten : strOld);
        EXPECT_EQ(ReadAll(strEnv), c.bEnvWritten ? strWritten : strOld);
    }
}

TEST_F(RunTest, LogFileThatCannotBeOpenedLeavesTheRunToTheWindow) {
    m_settings.m_strLogFile = P("missing-dir/run.log");
    File("1/f", "x", 1);
    EXPECT_EQ(RunItem(m_str1, m_str2), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{m_str1 + "/f -> " + m_str2 + "/f"});
    EXPECT_FALSE(Exists("missing-dir"));
}

TEST_F(RunTest, NoLogFileFlagKeepsTheFileUntouched) {
    m_settings.m_strLogFile = P("run.log");
    m_bNoLogFile = true;
    File("1/f", "x", 1);
    RunItem(m_str1, m_str2);
    EXPECT_EQ(m_host.m_lines.size(), 7u);
    EXPECT_FALSE(Exists("run.log"));
}

TEST_F(RunTest, EndSoundFollowsTheSettings) {
    File("1/f", "x", 1);
    m_settings.m_strEndSoundFile = "/sounds/end.wav";
    m_settings.m_strErrSoundFile = " /sounds/err.wav";
    RunItem(m_str1, m_str2);
    ASSERT_EQ(m_host.m_sounds.size(), 1u);
    EXPECT_EQ(m_host.m_sounds[0].kind, RunSoundKind::File);
    EXPECT_EQ(m_host.m_sounds[0].strFile, "/sounds/end.wav");

    m_host.m_nCancelAtCheck = 1;
    RunItem(m_str1, m_str2);
    ASSERT_EQ(m_host.m_sounds.size(), 1u);
    EXPECT_EQ(m_host.m_sounds[0].kind, RunSoundKind::Beep);
    EXPECT_EQ(m_host.m_sounds[0].nBeep, BeepType::Exclamation);

    m_host.m_nCancelAtCheck = 0;
    m_settings.m_bSoundOn = false;
    RunItem(m_str1, m_str2);
    EXPECT_TRUE(m_host.m_sounds.empty());
}

// Two top directories that are one, or one inside the other, would copy a tree
// into itself: asked about like two wildcard lists.
TEST_F(RunTest, OverlappingTopDirectoriesAreAskedAbout) {
    Dir("1/sub");
    Dir("a");
    Dir("a/b");
    Dir("a/bc");
    File("a/b/f", "x", 1);
    File("1/file", "x", 1);
    m_tmp.MakeSymlink("link1", m_str1);
    struct Case {
        const char* pszName;
        std::string strPath1;
        std::string strPath2;
        bool bOverlap;
    };
    const Case cases[] = {
        {"same", m_str1, m_str1, true},
        {"same, trailing separator", m_str1 + "/", m_str1, true},
        {"side 2 inside, not there yet", m_str1, m_str1 + "/copy", true},
        {"side 1 inside side 2", m_str1 + "/sub", m_str1, true},
        {"through a link", P("link1") + "/sub/..", m_str1, true},
        {"through a link, inside", m_str1, P("link1") + "/sub", true},
        {"same file", m_str1 + "/file", P("link1") + "/file", true},
        {"with wildcards", m_str1 + "/*.c", m_str1 + "/sub", true},
        {"prefix but not inside", P("a/b"), P("a/bc"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        for (const bool bYes : {true, false}) {
            CSyncItemList list;
            AddItem(list, c.strPath1, c.strPath2);
            AddItem(list, P("a/b"), P("a/bc"));
            if (c.bOverlap)
                m_host.m_yesNoAnswers = {bYes};
            const RunResult result = RunList(list);
            if (!c.bOverlap) {
                EXPECT_TRUE(m_host.m_questions.empty());
                EXPECT_EQ(result, RunResult::Completed);
                break;
            }
            ASSERT_EQ(m_host.m_questions.size(), 1u);
            EXPECT_EQ(m_host.m_questions[0],
                      "同期元と同期先が同じか、一方が他方の中にあります。\n'" + c.strPath1 +
                          "' <-> '" + c.strPath2 + "'\n無視して継続しますか？");
            EXPECT_EQ(m_stat.nOtherErrors, 1);
            EXPECT_EQ(result, bYes ? RunResult::CompletedWithErrors : RunResult::Stopped);
            EXPECT_FALSE(Exists("1/copy"));
            EXPECT_FALSE(Exists("1/sub/sub"));
            if (bYes) {
                EXPECT_EQ(Actions(), Lines{P("a/b/f") + " -> " + P("a/bc/f")});
            } else {
                EXPECT_EQ(m_host.m_lines[1], kCanceledLine);
            }
            ::unlink(P("a/bc/f").c_str());
        }
    }
}

// The run reads the list anew before each item, so an item the host removes
// while a question is open is not run.
TEST_F(RunTest, ListChangedDuringTheRunIsReadAfresh) {
    class CEditingHost : public CScriptedHost {
    public:
        CSyncItemList* m_pList = nullptr;
        bool AskYesNo(const std::string& strText) override {
            m_pList->RemoveAt(1);
            return CScriptedHost::AskYesNo(strText);
        }
    };
    CEditingHost host;
    host.m_yesNoAnswers = {true};
    File("1/f", "x", 1);
    CSyncItemList list;
    host.m_pList = &list;
    AddItem(list, m_str1 + "/*.c", m_str2 + "/*.c");
    AddItem(list, m_str1, m_str2);
    CSyncEngine engine(m_posix, host, m_settings);
    engine.SetClock(FixedTime);
    EXPECT_EQ(engine.Run(list), RunResult::CompletedWithErrors);
    EXPECT_FALSE(Exists("2/f"));
}

// A run started through the host while one is going on does nothing.
TEST_F(RunTest, NoSecondRunInsideARun) {
    class CReenteringHost : public CScriptedHost {
    public:
        CSyncEngine* m_pEngine = nullptr;
        const CSyncItemList* m_pList = nullptr;
        std::vector<RunResult> m_inner;
        bool CheckCancel() override {
            m_inner.push_back(m_pEngine->Run(*m_pList));
            return CScriptedHost::CheckCancel();
        }
    };
    File("1/f", "x", 1);
    CReenteringHost host;
    CSyncItemList list;
    AddItem(list, m_str1, m_str2);
    CSyncEngine engine(m_posix, host, m_settings);
    engine.SetClock(FixedTime);
    host.m_pEngine = &engine;
    host.m_pList = &list;
    EXPECT_EQ(engine.Run(list), RunResult::Completed);
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(host.m_inner, (std::vector<RunResult>{RunResult::Stopped, RunResult::Stopped}));
    Lines expected = {kStartLine, m_str1 + "/f -> " + m_str2 + "/f"};
    for (const std::string& str : Completed(1))
        expected.push_back(str);
    EXPECT_EQ(host.m_lines, expected);
    EXPECT_EQ(engine.GetStat().nCopied1to2, 1);
}

} // namespace
} // namespace kovrel::test
