// The remembered state on real files: round trips, partial updates, what a
// killed or cancelled writer leaves, damaged and locked databases, and the size
// an entry takes.
#include "engine/StateStore.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kovrel {
namespace {

using platform::EntryType;
using platform::FileTime;
using test::TempDir;

STATESIDE Side(EntryType type, std::uint64_t nSize, std::int64_t nSec, std::int32_t nNsec) {
    return STATESIDE{true, type, nSize, FileTime{nSec, nNsec}};
}

STATEENTRY File(std::uint64_t nSize, std::int64_t nSec, std::int32_t nNsec = 0) {
    return STATEENTRY{Side(EntryType::File, nSize, nSec, nNsec),
                      Side(EntryType::File, nSize, nSec, nNsec)};
}

// Writes the entries for one item in one batch.
void Write(CStateStore& store, const char* pszTop1, const char* pszTop2,
           const std::vector<std::pair<std::string, STATEENTRY>>& entries) {
    ASSERT_TRUE(store.Begin(pszTop1, pszTop2).Ok());
    for (const auto& [strRel, entry] : entries)
        ASSERT_TRUE(store.Put(strRel, entry).Ok()) << strRel;
    const STATERESULT r = store.Commit();
    ASSERT_TRUE(r.Ok()) << r.strDetail;
}

CStateRecord Load(CStateStore& store, const char* pszTop1, const char* pszTop2) {
    CStateRecord record;
    const STATERESULT r = store.LoadItem(pszTop1, pszTop2, record);
    EXPECT_TRUE(r.Ok()) << r.strDetail;
    return record;
}

TEST(StateStore, DatabasePathFollowsTheStateDirectoryRules) {
    struct Case {
        const char* pszXdg;
        const char* pszHome;
        const char* pszPath;
    };
    const Case cases[] = {
        {"/x/state", "/home/me", "/x/state/kovrel-duplicator/state.db"},
        {"/x/state/", "/home/me", "/x/state/kovrel-duplicator/state.db"},
        {nullptr, "/home/me", "/home/me/.local/state/kovrel-duplicator/state.db"},
        {"", "/home/me", "/home/me/.local/state/kovrel-duplicator/state.db"},
        {"relative/state", "/home/me", "/home/me/.local/state/kovrel-duplicator/state.db"},
        {"/", "/home/me", "/kovrel-duplicator/state.db"},
        {nullptr, nullptr, ""},
        {"relative", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszXdg ? c.pszXdg : "(unset)") + " " +
                     (c.pszHome ? c.pszHome : "(unset)"));
        EXPECT_EQ(StateDatabasePath(c.pszXdg, c.pszHome), c.pszPath);
    }
}

TEST(StateStore, OpenMakesAPrivateDirectoryAndFile) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state/deeper/kovrel-duplicator/state.db");
    CStateStore store;
    const STATERESULT r = store.Open(strPath);
    ASSERT_TRUE(r.Ok()) << r.strDetail;
    EXPECT_TRUE(store.IsOpen());
    for (const char* pszDir : {"state", "state/deeper", "state/deeper/kovrel-duplicator"}) {
        struct stat st {};
        ASSERT_EQ(::stat(tmp.Path(pszDir).c_str(), &st), 0) << pszDir;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << pszDir;
    }
    struct stat st {};
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "no one else reads the record";

    // Opened again (by the next run): the same database, nothing lost.
    Write(store, "/a", "/b", {{"x", File(1, 2)}});
    store.Close();
    CStateStore again;
    ASSERT_TRUE(again.Open(strPath).Ok());
    EXPECT_EQ(Load(again, "/a", "/b").Size(), 1u);
}

TEST(StateStore, RoundTripKeepsEveryField) {
    TempDir tmp;
    CStateStore store;
    ASSERT_TRUE(store.Open(tmp.Path("state.db")).Ok());
    const std::vector<std::pair<std::string, STATEENTRY>> entries = {
        {"",
         STATEENTRY{Side(EntryType::Directory, 0, 100, 5), Side(EntryType::Directory, 0, 7, 0)}},
        {"a.txt", File(12, 1733580000, 123456789)},
        {"dir", STATEENTRY{Side(EntryType::Directory, 4096, 1, 999999999), STATESIDE{}}},
        {"dir/only2", STATEENTRY{STATESIDE{}, Side(EntryType::Symlink, 9, -5, 1)}},
        {"big", File(0xFFFFFFFFFFFull, 4102444800, 1)},
        // Before 1970 and far outside what an int64 of nanoseconds holds.
        {"old", STATEENTRY{Side(EntryType::File, 1, -86400, 500), Side(EntryType::Other, 0, 0, 0)}},
        {"far", STATEENTRY{Side(EntryType::File, 3, 99999999999LL, 42),
                           Side(EntryType::File, 3, -99999999999LL, 999999999)}},
        {std::string("bytes \xff\x82\xa0 not utf-8"), File(5, 6)},
        {"名前/日本語.txt", File(7, 8)},
    };
    Write(store, "/top/one", "/top/two", entries);

    const CStateRecord record = Load(store, "/top/one", "/top/two");
    ASSERT_EQ(record.Size(), entries.size());
    for (const auto& [strRel, entry] : entries) {
        SCOPED_TRACE(strRel);
        const STATEENTRY* pGot = record.Find(strRel);
        ASSERT_NE(pGot, nullptr);
        EXPECT_EQ(*pGot, entry);
        EXPECT_EQ(pGot->side1.ftWrite, entry.side1.ftWrite);
        EXPECT_EQ(pGot->side2.type, entry.side2.type);
    }
    EXPECT_EQ(record.Find("a.tx"), nullptr);
    EXPECT_EQ(record.Find("A.TXT"), nullptr) << "paths are bytes, compared exactly";
    // Sorted by bytes, so Find can search.
    for (std::size_t i = 1; i < record.Items().size(); ++i)
        EXPECT_LT(record.Items()[i - 1].first, record.Items()[i].first);

    // Trailing separators of the tops do not make another item; swapped tops do.
    EXPECT_EQ(Load(store, "/top/one/", "/top/two//").Size(), entries.size());
    EXPECT_TRUE(Load(store, "/top/two", "/top/one").Empty());
    EXPECT_TRUE(Load(store, "/top/one", "/top/other").Empty());
}

// A second run changes some entries and removes others; two items over the same
// tops (different patterns) share the record and each touches only its own.
TEST(StateStore, PartialUpdatesKeepEverythingElse) {
    TempDir tmp;
    CStateStore store;
    ASSERT_TRUE(store.Open(tmp.Path("state.db")).Ok());
    Write(store, "/s1", "/s2",
          {{"a.txt", File(1, 10)},
           {"b.jpg", File(2, 20)},
           {"d",
            STATEENTRY{Side(EntryType::Directory, 0, 1, 0), Side(EntryType::Directory, 0, 1, 0)}},
           {"d/x.txt", File(3, 30)},
           {"d/y/z.txt", File(4, 40)},
           {"d0", File(5, 50)},
           {"d.txt", File(6, 60)}});
    // Another item elsewhere must never be touched.
    Write(store, "/other1", "/other2", {{"a.txt", File(99, 99)}});

    // The "*.txt" item over the same tops: updates a.txt, drops d.txt, adds c.txt.
    ASSERT_TRUE(store.Begin("/s1", "/s2").Ok());
    ASSERT_TRUE(store.Put("a.txt", File(11, 110)).Ok());
    ASSERT_TRUE(store.Remove("d.txt").Ok());
    ASSERT_TRUE(store.Put("c.txt", File(7, 70)).Ok());
    ASSERT_TRUE(store.Put("gone", STATEENTRY{}).Ok()) << "absent on both sides is removal";
    ASSERT_TRUE(store.Commit().Ok());

    CStateRecord record = Load(store, "/s1", "/s2");
    EXPECT_EQ(record.Size(), 7u);
    EXPECT_EQ(*record.Find("a.txt"), File(11, 110));
    EXPECT_EQ(*record.Find("b.jpg"), File(2, 20)) << "an entry the item did not visit";
    EXPECT_EQ(*record.Find("c.txt"), File(7, 70));
    EXPECT_EQ(record.Find("d.txt"), nullptr);
    EXPECT_EQ(record.Find("gone"), nullptr);

    // A directory gone from both sides takes everything below it, and only that:
    // "d0" and "d.txt"-like neighbours sort around "d/" but are not inside it.
    ASSERT_TRUE(store.Begin("/s1", "/s2").Ok());
    ASSERT_TRUE(store.RemoveTree("d").Ok());
    ASSERT_TRUE(store.Commit().Ok());
    record = Load(store, "/s1", "/s2");
    EXPECT_EQ(record.Find("d"), nullptr);
    EXPECT_EQ(record.Find("d/x.txt"), nullptr);
    EXPECT_EQ(record.Find("d/y/z.txt"), nullptr);
    ASSERT_NE(record.Find("d0"), nullptr);
    EXPECT_EQ(record.Size(), 4u);

    // The empty path is the item's top: its tree is the whole record.
    ASSERT_TRUE(store.Begin("/s1", "/s2").Ok());
    ASSERT_TRUE(store.RemoveTree("").Ok());
    ASSERT_TRUE(store.Commit().Ok());
    EXPECT_TRUE(Load(store, "/s1", "/s2").Empty());
    EXPECT_EQ(*Load(store, "/other1", "/other2").Find("a.txt"), File(99, 99));
}

// A run that is cancelled before its commit, or whose store goes away, leaves
// the record as it was; the next batch starts cleanly.
TEST(StateStore, UncommittedBatchLeavesTheOldRecord) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state.db");
    {
        CStateStore store;
        ASSERT_TRUE(store.Open(strPath).Ok());
        Write(store, "/a", "/b", {{"keep", File(1, 1)}, {"change", File(2, 2)}});
        ASSERT_TRUE(store.Begin("/a", "/b").Ok());
        ASSERT_TRUE(store.Put("change", File(3, 3)).Ok());
        ASSERT_TRUE(store.Remove("keep").Ok());
        ASSERT_TRUE(store.Put("new", File(4, 4)).Ok());
        store.Rollback();
        EXPECT_FALSE(store.InBatch());
        CStateRecord record = Load(store, "/a", "/b");
        EXPECT_EQ(record.Size(), 2u);
        EXPECT_EQ(*record.Find("change"), File(2, 2));

        // Not committed when the store is destroyed either.
        ASSERT_TRUE(store.Begin("/a", "/b").Ok());
        ASSERT_TRUE(store.Put("change", File(5, 5)).Ok());
    }
    CStateStore store;
    ASSERT_TRUE(store.Open(strPath).Ok());
    CStateRecord record = Load(store, "/a", "/b");
    EXPECT_EQ(record.Size(), 2u);
    EXPECT_EQ(*record.Find("change"), File(2, 2));
    // Calls outside a batch are refused, not silently dropped.
    EXPECT_FALSE(store.Put("x", File(1, 1)).Ok());
    EXPECT_FALSE(store.Commit().Ok());
}

// A writer killed in the middle of a large batch, after SQLite has begun to
// write pages into the file: the next open rolls the journal back and finds the
// old record whole.
TEST(StateStore, KilledWriterLeavesTheOldRecord) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state.db");
    {
        CStateStore store;
        ASSERT_TRUE(store.Open(strPath).Ok());
        Write(store, "/a", "/b", {{"keep", File(1, 1)}, {"change", File(2, 2)}});
    }
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CStateStore store;
        if (!store.Open(strPath).Ok() || !store.Begin("/a", "/b").Ok())
            ::_exit(3);
        store.Put("change", File(3, 3)).Ok();
        store.Remove("keep").Ok();
        // Far more than SQLite's page cache holds, so pages reach the file.
        const std::string strPad(60, 'p');
        for (int i = 0; i < 60000; ++i) {
            if (!store.Put(strPad + std::to_string(i), File(i, i)).Ok())
                ::_exit(4);
        }
        ::raise(SIGKILL);
        ::_exit(5);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(nStatus)) << "exit " << WEXITSTATUS(nStatus);
    EXPECT_EQ(WTERMSIG(nStatus), SIGKILL);
    struct stat st {};
    ASSERT_EQ(::stat((strPath + "-journal").c_str(), &st), 0) << "killed in the middle of writing";
    EXPECT_GT(st.st_size, 0);

    CStateStore store;
    ASSERT_TRUE(store.Open(strPath).Ok());
    const CStateRecord record = Load(store, "/a", "/b");
    EXPECT_EQ(record.Size(), 2u);
    EXPECT_EQ(*record.Find("keep"), File(1, 1));
    EXPECT_EQ(*record.Find("change"), File(2, 2));
    // And the next run writes as usual.
    Write(store, "/a", "/b", {{"change", File(6, 6)}});
    EXPECT_EQ(*Load(store, "/a", "/b").Find("change"), File(6, 6));
}

// What is in place of the database decides the error; each is a clear result,
// never a crash, and the file is left as it was.
TEST(StateStore, DamagedOrForeignFilesGiveAClearError) {
    struct Case {
        const char* pszName;
        std::string strBytes;
        StateStatus eStatus;
    };
    std::string strGarbage(8192, '\0');
    for (std::size_t i = 0; i < strGarbage.size(); ++i)
        strGarbage[i] = static_cast<char>((i * 7919 + 13) & 0xFF);
    const Case cases[] = {
        {"garbage", strGarbage, StateStatus::Damaged},
        {"text", "this is not a database\n", StateStatus::Damaged},
        {"a cut header", std::string("SQLite format 3\0", 16) + "\x10\x00\x01",
         StateStatus::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        TempDir tmp;
        tmp.WriteFile("state.db", c.strBytes);
        CStateStore store;
        const STATERESULT r = store.Open(tmp.Path("state.db"));
        EXPECT_EQ(r.eStatus, c.eStatus) << r.strDetail;
        EXPECT_FALSE(store.IsOpen());
        EXPECT_EQ(r.strPath, tmp.Path("state.db"));
        const std::string strMessage = StateErrorMessage(r);
        EXPECT_NE(strMessage.find("壊れています"), std::string::npos) << strMessage;
        EXPECT_NE(strMessage.find(tmp.Path("state.db")), std::string::npos);
        EXPECT_EQ(tmp.ReadFile("state.db"), c.strBytes) << "never written over";
    }

    // Another program's SQLite database is not taken for ours.
    TempDir tmp;
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open(tmp.Path("state.db").c_str(), &pDb), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pDb, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(pDb);
    CStateStore store;
    const STATERESULT r = store.Open(tmp.Path("state.db"));
    EXPECT_EQ(r.eStatus, StateStatus::Damaged);
    EXPECT_NE(r.strDetail.find("not a state database"), std::string::npos) << r.strDetail;
}

// A database whose pages were damaged after it was written: the open may
// succeed, the load tells the damage.
TEST(StateStore, DamageInsideTheDataShowsWhenLoading) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state.db");
    {
        CStateStore store;
        ASSERT_TRUE(store.Open(strPath).Ok());
        std::vector<std::pair<std::string, STATEENTRY>> entries;
        for (int i = 0; i < 3000; ++i)
            entries.emplace_back("dir/file-" + std::to_string(i), File(i, i));
        Write(store, "/a", "/b", entries);
    }
    // Overwrite everything after the first two pages (the header and the
    // schema stay readable) with garbage.
    std::string strBytes = tmp.ReadFile("state.db");
    ASSERT_GT(strBytes.size(), 5 * 4096u);
    for (std::size_t i = 2 * 4096; i < strBytes.size(); ++i)
        strBytes[i] = static_cast<char>(0xA5 ^ (i & 0xFF));
    tmp.WriteFile("state.db", strBytes);

    CStateStore store;
    STATERESULT r = store.Open(strPath);
    if (r.Ok()) {
        CStateRecord record;
        r = store.LoadItem("/a", "/b", record);
        EXPECT_TRUE(record.Empty()) << "no half record";
    }
    EXPECT_EQ(r.eStatus, StateStatus::Damaged) << r.strDetail;
    EXPECT_NE(StateErrorMessage(r).find("壊れています"), std::string::npos);
}

TEST(StateStore, UnopenablePlacesGiveCannotOpen) {
    TempDir tmp;
    tmp.WriteFile("file", "x");
    tmp.MakeDir("dir.db");
    struct Case {
        std::string strPath;
    };
    const Case cases[] = {
        {tmp.Path("file/state.db")}, // a file where the directory should be
        {tmp.Path("dir.db")},        // a directory where the file should be
        {""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strPath);
        CStateStore store;
        const STATERESULT r = store.Open(c.strPath);
        EXPECT_EQ(r.eStatus, StateStatus::CannotOpen) << r.strDetail;
        EXPECT_FALSE(store.IsOpen());
        EXPECT_NE(StateErrorMessage(r).find("開けません"), std::string::npos);
    }
}

// Another run holding a write transaction: a batch waits the busy timeout and
// then gives Busy; reading the record still works meanwhile, and once the other
// run is done the batch goes through.
TEST(StateStore, LockedDatabaseGivesBusyAfterTheTimeout) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state.db");
    CStateStore store;
    ASSERT_TRUE(store.Open(strPath, 200).Ok());
    Write(store, "/a", "/b", {{"x", File(1, 1)}});

    sqlite3* pOther = nullptr;
    ASSERT_EQ(sqlite3_open(strPath.c_str(), &pOther), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pOther,
                           "BEGIN IMMEDIATE; INSERT INTO items(top1, top2) VALUES(x'01', x'02');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);

    EXPECT_EQ(Load(store, "/a", "/b").Size(), 1u) << "reading goes on beside a writer";
    const auto tStart = std::chrono::steady_clock::now();
    const STATERESULT r = store.Begin("/a", "/b");
    const auto nWaited = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - tStart)
                             .count();
    EXPECT_EQ(r.eStatus, StateStatus::Busy) << r.strDetail;
    EXPECT_GE(nWaited, 150) << "waited for the other run first";
    EXPECT_FALSE(store.InBatch());
    EXPECT_NE(StateErrorMessage(r).find("使用中"), std::string::npos);

    // A writer in its commit keeps readers out too: the load gives Busy then.
    ASSERT_EQ(sqlite3_exec(pOther, "COMMIT; BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    CStateRecord record;
    EXPECT_EQ(store.LoadItem("/a", "/b", record).eStatus, StateStatus::Busy);
    EXPECT_TRUE(record.Empty());

    ASSERT_EQ(sqlite3_exec(pOther, "COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(pOther);
    Write(store, "/a", "/b", {{"y", File(2, 2)}});
    EXPECT_EQ(Load(store, "/a", "/b").Size(), 2u);
}

// About 100 bytes a file or less: 10,000 files with paths of a real tree's
// length (a few directory levels, names of 10 to 20 bytes), both sides present.
TEST(StateStore, TenThousandEntriesStaySmall) {
    TempDir tmp;
    const std::string strPath = tmp.Path("state.db");
    constexpr int kFiles = 10000;
    {
        CStateStore store;
        ASSERT_TRUE(store.Open(strPath).Ok());
        std::vector<std::pair<std::string, STATEENTRY>> entries;
        std::size_t nPathBytes = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::string strRel = "project-" + std::to_string(i % 7) + "/src/module" +
                                       std::to_string(i % 50) + "/file-" + std::to_string(i) +
                                       ".txt";
            nPathBytes += strRel.size();
            entries.emplace_back(strRel,
                                 File(1000 + std::uint64_t(i) * 37, 1733580000 + i, i * 4567));
        }
        Write(store, "/home/me/documents", "/media/backup/documents", entries);
        std::printf("[ state ] %d entries, paths %.1f bytes on average\n", kFiles,
                    double(nPathBytes) / kFiles);
    }
    struct stat st {};
    ASSERT_EQ(::stat(strPath.c_str(), &st), 0);
    const double dPerEntry = double(st.st_size) / kFiles;
    std::printf("[ state ] database %lld bytes: %.1f bytes an entry\n",
                static_cast<long long>(st.st_size), dPerEntry);
    EXPECT_LE(dPerEntry, 100.0);
    EXPECT_GT(dPerEntry, 40.0) << "every entry is really stored";
    CStateStore store;
    ASSERT_TRUE(store.Open(strPath).Ok());
    EXPECT_EQ(Load(store, "/home/me/documents", "/media/backup/documents").Size(),
              std::size_t(kFiles));
}

} // namespace
} // namespace kovrel
