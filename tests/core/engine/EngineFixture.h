// Shared set-up of the engine tests: a temporary directory with two sides "1"
// and "2", a scripted host, a fixed clock, and helpers to lay out, run and look
// at trees.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "document/SyncItem.h"
#include "engine/SyncEngine.h"
#include "platform/PosixFileSystem.h"
#include "support/ScriptedHost.h"
#include "support/TempDir.h"

namespace kovrel::test {

// 15 July 1998, 13:05:09 local time.
inline std::tm FixedTime() {
    std::tm tm{};
    tm.tm_year = 98;
    tm.tm_mon = 6;
    tm.tm_mday = 15;
    tm.tm_hour = 13;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    return tm;
}

inline const std::string kStartLine = "<< Synchronize start 98/07/15 13:05:09 >>";
inline const std::string kCompletedLine = "<< Synchronize completed 98/07/15 13:05:09 >>";
inline const std::string kCanceledLine = "<< Canceled by User!! >>";

// The four count lines of a summary.
inline std::vector<std::string> CountLines(int n1to2, int n2to1, int nDel1, int nDel2) {
    return {"File1 -> File2 コピーファイル数 : " + std::to_string(n1to2),
            "File1 <- File2 コピーファイル数 : " + std::to_string(n2to1),
            "File1側削除ファイル数 : " + std::to_string(nDel1),
            "File2側削除ファイル数 : " + std::to_string(nDel2)};
}

// A recognisable write time: whole seconds plus a few nanoseconds, so that a
// copy that lost the nanoseconds would show.
inline constexpr std::int64_t kT0 = 1'000'000'000;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tmp.MakeDir("1");
        m_tmp.MakeDir("2");
        m_str1 = m_tmp.Path("1");
        m_str2 = m_tmp.Path("2");
    }

    // A file with content and write time (seconds after kT0, plus 7 ns).
    void File(std::string_view strRel, std::string_view strData, std::int64_t nAge,
              std::uint32_t dwMode = 0644) const {
        m_tmp.WriteFile(strRel, strData, dwMode);
        m_tmp.SetTimes(strRel, kT0 + nAge, 0, kT0 + nAge, 7);
    }
    void Dir(std::string_view strRel, std::uint32_t dwMode = 0755) const {
        m_tmp.MakeDir(strRel, dwMode);
    }
    std::string Read(std::string_view strRel) const { return m_tmp.ReadFile(strRel); }
    bool Exists(std::string_view strRel) const { return m_tmp.Exists(strRel); }
    std::uint32_t Mode(std::string_view strRel) const {
        struct stat st {};
        EXPECT_TRUE(m_tmp.Stat(strRel, st)) << strRel;
        return st.st_mode & 07777;
    }
    timespec WriteTime(std::string_view strRel) const {
        struct stat st {};
        EXPECT_TRUE(m_tmp.Stat(strRel, st)) << strRel;
        return st.st_mtim;
    }
    std::string P(std::string_view strRel) const { return m_tmp.Path(strRel); }
    // The remembered state of the runs, beside the two sides.
    std::string StateDb() const { return m_tmp.Path("state/state.db"); }

    // Runs the list once through fs (the POSIX one by default).
    RunResult RunList(const CSyncItemList& list, platform::FileSystem* pFs = nullptr) {
        m_host.ClearRecords();
        CSyncEngine engine(pFs ? *pFs : m_posix, m_host, m_settings);
        engine.SetClock(FixedTime);
        engine.SetNoLogFile(m_bNoLogFile);
        engine.SetDocumentPath(m_strDocPath);
        // Never the user's own state database.
        engine.SetStateDatabase(StateDb());
        engine.SetStateReadOnly(m_bStateReadOnly);
        const RunResult result = engine.Run(list);
        m_stat = engine.GetStat();
        return result;
    }

    // Runs one item.
    RunResult RunItem(const std::string& strPath1, const std::string& strPath2,
                      std::uint32_t dwOption = 0, const char* pszPattern = nullptr,
                      platform::FileSystem* pFs = nullptr) {
        CSyncItemList list;
        AddItem(list, strPath1, strPath2, dwOption, pszPattern);
        return RunList(list, pFs);
    }

    static void AddItem(CSyncItemList& list, const std::string& strPath1,
                        const std::string& strPath2, std::uint32_t dwOption = 0,
                        const char* pszPattern = nullptr) {
        SYNCITEM* pItem = list.SetAt(-1, strPath1.c_str(), strPath2.c_str(), pszPattern);
        ASSERT_NE(pItem, nullptr);
        pItem->dwOption = dwOption;
    }

    // The lines between the start line and the completed or cancelled line.
    std::vector<std::string> Actions() const {
        std::vector<std::string> actions;
        const auto& lines = m_host.m_lines;
        EXPECT_FALSE(lines.empty());
        if (lines.empty())
            return actions;
        EXPECT_EQ(lines.front(), kStartLine);
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i] == kCompletedLine || lines[i] == kCanceledLine)
                break;
            actions.push_back(lines[i]);
        }
        return actions;
    }

    // Everything the run logged after the start line: actions, end line, summary.
    std::vector<std::string> AfterStart() const {
        const auto& lines = m_host.m_lines;
        if (lines.empty())
            return {};
        return {lines.begin() + 1, lines.end()};
    }

    // Every entry below strRel by relative path: kind, mode, write time to the
    // nanosecond and contents (or link target). Directory write times only with
    // bDirTimes.
    std::map<std::string, std::string> Snapshot(const std::string& strRel,
                                                bool bDirTimes = false) const {
        std::map<std::string, std::string> tree;
        SnapshotInto(strRel, "", bDirTimes, tree);
        return tree;
    }

    TempDir m_tmp;
    std::string m_str1; // side 1's top directory
    std::string m_str2; // side 2's top directory
    platform::PosixFileSystem m_posix;
    CScriptedHost m_host;
    CRunSettings m_settings;
    bool m_bNoLogFile = false;
    bool m_bStateReadOnly = false; // as a dry run: the state is read, never written
    std::string m_strDocPath;      // the document being run, for the log file rule
    SYNCSTAT m_stat;

private:
    void SnapshotInto(const std::string& strBase, const std::string& strSub, bool bDirTimes,
                      std::map<std::string, std::string>& tree) const {
        const std::string strDir = strSub.empty() ? strBase : strBase + "/" + strSub;
        for (const std::string& strName : m_tmp.Names(strDir)) {
            const std::string strKey = strSub.empty() ? strName : strSub + "/" + strName;
            const std::string strRel = strBase + "/" + strKey;
            struct stat st {};
            m_tmp.Stat(strRel, st);
            const std::string strTime =
                std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
            const std::string strMode = std::to_string(st.st_mode & 07777);
            if (S_ISDIR(st.st_mode)) {
                tree[strKey] = "dir " + strMode + (bDirTimes ? " " + strTime : "");
                SnapshotInto(strBase, strKey, bDirTimes, tree);
            } else if (S_ISLNK(st.st_mode)) {
                char szTarget[4096];
                const ssize_t n = ::readlink(m_tmp.Path(strRel).c_str(), szTarget, sizeof szTarget);
                tree[strKey] = "link " + strTime + " " +
                               std::string(szTarget, n > 0 ? static_cast<std::size_t>(n) : 0);
            } else if (!S_ISREG(st.st_mode)) {
                tree[strKey] = "special " + strMode; // never opened: a FIFO would block
            } else {
                tree[strKey] = "file " + strMode + " " + strTime + " " + m_tmp.ReadFile(strRel);
            }
        }
    }
};

} // namespace kovrel::test
