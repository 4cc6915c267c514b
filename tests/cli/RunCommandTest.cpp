// kovrel-sync DOCUMENT, run as the real program on real trees: exit statuses,
// what goes to standard output and error, the dry run, the log file chosen by
// the settings profile, and Ctrl+C.
#include "ProcessRunner.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kovrel {
namespace {

using test::PROCOPTIONS;
using test::PROCRESULT;
using test::TempDir;

std::vector<std::string> Lines(const std::string& str) {
    std::vector<std::string> lines;
    std::istringstream in(str);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The start and completed lines carry the time of the run; everything else must
// be the same between two runs of the same trees.
std::vector<std::string> WithoutTimes(const std::string& str) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(str))
        if (line.rfind("<< Synchronize ", 0) != 0)
            lines.push_back(line);
    return lines;
}

// Every entry below the directory: type, mode, write time and contents.
std::map<std::string, std::string> Snapshot(const std::string& strRoot) {
    std::map<std::string, std::string> snap;
    for (const auto& e : std::filesystem::recursive_directory_iterator(strRoot)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0)
            continue;
        std::ostringstream os;
        os << std::oct << st.st_mode << ' ' << std::dec << st.st_mtim.tv_sec << '.'
           << st.st_mtim.tv_nsec;
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(e.path(), std::ios::binary);
            os << ' ' << std::string(std::istreambuf_iterator<char>(in), {});
        }
        snap[e.path().string().substr(strRoot.size())] = os.str();
    }
    return snap;
}

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override {
        m_tmp.MakeDir("config");
        m_tmp.MakeDir("s1");
        m_tmp.MakeDir("s2");
    }

    PROCRESULT Sync(std::vector<std::string> args, std::string strStdin = {}) {
        PROCOPTIONS opt;
        opt.args = std::move(args);
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("data")},
                   {"XDG_STATE_HOME", m_tmp.Path("state")}};
        opt.strStdin = std::move(strStdin);
        return test::RunProcess(KOVREL_SYNC_EXE, opt);
    }

    // Appends an item to the test's document through the program itself.
    void AddItem(const std::string& strPath1, const std::string& strPath2,
                 const std::string& strOption = "0", const std::string& strPattern = {}) {
        std::vector<std::string> args{"--add-item", Doc(), strPath1, strPath2, strOption};
        if (!strPattern.empty())
            args.push_back(strPattern);
        const PROCRESULT r = Sync(args);
        ASSERT_EQ(r.nExit, 0) << r.strErr;
    }

    std::string Doc() const { return m_tmp.Path("doc.kvd"); }

    void WriteProfile(const std::string& strEnv) {
        m_tmp.MakeDir("config/Marovin_Quellan");
        m_tmp.WriteFile("config/Marovin_Quellan/Kovrel Duplicator.conf", "[Env]\n" + strEnv);
    }

    // A file with a chosen write time (seconds since the epoch).
    void File(const std::string& strRel, const std::string& strData, std::int64_t nTime,
              std::uint32_t dwMode = 0644) {
        std::filesystem::create_directories(
            std::filesystem::path(m_tmp.Path(strRel)).parent_path());
        m_tmp.WriteFile(strRel, strData, dwMode);
        m_tmp.SetTimes(strRel, nTime, 0, nTime, 0);
    }

    TempDir m_tmp;
};

TEST_F(RunCommand, CleanRunPrintsOnlyLogLinesAndExitsZero) {
    File("s1/a.txt", "new", 2000);
    File("s2/a.txt", "old", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));

    const PROCRESULT r = Sync({Doc()});
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strErr, "");
    const std::vector<std::string> lines = Lines(r.strOut);
    ASSERT_EQ(lines.size(), 7u) << r.strOut;
    EXPECT_EQ(lines[0].rfind("<< Synchronize start ", 0), 0u);
    EXPECT_EQ(lines[1], m_tmp.Path("s1/a.txt") + " -> " + m_tmp.Path("s2/a.txt"));
    EXPECT_EQ(lines[2].rfind("<< Synchronize completed ", 0), 0u);
    EXPECT_EQ(lines[3], "File1 -> File2 コピーファイル数 : 1");
    EXPECT_EQ(lines[6], "File2側削除ファイル数 : 0");
    EXPECT_EQ(m_tmp.ReadFile("s2/a.txt"), "new");
}

// Without a terminal the options answer; the question and the answer taken go to
// standard error, and the exit status tells how the run ended.
TEST_F(RunCommand, AnswersWithoutTerminalDecideExitStatus) {
    struct Case {
        std::vector<std::string> options;
        int nExit;
        const char* pszAnswer;
        bool bSecondItemRuns;
    };
    const Case cases[] = {
        {{}, 2, "-> No", false},
        {{"--on-question=no"}, 2, "-> No", false},
        {{"--on-question=yes"}, 1, "-> Yes", true},
    };
    // Both paths with a wildcard list: a recoverable error that asks Yes/No.
    AddItem(m_tmp.Path("s1") + "/*.c", m_tmp.Path("s2") + "/*.h");
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszAnswer);
        File("s1/second.txt", "x", 1000);
        std::filesystem::remove(m_tmp.Path("s2/second.txt"));
        std::vector<std::string> args = c.options;
        args.push_back(Doc());
        const PROCRESULT r = Sync(args);
        EXPECT_EQ(r.nExit, c.nExit);
        EXPECT_NE(r.strErr.find("両方にワイルドカードを指定することはできません。"),
                  std::string::npos)
            << r.strErr;
        EXPECT_NE(r.strErr.find(c.pszAnswer), std::string::npos) << r.strErr;
        EXPECT_EQ(m_tmp.Exists("s2/second.txt"), c.bSecondItemRuns);
        EXPECT_EQ(r.strOut.find("<< Canceled by User!! >>") != std::string::npos,
                  !c.bSecondItemRuns)
            << r.strOut;
        if (c.bSecondItemRuns) {
            EXPECT_NE(r.strOut.find("　　　　　 その他 : 1"), std::string::npos) << r.strOut;
        }
    }
}

// A copy that cannot be made (root may write almost anywhere, but not into
// /proc) asks Abort/Retry/Ignore; without a terminal --on-failure answers.
TEST_F(RunCommand, FailedCopyAnsweredByOnFailure) {
    if (!std::filesystem::exists("/proc/version"))
        GTEST_SKIP() << "no /proc here";
    File("s1/a.txt", "a", 4102444800); // 2100-01-01: newer than anything in /proc
    // One way 1 -> 2, read-only targets forced: the copy is attempted.
    AddItem(m_tmp.Path("s1/a.txt"), "/proc/version", "0x180");
    struct Case {
        std::vector<std::string> options;
        int nExit;
        const char* pszAnswer;
    };
    const Case cases[] = {
        {{}, 2, "-> Abort"},
        {{"--on-failure=abort"}, 2, "-> Abort"},
        {{"--on-failure=ignore"}, 1, "-> Ignore"},
    };
    const std::string strFailed = "Copy failed !! " + m_tmp.Path("s1/a.txt") + " -> /proc/version";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszAnswer);
        std::vector<std::string> args = c.options;
        args.push_back(Doc());
        const PROCRESULT r = Sync(args);
        EXPECT_EQ(r.nExit, c.nExit);
        EXPECT_NE(r.strErr.find(strFailed + "\n" + c.pszAnswer), std::string::npos) << r.strErr;
        EXPECT_NE(r.strOut.find(strFailed + "\n"), std::string::npos) << r.strOut;
        EXPECT_NE(r.strOut.find("エラー個数 fileコピー : 1, file削除 : 0"), std::string::npos);
    }
}

TEST_F(RunCommand, UnreadableDocumentsAndWrongArgumentsExitThree) {
    m_tmp.WriteFile("foreign.kvd", std::string("\x17") + "SomethingElse Ver1.0xyz" + "\0\0\0\0\0");
    m_tmp.WriteFile("cut.kvd", std::string("\x17") + "KovrelDuplicator Ver1.0" + "\x01\x00");
    struct Case {
        std::vector<std::string> args;
        const char* pszErr;
    };
    const Case cases[] = {
        {{m_tmp.Path("missing.kvd")}, "missing.kvd"},
        {{m_tmp.Path("foreign.kvd")},
         "指定されたファイルはKovrelDuplicatorのデータファイルではないか、読み込むことのできないバ"
         "ージョンです。"},
        {{m_tmp.Path("cut.kvd")}, "予期しないﾌｧｲﾙ形式です。"},
        {{"--on-question=maybe", Doc()}, "--on-question"},
        {{"--on-failure=retry", Doc()}, "--on-failure"},
        {{"--frobnicate", Doc()}, "unknown option"},
        {{Doc(), Doc()}, "only one DOCUMENT"},
        {{}, "no DOCUMENT"},
        {{"--add-item", Doc(), "a", "b", "0x1zz"}, "not an option word"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszErr);
        const PROCRESULT r = Sync(c.args);
        EXPECT_EQ(r.nExit, 3);
        EXPECT_EQ(r.strOut, "");
        EXPECT_NE(r.strErr.find(c.pszErr), std::string::npos) << r.strErr;
    }
}

TEST_F(RunCommand, HelpAndVersion) {
    const PROCRESULT rHelp = Sync({"--help"});
    EXPECT_EQ(rHelp.nExit, 0);
    EXPECT_NE(rHelp.strOut.find("--dry-run"), std::string::npos);
    EXPECT_NE(rHelp.strOut.find("Exit status"), std::string::npos);
    const PROCRESULT rVersion = Sync({"--version"});
    EXPECT_EQ(rVersion.nExit, 0);
    EXPECT_EQ(rVersion.strOut.rfind("kovrel-sync ", 0), 0u);
}

// The preview must not drift from the real run: the same lines and status,
// including what follows from the run's own earlier actions, and no change on
// disk, not even a log file.
TEST_F(RunCommand, DryRunPrintsWhatTheRealRunDoesAndChangesNothing) {
    File("s1/top.txt", "t", 1000);
    File("s1/new/deep/f.txt", "f", 1000); // a directory created, then filled
    File("s2/gone/x/y.txt", "y", 1000);   // a tree removed whole by item 2
    File("s2/gone/z.txt", "z", 1000);
    m_tmp.MakeDir("s3");
    File("s1/older.txt", "old", 1000);
    File("s2/older.txt", "newer", 3000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x100"); // one way 1 -> 2
    AddItem(m_tmp.Path("s2"), m_tmp.Path("s3"));          // sees item 1's copies
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x1");   // deletes what side 1 lacks
    WriteProfile("LogFile=" + m_tmp.Path("run.log") + "\nLogAppend=0\n");

    const auto before = Snapshot(m_tmp.Root());
    const PROCRESULT rDry = Sync({"--dry-run", Doc()});
    EXPECT_EQ(before, Snapshot(m_tmp.Root()));
    EXPECT_FALSE(m_tmp.Exists("run.log"));

    const PROCRESULT rReal = Sync({Doc()});
    EXPECT_EQ(rDry.nExit, rReal.nExit);
    EXPECT_EQ(rReal.nExit, 0) << rReal.strErr;
    EXPECT_EQ(WithoutTimes(rDry.strOut), WithoutTimes(rReal.strOut));
    EXPECT_TRUE(m_tmp.Exists("s3/new/deep/f.txt"));
    EXPECT_FALSE(m_tmp.Exists("s2/gone"));
    EXPECT_NE(rReal.strOut.find("Directory " + m_tmp.Path("s2/gone") + " Removed"),
              std::string::npos)
        << rReal.strOut;
    EXPECT_TRUE(m_tmp.Exists("run.log"));
}

// An item with the bit 0x20000 remembers its last run in
// $XDG_STATE_HOME/kovrel-duplicator/state.db: a deletion on one side is passed
// on; the dry run shows it and leaves both trees and the database as they were.
TEST_F(RunCommand, RememberedItemPassesADeletionOnAndDryRunWritesNoState) {
    File("s1/a.txt", "a", 1000);
    File("s1/b.txt", "b", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x20000");
    PROCRESULT r = Sync({"--trash=no", Doc()});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    const std::string strDb = "state/kovrel-duplicator/state.db";
    ASSERT_TRUE(m_tmp.Exists(strDb));
    std::filesystem::remove(m_tmp.Path("s2/a.txt"));
    const std::string strLine = m_tmp.Path("s1/a.txt") + " Deleted";

    const auto before = Snapshot(m_tmp.Root());
    r = Sync({"--dry-run", Doc()});
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_NE(r.strOut.find(strLine), std::string::npos) << r.strOut;
    EXPECT_EQ(before, Snapshot(m_tmp.Root()));

    r = Sync({"--trash=no", Doc()});
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_NE(r.strOut.find(strLine), std::string::npos) << r.strOut;
    EXPECT_FALSE(m_tmp.Exists("s1/a.txt"));
    EXPECT_EQ(m_tmp.ReadFile("s2/b.txt"), "b");
}

// A damaged database is named on standard error; the item runs by the
// ordinary rules (the deleted file comes back) and the file is left alone.
TEST_F(RunCommand, DamagedStateDatabaseIsReportedAndTheItemStillRuns) {
    File("s1/a.txt", "a", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x20000");
    ASSERT_EQ(Sync({"--trash=no", Doc()}).nExit, 0);
    std::filesystem::remove(m_tmp.Path("s2/a.txt"));
    const std::string strGarbage(2048, '?');
    m_tmp.WriteFile("state/kovrel-duplicator/state.db", strGarbage);
    const PROCRESULT r = Sync({"--trash=no", Doc()});
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_NE(r.strErr.find("前回の同期状態のデータベースが壊れています。"), std::string::npos)
        << r.strErr;
    EXPECT_EQ(m_tmp.ReadFile("s2/a.txt"), "a");
    EXPECT_EQ(m_tmp.ReadFile("state/kovrel-duplicator/state.db"), strGarbage);
}

TEST_F(RunCommand, LogFileFromProfileEndsLinesWithCrLf) {
    File("s1/a.txt", "a", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    WriteProfile("LogFile=" + m_tmp.Path("run.log") + "\nLogAppend=1\n");
    ASSERT_EQ(Sync({Doc()}).nExit, 0);
    ASSERT_EQ(Sync({Doc()}).nExit, 0);
    const std::string strLog = m_tmp.ReadFile("run.log");
    // Appended: two runs, each with a start line, every line ended by CR LF.
    std::size_t nStarts = 0;
    for (std::size_t i = 0; (i = strLog.find("<< Synchronize start ", i)) != std::string::npos; ++i)
        ++nStarts;
    EXPECT_EQ(nStarts, 2u);
    EXPECT_NE(strLog.find(m_tmp.Path("s1/a.txt") + " -> " + m_tmp.Path("s2/a.txt") + "\r\n"),
              std::string::npos);
    for (std::size_t i = strLog.find('\n'); i != std::string::npos; i = strLog.find('\n', i + 1))
        EXPECT_EQ(strLog[i - 1], '\r') << "at byte " << i;
}

// Ctrl+C at a question: the process is not killed; the question counts as No and
// the run ends with its cancelled line and summary.
TEST_F(RunCommand, InterruptOnTerminalCancelsTheRun) {
    AddItem(m_tmp.Path("s1") + "/*.c", m_tmp.Path("s2") + "/*.h");
    File("s1/later.txt", "l", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    PROCOPTIONS opt;
    opt.args = {Doc()};
    opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")}, {"XDG_DATA_HOME", m_tmp.Path("data")}};
    opt.onTerminal = [](const std::string& strShown, int, pid_t pid) {
        if (strShown.find("[y/n]") == std::string::npos)
            return false;
        ::kill(pid, SIGINT);
        return true;
    };
    const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
    EXPECT_EQ(r.nSignal, 0);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strOut.find("<< Canceled by User!! >>"), std::string::npos) << r.strOut;
    EXPECT_NE(r.strOut.find("File2側削除ファイル数 : 0"), std::string::npos);
    EXPECT_FALSE(m_tmp.Exists("s2/later.txt"));
}

TEST_F(RunCommand, TerminalAnswersAreRead) {
    AddItem(m_tmp.Path("s1") + "/*.c", m_tmp.Path("s2") + "/*.h");
    File("s1/later.txt", "l", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    PROCOPTIONS opt;
    opt.args = {Doc()};
    opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")}, {"XDG_DATA_HOME", m_tmp.Path("data")}};
    opt.onTerminal = [](const std::string& strShown, int fdMaster, pid_t) {
        if (strShown.find("[y/n]") == std::string::npos)
            return false;
        // An answer it does not know is asked again; then Yes.
        const std::string strAnswers = "maybe\ny\n";
        EXPECT_EQ(::write(fdMaster, strAnswers.data(), strAnswers.size()),
                  static_cast<ssize_t>(strAnswers.size()));
        return true;
    };
    const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
    EXPECT_EQ(r.nExit, 1) << r.strErr;
    EXPECT_TRUE(m_tmp.Exists("s2/later.txt"));
    // Asked twice: once more after the answer it did not understand.
    EXPECT_NE(r.strErr.find("[y/n]"), r.strErr.rfind("[y/n]"));
}

// --progress draws its line on a terminal only, wipes it before a question
// and at the end, and never writes it to standard output.
TEST_F(RunCommand, ProgressOnATerminalOnly) {
    AddItem(m_tmp.Path("s1") + "/*.c", m_tmp.Path("s2") + "/*.h");
    File("s1/later.txt", "l", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    const std::string kWipe = "\r\x1b[K";
    for (const bool bProgress : {true, false}) {
        PROCOPTIONS opt;
        opt.args = {Doc()};
        if (bProgress)
            opt.args.insert(opt.args.begin(), "--progress");
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("data")}};
        opt.onTerminal = [](const std::string& strShown, int fdMaster, pid_t) {
            if (strShown.find("[y/n]") == std::string::npos)
                return false;
            EXPECT_EQ(::write(fdMaster, "n\n", 2), 2);
            return true;
        };
        const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
        EXPECT_EQ(r.nExit, 2) << r.strErr;
        EXPECT_EQ(r.strOut.find('\r'), std::string::npos);
        EXPECT_EQ(r.strOut.find("ファイル 0"), std::string::npos);
        const std::size_t nLine = r.strErr.find("\rファイル 0, 0 B\x1b[K");
        const std::size_t nQuestion = r.strErr.find("両方に");
        ASSERT_NE(nQuestion, std::string::npos) << r.strErr;
        if (!bProgress) {
            EXPECT_EQ(r.strErr.find("\x1b[K"), std::string::npos) << r.strErr;
            continue;
        }
        // Drawn before the first item, wiped right before the question.
        ASSERT_NE(nLine, std::string::npos) << r.strErr;
        EXPECT_LT(nLine, nQuestion);
        EXPECT_EQ(r.strErr.rfind(kWipe, nQuestion), nQuestion - kWipe.size()) << r.strErr;
    }
    // Standard error a pipe: nothing extra at all.
    File("s1/x.txt", "x", 1000);
    const PROCRESULT r = Sync({"--progress", "--on-question=yes", Doc()});
    EXPECT_EQ(r.nExit, 1) << r.strErr;
    EXPECT_EQ(r.strErr.find("ファイル"), std::string::npos) << r.strErr;
    EXPECT_EQ(r.strErr.find('\r'), std::string::npos);
}

// SIGTERM and SIGHUP are the same request as Ctrl+C: the run ends as cancelled,
// with its summary and exit status 2, instead of dying half way.
TEST_F(RunCommand, TermAndHangupCancelTheRunLikeCtrlC) {
    AddItem(m_tmp.Path("s1") + "/*.c", m_tmp.Path("s2") + "/*.h");
    File("s1/later.txt", "l", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    for (const int nSignal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(nSignal);
        PROCOPTIONS opt;
        opt.args = {Doc()};
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("data")}};
        opt.onTerminal = [nSignal](const std::string& strShown, int, pid_t pid) {
            if (strShown.find("[y/n]") == std::string::npos)
                return false;
            ::kill(pid, nSignal);
            return true;
        };
        const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
        EXPECT_EQ(r.nSignal, 0);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_NE(r.strOut.find("<< Canceled by User!! >>\nFile1 -> File2 コピーファイル数 : 0"),
                  std::string::npos)
            << r.strOut;
        EXPECT_FALSE(m_tmp.Exists("s2/later.txt"));
    }
}

// Deleting a tree because the other top is missing has its own answer; the
// answer to ordinary questions never confirms it.
TEST_F(RunCommand, MissingTopIsAnsweredOnlyByItsOwnOption) {
    struct Case {
        std::vector<std::string> options;
        bool bDeleted;
        const char* pszAnswer;
    };
    const Case cases[] = {
        {{}, false, "-> No"},
        {{"--on-question=yes"}, false, "-> No"},
        {{"--on-missing-top=no"}, false, "-> No"},
        {{"--on-missing-top=yes"}, true, "-> Yes"},
    };
    AddItem(m_tmp.Path("s1/unmounted"), m_tmp.Path("s2"), "0x1");
    const std::string strQuestion = "'" + m_tmp.Path("s1/unmounted") + "' が見つかりません。\n'" +
                                    m_tmp.Path("s2") + "' の中をすべて削除しますか？";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszAnswer + (c.options.empty() ? std::string() : " " + c.options[0]));
        File("s2/keep.txt", "k", 1000);
        std::vector<std::string> args = c.options;
        args.push_back(Doc());
        const PROCRESULT r = Sync(args);
        // An item passed over by the No counts as an error passed over.
        EXPECT_EQ(r.nExit, c.bDeleted ? 0 : 1) << r.strErr;
        EXPECT_NE(r.strErr.find(strQuestion + "\n" + c.pszAnswer + "\n"), std::string::npos)
            << r.strErr;
        EXPECT_EQ(m_tmp.Exists("s2/keep.txt"), !c.bDeleted);
        EXPECT_EQ(r.strOut.find("Deleted") != std::string::npos, c.bDeleted) << r.strOut;
        if (c.bDeleted)
            m_tmp.MakeDir("s2");
    }
    EXPECT_EQ(Sync({"--on-missing-top=maybe", Doc()}).nExit, 3);
}

// The deletion guard's question has its own answer, No unless given; a No
// passes the item over (exit status 1), and DeleteGuard=0 turns it off.
TEST_F(RunCommand, MassDeleteIsAnsweredOnlyByItsOwnOption) {
    struct Case {
        std::vector<std::string> options;
        const char* pszProfile;
        bool bKeep2; // side 2 also holds side 1's file: 3 of 4 go, not all
        bool bAsked;
        bool bDeleted;
    };
    const Case cases[] = {
        {{}, "", false, true, false},
        {{"--on-question=yes"}, "", false, true, false},
        {{"--on-mass-delete=no"}, "", false, true, false},
        {{"--on-mass-delete=yes"}, "", false, true, true},
        {{}, "DeleteGuard=0\n", false, false, true},
        {{}, "", true, false, true},                   // 3 of 4: under the minimum of 10
        {{}, "DeleteGuardMin=3\n", true, true, false}, // 75 % and the minimum
        {{}, "DeleteGuardMin=3\nDeleteGuardPercent=80\n", true, false, true},
    };
    File("s1/keep.txt", "k", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x1");
    std::filesystem::create_directories(m_tmp.Path("config/Marovin_Quellan"));
    for (const Case& c : cases) {
        SCOPED_TRACE((c.options.empty() ? std::string() : c.options[0]) + " " + c.pszProfile +
                     (c.bKeep2 ? " keep" : ""));
        m_tmp.WriteFile("config/Marovin_Quellan/Kovrel Duplicator.conf",
                        std::string("[Env]\n") + c.pszProfile);
        std::filesystem::remove_all(m_tmp.Path("s2"));
        m_tmp.MakeDir("s2");
        for (const char* pszName : {"s2/a.txt", "s2/b.txt", "s2/sub/c.txt"})
            File(pszName, "x", 1000);
        if (c.bKeep2)
            File("s2/keep.txt", "k", 1000);
        const int nHeld = c.bKeep2 ? 4 : 3;
        const std::string strQuestion = "'" + m_tmp.Path("s2") + "' の " + std::to_string(nHeld) +
                                        " 個のファイルのうち 3 個を削除します。\nよろしいですか？";
        std::vector<std::string> args = c.options;
        args.push_back(Doc());
        const PROCRESULT r = Sync(args);
        EXPECT_EQ(r.strErr.find("を削除します。") != std::string::npos, c.bAsked) << r.strErr;
        if (c.bAsked) {
            EXPECT_NE(r.strErr.find(strQuestion + "\n-> " + (c.bDeleted ? "Yes" : "No") + "\n"),
                      std::string::npos)
                << r.strErr;
        }
        EXPECT_EQ(m_tmp.Exists("s2/a.txt"), !c.bDeleted);
        EXPECT_EQ(m_tmp.Exists("s2/sub/c.txt"), !c.bDeleted);
        // A No leaves the whole item alone: not even the copy is made.
        EXPECT_EQ(m_tmp.Exists("s2/keep.txt"), c.bKeep2 || c.bDeleted);
        const bool bSkipped = c.bAsked && !c.bDeleted;
        EXPECT_EQ(r.nExit, bSkipped ? 1 : 0) << r.strErr;
        EXPECT_EQ(r.strOut.find("Item skipped (mass delete) " + m_tmp.Path("s1") + " <-> " +
                                m_tmp.Path("s2")) != std::string::npos,
                  bSkipped)
            << r.strOut;
    }
}

// On a terminal without the option the user answers; with it the option does.
TEST_F(RunCommand, MassDeleteAskedOnATerminal) {
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x1");
    for (const char* pszAnswer : {"n\n", "y\n"}) {
        SCOPED_TRACE(pszAnswer);
        File("s2/a.txt", "a", 1000);
        File("s2/b.txt", "b", 1000);
        PROCOPTIONS opt;
        opt.args = {Doc()};
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("data")}};
        int nAsked = 0;
        opt.onTerminal = [&nAsked, pszAnswer](const std::string& strShown, int fdMaster, pid_t) {
            if (strShown.find("を削除します。") == std::string::npos ||
                strShown.find("[y/n]") == std::string::npos)
                return false;
            ++nAsked;
            const std::size_t nLen = std::strlen(pszAnswer);
            EXPECT_EQ(::write(fdMaster, pszAnswer, nLen), static_cast<ssize_t>(nLen));
            return true;
        };
        const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
        const bool bYes = pszAnswer[0] == 'y';
        EXPECT_EQ(nAsked, 1);
        EXPECT_EQ(r.nExit, bYes ? 0 : 1) << r.strErr;
        EXPECT_EQ(m_tmp.Exists("s2/a.txt"), !bYes);
    }
    // The option answers without asking, even on a terminal.
    File("s2/a.txt", "a", 1000);
    File("s2/b.txt", "b", 1000);
    PROCOPTIONS opt;
    opt.args = {"--on-mass-delete=no", Doc()};
    opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")}, {"XDG_DATA_HOME", m_tmp.Path("data")}};
    opt.onTerminal = [](const std::string& strShown, int, pid_t) {
        EXPECT_EQ(strShown.find("[y/n]"), std::string::npos) << strShown;
        return false;
    };
    const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
    EXPECT_EQ(r.nExit, 1) << r.strErr;
    EXPECT_TRUE(m_tmp.Exists("s2/a.txt"));
}

// A document that is a FIFO is refused at once, by the run and by --list alike,
// instead of waiting for a writer for good.
TEST_F(RunCommand, FifoDocumentIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(m_tmp.Path("pipe.kvd").c_str(), 0644), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{m_tmp.Path("pipe.kvd")},
          std::vector<std::string>{"--list", m_tmp.Path("pipe.kvd")}}) {
        SCOPED_TRACE(args.front());
        const PROCRESULT r = Sync(args);
        EXPECT_EQ(r.nExit, 3);
        EXPECT_EQ(r.strOut, "");
        EXPECT_NE(r.strErr.find("\"" + m_tmp.Path("pipe.kvd") + "\": not a regular file"),
                  std::string::npos)
            << r.strErr;
    }
}

// The system's reason for a failure, and the reason for a skipped special file,
// each on a line of its own on standard error; the log lines stay as they are.
TEST_F(RunCommand, ReasonsGoToStandardErrorOnTheirOwnLines) {
    File("s1/plain.txt", "p", 1000);
    AddItem(m_tmp.Path("s1/plain.txt/below"), m_tmp.Path("s2/below"));
    ASSERT_EQ(::mkfifo(m_tmp.Path("s1/x").c_str(), 0644), 0);
    File("s2/x", "x", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x1");
    const PROCRESULT r = Sync({"--on-question=yes", Doc()});
    EXPECT_EQ(r.nExit, 1) << r.strErr;
    EXPECT_NE(r.strErr.find("kovrel-sync: " + std::string(std::strerror(ENOTDIR)) + "\nエラー(" +
                            std::to_string(ENOTDIR) + ")が発生しました。"),
              std::string::npos)
        << r.strErr;
    EXPECT_NE(r.strOut.find("\nSpecial file skipped " + m_tmp.Path("s1/x") + "\n"),
              std::string::npos)
        << r.strOut;
    EXPECT_NE(
        r.strErr.find(
            "kovrel-sync: a FIFO, socket or device file is never copied, replaced or deleted\n"),
        std::string::npos)
        << r.strErr;
    EXPECT_EQ(m_tmp.ReadFile("s2/x"), "x");
}

// A log setting that names the document, another document, a text of the
// user's or a FIFO: refused on standard error, the file byte for byte as it
// was (the FIFO never opened, so the run does not hang), and the run goes on.
TEST_F(RunCommand, LogFileThatIsNoLogIsRefusedAndTheRunGoesOn) {
    File("s1/a.txt", "a", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));
    std::filesystem::copy_file(Doc(), m_tmp.Path("other.kvd"));
    m_tmp.WriteFile("notes.txt", "my notes\n");
    ASSERT_EQ(::mkfifo(m_tmp.Path("pipe").c_str(), 0644), 0);
    m_tmp.MakeDir("config/Marovin_Quellan");
    const struct {
        const char* pszLog;
        const char* pszReason;
    } cases[] = {
        {"doc.kvd", "開いているKVDファイルそのもの"},
        {"other.kvd", "はKVDファイルなので"},
        {"notes.txt", "ログではないため"},
        {"pipe", "通常のファイルではない"},
    };
    for (const auto& c : cases) {
        for (const char* pszAppend : {"0", "1"}) {
            SCOPED_TRACE(std::string(c.pszLog) + " LogAppend=" + pszAppend);
            std::filesystem::remove(m_tmp.Path("s2/a.txt"));
            m_tmp.WriteFile("config/Marovin_Quellan/Kovrel Duplicator.conf",
                            "[Env]\nLogFile=" + m_tmp.Path(c.pszLog) + "\nLogAppend=" + pszAppend +
                                "\n");
            auto before = Snapshot(m_tmp.Path(""));
            const PROCRESULT r = Sync({Doc()});
            EXPECT_EQ(r.nExit, 0) << r.strErr;
            EXPECT_NE(r.strErr.find("'" + m_tmp.Path(c.pszLog) + "' "), std::string::npos)
                << r.strErr;
            EXPECT_NE(r.strErr.find(c.pszReason), std::string::npos) << r.strErr;
            EXPECT_NE(r.strErr.find("ログファイルなしで同期を続けます。"), std::string::npos);
            EXPECT_NE(r.strOut.find(m_tmp.Path("s1/a.txt") + " -> " + m_tmp.Path("s2/a.txt")),
                      std::string::npos)
                << r.strOut;
            // Only the copy changed anything (and with it its directory's time).
            auto after = Snapshot(m_tmp.Path(""));
            after.erase("/s2/a.txt");
            after["/s2"] = before["/s2"];
            EXPECT_EQ(after, before);
        }
    }
}

// SIGTERM or SIGHUP while a large file is copied: the copy is abandoned at
// once (its temporary removed, the old target untouched), then the cancelled
// line, the summary and exit status 2. A second signal ends the program on the
// spot.
TEST_F(RunCommand, SignalDuringLargeCopyAbandonsItPromptly) {
    {
        // 384 MiB of data: far more than the run copies before the signal lands.
        std::ofstream out(m_tmp.Path("s1/big.bin"), std::ios::binary);
        std::string strBlock(1 << 20, 'x');
        for (int i = 0; i < 384; ++i) {
            strBlock[0] = static_cast<char>(i);
            out.write(strBlock.data(), static_cast<std::streamsize>(strBlock.size()));
        }
        ASSERT_TRUE(out.good());
    }
    m_tmp.SetTimes("s1/big.bin", 2000, 0, 2000, 0);
    File("s2/big.bin", "the old copy", 1000);
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"));

    // The target's contents, or only its size when it is not the short old one
    // (a failure must not print hundreds of megabytes).
    auto target = [this] {
        const std::string str = m_tmp.ReadFile("s2/big.bin");
        return str.size() < 64 ? str : std::to_string(str.size()) + " bytes";
    };
    auto namesInTarget = [this] {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_tmp.Path("s2")))
            names.push_back(e.path().filename().string());
        return names;
    };
    auto tempPresent = [this] {
        for (const auto& e : std::filesystem::directory_iterator(m_tmp.Path("s2")))
            if (e.path().filename().string().rfind(".kovrel-copy~", 0) == 0)
                return true;
        return false;
    };
    const struct {
        std::vector<int> signals;
        bool bEndedBySignal; // a second signal ends the process on the spot
    } cases[] = {{{SIGTERM}, false}, {{SIGHUP}, false}, {{SIGTERM, SIGHUP}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signals.size() == 1 ? c.signals[0] : -1);
        std::chrono::steady_clock::time_point tSignal;
        PROCOPTIONS opt;
        opt.args = {Doc()};
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path("data")}};
        opt.onTick = [&](const std::string&, pid_t pid) {
            if (!tempPresent())
                return false;
            tSignal = std::chrono::steady_clock::now();
            for (const int nSignal : c.signals)
                ::kill(pid, nSignal);
            return true;
        };
        const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - tSignal);
        RecordProperty("ms_from_signal_to_exit_" + std::to_string(c.signals.size()) + "_" +
                           std::to_string(c.signals.front()),
                       static_cast<int>(ms.count()));
        // Two signals pending at once are taken lowest number first, whichever
        // was sent first: either may be the one that ends the process.
        if (c.bEndedBySignal)
            EXPECT_NE(std::find(c.signals.begin(), c.signals.end(), r.nSignal), c.signals.end())
                << r.nSignal;
        else
            EXPECT_EQ(r.nSignal, 0);
        EXPECT_EQ(target(), "the old copy");
        EXPECT_EQ(r.strOut.find("big.bin"), std::string::npos) << r.strOut;
        if (c.bEndedBySignal) {
            // Ended on the spot: at most a temporary stays, which the next run clears.
            std::filesystem::remove(m_tmp.Path("s2/big.bin"));
            EXPECT_EQ(Sync({Doc()}).nExit, 0);
            EXPECT_FALSE(tempPresent());
            File("s2/big.bin", "the old copy", 1000);
            continue;
        }
        EXPECT_EQ(r.nExit, 2) << r.strErr;
        EXPECT_EQ(namesInTarget(), std::vector<std::string>{"big.bin"}); // no temporary left
        EXPECT_NE(r.strOut.find("<< Canceled by User!! >>\nFile1 -> File2 コピーファイル数 : 0\n"),
                  std::string::npos)
            << r.strOut;
    }
}

} // namespace
} // namespace kovrel

namespace kovrel {
namespace {

// Deletions and overwrites go to the trash unless --trash=no, with the same
// lines on standard output; where no trash can be made, deletions are left
// with the reason on standard error and the run ends with status 1, while
// the overwrite goes ahead with a line saying nothing was kept.
TEST_F(RunCommand, TrashKeepsDeletedAndOverwrittenFilesUnlessTurnedOff) {
    struct Case {
        const char* pszName;
        std::vector<std::string> options;
        const char* pszDataHome; // relative to the temporary directory
        int nExit;
        bool bKept;    // the trash holds the deleted and the old file
        bool bDeleted; // s2/gone.txt is gone
    };
    m_tmp.WriteFile("blocker", "a file where the data directory should be");
    const Case cases[] = {
        {"Default", {}, "data", 0, true, true},
        {"TrashYes", {"--trash=yes"}, "data", 0, true, true},
        {"TrashNo", {"--trash=no"}, "data", 0, false, true},
        {"NoTrashThere", {}, "blocker/data", 1, false, false},
        {"NoTrashButOff", {"--trash=no"}, "blocker/data", 0, false, true},
    };
    AddItem(m_tmp.Path("s1"), m_tmp.Path("s2"), "0x1");
    std::vector<std::string> firstLines;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        std::filesystem::remove_all(m_tmp.Path("data"));
        File("s1/a.txt", "new", 2000);
        File("s2/a.txt", "old", 1000);
        File("s2/gone.txt", "gone", 1000);
        PROCOPTIONS opt;
        opt.args = c.options;
        opt.args.push_back(Doc());
        opt.env = {{"XDG_CONFIG_HOME", m_tmp.Path("config")},
                   {"HOME", m_tmp.Path("config")},
                   {"XDG_DATA_HOME", m_tmp.Path(c.pszDataHome)}};
        const PROCRESULT r = test::RunProcess(KOVREL_SYNC_EXE, opt);
        EXPECT_EQ(r.nExit, c.nExit) << r.strOut << r.strErr;
        EXPECT_EQ(m_tmp.ReadFile("s2/a.txt"), "new");
        EXPECT_EQ(!m_tmp.Exists("s2/gone.txt"), c.bDeleted);
        EXPECT_EQ(m_tmp.Exists("data/Trash/files/gone.txt"), c.bKept);
        EXPECT_EQ(m_tmp.Exists("data/Trash/info/a.txt.trashinfo"), c.bKept);
        if (c.bKept) {
            EXPECT_EQ(m_tmp.ReadFile("data/Trash/files/a.txt"), "old");
        }
        const bool bNoTrash = std::string_view(c.pszDataHome) != "data" && c.options.empty();
        EXPECT_EQ(r.strErr.find("no trash can be used on ") != std::string::npos, bNoTrash)
            << r.strErr;
        EXPECT_EQ(r.strOut.find("Delete skipped (no trash) " + m_tmp.Path("s2/gone.txt")) !=
                      std::string::npos,
                  bNoTrash)
            << r.strOut;
        EXPECT_EQ(r.strOut.find(": overwritten files there are not kept") != std::string::npos,
                  bNoTrash)
            << r.strOut;
        if (c.bDeleted && firstLines.empty()) {
            firstLines = WithoutTimes(r.strOut);
        } else if (c.bDeleted) {
            EXPECT_EQ(WithoutTimes(r.strOut), firstLines);
        }
    }
}

} // namespace
} // namespace kovrel
