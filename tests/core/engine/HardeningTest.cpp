// What real disks and real users bring to a run: names that look like wildcard
// lists, FIFOs and sockets beside ordinary entries, forced copies over read-only
// targets, an item whose top is missing, a log file read while the run goes on,
// and names with control characters or stray bytes in them.
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "EngineFixture.h"
#include "platform/OverlayFileSystem.h"
#include "support/FaultFileSystem.h"

namespace kovrel::test {
namespace {

using Lines = std::vector<std::string>;
using platform::FaultFileSystem;
using platform::FsOp;

class HardeningTest : public EngineTest {
protected:
    bool IsFifo(std::string_view strRel) const {
        struct stat st {};
        return m_tmp.Stat(strRel, st) && S_ISFIFO(st.st_mode);
    }

    // A listening-free socket bound to a path: an entry of its own kind.
    void MakeSocket(std::string_view strRel) const {
        const std::string strPath = P(strRel);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        ASSERT_LT(strPath.size(), sizeof addr.sun_path);
        strPath.copy(addr.sun_path, strPath.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }

    bool AllCountsZero() const {
        return m_stat.nCopied1to2 == 0 && m_stat.nCopied2to1 == 0 && m_stat.nDeleted1 == 0 &&
               m_stat.nDeleted2 == 0 && m_stat.ErrorCount() == 0;
    }
};

// ------------------------------------------------ "*", "?" and "|" in a last component

// An existing directory whose name holds wildcard characters is that directory,
// also on the first run towards a side that does not exist yet; its siblings
// are not part of the item.
TEST_F(HardeningTest, ExistingNameWithWildcardCharactersIsTakenWhole) {
    struct Case {
        const char* pszName;
        std::uint32_t dwOption;
        bool bTargetExists;
        Lines actions; // %1 stands for side 1's item path, %2 for side 2's
    };
    const Case cases[] = {
        {"photos*2024", 0, false, {"Directory %2 created", "%1/f -> %2/f"}},
        {"a?b|c", 0, false, {"Directory %2 created", "%1/f -> %2/f"}},
        {"photos*2024", SIO_NOFILE2_DELETE, true, {}},
        {"photos*2024", SIO_NOFILE1_DELETE | SIO_NOFILE2_DELETE, true, {}},
    };
    int nCase = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszName) + " " + std::to_string(c.dwOption));
        const std::string strBase = "k" + std::to_string(nCase++);
        const std::string strSrc = strBase + "/src/" + c.pszName;
        const std::string strDst = strBase + "/dst/" + c.pszName;
        Dir(strBase);
        Dir(strBase + "/src");
        Dir(strBase + "/dst");
        Dir(strSrc);
        File(strSrc + "/f", "photo", 5);
        Dir(strBase + "/src/other");
        File(strBase + "/src/other/o", "other", 5);
        if (c.bTargetExists) {
            Dir(strDst);
            File(strDst + "/f", "photo", 5);
        }
        EXPECT_EQ(RunItem(P(strSrc), P(strDst), c.dwOption), RunResult::Completed);
        Lines expected;
        for (std::string str : c.actions) {
            for (std::size_t n; (n = str.find("%1")) != std::string::npos;)
                str.replace(n, 2, P(strSrc));
            for (std::size_t n; (n = str.find("%2")) != std::string::npos;)
                str.replace(n, 2, P(strDst));
            expected.push_back(str);
        }
        EXPECT_EQ(Actions(), expected);
        EXPECT_EQ(Read(strBase + "/src/other/o"), "other");
        EXPECT_FALSE(Exists(strBase + "/dst/other"));
        EXPECT_EQ(Read(strDst + "/f"), "photo");
    }
}

// Where the whole path does not exist and the other side does not end in the
// same name, the last component is still a wildcard list.
TEST_F(HardeningTest, WildcardListBesideAnExistingDirectoryStaysAList) {
    File("1/a.c", "c", 5);
    File("1/b.txt", "t", 5);
    EXPECT_EQ(RunItem(m_str1, m_str2 + "/*.c"), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{m_str1 + "/a.c -> " + m_str2 + "/a.c"});
    EXPECT_FALSE(Exists("2/b.txt"));
}

// ------------------------------------------------ FIFOs, sockets and devices

// A name that is a special file on either side is left alone on both sides: one
// skip line with its reason, nothing copied, replaced or deleted, nothing counted.
TEST_F(HardeningTest, SpecialFileBesideAnEntryIsLeftAloneOnBothSides) {
    enum class Kind { Fifo, Socket, File, Dir };
    struct Case {
        const char* pszName;
        Kind kind1;
        Kind kind2;
        std::uint32_t dwOption;
    };
    const Case cases[] = {
        {"fifo vs file, both ways", Kind::Fifo, Kind::File, 0},
        {"fifo vs file, delete on 2", Kind::Fifo, Kind::File, SIO_NOFILE1_DELETE | SIO_FORCE_RO2},
        {"file vs fifo, one way", Kind::File, Kind::Fifo, SIO_ONEWAY_1TO2 | SIO_FORCE_RO2},
        {"file vs fifo, delete on 1", Kind::File, Kind::Fifo, SIO_NOFILE2_DELETE},
        {"fifo vs directory, delete", Kind::Fifo, Kind::Dir, SIO_NOFILE1_DELETE},
        {"directory vs fifo, copy", Kind::Dir, Kind::Fifo, 0},
        {"socket vs file", Kind::Socket, Kind::File, SIO_NOFILE1_DELETE},
    };
    int nCase = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const std::string strBase = "s" + std::to_string(nCase++);
        Dir(strBase);
        Dir(strBase + "/1");
        Dir(strBase + "/2");
        auto make = [&](Kind kind, const std::string& strRel, std::int64_t nAge) {
            switch (kind) {
            case Kind::Fifo:
                m_tmp.MakeFifo(strRel);
                break;
            case Kind::Socket:
                MakeSocket(strRel);
                break;
            case Kind::File:
                File(strRel, "data", nAge);
                break;
            case Kind::Dir:
                Dir(strRel);
                File(strRel + "/inner", "in", nAge);
                break;
            }
        };
        make(c.kind1, strBase + "/1/x", 20);
        make(c.kind2, strBase + "/2/x", 10);
        const auto before = Snapshot(strBase);

        EXPECT_EQ(RunItem(P(strBase + "/1"), P(strBase + "/2"), c.dwOption), RunResult::Completed);
        const bool bSpecial1 = c.kind1 == Kind::Fifo || c.kind1 == Kind::Socket;
        EXPECT_EQ(Actions(),
                  Lines{"Special file skipped " + P(strBase + (bSpecial1 ? "/1/x" : "/2/x"))});
        EXPECT_EQ(m_host.m_reasons.size(), 1u);
        EXPECT_TRUE(AllCountsZero());
        EXPECT_EQ(Snapshot(strBase), before);
    }
}

// Alone on its side a special file is passed over without a word, whatever the
// options, so trees with sockets in them do not fill the log.
TEST_F(HardeningTest, SpecialFileAloneIsPassedOverSilently) {
    for (const std::uint32_t dwOption : {0u, SIO_NOFILE1_DELETE, SIO_NOFILE2_DELETE}) {
        SCOPED_TRACE(dwOption);
        std::filesystem::remove_all(P("1"));
        std::filesystem::remove_all(P("2"));
        Dir("1");
        Dir("2");
        m_tmp.MakeFifo("1/pipe");
        MakeSocket("2/sock");
        EXPECT_EQ(RunItem(m_str1, m_str2, dwOption), RunResult::Completed);
        EXPECT_EQ(Actions(), Lines{});
        EXPECT_TRUE(m_host.m_reasons.empty());
        EXPECT_TRUE(IsFifo("1/pipe"));
        EXPECT_FALSE(Exists("2/pipe"));
        EXPECT_FALSE(Exists("1/sock"));
    }
    // Beside a subdirectory the options do not visit, nothing would have happened.
    Dir("2/pipe");
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NO_SUBDIRS), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{});
}

// A tree to be removed that holds a FIFO loses everything else; the directories
// that still hold it stay, each with a skip line instead of a failure box. The
// dry run tells the same.
TEST_F(HardeningTest, DirectoryStillHoldingASpecialFileIsKept) {
    Dir("2/old");
    File("2/old/g", "g", 1);
    Dir("2/old/inner");
    File("2/old/inner/f", "f", 1);
    m_tmp.MakeFifo("2/old/inner/pipe");
    const Lines expected = {
        m_str2 + "/old/g Deleted",
        m_str2 + "/old/inner/f Deleted",
        "Directory remove skipped " + m_str2 + "/old/inner",
        "Directory remove skipped " + m_str2 + "/old",
    };

    platform::OverlayFileSystem overlay(m_posix);
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &overlay), RunResult::Completed);
    EXPECT_EQ(Actions(), expected);
    EXPECT_TRUE(Exists("2/old/g"));

    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE), RunResult::Completed);
    EXPECT_EQ(Actions(), expected);
    EXPECT_TRUE(m_host.m_failures.empty());
    EXPECT_EQ(m_stat.nDeleted2, 2);
    EXPECT_EQ(m_stat.ErrorCount(), 0);
    EXPECT_TRUE(IsFifo("2/old/inner/pipe"));
    EXPECT_FALSE(Exists("2/old/g"));
}

// ------------------------------------------------ forced copy over a read-only target

// The rename of the finished copy replaces a read-only target by itself: its
// mode is never touched first, so a run stopped half way (or killed) leaves it
// read-only, and a later run without the force bit still skips it.
TEST_F(HardeningTest, ForcedCopyLeavesTheReadOnlyTargetsModeAlone) {
    struct Case {
        const char* pszName;
        bool bFail;
    };
    for (const Case& c : {Case{"copy succeeds", false}, Case{"copy fails", true}}) {
        SCOPED_TRACE(c.pszName);
        std::filesystem::remove_all(P("2"));
        Dir("2");
        File("1/f", "new", 20);
        File("2/f", "old", 10, 0444);
        FaultFileSystem fs(m_posix);
        if (c.bFail) {
            fs.AddFault(FsOp::CopyFile, "*/2/f", EIO);
            m_host.m_ariAnswers = {AbortRetryIgnore::Abort};
        }
        EXPECT_EQ(RunItem(m_str1, m_str2, SIO_FORCE_RO2, nullptr, &fs),
                  c.bFail ? RunResult::Stopped : RunResult::Completed);
        EXPECT_EQ(fs.CountCalls(FsOp::SetMode), 0u);
        EXPECT_EQ(Read("2/f"), c.bFail ? "old" : "new");
        EXPECT_EQ(Mode("2/f"), c.bFail ? 0444u : 0644u);
    }
}

// ------------------------------------------------ an item whose top is missing

// Deleting because an item's top is absent asks first when the other tree holds
// anything; No passes over the item without a deletion or a count, Yes goes on as
// before. Whole removal and the walk that exclusions force alike, either side.
TEST_F(HardeningTest, MissingTopAsksBeforeDeletingTheOtherTree) {
    struct Case {
        const char* pszName;
        bool bSide1Missing;
        const char* pszPattern;
        bool bYes;
    };
    const Case cases[] = {
        {"side 1 missing, whole, No", true, nullptr, false},
        {"side 1 missing, whole, Yes", true, nullptr, true},
        {"side 1 missing, walk, No", true, "!*.keep", false},
        {"side 1 missing, walk, Yes", true, "!*.keep", true},
        {"side 2 missing, whole, No", false, nullptr, false},
        {"side 2 missing, whole, Yes", false, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        std::filesystem::remove_all(P("1"));
        std::filesystem::remove_all(P("2"));
        Dir("1");
        Dir("2");
        const std::string strTreeRel = c.bSide1Missing ? "2/tree" : "1/tree";
        Dir(strTreeRel);
        File(strTreeRel + "/a.txt", "a", 1);
        File(strTreeRel + "/b.keep", "b", 1);
        const std::string strAbsent = P(c.bSide1Missing ? "1/tree" : "2/tree");
        const std::string strTree = P(strTreeRel);
        const std::uint32_t dwOption = c.bSide1Missing ? SIO_NOFILE1_DELETE : SIO_NOFILE2_DELETE;
        m_host.m_missingTopAnswers = {c.bYes};

        const RunResult result = c.bSide1Missing
                                     ? RunItem(strAbsent, strTree, dwOption, c.pszPattern)
                                     : RunItem(strTree, strAbsent, dwOption, c.pszPattern);
        // A No leaves work undone that the item asks for: the run says so.
        EXPECT_EQ(result, c.bYes ? RunResult::Completed : RunResult::CompletedWithErrors);
        EXPECT_EQ(m_stat.nPassedOver, c.bYes ? 0 : 1);
        EXPECT_EQ(m_host.m_missingTopQuestions, Lines{"'" + strAbsent + "' が見つかりません。\n'" +
                                                      strTree + "' の中をすべて削除しますか？"});
        EXPECT_TRUE(m_host.m_questions.empty());
        EXPECT_EQ(m_stat.ErrorCount(), 0);
        if (!c.bYes) {
            EXPECT_EQ(Actions(), Lines{});
            EXPECT_TRUE(AllCountsZero());
            EXPECT_TRUE(Exists(strTreeRel + "/a.txt"));
        } else {
            EXPECT_FALSE(Exists(strTreeRel + "/a.txt"));
            EXPECT_EQ(Exists(strTreeRel + "/b.keep"), c.pszPattern != nullptr);
        }
    }
}

// An empty tree costs nothing: it goes without a question, as it always did. A
// top that exists asks nothing either, and the dry run asks exactly as the real one.
TEST_F(HardeningTest, MissingTopQuestionOnlyWhenATreeIsAtStake) {
    Dir("2/empty");
    EXPECT_EQ(RunItem(P("1/empty"), P("2/empty"), SIO_NOFILE1_DELETE), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{"Directory " + P("2/empty") + " Removed"});
    EXPECT_TRUE(m_host.m_missingTopQuestions.empty());

    File("2/gone", "g", 1);
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE), RunResult::Completed);
    EXPECT_EQ(Actions(), Lines{m_str2 + "/gone Deleted"});
    EXPECT_TRUE(m_host.m_missingTopQuestions.empty());

    Dir("2/full");
    File("2/full/f", "f", 1);
    platform::OverlayFileSystem overlay(m_posix);
    m_host.m_missingTopAnswers = {false};
    EXPECT_EQ(RunItem(P("1/full"), P("2/full"), SIO_NOFILE1_DELETE, nullptr, &overlay),
              RunResult::CompletedWithErrors);
    EXPECT_EQ(m_host.m_missingTopQuestions.size(), 1u);
    EXPECT_EQ(Actions(), Lines{});
}

// ------------------------------------------------ the log file

// Each line is in the log file by the time the next one is shown: nothing waits
// in a buffer for the end of the run, so a killed run loses no line it showed.
TEST_F(HardeningTest, EveryLogLineReachesTheFileWhenWritten) {
    class CPeekingHost : public CScriptedHost {
    public:
        std::string m_strLogPath;
        std::vector<std::string> m_seen; // the file's contents as each line came
        void AppendLogLine(const std::string& strLine) override {
            std::error_code ec;
            std::string strNow;
            if (std::filesystem::exists(m_strLogPath, ec)) {
                std::FILE* pFile = std::fopen(m_strLogPath.c_str(), "rb");
                char buf[4096];
                for (std::size_t n; pFile && (n = std::fread(buf, 1, sizeof buf, pFile)) > 0;)
                    strNow.append(buf, n);
                if (pFile)
                    std::fclose(pFile);
            }
            m_seen.push_back(strNow);
            CScriptedHost::AppendLogLine(strLine);
        }
    };
    File("1/a", "a", 5);
    File("1/b", "b", 5);
    CPeekingHost host;
    host.m_strLogPath = P("run.log");
    m_settings.m_strLogFile = host.m_strLogPath;
    CSyncItemList list;
    AddItem(list, m_str1, m_str2);
    CSyncEngine engine(m_posix, host, m_settings);
    engine.SetClock(FixedTime);
    EXPECT_EQ(engine.Run(list), RunResult::Completed);
    ASSERT_GE(host.m_lines.size(), 4u);
    std::string strExpected;
    for (std::size_t i = 0; i < host.m_lines.size(); ++i) {
        EXPECT_EQ(host.m_seen[i], strExpected) << "before line " << i;
        strExpected += host.m_lines[i] + "\r\n";
    }
    EXPECT_EQ(Read("run.log"), strExpected);
}

// ------------------------------------------------ messages

// A line feed or a byte that is not UTF-8 in a name is shown as \xHH, so one log
// entry stays one line; the work itself is done on the real name.
TEST_F(HardeningTest, ControlCharactersAndStrayBytesInNamesAreShownAsHex) {
    File("1/a\nb\xFF", "x", 20);
    File("2/t\tab", "y", 5);
    FaultFileSystem fs(m_posix);
    fs.AddFault(FsOp::DeleteFile, "*/t\tab", EIO, 1);
    m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};
    EXPECT_EQ(RunItem(m_str1, m_str2, SIO_NOFILE1_DELETE, nullptr, &fs),
              RunResult::CompletedWithErrors);
    EXPECT_EQ(Actions(), (Lines{m_str1 + "/a\\x0Ab\\xFF -> " + m_str2 + "/a\\x0Ab\\xFF",
                                "Delete failed !! " + m_str2 + "/t\\x09ab"}));
    EXPECT_EQ(m_host.m_failures, Lines{"Delete failed !! " + m_str2 + "/t\\x09ab"});
    EXPECT_EQ(Read("2/a\nb\xFF"), "x");
    EXPECT_TRUE(Exists("2/t\tab"));
}

// The host gets the system's error number beside every failure text; the texts
// stay as they are.
TEST_F(HardeningTest, HostGetsTheErrnoBesideTheText) {
    struct Case {
        const char* pszName;
        FsOp op;
        const char* pszPattern;
        int nErrno;
    };
    const Case cases[] = {
        {"copy", FsOp::CopyFile, "*/2/f", ENOSPC},
        {"attributes", FsOp::GetAttr, "*/2", EACCES},
        {"listing", FsOp::ListDir, "*/1", EIO},
    };
    File("1/f", "f", 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        FaultFileSystem fs(m_posix);
        fs.AddFault(c.op, c.pszPattern, c.nErrno, 1);
        m_host.m_ariAnswers = {AbortRetryIgnore::Ignore};
        m_host.m_yesNoAnswers = {true};
        platform::IgnoreFailure(RunItem(m_str1, m_str2, 0, nullptr, &fs));
        EXPECT_EQ(m_host.m_errnos, std::vector<int>{c.nErrno});
        EXPECT_EQ(m_host.m_failures.size() + m_host.m_questions.size() + m_host.m_errors.size(),
                  1u);
        m_host.m_ariAnswers.clear();
        m_host.m_yesNoAnswers.clear();
        std::filesystem::remove(P("2/f"));
    }
}

} // namespace
} // namespace kovrel::test
